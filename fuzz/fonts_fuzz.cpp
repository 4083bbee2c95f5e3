// Font models: the input is a font as PDF text, split at lines "%%" into
//   the font dictionary (object 4, the page's /F1),
//   a second object (5: a descendant font, a descriptor, an encoding ...),
//   the data of stream object 6 (a ToUnicode or encoding CMap, a glyph map
//   or a font program: the dictionary of object 5 or 4 points at it),
//   the bytes shown.
// The font is made through the resources' look-up and asked for every
// character of the shown bytes and every width; the bytes are shown on a
// page as a content stream would, to a device that takes characters, and
// glyphs are recorded and written back as for a font being written.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "content/ContentSetup.h"
#include "content/device/PDContents.h"
#include "content/device/PDExportDevice.h"
#include "content/fonts/PDCIDFont.h"
#include "content/fonts/PDFont.h"
#include "core/PDStream.h"
#include "document/PDDocument.h"
#include "document/PDPage.h"
#include "document/PDResource.h"
#include "fuzz/FuzzSupport.h"
#include "testing/PdfBuilder.h"

namespace {

using namespace qz;

class CharacterDevice : public content::TqzPDExportDevice {
public:
    explicit CharacterDevice(bool decoded) {
        FUseDrawChar = true;
        FCIDToGIDNeeded = decoded;
    }
    void DrawChar(content::TqzPDState&, double X, double Y, double Dx, double Dy, int32_t Code,
                  const std::string& CharName) override {
        Sum += X + Y + Dx + Dy + Code + static_cast<double>(CharName.size());
    }
    double Sum = 0;
};

std::vector<std::string> Parts(std::string_view input) {
    std::vector<std::string> parts;
    while (parts.size() < 3) {
        const size_t at = input.find("\n%%\n");
        if (at == std::string_view::npos) break;
        parts.emplace_back(input.substr(0, at));
        input.remove_prefix(at + 4);
    }
    parts.emplace_back(input);
    parts.resize(4);
    return parts;
}

std::string Hex(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        out += "0123456789ABCDEF"[static_cast<uint8_t>(c) >> 4];
        out += "0123456789ABCDEF"[static_cast<uint8_t>(c) & 15];
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        qz::fuzz::Setup();
        content::RegisterContentFactories();
        return true;
    }();
    (void)ready;
    const std::vector<std::string> parts = Parts(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string& shown = parts[3];

    testing::PdfBuilder builder;
    builder.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    builder.Set(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    builder.Set(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources << /Font << /F1 4 0 R >> >> "
                   "/Contents 7 0 R >>");
    builder.Set(4, parts[0].empty() ? "null" : parts[0]);
    builder.Set(5, parts[1].empty() ? "null" : parts[1]);
    builder.SetStream(6, "<< /Subtype /OpenType >>", parts[2]);
    const std::string hex = Hex(shown.substr(0, 256));
    builder.SetStream(7, "<< >>",
                      "BT /F1 12 Tf 2 Tw 1 Tc (" + std::string("A") + ") Tj <" + hex + "> Tj [<" + hex +
                          "> -250 (x)] TJ 0 -14 Td <" + hex + "> ' ET");

    document::TqzPDDocument doc;
    try {
        doc.LoadDocument(std::make_shared<platform::MemoryStream>(builder.Write()));
    } catch (const std::exception&) {
        return 0;
    }
    try {
        document::TqzPDPage* page = doc.GetPage(1);
        document::TqzPDResource* resources = page != nullptr ? page->GetResource() : nullptr;
        auto* font = resources != nullptr ? dynamic_cast<content::TqzPDFont*>(resources->LookUpFont("F1")) : nullptr;
        if (font == nullptr) return 0;
        double sum = 0;
        for (size_t index = 0; index < shown.size();) {
            int32_t processed = 0;
            uint32_t code = 0;
            std::string name;
            double dx = 0, dy = 0, ox = 0, oy = 0;
            font->GetNextChar(shown, index, processed, code, name, dx, dy, ox, oy);
            sum += dx + dy + code;
            index += static_cast<size_t>(processed > 0 ? processed : 1);
        }
        for (uint32_t code = 0; code < 300; ++code) sum += font->GetCharWidth(code);
        for (uint32_t code : {65535u, 65536u, 70000u, 0xFFFFFFFFu}) sum += font->GetCharWidth(code);
        if (platform::MemoryStream* program = font->GetEmbeddedFontStream()) sum += static_cast<double>(program->Size());
        sum += static_cast<double>(font->WritingMode() == content::TqzWritingMode::wmVertical);
        (void)sum;

        for (const bool decoded : {true, false}) {
            CharacterDevice device(decoded);
            if (content::TqzPDContents* contents = content::GetContents(*page)) {
                contents->Display(device, 72, 72, 1, 0, page->GetMediaBox(), page->GetCropBox(), false);
            }
        }

        if (auto* composite = dynamic_cast<content::TqzPDCIDFont*>(font)) {
            std::vector<content::TqzCIDGlyph> glyphs;
            std::u16string text;
            for (size_t i = 0; i + 1 < shown.size() && glyphs.size() < 64; i += 2) {
                const auto glyph = static_cast<uint16_t>((static_cast<uint8_t>(shown[i]) << 8) |
                                                         static_cast<uint8_t>(shown[i + 1]));
                text += static_cast<char16_t>(glyph);
                glyphs.push_back({glyph, static_cast<int32_t>(static_cast<int8_t>(shown[i])) * 100,
                                  static_cast<int32_t>(static_cast<int8_t>(shown[i + 1]))});
            }
            composite->ProcessUniscribe(text, platform::PlatformFont{}, glyphs);
            composite->Update();
        }
    } catch (const std::exception&) {
    }
    return 0;
}
