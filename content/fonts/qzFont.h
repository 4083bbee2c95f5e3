#pragma once
// TqzFont: the font callers of the drawing interface ask for — name, size,
// style, colour, the encoding of a simple font written from it and,
// optionally, a font program to embed (a file name or an owned in-memory
// stream). A plain record; the font writers borrow it.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Fonts.h"
#include "platform/Streams.h"

namespace qz::content {

enum class TqzFontEncoding : uint8_t {
    feWinAnsiEncoding,
    feMacRomanEncoding,
    feMacExpertEncoding,
    feStandardEncoding,
    fePDFDocEncoding
};

class TqzFont {
  public:
    TqzFont();
    TqzFont(std::string AName, int32_t ASize, platform::TFontStyles AStyle,
            platform::TColor AColor);

    const std::string& GetName() const { return FName; }
    int32_t GetSize() const { return FSize; }
    platform::TFontStyles GetStyle() const { return FStyle; }
    platform::TColor GetColor() const { return FColor; }
    TqzFontEncoding GetEncoding() const { return FEncoding; }
    const std::string& GetFileName() const { return FFileName; }
    platform::MemoryStream* GetStream() const { return FStream.get(); }  // still owned here
    bool GetAutoSize() const { return FAutoSize; }

    void SetName(std::string Value) { FName = std::move(Value); }
    void SetSize(int32_t Value) { FSize = Value; }
    void SetStyle(platform::TFontStyles Value) { FStyle = Value; }
    void SetColor(platform::TColor Value) { FColor = Value; }
    void SetEncoding(TqzFontEncoding Value) { FEncoding = Value; }
    void SetFileName(std::string Value) { FFileName = std::move(Value); }
    void SetAutoSize(bool Value) { FAutoSize = Value; }

    // Copies the whole of Value (from its start) into the owned stream, which
    // is then at position 0; the caller keeps Value.
    void SetStream(platform::Stream& Value);
    void SetFont(std::string AFontFileName, int32_t ASize, platform::TColor AColor);
    // Takes AFontStream over; the stream owned before is freed.
    void SetFont(std::unique_ptr<platform::MemoryStream> AFontStream, int32_t ASize,
                 platform::TColor AColor);

    platform::PlatformFont GetPlatformFont() const;

  private:
    std::string FName = "Arial";
    int32_t FSize = 8;
    platform::TFontStyles FStyle = 0;
    platform::TColor FColor = 0;
    std::unique_ptr<platform::MemoryStream> FStream;
    std::string FFileName;
    TqzFontEncoding FEncoding = TqzFontEncoding::feWinAnsiEncoding;
    bool FAutoSize = false;
};

}  // namespace qz::content
