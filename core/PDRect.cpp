#include "core/PDRect.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/PDArray.h"
#include "core/PDInteger.h"
#include "core/PDReal.h"

namespace qz::core {

namespace {

double NumberAt(const TqzPDArray& array, int32_t index) {
    const TqzPDBaseObject* entry = array.Get(index);
    if (!entry) return 0.0;
    if (entry->IsInteger())
        return static_cast<double>(static_cast<const TqzPDInteger*>(entry)->GetValue());
    if (entry->IsReal()) return static_cast<const TqzPDReal*>(entry)->GetValue();
    return 0.0;
}

}  // namespace

TqzPDRect::TqzPDRect(TqzPDArray* arrayObject) : FBaseObject(arrayObject) {
    FLeft = FTop = FRight = FBottom = 0.0;
    if (!arrayObject) return;
    FLeft = NumberAt(*arrayObject, 0);
    FTop = NumberAt(*arrayObject, 1);
    FRight = NumberAt(*arrayObject, 2);
    FBottom = NumberAt(*arrayObject, 3);
}

TqzPDRect::TqzPDRect(double left, double top, double right, double bottom) {
    SetValues(left, top, right, bottom);
}

void TqzPDRect::WriteEntry(int index, double value) {
    if (!FBaseObject || index >= FBaseObject->GetLength()) return;
    // Only the array's own entries change; a referenced number may be shared.
    TqzPDBaseObject* entry = FBaseObject->GetRefObj(index);
    if (!entry) return;
    if (entry->IsReal()) {
        static_cast<TqzPDReal*>(entry)->SetValue(value);
    } else if (entry->IsInteger()) {
        // Rounded half to even, kept within the 32 bits an integer is written with.
        const double rounded =
            std::nearbyint(std::clamp(value, double{std::numeric_limits<int32_t>::min()},
                                      double{std::numeric_limits<int32_t>::max()}));
        static_cast<TqzPDInteger*>(entry)->SetValue(
            std::isnan(rounded) ? 0 : static_cast<int64_t>(rounded));
    }
}

void TqzPDRect::SetLeft(double value) {
    FLeft = value;
    FIsValid = true;
    WriteEntry(0, value);
}

void TqzPDRect::SetTop(double value) {
    FTop = value;
    FIsValid = true;
    WriteEntry(1, value);
}

void TqzPDRect::SetRight(double value) {
    FRight = value;
    FIsValid = true;
    WriteEntry(2, value);
}

void TqzPDRect::SetBottom(double value) {
    FBottom = value;
    FIsValid = true;
    WriteEntry(3, value);
}

void TqzPDRect::SetValues(double left, double top, double right, double bottom) {
    SetLeft(left);
    SetTop(top);
    SetRight(right);
    SetBottom(bottom);
}

void TqzPDRect::Assign(const TqzObject& source) {
    const auto* rect = dynamic_cast<const TqzPDRect*>(&source);
    if (!rect) return;
    SetValues(rect->FLeft, rect->FTop, rect->FRight, rect->FBottom);
}

TqzPDRect TqzPDRect::Clone() const {
    return TqzPDRect(FLeft, FTop, FRight, FBottom);
}

}  // namespace qz::core
