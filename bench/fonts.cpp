// fonts FILE.pdf: the fonts of every page as our font models read them,
// one line each, in the columns and words of poppler's pdffonts (name,
// type, encoding, embedded, subset, Unicode map, object and generation), so
// outside checks can compare line by line. A font used by several pages,
// forms or Type 3 glyphs is listed once, where it is first met, as pdffonts
// does.
//
// fonts --text FILE.pdf: for each page, the Unicode text our decoding gives
// for the page's first text objects: "page N: TEXT" (one line per text
// object). Each shown string is decoded through its font: Unicode from the
// ToUnicode map of the raw code, else from the glyph name through the glyph
// list, else from the code where the font model gives Unicode; U+FFFD where
// none of them does.
//
// fonts --widths FILE.pdf: for each font, "font OBJ GEN TYPE FLAGS PROGRAM
// NAME" (PROGRAM: the object number of its embedded program, 0 without),
// then one line per code the pages show, once: "OBJ GEN RAW CODE NAME
// UNICODE WIDTH" (raw code in hexadecimal, the model's code, the glyph name
// or "-", the first code point of its text in hexadecimal or "-", the
// model's width in thousandths of the font size).
//
// Exits 1 with a message when the file cannot be read, 2 on wrong usage.
// A page whose content cannot be interpreted gets a line "page N: error: ..."
// and the others are still read.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "content/ContentSetup.h"
#include "content/device/PDContentStream.h"
#include "content/device/PDContents.h"
#include "content/device/PDExportDevice.h"
#include "content/fonts/PD8bitFont.h"
#include "content/fonts/PDAdobeGlyphList.h"
#include "content/fonts/PDCMapParser.h"
#include "content/fonts/PDFont.h"
#include "content/state/PDState.h"
#include "core/PDArray.h"
#include "core/PDBaseObject.h"
#include "core/PDDictionary.h"
#include "core/PDName.h"
#include "document/ContentFactories.h"
#include "document/PDDocument.h"
#include "document/PDPage.h"
#include "document/PDResource.h"

