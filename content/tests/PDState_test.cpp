// The graphics state: the device matrix per page box and rotation, matrix
// clamping, the save chain with its ownership, path and text positions,
// colour getters and the dash.

#include "content/state/PDState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "content/colour/PDDeviceRGBColorSpace.h"
#include "content/colour/PDPatternColorSpace.h"
#include "core/PDRect.h"

namespace qz::content {
namespace {

std::vector<double> Entries(const core::TqzPDMatrix& m) {
    return {m.FM11, m.FM12, m.FM21, m.FM22, m.FDx, m.FDy};
}

TEST(PDState, DefaultState) {
    TqzPDState state(72, 72, 0, nullptr);
    EXPECT_EQ(std::vector<double>({state.GetX1(), state.GetY1(), state.GetX2(), state.GetY2()}),
              std::vector<double>({0, 0, 850, 1191}));
    EXPECT_TRUE(state.GetCTM().IsIdentity());
    EXPECT_EQ(state.GetPageWidth(), 850);
    EXPECT_EQ(state.GetPageHeight(), 1191);
    EXPECT_EQ(state.GetLineWidth(), 1);
    EXPECT_EQ(state.GetMiterLimit(), 10);
    EXPECT_EQ(state.GetHorizScaling(), 1);
    EXPECT_EQ(state.GetFillOpacity(), 1);
    EXPECT_EQ(state.GetStrokeOpacity(), 1);
    EXPECT_TRUE(state.GetTextMatrix().IsIdentity());
    ASSERT_NE(state.GetFillColorSpace(), nullptr);
    EXPECT_EQ(state.GetFillColorSpace()->GetMode(), TqzColorSpaceMode::csDeviceGray);
    EXPECT_NE(state.GetFillColorSpace(), state.GetStrokeColorSpace());
    EXPECT_TRUE(state.GetFillCSOwned());
    EXPECT_FALSE(state.HasSaves());
    EXPECT_FALSE(state.GetIsCurrentPoint());
}

TEST(PDState, DeviceMatrixPerRotation) {
    // Left > Right and Top > Bottom: normalised to 20, 50, 100, 300 first.
    const core::TqzPDRect box(100, 300, 20, 50);
    struct Case {
        int32_t rotate;
        std::vector<double> ctm;
        double width;
        double height;
    };
    // 144 dpi: two device units per point.
    const std::vector<Case> cases = {
        {0, {2, 0, 0, 2, -40, -100}, 160, 500},    {45, {2, 0, 0, 2, -40, -100}, 160, 500},
        {-90, {2, 0, 0, 2, -40, -100}, 160, 500},  {90, {0, -2, 2, 0, -100, 200}, 500, 160},
        {180, {-2, 0, 0, -2, 200, 600}, 160, 500}, {270, {0, 2, -2, 0, 600, -40}, 500, 160},
    };
    for (const Case& c : cases) {
        TqzPDState state(144, 144, c.rotate, &box);
        EXPECT_EQ(Entries(state.GetCTM()), c.ctm) << c.rotate;
        EXPECT_EQ(state.GetPageWidth(), c.width) << c.rotate;
        EXPECT_EQ(state.GetPageHeight(), c.height) << c.rotate;
        EXPECT_EQ(state.GetX1(), 20);
        EXPECT_EQ(state.GetY2(), 300);
        EXPECT_EQ(state.GetRotate(), c.rotate);
        // The page box lands exactly on the device page.
        double minX = 1e9, minY = 1e9, maxX = -1e9, maxY = -1e9;
        for (double x : {20.0, 100.0}) {
            for (double y : {50.0, 300.0}) {
                double dx = 0, dy = 0;
                state.Transform(x, y, dx, dy);
                minX = std::min(minX, dx);
                maxX = std::max(maxX, dx);
                minY = std::min(minY, dy);
                maxY = std::max(maxY, dy);
            }
        }
        EXPECT_EQ(std::vector<double>({minX, minY, maxX, maxY}),
                  std::vector<double>({0, 0, c.width, c.height}))
            << c.rotate;
    }
}

TEST(PDState, ConcatAppliesTheNewMatrixFirstAndClamps) {
    TqzPDState state(144, 144, 0, nullptr);
    state.ConcatCTM(core::TqzPDMatrix(1, 0, 0, 1, 10, 20));
    double x = 0, y = 0;
    state.Transform(1, 1, x, y);
    EXPECT_EQ(x, 22);  // (1 + 10) · 2
    EXPECT_EQ(y, 42);
    state.TransformDelta(1, 1, x, y);
    EXPECT_EQ(x, 2);
    EXPECT_EQ(y, 2);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        core::TqzPDMatrix m;
        std::vector<double> ctm;
    };
    const std::vector<Case> cases = {
        {{1e12, -1e12, 0, 1, 0, 5}, {1e10, -1e10, 0, 1, 0, 5}},
        // Not-a-number spreads through the products it enters; each such
        // entry reads as the low end.
        {{nan, 0, 0, 1, 0, 0}, {-1e10, -1e10, 0, 1, 0, 0}},
        {{1, 0, 0, 1, std::numeric_limits<double>::infinity(), 0}, {1, 0, 0, 1, 1e10, -1e10}},
    };
    for (const Case& c : cases) {
        TqzPDState clamped(72, 72, 0, nullptr);
        clamped.ConcatCTM(c.m);
        EXPECT_EQ(Entries(clamped.GetCTM()), c.ctm);
    }
    TqzPDState hostile(72, 72, 0, nullptr);
    hostile.ConcatCTM(core::TqzPDMatrix(1e12, 1e12, 1e12, 1e12, 1e12, 1e12));
    // Clamped entries keep later products finite.
    hostile.ConcatCTM(core::TqzPDMatrix(1e12, 0, 0, 1e12, 0, 0));
    for (double entry : Entries(hostile.GetCTM())) EXPECT_TRUE(std::isfinite(entry));
}

TEST(PDState, FontMatrices) {
    struct Case {
        int32_t rotate;
        std::vector<double> fontMatrix;
    };
    const std::vector<Case> cases = {
        {0, {40, 0, 0, 60, 0, 0}},
        {90, {0, -40, 60, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        TqzPDState state(144, 144, c.rotate, nullptr);
        state.SetTextMatrix(core::TqzPDMatrix(2, 0, 0, 3, 5, 5));
        state.SetFontSize(10);
        EXPECT_EQ(Entries(state.GetFontTransMatrix()), c.fontMatrix) << c.rotate;
        EXPECT_DOUBLE_EQ(state.GetTransformedFontSize(), 60) << c.rotate;
    }
}

TEST(PDState, SaveRestoreCarriesOnlyPathAndPositions) {
    auto state = std::make_unique<TqzPDState>(72, 72, 0, nullptr);
    TqzPDState* base = state.get();
    state->SetLineWidth(5);
    TqzColor red;
    red.Comps[0] = kColorOne;
    state->SetFillColor(red);
    state->MoveTo(1, 2);

    state = TqzPDState::Save(std::move(state));
    ASSERT_NE(state.get(), base);
    EXPECT_TRUE(state->HasSaves());
    EXPECT_EQ(state->GetLineWidth(), 5);
    EXPECT_EQ(state->GetFillColorSpace(), base->GetFillColorSpace());
    EXPECT_FALSE(state->GetFillCSOwned());
    EXPECT_TRUE(state->GetIsCurrentPoint());  // the path goes up with the save
    state->SetLineWidth(7);
    state->SetFillColor(TqzColor{});
    state->SetFillColorSpace(std::make_unique<TqzPDDeviceRGBColorSpace>());
    state->LineTo(30, 40);
    state->TextSetPos(3, 4);

    state = TqzPDState::Restore(std::move(state));
    ASSERT_EQ(state.get(), base);
    EXPECT_FALSE(state->HasSaves());
    EXPECT_EQ(state->GetLineWidth(), 5);
    TqzColor fill;
    state->GetFillColor(fill);
    EXPECT_EQ(fill.Comps[0], kColorOne);
    EXPECT_EQ(state->GetFillColorSpace()->GetMode(), TqzColorSpaceMode::csDeviceGray);
    ASSERT_EQ(state->GetPath().GetSubPathCount(), 1);
    EXPECT_EQ(state->GetPath().LastX(), 30);
    EXPECT_EQ(state->GetCurX(), 30);
    EXPECT_EQ(state->GetCurY(), 40);
    EXPECT_EQ(state->GetLineX(), 3);
    EXPECT_EQ(state->GetLineY(), 4);

    // With nothing saved, Restore keeps the state.
    state = TqzPDState::Restore(std::move(state));
    EXPECT_EQ(state.get(), base);
}

TEST(PDState, DeepAndUnbalancedSaves) {
    auto state = std::make_unique<TqzPDState>(72, 72, 0, nullptr);
    TqzPDState* base = state.get();
    const int32_t saves = kMaxSaveDepth + 100;
    for (int32_t i = 0; i < saves; ++i) {
        state = TqzPDState::Save(std::move(state));
        state->SetLineWidth(i);
    }
    EXPECT_EQ(state->GetSaveDepth(), kMaxSaveDepth);
    // Saves past the limit are undone by their restores before any level
    // is popped, so the levels below stay where their q left them.
    for (int32_t i = 0; i < 101; ++i) state = TqzPDState::Restore(std::move(state));
    EXPECT_EQ(state->GetSaveDepth(), kMaxSaveDepth - 1);
    EXPECT_EQ(state->GetLineWidth(), kMaxSaveDepth - 2);
    for (int32_t i = 0; i < saves; ++i) state = TqzPDState::Restore(std::move(state));
    EXPECT_EQ(state.get(), base);
    EXPECT_EQ(state->GetLineWidth(), 1);

    // Freeing the top of an unbalanced chain frees every saved state.
    for (int32_t i = 0; i < 50; ++i) {
        state = TqzPDState::Save(std::move(state));
        state->SetFillColorSpace(std::make_unique<TqzPDDeviceRGBColorSpace>());
    }
    state.reset();
}

TEST(PDState, CopyCannotReachTheSavedStatesOfItsSource) {
    auto state = std::make_unique<TqzPDState>(72, 72, 0, nullptr);
    state = TqzPDState::Save(std::move(state));
    state->MoveTo(1, 1);
    state->LineTo(2, 2);
    state->SetLineWidth(3);
    // A temporary state, as for a form: its own path, no saves, so an extra
    // restore inside the form keeps it instead of popping its source's chain.
    auto copy = state->Copy();
    EXPECT_FALSE(copy->HasSaves());
    EXPECT_EQ(copy->GetLineWidth(), 3);
    TqzPDState* form = copy.get();
    copy = TqzPDState::Restore(std::move(copy));
    EXPECT_EQ(copy.get(), form);
    copy->LineTo(5, 5);
    EXPECT_EQ(state->GetPath().LastX(), 2);
    EXPECT_EQ(copy->GetPath().LastX(), 5);
    EXPECT_EQ(copy->GetCurCharW(), 0);
    copy.reset();
    state = TqzPDState::Restore(std::move(state));
    EXPECT_FALSE(state->HasSaves());
}

TEST(PDState, PositionsOnBoxesBelowTheOrigin) {
    const core::TqzPDRect box(0, -100, 600, -10);
    TqzPDState state(72, 72, 0, &box);
    state.MoveTo(10, -5);
    EXPECT_EQ(state.GetCurY(), -15);
    state.LineTo(20, -5);
    EXPECT_EQ(state.GetPath().LastY(), -15);
    state.CurveTo(0, 0, 0, 0, 10, -5);
    EXPECT_EQ(state.GetPath().LastY(), -5);
    EXPECT_EQ(state.GetCurY(), -5);
    state.MoveTo(10, 5);  // positive y is left alone
    EXPECT_EQ(state.GetCurY(), 5);
    state.TextMoveTo(1, -1);
    EXPECT_EQ(state.GetLineY(), -11);
    EXPECT_EQ(state.GetCurY(), -11);
    state.Shift(1, -1);
    state.TextShift(1, -1);
    EXPECT_EQ(state.GetCurX(), 3);
    EXPECT_EQ(state.GetCurY(), -13);

    // ClosePath ends where the closed subpath started; ClearPath keeps the
    // current point.
    TqzPDState plain(72, 72, 0, nullptr);
    plain.MoveTo(1, 1);
    plain.LineTo(5, 1);
    plain.ClosePath();
    EXPECT_EQ(plain.GetCurX(), 1);
    EXPECT_TRUE(plain.GetIsCurrentPath());
    plain.ClearPath();
    EXPECT_FALSE(plain.GetIsCurrentPath());
    EXPECT_EQ(plain.GetCurX(), 1);
}

TEST(PDState, ColourGetters) {
    TqzColor color;
    color.Comps = {};
    color.Comps[0] = 70000;
    color.Comps[1] = 100;
    color.Comps[2] = -3;
    struct Case {
        const char* what;
        std::unique_ptr<TqzPDColorSpace> space;
        TqzRGB fill;
        TqzRGB stroke;
        int64_t gray;
    };
    std::vector<Case> cases;
    cases.push_back({"rgb",
                     std::make_unique<TqzPDDeviceRGBColorSpace>(),
                     {kColorOne, 100, 0},
                     {kColorOne, 100, 0},
                     21059});
    // A Pattern space hands the components over as they stand.
    cases.push_back({"pattern",
                     std::make_unique<TqzPDPatternColorSpace>(nullptr),
                     {70000, 100, -3},
                     {70000, 100, -3},
                     0});
    // Without a space fill still gives the components, stroke gives black.
    cases.push_back({"none", nullptr, {70000, 100, -3}, {0, 0, 0}, 0});
    for (Case& c : cases) {
        TqzPDState state(72, 72, 0, nullptr);
        state.SetFillColor(color);
        state.SetStrokeColor(color);
        state.SetFillColorSpace(c.space.get());
        state.SetStrokeColorSpace(c.space.get());
        TqzRGB fill, stroke;
        state.GetFillRGB(fill);
        state.GetStrokeRGB(stroke);
        EXPECT_EQ(std::vector<int64_t>({fill.R, fill.G, fill.B}),
                  std::vector<int64_t>({c.fill.R, c.fill.G, c.fill.B}))
            << c.what;
        EXPECT_EQ(std::vector<int64_t>({stroke.R, stroke.G, stroke.B}),
                  std::vector<int64_t>({c.stroke.R, c.stroke.G, c.stroke.B}))
            << c.what;
        int64_t fillGray = -1, strokeGray = -1;
        state.GetFillGray(fillGray);
        state.GetStrokeGray(strokeGray);
        EXPECT_EQ(fillGray, c.gray) << c.what;
        EXPECT_EQ(strokeGray, c.gray) << c.what;
        TqzCMYK cmyk{1, 1, 1, 1};
        state.GetStrokeCMYK(cmyk);
        if (!c.space) {
            EXPECT_EQ(cmyk.C + cmyk.M + cmyk.Y + cmyk.K, 0) << c.what;
        }
        // Borrowed spaces stay their owner's.
        EXPECT_FALSE(state.GetFillCSOwned());
    }
}

TEST(PDState, ColourSpaceOwnership) {
    // Run under the sanitizers: each space is freed exactly once.
    TqzPDState state(72, 72, 0, nullptr);
    TqzPDDeviceRGBColorSpace borrowed;
    state.SetFillColorSpace(&borrowed);
    EXPECT_FALSE(state.GetFillCSOwned());
    auto* made = new TqzPDDeviceRGBColorSpace;
    state.SetFillColorSpace(made);
    state.SetFillCSOwned(true);  // the interpreter's way of handing one over
    EXPECT_TRUE(state.GetFillCSOwned());
    state.SetFillColorSpace(made);  // the same space again is kept, not freed
    EXPECT_EQ(state.GetFillColorSpace(), made);
    EXPECT_TRUE(state.GetFillCSOwned());
    state.SetFillColorSpace(std::make_unique<TqzPDDeviceRGBColorSpace>());
    EXPECT_TRUE(state.GetFillCSOwned());
    state.SetStrokeColorSpace(&borrowed);
    state.SetStrokeCSOwned(false);
    EXPECT_EQ(state.GetStrokeColorSpace(), &borrowed);
}

TEST(PDState, DashIsCopiedAndBounded) {
    TqzPDState state(72, 72, 0, nullptr);
    const TqzDashArray dash = {3, 1, 2};
    state.SetLineDash(dash, 3, 2);
    auto copy = state.Copy();
    state.SetLineDash({9}, 1, 0);
    TqzDashArray got;
    int32_t length = 0;
    double start = 0;
    copy->GetLineDash(got, length, start);
    EXPECT_EQ(got, dash);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(start, 2);

    // A count beyond the entries given keeps only those; a negative one none.
    struct Case {
        int32_t length;
        int32_t kept;
    };
    for (const Case& c : std::vector<Case>{{2, 2}, {1000000, 3}, {-4, 0}}) {
        state.SetLineDash(dash, c.length, 1);
        state.GetLineDash(got, length, start);
        EXPECT_EQ(length, c.kept) << c.length;
        EXPECT_EQ(got.size(), static_cast<size_t>(c.kept)) << c.length;
    }
}

}  // namespace
}  // namespace qz::content
