#pragma once
// TqzPDReal: a PDF real, written as "0.######".

#include "core/PDBaseObject.h"

namespace qz::core {

class TqzPDReal : public TqzPDBaseObject {
public:
    explicit TqzPDReal(double value) : FValue(value) {}
    TqzPDReal(double value, uint32_t objNumber, uint32_t genNumber)
        : TqzPDBaseObject(objNumber, genNumber), FValue(value) {}

    double GetValue() const { return FValue; }
    void SetValue(double value) { FValue = value; }

    bool IsReal() const override { return true; }
    std::unique_ptr<TqzPDBaseObject> Clone() const override {
        return std::make_unique<TqzPDReal>(FValue, FObjNumber, FGenNumber);
    }
    void Assign(const TqzPDBaseObject& source) override;

protected:
    void WriteText(TqzSaveContext& context) override;

private:
    double FValue;
};

}  // namespace qz::core
