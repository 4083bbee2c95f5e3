#pragma once
// TqzPDNull: the PDF null object.

#include "core/PDBaseObject.h"

namespace qz::core {

class TqzPDNull : public TqzPDBaseObject {
public:
    TqzPDNull() = default;
    TqzPDNull(uint32_t objNumber, uint32_t genNumber) : TqzPDBaseObject(objNumber, genNumber) {}

    bool IsNull() const override { return true; }
    std::unique_ptr<TqzPDBaseObject> Clone() const override { return std::make_unique<TqzPDNull>(); }

protected:
    void WriteText(TqzSaveContext& context) override;
};

}  // namespace qz::core
