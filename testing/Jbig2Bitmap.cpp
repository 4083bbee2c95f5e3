#include "testing/Jbig2Bitmap.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

namespace qz::testing {

namespace {

// Small deterministic generator: the pictures must not change between runs.
class Rng {
public:
    explicit Rng(uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {}
    uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    int32_t Below(int32_t n) { return n <= 0 ? 0 : static_cast<int32_t>(Next() % static_cast<uint32_t>(n)); }

private:
    uint32_t state_;
};

size_t Checked(int32_t width, int32_t height) {
    if (width < 0 || height < 0) throw std::invalid_argument("negative bitmap size");
    return static_cast<size_t>(width) * static_cast<size_t>(height);
}

}  // namespace

Jbig2Bitmap::Jbig2Bitmap(int32_t width, int32_t height, uint8_t fill)
    : width_(width), height_(height), pixels_(Checked(width, height), fill ? 1 : 0) {}

void Jbig2Bitmap::Set(int32_t x, int32_t y, uint8_t value) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)] =
        value ? 1 : 0;
}

std::vector<uint8_t> Jbig2Bitmap::Row(int32_t y) const {
    std::vector<uint8_t> row(static_cast<size_t>(width_));
    for (int32_t x = 0; x < width_; ++x) row[static_cast<size_t>(x)] = Get(x, y);
    return row;
}

std::string Jbig2Bitmap::PackedRows() const {
    const int32_t stride = (width_ + 7) / 8;
    std::string out(static_cast<size_t>(stride) * static_cast<size_t>(height_), '\0');
    for (int32_t y = 0; y < height_; ++y) {
        for (int32_t x = 0; x < width_; ++x) {
            if (Get(x, y)) {
                const size_t i = static_cast<size_t>(y * stride + x / 8);
                out[i] = static_cast<char>(static_cast<uint8_t>(out[i]) | (0x80u >> (x % 8)));
            }
        }
    }
    return out;
}

Jbig2Bitmap Jbig2Bitmap::FromPackedRows(int32_t width, int32_t height, const std::string& rows) {
    const int32_t stride = (width + 7) / 8;
    if (width < 0 || height < 0 ||
        rows.size() < static_cast<size_t>(stride) * static_cast<size_t>(height)) {
        throw std::invalid_argument("packed rows shorter than the bitmap");
    }
    Jbig2Bitmap b(width, height);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const auto byte = static_cast<uint8_t>(rows[static_cast<size_t>(y * stride + x / 8)]);
            b.Set(x, y, (byte >> (7 - x % 8)) & 1u);
        }
    }
    return b;
}

std::string Jbig2Bitmap::ToPbm() const {
    return "P4\n" + std::to_string(width_) + " " + std::to_string(height_) + "\n" + PackedRows();
}

Jbig2Bitmap Jbig2Bitmap::FromPbm(const std::string& pbm) {
    size_t pos = 0;
    auto skipSpace = [&] {
        while (pos < pbm.size()) {
            if (pbm[pos] == '#') {
                while (pos < pbm.size() && pbm[pos] != '\n') ++pos;
            } else if (pbm[pos] == ' ' || pbm[pos] == '\n' || pbm[pos] == '\r' ||
                       pbm[pos] == '\t') {
                ++pos;
            } else {
                break;
            }
        }
    };
    auto number = [&] {
        skipSpace();
        int64_t v = 0;
        const size_t start = pos;
        while (pos < pbm.size() && pbm[pos] >= '0' && pbm[pos] <= '9' && v < 1'000'000) {
            v = v * 10 + (pbm[pos] - '0');
            ++pos;
        }
        if (pos == start) throw std::invalid_argument("PBM: number expected");
        return static_cast<int32_t>(v);
    };
    if (pbm.compare(0, 2, "P4") != 0) throw std::invalid_argument("not a binary PBM (P4)");
    pos = 2;
    const int32_t w = number();
    const int32_t h = number();
    if (pos >= pbm.size()) throw std::invalid_argument("PBM: no raster");
    ++pos;  // the single whitespace byte before the raster
    return FromPackedRows(w, h, pbm.substr(pos));
}

Jbig2Bitmap Jbig2Bitmap::Crop(int32_t x, int32_t y, int32_t w, int32_t h) const {
    Jbig2Bitmap out(w, h);
    for (int32_t j = 0; j < h; ++j) {
        for (int32_t i = 0; i < w; ++i) out.Set(i, j, Get(x + i, y + j));
    }
    return out;
}

