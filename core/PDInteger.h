#pragma once
// TqzPDInteger: a PDF integer. Values are made from 32 bits and stored in 64;
// a clone keeps only the low 32 bits, sign-extended.

#include "core/PDBaseObject.h"

namespace qz::core {

class TqzPDInteger : public TqzPDBaseObject {
public:
    explicit TqzPDInteger(int32_t value) : FValue(value) {}
    TqzPDInteger(int32_t value, uint32_t objNumber, uint32_t genNumber)
        : TqzPDBaseObject(objNumber, genNumber), FValue(value) {}

    int64_t GetValue() const { return FValue; }
    void SetValue(int64_t value) { FValue = value; }

    bool IsInteger() const override { return true; }
    std::unique_ptr<TqzPDBaseObject> Clone() const override;
    void Assign(const TqzPDBaseObject& source) override;

protected:
    void WriteText(TqzSaveContext& context) override;

private:
    int64_t FValue;
};

}  // namespace qz::core
