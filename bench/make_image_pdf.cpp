// make_image_pdf OUT SEED [WIDTH HEIGHT]: writes a one-page PDF file holding
// one unfiltered RGB image of WIDTH x HEIGHT samples (default 1480 x 1181,
// 5 MiB) that looks like a photograph: smooth shading over several scales,
// a few objects with edges, and sensor noise, different for each SEED. The
// compare.sh case of large unfiltered images is made with it; neither zeros
// nor pure noise, so that compression behaves as it does on real scans.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"

namespace {

// A small, fast generator; the same seed always gives the same image.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint64_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }

private:
    uint64_t state_;
};

// Smooth value noise: random values on a grid of `cell` samples, blended
// with a smooth step between grid points.
class ValueNoise {
public:
    ValueNoise(Random& random, int width, int height, int cell)
        : cell_(cell), columns_(width / cell + 2), rows_(height / cell + 2) {
        grid_.resize(static_cast<size_t>(columns_) * static_cast<size_t>(rows_));
        for (double& v : grid_) v = random.Unit() * 2 - 1;
    }
    double At(int x, int y) const {
        const int gx = x / cell_, gy = y / cell_;
        const double fx = Smooth(static_cast<double>(x % cell_) / cell_);
        const double fy = Smooth(static_cast<double>(y % cell_) / cell_);
        const double top = Mix(Grid(gx, gy), Grid(gx + 1, gy), fx);
        const double bottom = Mix(Grid(gx, gy + 1), Grid(gx + 1, gy + 1), fx);
        return Mix(top, bottom, fy);
    }

private:
    static double Smooth(double t) { return t * t * (3 - 2 * t); }
    static double Mix(double a, double b, double t) { return a + (b - a) * t; }
    double Grid(int gx, int gy) const { return grid_[static_cast<size_t>(gy) * static_cast<size_t>(columns_) + static_cast<size_t>(gx)]; }

    int cell_, columns_, rows_;
    std::vector<double> grid_;
};

struct Disc {
    double x, y, radius;
    double colour[3];
};

std::string PhotoSamples(uint64_t seed, int width, int height) {
    Random random(seed);
    // Shading over several scales, as light and texture fall on a scene.
    std::vector<ValueNoise> octaves;
    for (int cell : {256, 96, 32, 12, 5}) octaves.emplace_back(random, width, height, cell);
    const double weights[] = {0.55, 0.25, 0.12, 0.06, 0.03};
    ValueNoise hue(random, width, height, 320);
    std::vector<Disc> discs(12);
    for (Disc& d : discs) {
        d.x = random.Unit() * width;
        d.y = random.Unit() * height;
        d.radius = 40 + random.Unit() * std::min(width, height) / 5.0;
        for (double& c : d.colour) c = random.Unit() * 200 + 20;
    }
    std::string samples(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, '\0');
    size_t at = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double light = 0;
            for (size_t k = 0; k < octaves.size(); ++k) light += weights[k] * octaves[k].At(x, y);
            const double tint = hue.At(x, y);
            double rgb[3] = {128 + 90 * light + 30 * tint, 120 + 85 * light, 110 + 80 * light - 30 * tint};
            for (const Disc& d : discs) {
                const double dx = x - d.x, dy = y - d.y;
                if (dx * dx + dy * dy < d.radius * d.radius) {
                    for (int c = 0; c < 3; ++c) rgb[c] = 0.35 * rgb[c] + 0.65 * d.colour[c] * (0.8 + 0.4 * light);
                }
            }
            // Sensor noise: a few levels, stronger in the blue channel.
            const uint64_t noise = random.Next();
            for (int c = 0; c < 3; ++c) {
                const int spread = c == 2 ? 7 : 5;
                const int n = static_cast<int>((noise >> (c * 16)) % static_cast<uint64_t>(spread)) +
                              static_cast<int>((noise >> (c * 16 + 8)) % static_cast<uint64_t>(spread)) - (spread - 1);
                const int v = static_cast<int>(std::lround(rgb[c])) + n;
                samples[at++] = static_cast<char>(std::clamp(v, 0, 255));
            }
        }
    }
    return samples;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5) {
        std::fprintf(stderr, "usage: %s OUT SEED [WIDTH HEIGHT]\n", argc > 0 ? argv[0] : "make_image_pdf");
        return 2;
    }
    try {
        const uint64_t seed = std::stoull(argv[2]);
        const int width = argc == 5 ? std::stoi(argv[3]) : 1480;
        const int height = argc == 5 ? std::stoi(argv[4]) : 1181;
        if (width < 1 || height < 1 || width > 20000 || height > 20000) {
            std::fprintf(stderr, "make_image_pdf: width and height must be 1 to 20000\n");
            return 2;
        }
        qz::bench::HandMadePdf pdf;
        const int image = pdf.AddStream("/Type /XObject /Subtype /Image /Width " + std::to_string(width) +
                                            " /Height " + std::to_string(height) +
                                            " /ColorSpace /DeviceRGB /BitsPerComponent 8",
                                        PhotoSamples(seed, width, height));
        const int content = pdf.AddStream("", "q 540 0 0 675 36 58 cm /Im1 Do Q\n");
        const int pages = pdf.NextNumber();
        const int page = pages + 1;
        pdf.Put(pages, "<< /Type /Pages /Kids [" + std::to_string(page) + " 0 R] /Count 1 >>");
        pdf.Put(page, "<< /Type /Page /Parent " + std::to_string(pages) +
                          " 0 R /MediaBox [0 0 612 792] /Resources << /XObject << /Im1 " + std::to_string(image) +
                          " 0 R >> >> /Contents " + std::to_string(content) + " 0 R >>");
        const int root = pdf.Add("<< /Type /Catalog /Pages " + std::to_string(pages) + " 0 R >>");
        std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
        const std::string bytes = pdf.Finish(root);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            std::fprintf(stderr, "make_image_pdf: cannot write %s\n", argv[1]);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_image_pdf: %s\n", e.what());
        return 1;
    }
    return 0;
}
