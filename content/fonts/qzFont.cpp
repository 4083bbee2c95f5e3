#include "content/fonts/qzFont.h"

namespace qz::content {

TqzFont::TqzFont() = default;

TqzFont::TqzFont(std::string AName, int32_t ASize, platform::TFontStyles AStyle,
                 platform::TColor AColor)
    : FName(std::move(AName)), FSize(ASize), FStyle(AStyle), FColor(AColor) {}

void TqzFont::SetStream(platform::Stream& Value) {
    if (FStream && &Value == FStream.get()) {
        // Its own stream: clearing before copying would lose the program.
        FStream->SetPosition(0);
        return;
    }
    if (!FStream) FStream = std::make_unique<platform::MemoryStream>();
    FStream->Clear();
    FStream->CopyFrom(Value, 0);
    FStream->SetPosition(0);
}

void TqzFont::SetFont(std::string AFontFileName, int32_t ASize, platform::TColor AColor) {
    FFileName = std::move(AFontFileName);
    FSize = ASize;
    FColor = AColor;
}

void TqzFont::SetFont(std::unique_ptr<platform::MemoryStream> AFontStream, int32_t ASize,
                      platform::TColor AColor) {
    FStream = std::move(AFontStream);
    FSize = ASize;
    FColor = AColor;
}

platform::PlatformFont TqzFont::GetPlatformFont() const {
    return {FName, FSize, FStyle, FColor};
}

}  // namespace qz::content
