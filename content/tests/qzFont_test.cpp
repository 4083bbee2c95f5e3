// The font record callers fill for the font writers.

#include "content/fonts/qzFont.h"

#include <gtest/gtest.h>

#include <memory>

namespace qz::content {
namespace {

TEST(qzFont, Defaults) {
    const TqzFont font;
    EXPECT_EQ(font.GetName(), "Arial");
    EXPECT_EQ(font.GetSize(), 8);
    EXPECT_EQ(font.GetStyle(), 0);
    EXPECT_EQ(font.GetColor(), 0u);
    EXPECT_EQ(font.GetEncoding(), TqzFontEncoding::feWinAnsiEncoding);
    EXPECT_EQ(font.GetFileName(), "");
    EXPECT_EQ(font.GetStream(), nullptr);
    EXPECT_FALSE(font.GetAutoSize());

    const TqzFont named("Courier", 12, platform::fsBold | platform::fsItalic, 0x0000FF);
    const platform::PlatformFont pf = named.GetPlatformFont();
    EXPECT_EQ(pf.Name, "Courier");
    EXPECT_EQ(pf.Size, 12);
    EXPECT_EQ(pf.Style, platform::fsBold | platform::fsItalic);
    EXPECT_EQ(pf.Color, 0x0000FFu);
    EXPECT_EQ(named.GetEncoding(), TqzFontEncoding::feWinAnsiEncoding);
    EXPECT_EQ(named.GetStream(), nullptr);
}

TEST(qzFont, SetStreamCopiesFromTheStart) {
    TqzFont font;
    platform::MemoryStream first(std::string("first program"));
    first.SetPosition(6);
    font.SetStream(first);
    platform::MemoryStream* owned = font.GetStream();
    ASSERT_NE(owned, nullptr);
    EXPECT_EQ(owned->Bytes(), "first program");
    EXPECT_EQ(owned->Position(), 0);

    platform::MemoryStream second(std::string("two"));
    font.SetStream(second);
    EXPECT_EQ(font.GetStream(), owned);  // one owned stream, refilled
    EXPECT_EQ(owned->Bytes(), "two");
    EXPECT_EQ(owned->Position(), 0);
    EXPECT_EQ(second.Bytes(), "two");

    // Its own stream given back keeps the program.
    owned->SetPosition(2);
    font.SetStream(*owned);
    EXPECT_EQ(owned->Bytes(), "two");
    EXPECT_EQ(owned->Position(), 0);

    platform::MemoryStream empty;
    font.SetStream(empty);
    EXPECT_EQ(owned->Size(), 0);
}

TEST(qzFont, SetFontTakesTheStreamOver) {
    TqzFont font;
    platform::MemoryStream copied(std::string("copied"));
    font.SetStream(copied);
    // Replacing the owned stream frees it (the sanitizer build reports a leak
    // or a double free otherwise).
    auto given = std::make_unique<platform::MemoryStream>(std::string("given"));
    platform::MemoryStream* raw = given.get();
    font.SetFont(std::move(given), 14, 0x00FF00);
    EXPECT_EQ(font.GetStream(), raw);
    EXPECT_EQ(font.GetSize(), 14);
    EXPECT_EQ(font.GetColor(), 0x00FF00u);
    font.SetFont(std::make_unique<platform::MemoryStream>(std::string("again")), 9, 0);
    EXPECT_EQ(font.GetStream()->Bytes(), "again");

    font.SetFont("/fonts/x.ttf", 10, 0x123456);
    EXPECT_EQ(font.GetFileName(), "/fonts/x.ttf");
    EXPECT_EQ(font.GetSize(), 10);
    EXPECT_EQ(font.GetColor(), 0x123456u);
    EXPECT_EQ(font.GetStream()->Bytes(), "again");  // the file name does not drop the stream
}

}  // namespace
}  // namespace qz::content
