#pragma once
// TqzPDString: a PDF string: the bytes of a literal string, or the digit text
// of a hexadecimal one (<48656C6C6F> holds the ten characters 48656C6C6F).

#include "core/PDBaseObject.h"

namespace qz::core {

// A literal string's bytes with backspace, TAB, LF, FF, CR, "(", ")" and "\"
// escaped, without the parentheses.
std::string EscapeLiteral(std::string_view bytes);

class TqzPDString : public TqzPDBaseObject {
public:
    TqzPDString(std::string value, bool isHex) : FValue(std::move(value)), FIsHex(isHex) {}
    TqzPDString(std::string value, uint32_t objNumber, uint32_t genNumber, bool isHex)
        : TqzPDBaseObject(objNumber, genNumber), FValue(std::move(value)), FIsHex(isHex) {}
    // A direct hexadecimal string holding "FEFF" and the UTF-16 digits of
    // `text`, taken in the 8-bit code page.
    static std::unique_ptr<TqzPDString> CreateForHex(std::string_view text);

    const std::string& GetString() const { return FValue; }
    void SetString(std::string value) { FValue = std::move(value); }
    bool IsHexString() const { return FIsHex; }
    void SetIsHex(bool value) { FIsHex = value; }
    // The text a hexadecimal string's digits stand for; else the stored text.
    std::string GetHexToString() const;
    // A hexadecimal string stores "FEFF" and the UTF-16 digits of `value`
    // (taken in the 8-bit code page); a literal one stores `value`.
    void SetHexToString(std::string_view value);
    // The bytes the string stands for, exactly: a hexadecimal string's digits
    // decoded without any text interpretation. The form to encrypt.
    std::string GetBytes() const;

    bool IsString() const override { return true; }
    std::unique_ptr<TqzPDBaseObject> Clone() const override;
    // Copies the numbers and the text (not the hexadecimal flag).
    void Assign(const TqzPDBaseObject& source) override;

protected:
    void WriteText(TqzSaveContext& context) override;

private:
    std::string FValue;
    bool FIsHex;
};

}  // namespace qz::core
