#pragma once
// TqzPDRect: the four numbers of a PDF rectangle array (page boxes,
// annotation and destination rectangles), entries 0 to 3 as Left, Top, Right
// and Bottom. It can mirror the array it was read from, so that setting a
// value also updates that array in place; the array is borrowed, never freed.

#include "core/Object.h"

namespace qz::core {

class TqzPDArray;
class TqzPDBaseObject;

class TqzPDRect : public TqzObject {
  public:
    // All four -1, not valid, no array.
    TqzPDRect() = default;
    // Mirrors `arrayObject`: entries 0 to 3 that are numbers give the values,
    // others leave 0. Not valid until a setter runs.
    explicit TqzPDRect(TqzPDArray* arrayObject);
    // Valid, no array.
    TqzPDRect(double left, double top, double right, double bottom);

    double GetLeft() const { return FLeft; }
    double GetTop() const { return FTop; }
    double GetRight() const { return FRight; }
    double GetBottom() const { return FBottom; }
    // Each setter stores the value, marks the rectangle valid and writes the
    // mirrored array's entry when it exists: a real takes the value, an
    // integer the value rounded to the nearest integer (halves to even).
    void SetLeft(double value);
    void SetTop(double value);
    void SetRight(double value);
    void SetBottom(double value);
    void SetValues(double left, double top, double right, double bottom);
    bool GetIsValid() const { return FIsValid; }

    // Takes a rectangle's four values through the setters; other sources are
    // ignored.
    void Assign(const TqzObject& source);
    // A valid copy of the four values, without an array.
    TqzPDRect Clone() const;
    TqzPDArray* GetArray() const { return FBaseObject; }

  private:
    void WriteEntry(int index, double value);

    TqzPDArray* FBaseObject = nullptr;
    double FLeft = -1.0;
    double FTop = -1.0;
    double FRight = -1.0;
    double FBottom = -1.0;
    bool FIsValid = false;
};

}  // namespace qz::core