void Jbig2Bitmap::Combine(const Jbig2Bitmap& src, int32_t x, int32_t y, Jbig2Combine op) {
    for (int32_t j = 0; j < src.Height(); ++j) {
        const int32_t ty = y + j;
        if (ty < 0 || ty >= height_) continue;
        for (int32_t i = 0; i < src.Width(); ++i) {
            const int32_t tx = x + i;
            if (tx < 0 || tx >= width_) continue;
            const uint8_t s = src.Get(i, j);
            const uint8_t t = Get(tx, ty);
            uint8_t r = s;
            switch (op) {
                case Jbig2Combine::Or: r = t | s; break;
                case Jbig2Combine::And: r = t & s; break;
                case Jbig2Combine::Xor: r = t ^ s; break;
                case Jbig2Combine::Xnor: r = (t ^ s) ^ 1u; break;
                case Jbig2Combine::Replace: r = s; break;
            }
            Set(tx, ty, r);
        }
    }
}

int64_t Jbig2Bitmap::CountBlack() const {
    return std::count(pixels_.begin(), pixels_.end(), uint8_t{1});
}

std::string Jbig2Bitmap::Describe(const Jbig2Bitmap& expected, const Jbig2Bitmap& actual) {
    std::ostringstream s;
    if (expected.Width() != actual.Width() || expected.Height() != actual.Height()) {
        s << "size " << actual.Width() << "x" << actual.Height() << ", expected "
          << expected.Width() << "x" << expected.Height();
        return s.str();
    }
    int64_t differing = 0;
    int32_t firstX = -1, firstY = -1;
    for (int32_t y = 0; y < expected.Height(); ++y) {
        for (int32_t x = 0; x < expected.Width(); ++x) {
            if (expected.Get(x, y) != actual.Get(x, y)) {
                if (differing == 0) {
                    firstX = x;
                    firstY = y;
                }
                ++differing;
            }
        }
    }
    if (differing == 0) return {};
    s << differing << " pixels differ, the first at (" << firstX << ", " << firstY << ")";
    return s.str();
}

Jbig2Bitmap Jbig2Bitmap::Noise(int32_t width, int32_t height, uint32_t seed, int32_t blackPer256) {
    Rng rng(seed);
    Jbig2Bitmap b(width, height);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) b.Set(x, y, rng.Below(256) < blackPer256 ? 1 : 0);
    }
    return b;
}

Jbig2Bitmap Jbig2Bitmap::Glyph(int32_t width, int32_t height, uint32_t seed) {
    Rng rng(seed);
    Jbig2Bitmap g(width, height);
    const int32_t strokes = 2 + rng.Below(3);
    for (int32_t s = 0; s < strokes; ++s) {
        switch (rng.Below(4)) {
            case 0: {  // vertical stem
                const int32_t x = rng.Below(width);
                for (int32_t y = 0; y < height; ++y) g.Set(x, y, 1);
                break;
            }
            case 1: {  // horizontal bar
                const int32_t y = rng.Below(height);
                for (int32_t x = 0; x < width; ++x) g.Set(x, y, 1);
                break;
            }
            case 2: {  // diagonal
                for (int32_t y = 0; y < height; ++y) g.Set(y * width / std::max(height, 1), y, 1);
                break;
            }
            default: {  // bowl
                const int32_t cx = width / 2, cy = height / 2;
                const int32_t r2 = std::max(1, std::min(width, height) * std::min(width, height) / 5);
                for (int32_t y = 0; y < height; ++y) {
                    for (int32_t x = 0; x < width; ++x) {
                        const int32_t d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                        if (d >= r2 - width && d <= r2 + width) g.Set(x, y, 1);
                    }
                }
                break;
            }
        }
    }
    g.Set(rng.Below(width), rng.Below(height), 1);  // never blank
    return g;
}

Jbig2Bitmap Jbig2Bitmap::TextLike(int32_t width, int32_t height, uint32_t seed) {
    Rng rng(seed);
    Jbig2Bitmap page(width, height);
    constexpr int32_t kLine = 12;  // line pitch of the marks, in pixels
    for (int32_t top = 2; top + 9 <= height; top += kLine) {
        int32_t x = 1 + rng.Below(4);
        while (x + 8 < width) {
            const int32_t w = 3 + rng.Below(5);
            const int32_t h = 5 + rng.Below(4);
            page.Combine(Glyph(w, h, rng.Next()), x, top + (9 - h), Jbig2Combine::Or);
            x += w + 1 + rng.Below(3) + (rng.Below(5) == 0 ? 4 : 0);
        }
    }
    return page;
}

}  // namespace qz::testing
