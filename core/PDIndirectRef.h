#pragma once
// TqzPDIndirectRef: a reference to an indirect object; the referenced number
// and generation are its own object and generation numbers.

#include "core/PDBaseObject.h"

namespace qz::core {

class TqzPDIndirectRef : public TqzPDBaseObject {
public:
    TqzPDIndirectRef(uint32_t objNumber, uint32_t genNumber) : TqzPDBaseObject(objNumber, genNumber) {}

    bool IsIndirectRef() const override { return true; }
    std::unique_ptr<TqzPDBaseObject> Clone() const override {
        return std::make_unique<TqzPDIndirectRef>(FObjNumber, FGenNumber);
    }

protected:
    // "N 0 R": no header and no "endobj" of its own; a container writes its
    // references under the targets' new numbers (WriteReference).
    TqzSaveStep SaveStep(TqzSaveContext& context, TqzSaveFrame& frame) override;
};

}  // namespace qz::core
