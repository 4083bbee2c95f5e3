// Paths as the output devices read them: segments walked point by point,
// closing, pending move-tos, copies, and operations without a current point.

#include "content/state/PDPath.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace qz::content {
namespace {

// The path as a device reads it: per subpath, GetNumPoints segments from a
// cursor, a flagged next point making a Bézier; "*" marks a closed subpath.
std::string Walk(const TqzPDPath& path) {
    std::ostringstream out;
    for (int32_t s = 0; s < path.GetSubPathCount(); ++s) {
        const TqzPDSubPath& sub = *path.GetSubPath(s);
        if (s > 0) out << " | ";
        out << "M" << sub.X(0) << "," << sub.Y(0);
        int32_t p = 0;
        for (int32_t n = 0; n < sub.GetNumPoints(); ++n) {
            if (sub.Curve(p + 1)) {
                out << " C" << sub.X(p + 1) << "," << sub.Y(p + 1) << " " << sub.X(p + 2) << ","
                    << sub.Y(p + 2) << " " << sub.X(p + 3) << "," << sub.Y(p + 3);
                p += 3;
            } else {
                out << " L" << sub.X(p + 1) << "," << sub.Y(p + 1);
                p += 1;
            }
        }
        if (sub.IsClosed()) out << " *";
    }
    return out.str();
}

TEST(PDPath, BuildingAndClosing) {
    struct Case {
        const char* what;
        std::function<void(TqzPDPath&)> build;
        std::string walked;
    };
    const std::vector<Case> cases = {
        {"lines then close",
         [](TqzPDPath& p) {
             p.MoveTo(0, 0);
             p.LineTo(10, 0);
             p.LineTo(10, 10);
             p.Close();
         },
         "M0,0 L10,0 L10,10 L0,0 *"},
        {"curve",
         [](TqzPDPath& p) {
             p.MoveTo(0, 0);
             p.CurveTo(1, 2, 3, 4, 5, 6);
         },
         "M0,0 C1,2 3,4 5,6"},
        {"lone move-to closed",
         [](TqzPDPath& p) {
             p.MoveTo(3, 4);
             p.Close();
         },
         "M3,4 L3,4 *"},
        {"second move-to replaces the first",
         [](TqzPDPath& p) {
             p.MoveTo(1, 1);
             p.MoveTo(2, 2);
             p.LineTo(3, 3);
         },
         "M2,2 L3,3"},
        {"move-to alone makes no subpath", [](TqzPDPath& p) { p.MoveTo(1, 1); }, ""},
        {"mixed segments",
         [](TqzPDPath& p) {
             p.MoveTo(0, 0);
             p.LineTo(1, 0);
             p.CurveTo(2, 0, 2, 1, 1, 1);
             p.LineTo(0, 1);
         },
         "M0,0 L1,0 C2,0 2,1 1,1 L0,1"},
        // A subpath already back at its start is closed as it stands, with no
        // extra segment and no extra one-point subpath.
        {"closed where it started",
         [](TqzPDPath& p) {
             p.MoveTo(0, 0);
             p.LineTo(5, 0);
             p.LineTo(0, 0);
             p.Close();
         },
         "M0,0 L5,0 L0,0 *"},
        // After a close, the next segment starts a new subpath at the closed
        // one's start instead of running on from the closed figure.
        {"segment after close",
         [](TqzPDPath& p) {
             p.MoveTo(0, 0);
             p.LineTo(10, 0);
             p.LineTo(10, 10);
             p.Close();
             p.LineTo(30, 0);
         },
         "M0,0 L10,0 L10,10 L0,0 * | M0,0 L30,0"},
        {"close twice",
         [](TqzPDPath& p) {
             p.MoveTo(0, 0);
             p.LineTo(10, 0);
             p.Close();
             p.Close();
         },
         "M0,0 L10,0 L0,0 *"},
        {"move-to after close then close",
         [](TqzPDPath& p) {
             p.MoveTo(0, 0);
             p.LineTo(10, 0);
             p.Close();
             p.MoveTo(7, 7);
             p.Close();
         },
         "M0,0 L10,0 L0,0 * | M7,7 L7,7 *"},
    };
    for (const Case& c : cases) {
        TqzPDPath path;
        c.build(path);
        EXPECT_EQ(Walk(path), c.walked) << c.what;
    }
}

TEST(PDPath, SubPathStorage) {
    TqzPDPath path;
    path.MoveTo(0, 0);
    path.LineTo(10, 0);
    path.LineTo(10, 10);
    path.Close();
    ASSERT_EQ(path.GetSubPathCount(), 1);
    const TqzPDSubPath& square = *path.GetSubPath(0);
    EXPECT_EQ(square.GetPointCount(), 4);
    EXPECT_EQ(square.GetNumPoints(), 3);
    EXPECT_TRUE(square.IsClosed());
    EXPECT_EQ(path.LastX(), 0);
    EXPECT_EQ(path.LastY(), 0);
    EXPECT_EQ(path.GetSubPath(1), nullptr);
    EXPECT_EQ(path.GetSubPath(-1), nullptr);

    TqzPDSubPath curve(0, 0);
    curve.CurveTo(1, 1, 2, 2, 3, 3);
    EXPECT_EQ(curve.GetPointCount(), 4);
    EXPECT_EQ(curve.GetNumPoints(), 1);
    const std::vector<bool> flags = {curve.Curve(0), curve.Curve(1), curve.Curve(2),
                                     curve.Curve(3)};
    EXPECT_EQ(flags, (std::vector<bool>{false, true, true, false}));

    // Out of range: the last point, and no control point.
    TqzPDSubPath three(1, 1);
    three.LineTo(2, 2);
    three.LineTo(3, 4);
    EXPECT_EQ(three.X(99), 3);
    EXPECT_EQ(three.Y(99), 4);
    EXPECT_FALSE(three.Curve(99));
    EXPECT_FALSE(three.Curve(-1));
    EXPECT_EQ(three.X(-1), 1);
}

TEST(PDPath, CopiesAreIndependent) {
    TqzPDPath path;
    path.MoveTo(0, 0);
    path.LineTo(1, 1);
    path.Close();
    auto copy = path.Copy();
    copy->GetSubPath(0)->LineTo(5, 5);
    copy->LineTo(9, 9);
    EXPECT_EQ(Walk(path), "M0,0 L1,1 L0,0 *");
    EXPECT_EQ(Walk(*copy), "M0,0 L1,1 L0,0 L5,5 * | M0,0 L9,9");
    // The copy keeps the state of the close: closing again adds nothing.
    auto closed = path.Copy();
    closed->Close();
    EXPECT_EQ(Walk(*closed), Walk(path));
}

TEST(PDPath, NoCurrentPoint) {
    TqzPDPath path;
    EXPECT_FALSE(path.IsCurrentPoint());
    EXPECT_FALSE(path.IsPath());
    EXPECT_THROW(path.LineTo(1, 1), EPathIndexError);
    EXPECT_THROW(path.CurveTo(1, 1, 2, 2, 3, 3), EPathIndexError);
    EXPECT_THROW(path.Close(), EPathIndexError);
    EXPECT_THROW((void)path.LastX(), EPathIndexError);
    EXPECT_EQ(path.GetSubPathCount(), 0);
    path.MoveTo(1, 1);
    EXPECT_TRUE(path.IsCurrentPoint());
    EXPECT_FALSE(path.IsPath());
}

}  // namespace
}  // namespace qz::content
