// The DCT decoder against libjpeg's djpeg on images cjpeg, ImageMagick and
// Ghostscript make at test time from drawn content, the arithmetic that is
// pinned (sizes, DC-only blocks, upsampling, colour conversion), the colour
// transform decisions, and damaged or hostile headers and data.

#include <gtest/gtest.h>
#include <malloc.h>
#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer's count of heap bytes in use (its malloc keeps no
// statistics of its own).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "filters/CodecStreams.h"
#include "filters/DCTDecode.h"
#include "filters/tests/TestSupport.h"
#include "testing/GTestSupport.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

namespace qz::filters {
namespace {

using test::Mem;
using test::ReadBlocks;
namespace fs = std::filesystem;

struct Image {
    int32_t width = 0;
    int32_t height = 0;
    int32_t comps = 0;
    std::string samples;
};

// Gradients with a little noise and a few hard edges: enough detail that
// every coefficient band is used, smooth enough to compress like a photo.
Image Drawn(int32_t width, int32_t height, int32_t comps, uint32_t seed = 7) {
    std::mt19937 rng(seed);
    Image im{width, height, comps, {}};
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            for (int32_t c = 0; c < comps; ++c) {
                int32_t v = (x * (40 + 60 * c)) / std::max(width, 1) + (y * (200 - 50 * c)) / std::max(height, 1);
                if (((x / 7) + (y / 5) + c) % 4 == 0) v += 60;
                v += static_cast<int32_t>(rng() % 17) - 8;
                im.samples.push_back(static_cast<char>(std::clamp(v, 0, 255)));
            }
        }
    }
    return im;
}

Image Flat(int32_t width, int32_t height, int32_t comps, uint8_t value) {
    return Image{width, height, comps,
                 std::string(static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(comps),
                             static_cast<char>(value))};
}

std::string Pnm(const Image& im) {
    return std::string(im.comps == 1 ? "P5\n" : "P6\n") + std::to_string(im.width) + " " +
           std::to_string(im.height) + "\n255\n" + im.samples;
}

// Binary PGM or PPM as djpeg writes it.
Image ParsePnm(const std::string& bytes) {
    Image im;
    size_t at = 2;
    auto number = [&]() {
        while (at < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[at]))) ++at;
        int32_t v = 0;
        while (at < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[at]))) v = v * 10 + (bytes[at++] - '0');
        return v;
    };
    im.comps = bytes.compare(0, 2, "P5") == 0 ? 1 : 3;
    im.width = number();
    im.height = number();
    number();
    im.samples = bytes.substr(at + 1);
    return im;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Tools {
public:
    // JPEG data cjpeg makes of `im` with these options.
    std::string Cjpeg(const Image& im, const std::vector<std::string>& options) {
        const fs::path in = dir_.Write("in" + std::to_string(n_) + (im.comps == 1 ? ".pgm" : ".ppm"), Pnm(im));
        const fs::path out = dir_.File("out" + std::to_string(n_++) + ".jpg");
        std::vector<std::string> argv{"cjpeg"};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.insert(argv.end(), {"-outfile", out.string(), in.string()});
        const auto r = testing::RunProgram(argv);
        if (!r.Succeeded()) ADD_FAILURE() << r.Describe();
        return ReadFile(out);
    }
    // The reference decoding: libjpeg's integer transform, plain upsampling.
    Image Djpeg(const std::string& jpeg, bool luma = false) {
        const fs::path in = dir_.Write("ref" + std::to_string(n_++) + ".jpg", jpeg);
        std::vector<std::string> argv{"djpeg", "-dct", "int", "-nosmooth", "-pnm"};
        if (luma) argv.push_back("-grayscale");
        argv.push_back(in.string());
        const auto r = testing::RunProgram(argv);
        if (!r.Succeeded()) ADD_FAILURE() << r.Describe();
        return ParsePnm(r.out);
    }
    const testing::TempDir& Dir() const { return dir_; }

private:
    testing::TempDir dir_{"qz-dct"};
    int32_t n_ = 0;
};

