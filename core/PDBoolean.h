#pragma once
// TqzPDBoolean: a PDF boolean.

#include "core/PDBaseObject.h"

namespace qz::core {

class TqzPDBoolean : public TqzPDBaseObject {
public:
    explicit TqzPDBoolean(bool value) : FValue(value) {}
    TqzPDBoolean(bool value, uint32_t objNumber, uint32_t genNumber)
        : TqzPDBaseObject(objNumber, genNumber), FValue(value) {}

    bool GetValue() const { return FValue; }
    void SetBool(bool value) { FValue = value; }

    bool IsBoolean() const override { return true; }
    std::unique_ptr<TqzPDBaseObject> Clone() const override {
        return std::make_unique<TqzPDBoolean>(FValue, FObjNumber, FGenNumber);
    }
    // Copies the value only; the numbers stay.
    void Assign(const TqzPDBaseObject& source) override;

protected:
    void WriteText(TqzSaveContext& context) override;

private:
    bool FValue;
};

}  // namespace qz::core
