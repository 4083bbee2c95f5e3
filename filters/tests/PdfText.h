#pragma once
// A small reader of PDF object text for the security tests: what qpdf prints
// (--show-object) and the objects of the files it writes. It makes core
// objects so that the code under test reads them as it would read a loaded
// file. Enough for well-formed input only; the real parser is elsewhere.

#include <cctype>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/PDArray.h"
#include "core/PDBoolean.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDNull.h"
#include "core/PDReal.h"
#include "core/PDString.h"

namespace qz::filters::test {

class PdfText {
public:
    explicit PdfText(std::string_view text, size_t pos = 0) : FText(text), FPos(pos) {}

    size_t Position() const { return FPos; }

    std::unique_ptr<core::TqzPDBaseObject> Object() {
        SkipSpace();
        if (FPos >= FText.size()) throw std::runtime_error("PdfText: end of text");
        const char c = FText[FPos];
        if (Starts("<<")) return Dictionary();
        if (c == '<') return HexString();
        if (c == '(') return LiteralString();
        if (c == '[') return Array();
        if (c == '/') {
            ++FPos;
            return std::make_unique<core::TqzPDName>(Word());
        }
        const std::string word = Word();
        if (word == "true" || word == "false") return std::make_unique<core::TqzPDBoolean>(word == "true");
        if (word == "null") return std::make_unique<core::TqzPDNull>();
        if (word.find('.') != std::string::npos) return std::make_unique<core::TqzPDReal>(std::stod(word));
        const int64_t value = std::stoll(word);
        // "N G R" is a reference.
        const size_t save = FPos;
        SkipSpace();
        if (FPos < FText.size() && std::isdigit(static_cast<unsigned char>(FText[FPos]))) {
            const std::string gen = Word();
            SkipSpace();
            if (Starts("R") && (FPos + 1 >= FText.size() || !std::isalnum(static_cast<unsigned char>(FText[FPos + 1])))) {
                ++FPos;
                return std::make_unique<core::TqzPDIndirectRef>(static_cast<uint32_t>(value),
                                                                static_cast<uint32_t>(std::stoul(gen)));
            }
        }
        FPos = save;
        return std::make_unique<core::TqzPDInteger>(static_cast<int32_t>(value));
    }

    // A keyword or number.
    std::string Word() {
        SkipSpace();
        const size_t start = FPos;
        while (FPos < FText.size() && !IsDelimiter(FText[FPos]) && !IsSpace(FText[FPos])) ++FPos;
        return std::string(FText.substr(start, FPos - start));
    }

    void SkipSpace() {
        while (FPos < FText.size()) {
            if (IsSpace(FText[FPos])) {
                ++FPos;
            } else if (FText[FPos] == '%') {
                while (FPos < FText.size() && FText[FPos] != '\n' && FText[FPos] != '\r') ++FPos;
            } else {
                break;
            }
        }
    }

    bool Starts(std::string_view s) const { return FText.substr(FPos, s.size()) == s; }

private:
    static bool IsSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == 0; }
    static bool IsDelimiter(char c) { return std::string_view("()<>[]{}/%").find(c) != std::string_view::npos; }

    std::unique_ptr<core::TqzPDBaseObject> Dictionary() {
        FPos += 2;
        auto dict = std::make_unique<core::TqzPDDictionary>();
        for (;;) {
            SkipSpace();
            if (Starts(">>")) {
                FPos += 2;
                return dict;
            }
            if (!Starts("/")) throw std::runtime_error("PdfText: dictionary key expected");
            ++FPos;
            const std::string key = core::DecodeName(Word());
            dict->Add(key, Object());
        }
    }

    std::unique_ptr<core::TqzPDBaseObject> Array() {
        ++FPos;
        auto array = std::make_unique<core::TqzPDArray>();
        for (;;) {
            SkipSpace();
            if (Starts("]")) {
                ++FPos;
                return array;
            }
            array->Add(Object());
        }
    }

    std::unique_ptr<core::TqzPDBaseObject> HexString() {
        ++FPos;
        std::string digits;
        while (FPos < FText.size() && FText[FPos] != '>') {
            if (std::isxdigit(static_cast<unsigned char>(FText[FPos]))) digits += FText[FPos];
            ++FPos;
        }
        ++FPos;
        return std::make_unique<core::TqzPDString>(digits, true);
    }

    std::unique_ptr<core::TqzPDBaseObject> LiteralString() {
        ++FPos;
        std::string bytes;
        int depth = 1;
        while (FPos < FText.size()) {
            char c = FText[FPos++];
            if (c == '(') {
                ++depth;
            } else if (c == ')') {
                if (--depth == 0) break;
            } else if (c == '\\' && FPos < FText.size()) {
                c = FText[FPos++];
                switch (c) {
                    case 'n': c = '\n'; break;
                    case 'r': c = '\r'; break;
                    case 't': c = '\t'; break;
                    case 'b': c = '\b'; break;
                    case 'f': c = '\f'; break;
                    case '\r':
                        if (FPos < FText.size() && FText[FPos] == '\n') ++FPos;
                        continue;
                    case '\n':
                        continue;
                    default:
                        if (c >= '0' && c <= '7') {
                            int value = c - '0';
                            for (int k = 0; k < 2 && FPos < FText.size() && FText[FPos] >= '0' && FText[FPos] <= '7'; ++k) {
                                value = value * 8 + (FText[FPos++] - '0');
                            }
                            c = static_cast<char>(value & 0xFF);
                        }
                }
            }
            bytes += c;
        }
        return std::make_unique<core::TqzPDString>(bytes, false);
    }

    std::string_view FText;
    size_t FPos;
};

inline std::unique_ptr<core::TqzPDBaseObject> ParsePdf(std::string_view text) { return PdfText(text).Object(); }

// Every string in `object`, depth first in entry order.
inline void CollectStrings(const core::TqzPDBaseObject& object, std::vector<const core::TqzPDString*>& out) {
    if (object.IsString()) {
        out.push_back(static_cast<const core::TqzPDString*>(&object));
    } else if (object.IsArray()) {
        const auto& a = static_cast<const core::TqzPDArray&>(object);
        for (int32_t i = 0; i < a.GetLength(); ++i) CollectStrings(*a.GetRefObj(i), out);
    } else if (object.IsDict()) {
        const auto& d = static_cast<const core::TqzPDDictionary&>(object);
        for (int32_t i = 0; i < d.GetLength(); ++i) CollectStrings(*d.GetValueRefObj(i), out);
    }
}

}  // namespace qz::filters::test
