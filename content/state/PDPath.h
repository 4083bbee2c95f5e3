#pragma once
// The current path of a graphics state: subpaths built by the path
// operators, read by the output devices when they stroke, fill or clip.
// Coordinates are user-space numbers as the content stream gave them.
//
// A subpath stores its start point, one point per line segment and three per
// Bézier segment (two control points flagged as such, then the end point).
// Devices read it segment by segment: from cursor p, a flagged point p + 1
// starts a Bézier through p + 1 and p + 2 to p + 3, otherwise a line runs to
// p + 1; a lone start point reads as a line from the point to itself.
// The path owns its subpaths.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Exception.h"

namespace qz::content {

// A path operation that needs a current point was called without one.
class EPathIndexError : public platform::Exception {
  public:
    using Exception::Exception;
};

class TqzPDSubPath {
  public:
    TqzPDSubPath(double x1, double y1);
    // A deep copy.
    TqzPDSubPath(const TqzPDSubPath& subPath) = default;
    std::unique_ptr<TqzPDSubPath> Copy() const { return std::make_unique<TqzPDSubPath>(*this); }

    void LineTo(double x1, double y1);
    void CurveTo(double x1, double y1, double x2, double y2, double x3, double y3);
    // Adds a line back to the start point unless the last point is exactly
    // there, then marks the subpath closed.
    void ClosePath();

    // Segments to read; 1 for a lone start point.
    int32_t GetNumPoints() const { return FCount; }
    // Stored points (not segments).
    int32_t GetPointCount() const { return static_cast<int32_t>(FPoints.size()); }
    bool IsClosed() const { return FClosed; }
    double LastX() const { return FPoints.back().X; }
    double LastY() const { return FPoints.back().Y; }
    // Stored point `index`; past the end, the last point (before the start,
    // the first).
    double X(int32_t index) const { return PointAt(index).X; }
    double Y(int32_t index) const { return PointAt(index).Y; }
    // The point is a Bézier control point; false out of range.
    bool Curve(int32_t index) const;

  private:
    struct Point {
        double X;
        double Y;
        bool Curve;
    };
    const Point& PointAt(int32_t index) const;
    void CountSegment();

    std::vector<Point> FPoints;
    bool FClosed = false;
    int32_t FCount = 1;
    bool FIsIncreased = false;
};

class TqzPDPath {
  public:
    TqzPDPath() = default;
    // Takes the pending move-to and deep-copies every subpath of the list.
    TqzPDPath(bool justMoved, double firstX1, double firstY1,
              const std::vector<std::unique_ptr<TqzPDSubPath>>& subPathList);
    std::unique_ptr<TqzPDPath> Copy() const;

    // Sets the pending move-to; no subpath starts until a segment follows,
    // and a second move-to replaces the first.
    void MoveTo(double x, double y);
    // Each starts a subpath at a pending move-to, then adds the segment.
    // Without a current point they raise EPathIndexError and change nothing.
    void LineTo(double x, double y);
    void CurveTo(double x1, double y1, double x2, double y2, double x3, double y3);
    // Closes the current subpath (a lone pending move-to becomes a one-point
    // closed subpath); the next segment starts a new subpath at its start.
    void Close();

    int32_t GetSubPathCount() const { return static_cast<int32_t>(FSubPathList.size()); }
    // None out of range.
    TqzPDSubPath* GetSubPath(int32_t index) const;
    bool IsPath() const { return !FSubPathList.empty(); }
    bool IsCurrentPoint() const { return FJustMoved || !FSubPathList.empty(); }
    // The last stored point of the last subpath; EPathIndexError without one.
    double LastX() const { return LastSubPath().LastX(); }
    double LastY() const { return LastSubPath().LastY(); }

  private:
    const TqzPDSubPath& LastSubPath() const;
    // The subpath a segment extends, started at a pending move-to.
    TqzPDSubPath& SegmentTarget();

    bool FJustMoved = false;
    double FFirstX = 0;
    double FFirstY = 0;
    // The pending move-to was left by Close, not by a move-to: closing again
    // has nothing new to close.
    bool FMovedByClose = false;
    std::vector<std::unique_ptr<TqzPDSubPath>> FSubPathList;
};

}  // namespace qz::content
