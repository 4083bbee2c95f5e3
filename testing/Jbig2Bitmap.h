#pragma once
// A bilevel bitmap for building and checking JBIG2 test data: one byte per
// pixel, 1 = black as JBIG2 has it. It owns its pixels and nothing else.
// Converts to and from packed rows (PBM P4 order: most significant bit
// first, each row padded to a whole byte) and draws the small test pictures
// that the JBIG2 encoder tests code.

#include <cstdint>
#include <string>
#include <vector>

namespace qz::testing {

// Region and page combination operators, numbered by their stored codes.
enum class Jbig2Combine : uint8_t { Or = 0, And = 1, Xor = 2, Xnor = 3, Replace = 4 };

class Jbig2Bitmap {
public:
    Jbig2Bitmap() = default;
    // A width x height bitmap with every pixel `fill` (0 or 1).
    Jbig2Bitmap(int32_t width, int32_t height, uint8_t fill = 0);

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    // The pixel at (x, y); 0 outside the bitmap, as the coders' templates need.
    uint8_t Get(int32_t x, int32_t y) const {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
        return pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) +
                       static_cast<size_t>(x)];
    }
    // Sets the pixel at (x, y) to 0 or 1; ignored outside the bitmap.
    void Set(int32_t x, int32_t y, uint8_t value);
    // Row y as one byte per pixel.
    std::vector<uint8_t> Row(int32_t y) const;

    // Rows of ceil(width / 8) bytes, pixel x in bit 7 - x mod 8, padding bits 0.
    std::string PackedRows() const;
    static Jbig2Bitmap FromPackedRows(int32_t width, int32_t height, const std::string& rows);
    // Binary PBM (P4); FromPbm raises std::invalid_argument on anything else.
    std::string ToPbm() const;
    static Jbig2Bitmap FromPbm(const std::string& pbm);

    // The w x h rectangle at (x, y); pixels outside this bitmap read 0.
    Jbig2Bitmap Crop(int32_t x, int32_t y, int32_t w, int32_t h) const;
    // Combines `src` into this bitmap with its top-left pixel at (x, y);
    // pixels falling outside are dropped.
    void Combine(const Jbig2Bitmap& src, int32_t x, int32_t y, Jbig2Combine op);
    int64_t CountBlack() const;

    // Readable diagnosis of the first differences ("" when equal).
    static std::string Describe(const Jbig2Bitmap& expected, const Jbig2Bitmap& actual);
    bool operator==(const Jbig2Bitmap& other) const = default;

    // Test pictures, deterministic for a seed.
    // Independent pixels, each black with probability blackPer256 / 256.
    static Jbig2Bitmap Noise(int32_t width, int32_t height, uint32_t seed,
                             int32_t blackPer256 = 128);
    // Letter-like marks: strokes, bowls and dots in lines, mostly white.
    static Jbig2Bitmap TextLike(int32_t width, int32_t height, uint32_t seed);
    // A glyph of the given size: a few strokes chosen by the seed.
    static Jbig2Bitmap Glyph(int32_t width, int32_t height, uint32_t seed);

private:
    int32_t width_ = 0;
    int32_t height_ = 0;
    std::vector<uint8_t> pixels_;
};

}  // namespace qz::testing
