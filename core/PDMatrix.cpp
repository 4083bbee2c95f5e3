#include "core/PDMatrix.h"

#include "core/PDArray.h"
#include "core/PDInteger.h"
#include "core/PDReal.h"

namespace qz::core {

TqzPDMatrix::TqzPDMatrix(const TqzPDBaseObject* arrayObject) {
    if (!arrayObject || !arrayObject->IsArray()) return;
    const auto& array = static_cast<const TqzPDArray&>(*arrayObject);
    if (array.GetLength() < 6) return;
    double values[6];
    for (int32_t i = 0; i < 6; ++i) {
        const TqzPDBaseObject* entry = array.Get(i);
        if (entry && entry->IsInteger()) {
            values[i] = static_cast<double>(static_cast<const TqzPDInteger*>(entry)->GetValue());
        } else if (entry && entry->IsReal()) {
            values[i] = static_cast<const TqzPDReal*>(entry)->GetValue();
        } else {
            values[i] = 0;
        }
    }
    SetValues(values[0], values[1], values[2], values[3], values[4], values[5]);
}

TqzPDMatrix::TqzPDMatrix(double m11, double m12, double m21, double m22, double dx, double dy) {
    SetValues(m11, m12, m21, m22, dx, dy);
}

void TqzPDMatrix::SetValues(double m11, double m12, double m21, double m22, double dx, double dy) {
    FM11 = m11;
    FM12 = m12;
    FM21 = m21;
    FM22 = m22;
    FDx = dx;
    FDy = dy;
}

std::unique_ptr<TqzPDArray> TqzPDMatrix::GetArray() const {
    auto array = std::make_unique<TqzPDArray>();
    for (double value : {FM11, FM12, FM21, FM22, FDx, FDy})
        array->Add(std::make_unique<TqzPDReal>(value));
    return array;
}

bool TqzPDMatrix::IsIdentity() const {
    return FM11 == 1 && FM12 == 0 && FM21 == 0 && FM22 == 1 && FDx == 0 && FDy == 0;
}

TqzPDMatrix TqzPDMatrix::PreMultiply(const TqzPDMatrix& m) const {
    return TqzPDMatrix(m.FM11 * FM11 + m.FM12 * FM21, m.FM11 * FM12 + m.FM12 * FM22,
                       m.FM21 * FM11 + m.FM22 * FM21, m.FM21 * FM12 + m.FM22 * FM22,
                       m.FDx * FM11 + m.FDy * FM21 + FDx, m.FDx * FM12 + m.FDy * FM22 + FDy);
}

bool TqzPDMatrix::Invert(TqzPDMatrix& out) const {
    // The determinant in extended precision, rounded to double.
    const auto det = static_cast<double>(static_cast<long double>(FM11) * FM22 -
                                         static_cast<long double>(FM12) * FM21);
    if (det == 0) return false;
    out.SetValues(FM22 / det, -FM12 / det, -FM21 / det, FM11 / det, (FM21 * FDy - FM22 * FDx) / det,
                  (FM12 * FDx - FM11 * FDy) / det);
    return true;
}

TqzPDMatrix TqzPDMatrix::GetInverse() const {
    TqzPDMatrix inverse;
    if (!Invert(inverse)) return TqzPDMatrix();
    return inverse;
}

void TqzPDMatrix::Inverse() {
    TqzPDMatrix inverse;
    if (Invert(inverse)) *this = inverse;
}

}  // namespace qz::core
