#include "core/PDName.h"

#include "core/SaveContext.h"

namespace qz::core {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool NeedsEscape(uint8_t c) {
    if (c < 0x21 || c == 0x7F) return true;
    switch (c) {
        case '#': case '%': case '(': case ')': case '/': case '<': case '>':
        case '[': case ']': case '{': case '}':
            return true;
        default:
            return false;
    }
}

}  // namespace

std::string DecodeName(std::string_view text) {
    if (text.find('#') == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '#' && i + 2 < text.size()) {
            const int high = HexDigit(text[i + 1]);
            const int low = HexDigit(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>((high << 4) | low));
                i += 2;
                continue;
            }
        }
        // A "#" that starts no escape is a character of the name, as other
        // readers take it, so content that names it still finds it.
        out.push_back(text[i]);
    }
    return out;
}

std::string EncodeName(std::string_view name) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size());
    for (char ch : name) {
        const auto c = static_cast<uint8_t>(ch);
        if (NeedsEscape(c)) {
            out.push_back('#');
            out.push_back(kDigits[c >> 4]);
            out.push_back(kDigits[c & 0x0F]);
        } else {
            out.push_back(ch);
        }
    }
    return out;
}

std::unique_ptr<TqzPDBaseObject> TqzPDName::Clone() const {
    auto copy = std::make_unique<TqzPDName>(std::string_view(), FObjNumber, FGenNumber);
    copy->FValue = FValue;
    copy->FIsChanged = FIsChanged;
    return copy;
}

void TqzPDName::Assign(const TqzPDBaseObject& source) {
    TqzPDBaseObject::Assign(source);
    if (const auto* n = dynamic_cast<const TqzPDName*>(&source)) FValue = n->FValue;
}

void TqzPDName::WriteText(TqzSaveContext& context) {
    context.Write("/");
    context.Write(EncodeName(FValue));
}

}  // namespace qz::core