std::string Decode(const std::string& jpeg, int32_t colorTransform = -1) {
    TqzDCTStream s(Mem(jpeg), colorTransform);
    s.Reset();
    return ReadBlocks(s, 4093);
}

struct Decoded {
    int32_t width, height, comps, colorXForm;
    std::string samples;
};
Decoded DecodeInfo(const std::string& jpeg, int32_t colorTransform = -1) {
    auto inner = Mem(jpeg);
    TqzDCTDecode d(inner.get(), colorTransform);
    d.Reset();
    Decoded out{d.Width(), d.Height(), d.NumComps(), d.ColorXForm(), {}};
    uint8_t block[1000];
    for (int32_t got; (got = d.Read(block, sizeof block)) > 0;) out.samples.append(reinterpret_cast<char*>(block), static_cast<size_t>(got));
    return out;
}

// Largest difference per sample; sizes must agree.
::testing::AssertionResult Near(const std::string& got, const std::string& want, int32_t tolerance) {
    if (got.size() != want.size())
        return ::testing::AssertionFailure() << "got " << got.size() << " bytes, want " << want.size();
    int32_t worst = 0;
    size_t at = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        const int32_t d = std::abs(static_cast<uint8_t>(got[i]) - static_cast<uint8_t>(want[i]));
        if (d > worst) worst = d, at = i;
    }
    if (worst <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "sample " << at << " differs by " << worst << " > " << tolerance;
}

// Segments of JPEG data: marker, offset of its 0xFF, end (a scan runs to
// the next marker that is not a restart marker).
struct Segment {
    int marker;
    size_t begin, end;
};
std::vector<Segment> Segments(const std::string& j) {
    std::vector<Segment> out;
    size_t i = 0;
    auto byte = [&](size_t k) { return static_cast<uint8_t>(j[k]); };
    while (i + 1 < j.size()) {
        if (byte(i) != 0xFF) {
            ++i;
            continue;
        }
        const int m = byte(i + 1);
        size_t end = i + 2;
        if (m != 0xD8 && m != 0xD9 && end + 1 < j.size()) end += (size_t{byte(end)} << 8) | byte(end + 1);
        if (m == 0xDA) {
            while (end + 1 < j.size() &&
                   !(byte(end) == 0xFF && byte(end + 1) != 0 && (byte(end + 1) < 0xD0 || byte(end + 1) > 0xD7)))
                ++end;
        }
        out.push_back({m, i, end});
        i = end;
    }
    return out;
}
const Segment& First(const std::vector<Segment>& segs, int marker) {
    for (const auto& s : segs)
        if (s.marker == marker) return s;
    throw std::runtime_error("no such marker");
}

// The colour conversion written out on its own.
void ToRgb(uint8_t y, uint8_t cb, uint8_t cr, uint8_t* rgb) {
    auto clip = [](int32_t v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); };
    const int32_t cb1 = cb - 128, cr1 = cr - 128;
    rgb[0] = clip((y * 65536 + dctCrToR * cr1 + 32768) >> 16);
    rgb[1] = clip((y * 65536 + dctCbToG * cb1 + dctCrToG * cr1 + 32768) >> 16);
    rgb[2] = clip((y * 65536 + dctCbToB * cb1 + 32768) >> 16);
}

class DCTDecodeTest : public ::testing::Test {
protected:
    void SetUp() override { QZ_REQUIRE_TOOLS("cjpeg", "djpeg"); }
    Tools tools;
};

