#include "core/PDString.h"

#include "core/Conversions.h"
#include "core/SaveContext.h"
#include "platform/CodePage.h"

namespace qz::core {

std::string EscapeLiteral(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char c : bytes) {
        switch (c) {
            case '\b': out += "\\b"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\f': out += "\\f"; break;
            case '\r': out += "\\r"; break;
            case '(': out += "\\("; break;
            case ')': out += "\\)"; break;
            case '\\': out += "\\\\"; break;
            default: out.push_back(c);
        }
    }
    return out;
}

std::unique_ptr<TqzPDString> TqzPDString::CreateForHex(std::string_view text) {
    return std::make_unique<TqzPDString>(StringToHex(platform::CodePageToUtf16(text)), true);
}

std::string TqzPDString::GetHexToString() const {
    if (FIsHex && IsHex(FValue)) return HexToString(FValue);
    return FValue;
}

void TqzPDString::SetHexToString(std::string_view value) {
    if (FIsHex) {
        FValue = StringToHex(platform::CodePageToUtf16(value));
    } else {
        FValue = value;
    }
}

std::string TqzPDString::GetBytes() const {
    if (FIsHex && IsHex(FValue)) return HexToByteArray(FValue);
    return FValue;
}

std::unique_ptr<TqzPDBaseObject> TqzPDString::Clone() const {
    auto copy = std::make_unique<TqzPDString>(FValue, FObjNumber, FGenNumber, FIsHex);
    copy->FIsChanged = FIsChanged;
    copy->FIsWritten = FIsWritten;
    return copy;
}

void TqzPDString::Assign(const TqzPDBaseObject& source) {
    TqzPDBaseObject::Assign(source);
    if (const auto* s = dynamic_cast<const TqzPDString*>(&source)) FValue = s->FValue;
}

void TqzPDString::WriteText(TqzSaveContext& context) {
    if (FIsHex) {
        context.Write("<");
        if (IsHex(FValue)) {
            context.Write(FValue);
        } else {
            // Damaged input can leave other bytes between the brackets; readers
            // skip them, and writing them back would make the output invalid.
            std::string digits;
            for (char c : FValue)
                if (IsHex(std::string_view(&c, 1))) digits.push_back(c);
            context.Write(digits);
        }
        context.Write(">");
    } else {
        context.Write("(");
        context.Write(EscapeLiteral(FValue));
        context.Write(")");
    }
}

}  // namespace qz::core