namespace {

namespace content = qz::content;
namespace core = qz::core;
namespace document = qz::document;
using content::TqzPDFontType;

// Forms and Type 3 fonts nest resources in resources; real files go a few
// levels deep, a hostile one could loop (the visited set stops that) or
// nest without end.
constexpr int32_t kMaxResourceDepth = 32;
// Text objects of a page whose text --text prints.
constexpr int32_t kTextObjectsPerPage = 3;
// Characters decoded from one shown string: far beyond any real line, and
// a bound on what a hostile string can make us print.
constexpr size_t kMaxCharsPerString = 100000;

std::string_view TypeWords(TqzPDFontType type) {
    switch (type) {
        case TqzPDFontType::Type1: return "Type 1";
        case TqzPDFontType::Type1C: return "Type 1C";
        case TqzPDFontType::Type1COT: return "Type 1C (OT)";
        case TqzPDFontType::Type3: return "Type 3";
        case TqzPDFontType::TrueType: return "TrueType";
        case TqzPDFontType::TrueTypeOT: return "TrueType (OT)";
        case TqzPDFontType::CIDType0: return "CID Type 0";
        case TqzPDFontType::CIDType0C: return "CID Type 0C";
        case TqzPDFontType::CIDType0COT: return "CID Type 0C (OT)";
        case TqzPDFontType::CIDType2: return "CID TrueType";
        case TqzPDFontType::CIDType2OT: return "CID TrueType (OT)";
        case TqzPDFontType::UnknowType: break;
    }
    return "unknown";
}

// Our encoding names in pdffonts' words. A simple font whose model found
// no encoding of its own uses its program's: pdffonts says "Builtin".
std::string EncodingWords(const content::TqzPDFont& font) {
    const std::string& name = font.GetEncodingName();
    if (font.IsCIDFont()) return name.empty() ? "Builtin" : name;
    static const std::map<std::string, std::string, std::less<>> words = {
        {"StandardEncoding", "Standard"}, {"WinAnsiEncoding", "WinAnsi"},
        {"MacRomanEncoding", "MacRoman"}, {"MacExpertEncoding", "MacExpert"},
        {"PDFDocEncoding", "PDFDoc"},     {"CustomEncoding", "Custom"}};
    if (name.empty()) return "Builtin";
    const auto found = words.find(name);
    return found == words.end() ? name : found->second;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The object number of a dictionary or stream that is an indirect object.
int64_t ObjectNumber(const core::TqzPDBaseObject* object) {
    return object == nullptr || object->IsDirect() ? -1 : static_cast<int64_t>(object->GetObjNumber());
}

core::TqzPDDictionary* AsDict(core::TqzPDBaseObject* object) {
    return object != nullptr && (object->IsDict() || object->IsStream())
               ? dynamic_cast<core::TqzPDDictionary*>(object)
               : nullptr;
}

// The embedded program's stream object, read from the dictionaries (the
// model keeps its number only), or none.
core::TqzPDBaseObject* ProgramObject(const content::TqzPDFont& font) {
    core::TqzPDDictionary* dict = font.GetFontDict();
    if (dict == nullptr) return nullptr;
    if (font.IsCIDFont()) {
        auto* descendants = dict->LookUp("DescendantFonts");
        auto* array = descendants != nullptr && descendants->IsArray()
                          ? static_cast<core::TqzPDArray*>(descendants)
                          : nullptr;
        dict = array != nullptr && array->GetLength() > 0 ? AsDict(array->Get(0)) : nullptr;
        if (dict == nullptr) return nullptr;
    }
    core::TqzPDDictionary* descriptor = AsDict(dict->LookUp("FontDescriptor"));
    if (descriptor == nullptr) return nullptr;
    for (const char* key : {"FontFile", "FontFile2", "FontFile3"}) {
        if (auto* program = descriptor->LookUp(key); program != nullptr && program->IsStream()) return program;
    }
    return nullptr;
}

// Every font of the file, each once, in the order pages, forms and Type 3
// glyphs first use them.
class FontWalk {
public:
    explicit FontWalk(document::TqzPDDocument& doc) : FDoc(doc) {}

    void Page(document::TqzPDPage& page) {
        document::TqzPDResource* resource = page.GetResource();
        if (resource != nullptr) Resources(resource->GetDict(), 0);
    }

    struct Entry {
        int64_t obj = -1;
        int64_t gen = -1;
        std::unique_ptr<document::TqzPDFont> model;
    };
    std::vector<Entry> Fonts;

private:
    void Resources(core::TqzPDDictionary* resources, int32_t depth) {
        if (resources == nullptr || depth > kMaxResourceDepth) return;
        if (!resources->IsDirect() && !FSeenResources.insert(resources->GetObjNumber()).second) return;
        if (auto* fonts = AsDict(resources->LookUp("Font"))) {
            for (int32_t i = 0; i < fonts->GetLength(); ++i) {
                core::TqzPDBaseObject* dict = fonts->GetValue(i);
                if (dict == nullptr || !dict->IsDict()) continue;
                if (!dict->IsDirect() && !FSeenFonts.insert(dict->GetObjNumber()).second) continue;
                Entry entry;
                entry.obj = ObjectNumber(dict);
                entry.gen = dict->IsDirect() ? -1 : static_cast<int64_t>(dict->GetGenNumber());
                entry.model = document::MakeFont(FDoc, nullptr, dict, fonts->GetKey(i));
                core::TqzPDDictionary* fontDict = AsDict(dict);
                Fonts.push_back(std::move(entry));
                // A Type 3 font's glyphs may use fonts of their own.
                if (fontDict != nullptr && fontDict->LookUp("Subtype") != nullptr &&
                    fontDict->LookUp("Subtype")->IsName("Type3")) {
                    Resources(AsDict(fontDict->LookUp("Resources")), depth + 1);
                }
            }
        }
        if (auto* xobjects = AsDict(resources->LookUp("XObject"))) {
            for (int32_t i = 0; i < xobjects->GetLength(); ++i) {
                core::TqzPDBaseObject* form = xobjects->GetValue(i);
                auto* dict = form != nullptr && form->IsStream() ? AsDict(form) : nullptr;
                if (dict == nullptr || dict->LookUp("Subtype") == nullptr ||
                    !dict->LookUp("Subtype")->IsName("Form")) {
                    continue;
                }
                if (!FSeenForms.insert(dict->GetObjNumber()).second) continue;
                Resources(AsDict(dict->LookUp("Resources")), depth + 1);
            }
        }
    }

    document::TqzPDDocument& FDoc;
    std::set<uint32_t> FSeenResources, FSeenFonts, FSeenForms;
};

std::string PdffontsLine(const FontWalk::Entry& entry) {
    auto* font = dynamic_cast<content::TqzPDFont*>(entry.model.get());
    char line[512];
    if (font == nullptr) {
        std::snprintf(line, sizeof line, "%-36s %-17s %-16s %-3s %-3s %-3s %6lld %2lld", "[none]", "unknown",
                      "none", "no", "no", "no", static_cast<long long>(entry.obj),
                      static_cast<long long>(entry.gen));
        return line;
    }
    const std::string& name = font->GetOrginalName();
    // A Type 3 font's glyphs are always in the file: pdffonts calls it embedded.
    const bool embedded = font->GetEmbeddingType() != content::TqzPDFFontEmbeddingType::etNone ||
                          font->GetFontType() == TqzPDFontType::Type3;
    // pdffonts calls a name subset whatever the embedding; so do we.
    const bool subset = name.size() > 7 && name[6] == '+';
    std::snprintf(line, sizeof line, "%-36s %-17s %-16s %-3s %-3s %-3s %6lld %2lld",
                  name.empty() ? "[none]" : name.c_str(), std::string(TypeWords(font->GetFontType())).c_str(),
                  EncodingWords(*font).c_str(), embedded ? "yes" : "no", subset ? "yes" : "no",
                  font->GetToUnicode() != nullptr ? "yes" : "no", static_cast<long long>(entry.obj),
                  static_cast<long long>(entry.gen));
    return line;
}

// One decoded character of a shown string.
struct DecodedChar {
    uint32_t raw = 0;   // the string's bytes of the character, big-endian
    uint32_t code = 0;  // the model's code
    std::string name;   // the model's glyph name
    double width = 0;   // the model's displacement per unit of font size
    std::u32string text;
};

// The Unicode of one character, in the order the usage says.
std::u32string UnicodeOf(content::TqzPDFont& font, uint32_t raw, uint8_t firstByte, uint32_t code,
                         const std::string& charName) {
    if (const content::TqzPDCMapParser* map = font.GetToUnicode()) {
        std::u32string text = map->GetText(raw);
        if (!text.empty()) return text;
    }
    const bool zapf = font.GetOrginalName().find("ZapfDingbats") != std::string::npos;
    if (auto* simple = dynamic_cast<content::TqzPD8bitFont*>(&font)) {
        std::string name = charName.empty() ? simple->GetEncoding(firstByte) : charName;
        if (!name.empty()) {
            if (const uint32_t u = content::GetScalarCode(name, zapf); u != 0) return {static_cast<char32_t>(u)};
            return {};
        }
        if (code >= 0x20) return {static_cast<char32_t>(code)};
        return {};
    }
    // A composite font without a program of its own decodes to Unicode
    // through its collection's map; with one, its code is a glyph's.
    if (font.IsCIDFont() && !font.HasEmbeddedProgram() && code >= 0x20) return {static_cast<char32_t>(code)};
    return {};
}

std::vector<DecodedChar> Decode(content::TqzPDFont& font, const std::string& str) {
    std::vector<DecodedChar> chars;
    for (size_t index = 0; index < str.size() && chars.size() < kMaxCharsPerString;) {
        int32_t processed = 0;
        DecodedChar c;
        double dy = 0, ox = 0, oy = 0;
        const int32_t got = font.GetNextChar(str, index, processed, c.code, c.name, c.width, dy, ox, oy);
        const size_t used = processed > 0 ? static_cast<size_t>(processed) : 1;
        for (size_t k = index; k < index + used && k < str.size() && k < index + 4; ++k)
            c.raw = (c.raw << 8) | static_cast<uint8_t>(str[k]);
        const auto first = static_cast<uint8_t>(str[index]);
        index += used;
        if (got != 1) continue;
        c.text = UnicodeOf(font, c.raw, first, c.code, c.name);
        chars.push_back(std::move(c));
    }
    return chars;
}

// Collects the text of a page's first text objects and the codes each
// font shows.
class TextDevice : public content::TqzPDExportDevice {
public:
    TextDevice() { FUseDrawChar = true; }

    void BeginString(content::TqzPDState& State, const std::string& Str) override {
        auto* font = dynamic_cast<content::TqzPDFont*>(State.GetFont());
        if (font == nullptr) return;
        const std::vector<DecodedChar> chars = Decode(*font, Str);
        const int64_t obj = ObjectNumber(font->GetBaseObject());
        for (const DecodedChar& c : chars) {
            if (FTextObjects < kTextObjectsPerPage) {
                if (c.text.empty()) AppendUtf8(FCurrent, 0xFFFD);
                for (const char32_t u : c.text) AppendUtf8(FCurrent, u);
            }
            if (obj >= 0) Shown.try_emplace({obj, c.raw}, c);
        }
        if (FTextObjects < kTextObjectsPerPage) FCurrent += ' ';
    }

    void EndTextObject(content::TqzPDState& /*State*/) override {
        if (FTextObjects < kTextObjectsPerPage) Texts.push_back(std::move(FCurrent));
        FCurrent.clear();
        ++FTextObjects;
    }

    void StartPage(int32_t /*nPage*/, content::TqzPDState& /*State*/) override {
        Texts.clear();
        FCurrent.clear();
        FTextObjects = 0;
    }

    std::vector<std::string> Texts;
    // Every (font object, raw code) shown on any page, with its first decoding.
    std::map<std::pair<int64_t, uint32_t>, DecodedChar> Shown;

private:
    std::string FCurrent;
    int32_t FTextObjects = 0;
};

// Interprets every page with `device`; `page` runs after each page.
template <typename AfterPage>
void InterpretPages(document::TqzPDDocument& doc, TextDevice& device, AfterPage page) {
    for (int32_t n = 1; n <= doc.GetPageCount(); ++n) {
        document::TqzPDPage* p = doc.GetPage(n);
        std::string error;
        device.Texts.clear();
        try {
            content::TqzPDContents* contents = p != nullptr ? content::GetContents(*p) : nullptr;
            if (contents != nullptr) {
                content::TqzPDState state(72, 72, p->GetRotate(), p->GetCropBox());
                device.StartPage(n, state);
                contents->GetCSForRendering()->DispalyObject(device, state, p->GetResource());
            }
        } catch (const std::exception& e) {
            error = e.what();
        }
        page(n, error);
    }
}

std::string Hex(uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%X", value);
    return buffer;
}

int Usage(const char* self) {
    std::fprintf(stderr,
                 "usage: %s [--text | --widths] FILE.pdf\n"
                 "  lists each font of every page once, in the columns of pdffonts;\n"
                 "  --text prints the text of each page's first text objects,\n"
                 "  --widths the width our models give each code the pages show\n",
                 self);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const char* self = argc > 0 ? argv[0] : "fonts";
    std::string mode;
    const char* file = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if ((arg == "--text" || arg == "--widths") && mode.empty()) {
            mode = arg;
        } else if (!arg.starts_with("--") && file == nullptr) {
            file = argv[i];
        } else {
            return Usage(self);
        }
    }
    if (file == nullptr) return Usage(self);

    try {
        content::RegisterContentFactories();
        document::TqzPDDocument doc;
        doc.LoadDocument(file);
        if (mode.empty()) {
            FontWalk walk(doc);
            for (int32_t n = 1; n <= doc.GetPageCount(); ++n) {
                if (document::TqzPDPage* page = doc.GetPage(n)) walk.Page(*page);
            }
            std::printf("name                                 type              encoding         emb sub uni object ID\n");
            std::printf("------------------------------------ ----------------- ---------------- --- --- --- ---------\n");
            for (const auto& entry : walk.Fonts) std::printf("%s\n", PdffontsLine(entry).c_str());
            return 0;
        }
        TextDevice device;
        if (mode == "--text") {
            InterpretPages(doc, device, [&](int32_t n, const std::string& error) {
                for (const std::string& text : device.Texts) std::printf("page %d: %s\n", n, text.c_str());
                if (!error.empty()) std::printf("page %d: error: %s\n", n, error.c_str());
            });
            return 0;
        }
        std::vector<std::string> errors;
        InterpretPages(doc, device, [&](int32_t n, const std::string& error) {
            if (!error.empty()) errors.push_back("page " + std::to_string(n) + ": error: " + error);
        });
        FontWalk walk(doc);
        for (int32_t n = 1; n <= doc.GetPageCount(); ++n) {
            if (document::TqzPDPage* page = doc.GetPage(n)) walk.Page(*page);
        }
        for (const auto& entry : walk.Fonts) {
            auto* font = dynamic_cast<content::TqzPDFont*>(entry.model.get());
            if (font == nullptr || entry.obj < 0) continue;
            const std::string& name = font->GetOrginalName();
            std::printf("font %lld %lld %s %u %lld %s\n", static_cast<long long>(entry.obj),
                        static_cast<long long>(entry.gen), std::string(TypeWords(font->GetFontType())).c_str(),
                        font->GetFlags(), static_cast<long long>(std::max<int64_t>(0, ObjectNumber(ProgramObject(*font)))),
                        name.empty() ? "-" : name.c_str());
            for (auto it = device.Shown.lower_bound({entry.obj, 0});
                 it != device.Shown.end() && it->first.first == entry.obj; ++it) {
                const DecodedChar& c = it->second;
                std::printf("%lld %lld %s %u %s %s %.2f\n", static_cast<long long>(entry.obj),
                            static_cast<long long>(entry.gen), Hex(c.raw).c_str(), c.code,
                            c.name.empty() ? "-" : c.name.c_str(),
                            c.text.empty() ? "-" : Hex(static_cast<uint32_t>(c.text.front())).c_str(),
                            c.width * 1000.0);
            }
        }
        for (const std::string& error : errors) std::printf("%s\n", error.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fonts: %s: %s\n", file, e.what());
        return 1;
    }
    return 0;
}