// Sizes not multiples of 8 or 16, one image taller than wide; every sampling
// the tools write, both modes, restart intervals.
TEST_F(DCTDecodeTest, MatchesDjpegWithinRounding) {
    struct Case {
        const char* name;
        int32_t width, height, comps;
        std::vector<std::string> options;
    };
    const Case cases[] = {
        {"grey baseline", 37, 29, 1, {"-grayscale"}},
        {"grey progressive", 41, 19, 1, {"-grayscale", "-progressive"}},
        {"4:2:0 baseline", 37, 29, 3, {"-sample", "2x2,1x1,1x1"}},
        {"4:4:4 baseline", 33, 17, 3, {"-sample", "1x1,1x1,1x1"}},
        {"4:2:2 baseline", 45, 23, 3, {"-sample", "2x1,1x1,1x1"}},
        {"4:4:0 baseline", 29, 35, 3, {"-sample", "1x2,1x1,1x1"}},
        {"4:2:0 restart every MCU row", 50, 40, 3, {"-restart", "1"}},
        {"4:4:4 restart every 3 MCUs", 43, 27, 3, {"-sample", "1x1,1x1,1x1", "-restart", "3B"}},
        {"optimised tables", 40, 24, 3, {"-optimize", "-quality", "95"}},
        {"4:2:0 progressive", 37, 29, 3, {"-progressive"}},
        {"4:2:2 progressive", 45, 23, 3, {"-progressive", "-sample", "2x1,1x1,1x1"}},
        {"progressive with restarts, taller than wide", 23, 61, 3, {"-progressive", "-restart", "1"}},
        {"progressive 4:4:4 restart every block", 19, 44, 3,
         {"-progressive", "-sample", "1x1,1x1,1x1", "-restart", "1B"}},
        {"grey progressive restart, taller", 9, 70, 1, {"-grayscale", "-progressive", "-restart", "2B"}},
        {"high quality progressive", 64, 48, 3, {"-progressive", "-quality", "100"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string jpeg = tools.Cjpeg(Drawn(c.width, c.height, c.comps), c.options);
        const Image ref = tools.Djpeg(jpeg);
        const Decoded got = DecodeInfo(jpeg);
        EXPECT_EQ(got.width, c.width);
        EXPECT_EQ(got.height, c.height);
        ASSERT_EQ(ref.samples.size(), size_t(c.width * c.height * c.comps));
        if (c.comps == 1) {
            EXPECT_TRUE(Near(got.samples, ref.samples, 2));
        } else {
            // The transform's rounding, within 2 in each of Y, Cb and Cr,
            // grows by up to 1.772 in the conversion to RGB.
            EXPECT_TRUE(Near(got.samples, ref.samples, 3));
            const std::string ycc = DecodeInfo(jpeg, 0).samples;
            std::string luma;
            for (size_t i = 0; i < ycc.size(); i += 3) luma += ycc[i];
            EXPECT_TRUE(Near(luma, tools.Djpeg(jpeg, true).samples, 2));
        }
        // Byte by byte, through the filter stream, the same samples.
        TqzDCTStream s(Mem(jpeg));
        s.Reset();
        EXPECT_TRUE(test::Same(test::GetChars(s), got.samples));
    }
}

TEST_F(DCTDecodeTest, ExactSizesAndDCOnlyBlocks) {
    // 17 x 9 grey: exactly 153 bytes.
    EXPECT_EQ(Decode(tools.Cjpeg(Drawn(17, 9, 1), {"-grayscale"})).size(), 153u);
    EXPECT_EQ(Decode(tools.Cjpeg(Drawn(17, 9, 3), {})).size(), 17u * 9u * 3u);

    // Flat images at quality 100 (all quantisers 1) are DC-only blocks with
    // DC = 8 * (value - 128); the two transform passes give back the value.
    for (int value : {0, 1, 77, 128, 200, 254, 255}) {
        SCOPED_TRACE(value);
        const std::string out = Decode(tools.Cjpeg(Flat(21, 13, 1, static_cast<uint8_t>(value)), {"-grayscale", "-quality", "100"}));
        const int32_t dc = 8 * (value - 128);
        const int32_t t = static_cast<int16_t>((dctSqrt2 * dc + 512) >> 10);
        const int32_t u = static_cast<int16_t>((dctSqrt2 * t + 8192) >> 14);
        const auto want = static_cast<char>(std::clamp(((u + 8) >> 4) + 128, 0, 255));
        EXPECT_EQ(out, std::string(21 * 13, want));
    }
}

TEST_F(DCTDecodeTest, ChromaReplicatedOverSquaresAndConvertedExactly) {
    const std::string jpeg = tools.Cjpeg(Drawn(34, 22, 3), {"-sample", "2x2,1x1,1x1"});
    // With the transform off the samples are Y, Cb, Cr.
    const Decoded ycc = DecodeInfo(jpeg, 0);
    ASSERT_EQ(ycc.samples.size(), 34u * 22u * 3u);
    auto at = [&](int32_t x, int32_t y, int32_t c) { return static_cast<uint8_t>(ycc.samples[size_t((y * 34 + x) * 3 + c)]); };
    int32_t lumaVaries = 0;
    for (int32_t y = 0; y < 22; y += 2) {
        for (int32_t x = 0; x < 34; x += 2) {
            for (int32_t c = 1; c < 3; ++c) {
                EXPECT_EQ(at(x, y, c), at(x + 1, y, c));
                EXPECT_EQ(at(x, y, c), at(x, y + 1, c));
                EXPECT_EQ(at(x, y, c), at(x + 1, y + 1, c));
            }
            lumaVaries += at(x, y, 0) != at(x + 1, y + 1, 0);
        }
    }
    EXPECT_GT(lumaVaries, 50);
    // JFIF without a ColorTransform: RGB, each pixel its YCbCr converted.
    const Decoded rgb = DecodeInfo(jpeg, -1);
    EXPECT_EQ(rgb.colorXForm, 1);
    ASSERT_EQ(rgb.samples.size(), ycc.samples.size());
    std::string want(ycc.samples.size(), '\0');
    for (size_t i = 0; i < want.size(); i += 3) {
        ToRgb(static_cast<uint8_t>(ycc.samples[i]), static_cast<uint8_t>(ycc.samples[i + 1]),
              static_cast<uint8_t>(ycc.samples[i + 2]), reinterpret_cast<uint8_t*>(&want[i]));
    }
    EXPECT_TRUE(test::Same(rgb.samples, want));
}

// Inserts an APP14 segment right after SOI.
std::string WithApp14(const std::string& jpeg, const std::string& body) {
    const auto length = static_cast<uint32_t>(body.size() + 2);
    std::string seg = "\xFF\xEE";
    seg += static_cast<char>(length >> 8);
    seg += static_cast<char>(length & 0xFF);
    return jpeg.substr(0, 2) + seg + body + jpeg.substr(2);
}
std::string Without(const std::string& jpeg, int marker) {
    const Segment s = First(Segments(jpeg), marker);
    return jpeg.substr(0, s.begin) + jpeg.substr(s.end);
}
std::string AdobeBody(uint8_t transform) {
    return std::string("Adobe\0\x64\0\0\0\0", 11) + static_cast<char>(transform);
}

TEST_F(DCTDecodeTest, ColorTransformDecisions) {
    const Image src = Drawn(30, 20, 3);
    const std::string jfif = tools.Cjpeg(src, {});
    const std::string ycc = DecodeInfo(jfif, 0).samples;
    const std::string rgb = DecodeInfo(jfif, -1).samples;
    EXPECT_NE(ycc, rgb);
    EXPECT_TRUE(Near(rgb, tools.Djpeg(jfif).samples, 3));
    // /ColorTransform 0 gives YCbCr unless an Adobe marker says otherwise.
    EXPECT_EQ(DecodeInfo(WithApp14(jfif, AdobeBody(1)), 0).samples, rgb);
    EXPECT_EQ(DecodeInfo(WithApp14(jfif, AdobeBody(0)), 1).samples, ycc);
    // Without JFIF and Adobe markers, component ids 1, 2, 3: converted.
    const Decoded bare = DecodeInfo(Without(jfif, 0xE0));
    EXPECT_EQ(bare.colorXForm, 1);
    EXPECT_EQ(bare.samples, rgb);

    // cjpeg -rgb: ids R, G, B and an Adobe marker saying 0: not converted.
    const std::string rgbJpeg = tools.Cjpeg(src, {"-rgb"});
    const Decoded plain = DecodeInfo(rgbJpeg);
    EXPECT_EQ(plain.colorXForm, 0);
    EXPECT_TRUE(Near(plain.samples, tools.Djpeg(rgbJpeg).samples, 2));
    // The ids alone decide the same once the marker is gone.
    const Decoded idsOnly = DecodeInfo(Without(rgbJpeg, 0xEE));
    EXPECT_EQ(idsOnly.colorXForm, 0);
    EXPECT_EQ(idsOnly.samples, plain.samples);
}

// CMYK data is stored inverted by the tools (the convention of the Adobe
// marker); ImageMagick reads it back inverted again, so our samples are 255
// minus what it reads.
std::string Inverted(std::string s) {
    for (auto& c : s) c = static_cast<char>(255 - static_cast<uint8_t>(c));
    return s;
}

TEST_F(DCTDecodeTest, FourComponents) {
    QZ_REQUIRE_TOOLS("convert", "gs");
    const Image src = Drawn(27, 19, 4);
    auto imageMagick = [&](const fs::path& jpeg) {
        const auto back = testing::RunProgram({"convert", jpeg.string(), "-depth", "8", "cmyk:-"});
        EXPECT_TRUE(back.Succeeded()) << back.Describe();
        return Inverted(back.out);
    };
    // Ghostscript's DCT encoder: /ColorTransform 0 writes plain CMYK, 2 YCCK;
    // both with an Adobe marker.
    const fs::path cmyk = tools.Dir().Write("src.cmyk", src.samples);
    auto gsEncode = [&](int32_t transform) {
        const fs::path out = tools.Dir().File("gs" + std::to_string(transform) + ".jpg");
        const fs::path script = tools.Dir().Write(
            "enc.ps", "/out (" + out.string() + ") (w) file << /Columns 27 /Rows 19 /Colors 4 /ColorTransform " +
                          std::to_string(transform) + " >> /DCTEncode filter def\n/in (" + cmyk.string() +
                          ") (r) file def\n{ in 4096 string readstring exch out exch writestring not { exit } if } loop\n"
                          "out closefile\n");
        const auto r = testing::RunProgram({"gs", "-q", "-dNOSAFER", "-dNODISPLAY", "-dBATCH", script.string(), "-c", "quit"});
        EXPECT_TRUE(r.Succeeded()) << r.Describe();
        return out;
    };
    const fs::path plainPath = gsEncode(0);
    const Decoded plain = DecodeInfo(ReadFile(plainPath));
    EXPECT_EQ(plain.colorXForm, 0);
    EXPECT_TRUE(Near(plain.samples, imageMagick(plainPath), 2));

    const fs::path ycckPath = gsEncode(2);
    const std::string ycck = ReadFile(ycckPath);
    const Decoded converted = DecodeInfo(ycck);
    EXPECT_EQ(converted.colorXForm, 2);
    EXPECT_TRUE(Near(converted.samples, imageMagick(ycckPath), 3));
    // Without the marker the YCCK samples pass through; converted, they are
    // the CMYK above: 255 minus R, G, B, K unchanged.
    const Decoded raw = DecodeInfo(Without(ycck, 0xEE));
    EXPECT_EQ(raw.colorXForm, 0);
    ASSERT_EQ(raw.samples.size(), converted.samples.size());
    std::string want = raw.samples;
    for (size_t i = 0; i < want.size(); i += 4) {
        uint8_t rgb[3];
        ToRgb(static_cast<uint8_t>(raw.samples[i]), static_cast<uint8_t>(raw.samples[i + 1]),
              static_cast<uint8_t>(raw.samples[i + 2]), rgb);
        for (size_t k = 0; k < 3; ++k) want[i + k] = static_cast<char>(255 - rgb[k]);
    }
    EXPECT_TRUE(test::Same(converted.samples, want));

    // ImageMagick's CMYK JPEG (YCCK), baseline and progressive.
    for (const char* interlace : {"None", "Plane"}) {
        SCOPED_TRACE(interlace);
        const fs::path in = tools.Dir().Write("src.ppm", Pnm(Drawn(31, 18, 3)));
        const fs::path out = tools.Dir().File(std::string("cmyk-") + interlace + ".jpg");
        const auto c = testing::RunProgram(
            {"convert", in.string(), "-colorspace", "CMYK", "-interlace", interlace, out.string()});
        ASSERT_TRUE(c.Succeeded()) << c.Describe();
        const Decoded d = DecodeInfo(ReadFile(out));
        EXPECT_EQ(d.comps, 4);
        EXPECT_TRUE(Near(d.samples, imageMagick(out), 3));
    }
}

TEST_F(DCTDecodeTest, TruncatedDataEndsAtLastCompleteMCURow) {
    const std::string jpeg = tools.Cjpeg(Drawn(40, 64, 3), {"-sample", "2x2,1x1,1x1"});
    const std::string full = Decode(jpeg);
    ASSERT_EQ(full.size(), 40u * 64u * 3u);
    const Segment scan = First(Segments(jpeg), 0xDA);
    for (double part : {0.1, 0.5, 0.9}) {
        SCOPED_TRACE(part);
        const size_t cut = scan.begin + static_cast<size_t>(double(scan.end - scan.begin) * part);
        const std::string out = Decode(jpeg.substr(0, cut));
        EXPECT_LT(out.size(), full.size());
        EXPECT_EQ(out.size() % (40u * 16u * 3u), 0u);
        EXPECT_EQ(out, full.substr(0, out.size()));
    }
    // A marker in the middle of the data ends the image the same way.
    std::string marked = jpeg;
    marked.insert(scan.begin + (scan.end - scan.begin) / 2, "\xFF\xC8");
    const std::string out = Decode(marked);
    EXPECT_LT(out.size(), full.size());
    EXPECT_EQ(out.size() % (40u * 16u * 3u), 0u);
    EXPECT_EQ(out, full.substr(0, out.size()));
}

TEST_F(DCTDecodeTest, BadHeadersYieldNoBytes) {
    const std::string jpeg = tools.Cjpeg(Drawn(24, 16, 3), {"-sample", "1x1,1x1,1x1"});
    const auto segs = Segments(jpeg);
    const Segment sof = First(segs, 0xC0), dht = First(segs, 0xC4), sos = First(segs, 0xDA);
    auto patched = [&](size_t at, uint8_t value) {
        std::string j = jpeg;
        j[at] = static_cast<char>(value);
        return j;
    };
    struct Case {
        const char* name;
        std::string data;
    };
    // A DHT counts field: 16 lengths after the table byte.
    std::string overfull = jpeg;
    overfull.replace(dht.begin + 5, 16, std::string("\0\0\0\0\0\0\0\0\0\0\0\0\0\0\xFF\xFF", 16));
    std::string tooMany = jpeg;  // 3 codes of one bit
    tooMany[dht.begin + 5] = 3;
    const Case cases[] = {
        {"precision 12", patched(sof.begin + 4, 12)},
        {"sampling factor 0", patched(sof.begin + 11, 0x01)},
        {"sampling factor 5", patched(sof.begin + 11, 0x15)},
        {"quantisation table 4", patched(sof.begin + 12, 4)},
        {"sampling 3 against 2 (not a whole step)",
         jpeg.substr(0, sof.begin + 11) + "\x31" + jpeg.substr(sof.begin + 12, 2) + "\x21" + jpeg.substr(sof.begin + 15)},
        {"component count 5", patched(sof.begin + 9, 5)},
        {"lossless frame (SOF3)", patched(sof.begin + 1, 0xC3)},
        {"arithmetic frame (SOF9)", patched(sof.begin + 1, 0xC9)},
        {"scan Huffman table 4", patched(sos.begin + 6, 0x44)},
        {"scan Huffman tables never defined", patched(sos.begin + 6, 0x22)},
        {"scan of an unknown component", patched(sos.begin + 5, 9)},
        {"scan length wrong", patched(sos.begin + 3, 13)},
        {"Huffman counts over 256 symbols", overfull},
        {"Huffman codes that do not fit", tooMany},
        {"Huffman table class 2", patched(dht.begin + 4, 0x20)},
        {"APP14 without Adobe", WithApp14(jpeg, "Photoshop 3.")},
        {"APP14 too short", WithApp14(jpeg, "Adobe")},
        {"scan before the frame", jpeg.substr(0, sof.begin) + jpeg.substr(sof.end)},
        {"end of image first", "\xFF\xD8\xFF\xD9" + jpeg.substr(2)},
        {"no data", ""},
        {"no marker at all", std::string(100, 'x')},
        {"second frame", jpeg.substr(0, sos.begin) + jpeg.substr(sof.begin, sof.end - sof.begin) + jpeg.substr(sos.begin)},
        {"width 0", jpeg.substr(0, sof.begin + 7) + std::string(2, '\0') + jpeg.substr(sof.begin + 9)},
        {"arithmetic coding from cjpeg", tools.Cjpeg(Drawn(24, 16, 3), {"-arithmetic"})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded d = DecodeInfo(c.data);
        EXPECT_EQ(d.samples.size(), 0u);
        EXPECT_EQ(d.width, 0);
    }
    EXPECT_EQ(Decode(jpeg).size(), 24u * 16u * 3u);
}

// A frame of 65,535 x 65,535: the sequential decoder holds one MCU row and
// ends where the data does; a progressive one would have to hold 8 GiB of
// coefficients and is refused before anything is allocated.
TEST_F(DCTDecodeTest, HugeDimensions) {
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive);
        std::vector<std::string> options{"-grayscale"};
        if (progressive) options.push_back("-progressive");
        std::string jpeg = tools.Cjpeg(Drawn(16, 16, 1), options);
        const Segment sof = First(Segments(jpeg), progressive ? 0xC2 : 0xC0);
        jpeg.replace(sof.begin + 5, 4, "\xFF\xFF\xFF\xFF");
        TqzDCTStream s(Mem(jpeg));
        s.Reset();
        if (progressive) {
            EXPECT_THROW(ReadBlocks(s, 4096), ExDecodeLimit);
        } else {
            // The 16 x 16 image's data fill at most the first MCU rows.
            EXPECT_LE(ReadBlocks(s, 4096).size(), 65535u * 16u);
        }
    }
}

// Bytes the process has on the heap now; 0 where nothing can tell.
size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

// A sequential image is decoded an MCU row at a time: reading the first rows
// of a 100-megapixel image holds a few of its rows, not the image.
TEST_F(DCTDecodeTest, FirstRowsOfAHugeImageHoldOnlyAFewRows) {
    constexpr uint32_t kSide = 10000;
    std::string jpeg = tools.Cjpeg(Flat(8, 8, 1, 128), {"-grayscale"});
    const Segment sof = First(Segments(jpeg), 0xC0);
    jpeg[sof.begin + 5] = static_cast<char>(kSide >> 8);
    jpeg[sof.begin + 6] = static_cast<char>(kSide & 0xFF);
    jpeg[sof.begin + 7] = static_cast<char>(kSide >> 8);
    jpeg[sof.begin + 8] = static_cast<char>(kSide & 0xFF);
    // Every block: DC difference 0 ("00") and end of block ("1010") in the
    // standard luminance tables cjpeg writes; four blocks fill three bytes.
    const Segment sos = First(Segments(jpeg), 0xDA);
    const size_t header = sos.begin + 2 + ((size_t{static_cast<uint8_t>(jpeg[sos.begin + 2])} << 8) |
                                          static_cast<uint8_t>(jpeg[sos.begin + 3]));
    std::string data;
    for (uint32_t blocks = 0; blocks < (kSide / 8) * (kSide / 8); blocks += 4) data += "\x28\xA2\x8A";
    jpeg = jpeg.substr(0, header) + data + "\xFF\xD9";

    const size_t before = HeapInUse();
    TqzDCTStream s(Mem(jpeg));
    s.Reset();
    std::vector<uint8_t> rows(size_t{kSide} * 20);
    ASSERT_EQ(s.Read(rows.data(), static_cast<uint32_t>(rows.size())), static_cast<int32_t>(rows.size()));
    EXPECT_EQ(std::count(rows.begin(), rows.end(), 128), static_cast<std::ptrdiff_t>(rows.size()));
    if (before > 0) {
        // The data (1.2 MB), the rows read and a few MCU rows; the image is 100 MB.
        EXPECT_LT(HeapInUse() - before, size_t{8} << 20);
    }
}

TEST_F(DCTDecodeTest, ProgressiveDamage) {
    const std::string jpeg = tools.Cjpeg(Drawn(35, 27, 3), {"-progressive"});
    const std::string full = Decode(jpeg);
    ASSERT_EQ(full.size(), 35u * 27u * 3u);
    const auto segs = Segments(jpeg);
    std::vector<Segment> scans;
    for (const auto& s : segs)
        if (s.marker == 0xDA) scans.push_back(s);
    ASSERT_GT(scans.size(), 4u);
    // Only the refinement scans (the first scans gone): they refine
    // components never started, and the image still comes out whole.
    std::string refineOnly = jpeg.substr(0, scans[0].begin);
    size_t kept = 0;
    for (const auto& s : segs) {
        if (s.begin < scans[0].begin) continue;
        if (s.marker == 0xDA) {
            const size_t length = (size_t{static_cast<uint8_t>(jpeg[s.begin + 2])} << 8) | static_cast<uint8_t>(jpeg[s.begin + 3]);
            if (static_cast<uint8_t>(jpeg[s.begin + 1 + length]) >> 4 == 0) continue;  // Ah 0: a first scan
            ++kept;
        }
        refineOnly += jpeg.substr(s.begin, s.end - s.begin);
    }
    ASSERT_GT(kept, 0u);
    EXPECT_EQ(Decode(refineOnly).size(), full.size());
    // Data cut in a later scan: the earlier scans still give the whole image
    // size, close to the full decoding in the mean.
    const std::string cut = jpeg.substr(0, scans[scans.size() / 2].begin + 30);
    const std::string partial = Decode(cut);
    ASSERT_EQ(partial.size(), full.size());
    double sum = 0;
    for (size_t i = 0; i < full.size(); ++i) sum += std::abs(static_cast<uint8_t>(full[i]) - static_cast<uint8_t>(partial[i]));
    EXPECT_LT(sum / double(full.size()), 20.0);
    // A junk byte in every scan's data, and scans cut short: no crash, the
    // size stays.
    for (size_t k = 0; k < scans.size(); ++k) {
        std::string j = jpeg;
        const size_t at = scans[k].begin + (scans[k].end - scans[k].begin) * 3 / 4;
        if (at + 1 < scans[k].end) j[at] = static_cast<char>(j[at] ^ 0x5A);
        EXPECT_EQ(Decode(j).size(), full.size());
    }
}

TEST_F(DCTDecodeTest, OutputLimitCountsSamples) {
    const std::string jpeg = tools.Cjpeg(Drawn(40, 40, 1), {"-grayscale"});
    TqzDCTStream s(Mem(jpeg));
    s.SetOutputLimit(1000);
    s.Reset();
    uint8_t block[100000];
    EXPECT_THROW(
        {
            for (;;)
                if (s.Read(block, sizeof block) <= 0) break;
        },
        ExDecodeLimit);
    // A progressive image is refused before its coefficients are read.
    TqzDCTStream p(Mem(tools.Cjpeg(Drawn(40, 40, 1), {"-grayscale", "-progressive"})));
    p.SetOutputLimit(1000);
    p.Reset();
    EXPECT_THROW(p.Read(block, sizeof block), ExDecodeLimit);
}

TEST(DCTDecode, MissingInnerStreamRaises) {
    TqzDCTDecode d(nullptr, -1);
    EXPECT_THROW(d.Reset(), core::streams::ExInvalidStream);
}

}  // namespace
}  // namespace qz::filters
