#include "content/colour/PDColorSpace.h"

#include <algorithm>
#include <cmath>

#include "content/colour/PDDeviceCMYKColorSpace.h"
#include "content/colour/PDDeviceGrayColorSpace.h"
#include "content/colour/PDDeviceRGBColorSpace.h"
#include "content/colour/PDPatternColorSpace.h"
#include "core/PDArray.h"
#include "core/PDName.h"

namespace qz::content {

namespace {

int64_t SaturateToCol(double x) {
    if (std::isnan(x)) return 0;
    constexpr auto limit = static_cast<double>(kMaxColorComponent);
    if (x >= limit) return kMaxColorComponent;
    if (x <= -limit) return -kMaxColorComponent;
    return static_cast<int64_t>(x);
}

enum class SpaceFamily { None, Gray, RGB, CMYK, Pattern, NotReadYet };

SpaceFamily FamilyOfName(const std::string& name, bool inArray) {
    if (name == "DeviceGray" || name == "G") return SpaceFamily::Gray;
    if (name == "DeviceRGB" || name == "RGB") return SpaceFamily::RGB;
    if (name == "DeviceCMYK" || name == "CMYK") return SpaceFamily::CMYK;
    // A bare /Pattern name is the interpreter's to make; only the array form
    // is a resource.
    if (!inArray) return SpaceFamily::None;
    if (name == "Pattern") return SpaceFamily::Pattern;
    if (name == "CalRGB" || name == "CalGray" || name == "Lab" || name == "ICCBased" ||
        name == "Indexed" || name == "I" || name == "Separation" || name == "DeviceN")
        return SpaceFamily::NotReadYet;
    return SpaceFamily::None;
}

}  // namespace

int64_t DblToCol(double x) {
    return SaturateToCol(x * static_cast<double>(kColorOne));
}

double ColToDbl(int64_t c) {
    return static_cast<double>(c) / static_cast<double>(kColorOne);
}

int64_t Clip01(int64_t c) {
    return std::clamp<int64_t>(c, 0, kColorOne);
}

double Clip01(double x) {
    if (std::isnan(x)) return 1.0;
    return std::clamp(x, 0.0, 1.0);
}

int64_t RoundToCol(double x) {
    return SaturateToCol(std::nearbyint(x));
}

TqzPDColorSpace::TqzPDColorSpace(core::TqzPDBaseObject* baseObject, std::string tagName)
    : document::TqzPDColorSpace(nullptr, nullptr, baseObject, std::move(tagName)) {}

void TqzPDColorSpace::GetDefaultColor(TqzColor& /*color*/) const {}

void TqzPDColorSpace::GetDefaultRanges(TqzImageDecodeArray& decodeLow,
                                       TqzImageDecodeArray& decodeRange,
                                       double /*maxImgPixel*/) const {
    const auto count =
        static_cast<size_t>(std::clamp<int32_t>(GetNoOfComps(), 0, ColorMapMaxComps));
    for (size_t i = 0; i < count; ++i) {
        decodeLow[i] = 0.0;
        decodeRange[i] = 1.0;
    }
}

std::unique_ptr<TqzPDColorSpace> MakeColorSpace(core::TqzPDBaseObject* baseObject,
                                                const std::string& tagName) {
    if (baseObject == nullptr) return nullptr;
    SpaceFamily family = SpaceFamily::None;
    if (baseObject->IsName()) {
        family = FamilyOfName(static_cast<core::TqzPDName*>(baseObject)->GetValue(), false);
    } else if (baseObject->IsArray()) {
        auto* array = static_cast<core::TqzPDArray*>(baseObject);
        core::TqzPDBaseObject* first = array->GetLength() > 0 ? array->Get(0) : nullptr;
        if (first != nullptr && first->IsName())
            family = FamilyOfName(static_cast<core::TqzPDName*>(first)->GetValue(), true);
    }
    std::unique_ptr<TqzPDColorSpace> space;
    switch (family) {
        case SpaceFamily::Gray:
            space = std::make_unique<TqzPDDeviceGrayColorSpace>();
            break;
        case SpaceFamily::RGB:
            space = std::make_unique<TqzPDDeviceRGBColorSpace>();
            break;
        case SpaceFamily::CMYK:
            space = std::make_unique<TqzPDDeviceCMYKColorSpace>();
            break;
        case SpaceFamily::Pattern:
            space = std::make_unique<TqzPDPatternColorSpace>(baseObject);
            break;
        // The CIE-based, Indexed, Separation and DeviceN spaces are not read yet.
        case SpaceFamily::NotReadYet:
        case SpaceFamily::None:
            return nullptr;
    }
    space->SetTagName(tagName);
    return space;
}

}  // namespace qz::content
