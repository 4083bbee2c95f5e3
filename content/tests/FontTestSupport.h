#pragma once
// Fonts in tests: a one-page file whose resources name font object 4 as
// /F1 (further objects from 5 on), read back through the resources' look-up,
// so every font comes from the registered maker.

#include <string>

#include "content/fonts/PDFont.h"
#include "content/tests/ContentTestSupport.h"
#include "document/PDResource.h"

namespace qz::content::testing {

class FontFile : public OnePageFile {
public:
    explicit FontFile(const std::string& font, const std::string& contents = {})
        : OnePageFile("/Resources << /Font << /F1 4 0 R >> >>" +
                      (contents.empty() ? std::string() : std::string(" /Contents 9 0 R"))) {
        Builder.Set(4, font);
        if (!contents.empty()) Builder.SetStream(9, "<< >>", contents);
    }
    FontFile& With(int32_t number, const std::string& text) {
        Builder.Set(number, text);
        return *this;
    }
    FontFile& WithStream(int32_t number, const std::string& dict, const std::string& data, bool compress = false) {
        Builder.SetStream(number, dict, data, compress);
        return *this;
    }
    // /F1 of the loaded file (loaded on first call), as the given class.
    template <typename T = TqzPDFont>
    T* Font() {
        if (!Document.IsLoaded()) Load();
        document::TqzPDResource* resources = Page().GetResource();
        return resources != nullptr ? dynamic_cast<T*>(resources->LookUpFont("F1")) : nullptr;
    }
};

// The decoded characters of `text`: "code:name:dx:dy" per character.
inline std::string Decode(TqzPDFont& font, const std::string& text) {
    std::string out;
    size_t index = 0;
    while (index < text.size()) {
        int32_t processed = 0;
        uint32_t code = 0;
        std::string name;
        double dx = 0, dy = 0, ox = 0, oy = 0;
        const int32_t produced = font.GetNextChar(text, index, processed, code, name, dx, dy, ox, oy);
        if (!out.empty()) out += ' ';
        out += produced == 1 ? std::to_string(code) + ":" + name + ":" + Num(dx) + ":" + Num(dy) : "-";
        index += static_cast<size_t>(processed > 0 ? processed : 1);
    }
    return out;
}

}  // namespace qz::content::testing
