#pragma once
// The Pattern colour space: colours are painted by a pattern, so the space
// has no components and converts every colour to black. It borrows the
// colour-space object it was made from (none for a bare /Pattern).

#include "content/colour/PDColorSpace.h"

namespace qz::content {

class TqzPDPatternColorSpace : public TqzPDColorSpace {
  public:
    explicit TqzPDPatternColorSpace(core::TqzPDBaseObject* baseObject)
        : TqzPDColorSpace(baseObject) {}

    // The space of uncoloured patterns' colours; not read, always none.
    TqzPDColorSpace* GetUnder() const { return nullptr; }

    int32_t GetNoOfComps() const override { return 0; }
    TqzColorSpaceMode GetMode() const override { return TqzColorSpaceMode::csPattern; }
    void GetGray(const TqzColor& color, int64_t& gray) const override;
    void GetRGB(const TqzColor& color, TqzRGB& rgb) const override;
    void GetCMYK(const TqzColor& color, TqzCMYK& cmyk) const override;
    std::unique_ptr<TqzPDColorSpace> Copy() const override;
};

}  // namespace qz::content
