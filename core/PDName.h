#pragma once
// TqzPDName: a PDF name, held decoded (without "/" and #xx escapes).

#include "core/PDBaseObject.h"

namespace qz::core {

// The decoded form of a name as it stands in a file after "/": "#" and two
// hexadecimal digits give that byte; a "#" not followed by two hexadecimal
// digits stays a "#". Decoded bytes are never read again as an escape.
std::string DecodeName(std::string_view text);
// The text written after "/": every byte below 0x21, 0x7F, "#" and the
// delimiters ( ) < > [ ] { } / % as "#" and two upper-case digits, so that
// any name reads back as itself; bytes from 0x80 up as they are.
std::string EncodeName(std::string_view name);

class TqzPDName : public TqzPDBaseObject {
public:
    explicit TqzPDName(std::string_view value) : FValue(DecodeName(value)) {}
    TqzPDName(std::string_view value, uint32_t objNumber, uint32_t genNumber)
        : TqzPDBaseObject(objNumber, genNumber), FValue(DecodeName(value)) {}

    const std::string& GetValue() const { return FValue; }
    // Stores the text as it is, without decoding.
    void SetName(std::string_view name) { FValue = name; }

    bool IsName() const override { return true; }
    // `name` is decoded as the constructor does, then compared exactly.
    bool IsName(std::string_view name) const override { return DecodeName(name) == FValue; }
    std::unique_ptr<TqzPDBaseObject> Clone() const override;
    void Assign(const TqzPDBaseObject& source) override;

protected:
    void WriteText(TqzSaveContext& context) override;

private:
    std::string FValue;
};

}  // namespace qz::core
