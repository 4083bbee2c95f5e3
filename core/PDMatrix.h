#pragma once
// TqzPDMatrix: the six numbers [a b c d e f] of a PDF transformation matrix;
// a point (x, y) maps to (x·a + y·c + e, x·b + y·d + f). A plain value.

#include <memory>

#include "core/Object.h"

namespace qz::core {

class TqzPDArray;
class TqzPDBaseObject;

class TqzPDMatrix : public TqzObject {
  public:
    // The identity.
    TqzPDMatrix() = default;
    // From an array of at least six numbers (entries 0 to 5); the identity
    // for anything else.
    explicit TqzPDMatrix(const TqzPDBaseObject* arrayObject);
    TqzPDMatrix(double m11, double m12, double m21, double m22, double dx, double dy);

    void SetValues(double m11, double m12, double m21, double m22, double dx, double dy);
    void Assign(const TqzPDMatrix& value) { *this = value; }
    TqzPDMatrix Copy() const { return *this; }
    // A new direct array of six reals, owned by the caller.
    std::unique_ptr<TqzPDArray> GetArray() const;
    bool IsIdentity() const;
    // `matrix` followed by this matrix.
    TqzPDMatrix PreMultiply(const TqzPDMatrix& matrix) const;
    // The inverse; the identity when the determinant is 0.
    TqzPDMatrix GetInverse() const;
    // Inverts in place; a matrix whose determinant is 0 stays as it is.
    void Inverse();

    double FM11 = 1;
    double FM12 = 0;
    double FM21 = 0;
    double FM22 = 1;
    double FDx = 0;
    double FDy = 0;

  private:
    // False when the determinant is 0.
    bool Invert(TqzPDMatrix& out) const;
};

}  // namespace qz::core
