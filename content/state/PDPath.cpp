#include "content/state/PDPath.h"

#include <algorithm>

namespace qz::content {

namespace {

constexpr const char* kNoCurrentPoint = "List index out of bounds (-1)";

}  // namespace

TqzPDSubPath::TqzPDSubPath(double x1, double y1) {
    FPoints.push_back({x1, y1, false});
}

void TqzPDSubPath::CountSegment() {
    if (FIsIncreased) ++FCount;
    FIsIncreased = true;
}

void TqzPDSubPath::LineTo(double x1, double y1) {
    FPoints.push_back({x1, y1, false});
    CountSegment();
}

void TqzPDSubPath::CurveTo(double x1, double y1, double x2, double y2, double x3, double y3) {
    FPoints.push_back({x1, y1, true});
    FPoints.push_back({x2, y2, true});
    FPoints.push_back({x3, y3, false});
    CountSegment();
}

void TqzPDSubPath::ClosePath() {
    const Point& first = FPoints.front();
    if (LastX() != first.X || LastY() != first.Y) LineTo(first.X, first.Y);
    FClosed = true;
}

const TqzPDSubPath::Point& TqzPDSubPath::PointAt(int32_t index) const {
    const auto last = static_cast<int32_t>(FPoints.size()) - 1;
    return FPoints[static_cast<size_t>(std::clamp(index, 0, last))];
}

bool TqzPDSubPath::Curve(int32_t index) const {
    if (index < 0 || index >= GetPointCount()) return false;
    return FPoints[static_cast<size_t>(index)].Curve;
}

TqzPDPath::TqzPDPath(bool justMoved, double firstX1, double firstY1,
                     const std::vector<std::unique_ptr<TqzPDSubPath>>& subPathList)
    : FJustMoved(justMoved), FFirstX(firstX1), FFirstY(firstY1) {
    FSubPathList.reserve(subPathList.size());
    for (const auto& subPath : subPathList) FSubPathList.push_back(subPath->Copy());
}

std::unique_ptr<TqzPDPath> TqzPDPath::Copy() const {
    auto copy = std::make_unique<TqzPDPath>(FJustMoved, FFirstX, FFirstY, FSubPathList);
    copy->FMovedByClose = FMovedByClose;
    return copy;
}

void TqzPDPath::MoveTo(double x, double y) {
    FJustMoved = true;
    FMovedByClose = false;
    FFirstX = x;
    FFirstY = y;
}

TqzPDSubPath& TqzPDPath::SegmentTarget() {
    if (FJustMoved) {
        FSubPathList.push_back(std::make_unique<TqzPDSubPath>(FFirstX, FFirstY));
        FJustMoved = false;
        FMovedByClose = false;
    }
    if (FSubPathList.empty()) throw EPathIndexError(kNoCurrentPoint);
    return *FSubPathList.back();
}

void TqzPDPath::LineTo(double x, double y) {
    SegmentTarget().LineTo(x, y);
}

void TqzPDPath::CurveTo(double x1, double y1, double x2, double y2, double x3, double y3) {
    SegmentTarget().CurveTo(x1, y1, x2, y2, x3, y3);
}

void TqzPDPath::Close() {
    if (FMovedByClose) return;
    TqzPDSubPath& subPath = SegmentTarget();
    // A subpath already back at its start is closed as it is, so that its
    // last corner is joined like the others.
    subPath.ClosePath();
    // What follows a close starts a new subpath at the closed one's start,
    // rather than running on from the closed figure.
    FJustMoved = true;
    FMovedByClose = true;
    FFirstX = subPath.X(0);
    FFirstY = subPath.Y(0);
}

TqzPDSubPath* TqzPDPath::GetSubPath(int32_t index) const {
    if (index < 0 || index >= GetSubPathCount()) return nullptr;
    return FSubPathList[static_cast<size_t>(index)].get();
}

const TqzPDSubPath& TqzPDPath::LastSubPath() const {
    if (FSubPathList.empty()) throw EPathIndexError(kNoCurrentPoint);
    return *FSubPathList.back();
}

}  // namespace qz::content
