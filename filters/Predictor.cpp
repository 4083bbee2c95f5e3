#include "filters/Predictor.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/PDBaseExceptions.h"
#include "filters/CodecDecode.h"

namespace qz::filters {

TqzStreamPredictor::TqzStreamPredictor(TqzRawSource* source, int32_t predictor, int32_t colors,
                                       int32_t columns, int32_t bits)
    : FSource(source), FPredictor(predictor), FWidth(columns), FComps(colors), FBits(bits) {
    // Only the depths the format defines; any other would make the unpacking
    // shift by arbitrary amounts.
    const bool bitsOk = bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16;
    if (!bitsOk || colors < 1 || colors > kMaxPredictorColors || columns < 1) return;
    const int64_t pixBytes = (int64_t{colors} * bits + 7) / 8;
    const int64_t dataBytes = (int64_t{columns} * colors * bits + 7) / 8;
    if (dataBytes > kMaxPredictorRowBytes) return;
    FPixBytes = static_cast<uint32_t>(pixBytes);
    FRowBytes = static_cast<uint32_t>(pixBytes + dataBytes);
    FLineIndex = FRowBytes;
    FOk = true;
}

void TqzStreamPredictor::Reset() {
    FLineIndex = FRowBytes;
    FEnded = false;
    if (!FLine.empty()) {
        std::fill(FLine.begin(), FLine.end(), 0);
        std::fill(FPrev.begin(), FPrev.end(), 0);
    }
}

void TqzStreamPredictor::Release() {
    std::vector<uint8_t>().swap(FLine);
    std::vector<uint8_t>().swap(FPrev);
    std::vector<uint8_t>().swap(FRaw);
}

int32_t TqzStreamPredictor::Read(uint8_t* buffer, uint32_t count) {
    return ReadWindows(buffer, count, FLineIndex, FRowBytes, [this] { return FLine.data(); }, [this] { return ReadNextLine(); });
}

bool TqzStreamPredictor::End() {
    FEnded = true;
    Release();
    return false;
}

bool TqzStreamPredictor::ReadNextLine() {
    if (!FOk || FEnded) return false;
    if (!FSource) throw core::streams::ExInvalidStream();
    if (FLine.empty()) {
        try {
            FLine.assign(FRowBytes, 0);
            FPrev.assign(FRowBytes, 0);
            FRaw.assign(FRowBytes - FPixBytes + 1, 0);
        } catch (const std::bad_alloc&) {
            throw core::streams::ExOutofMemory();
        }
    }
    const uint32_t dataBytes = FRowBytes - FPixBytes;
    int algorithm = FPredictor;
    uint32_t got = 0;
    if (FPredictor >= 10) {
        got = static_cast<uint32_t>(FSource->ReadRaw(FRaw.data(), dataBytes + 1));
        if (got == 0) return End();
        algorithm = FRaw[0] + 10;
        --got;  // the tag byte
        if (got == 0) return End();
    } else {
        got = static_cast<uint32_t>(FSource->ReadRaw(FRaw.data() + 1, dataBytes));
        if (got == 0) return End();
    }
    // A short row is not yet the end: the source says so on the next read
    // (or raises, when it stopped at its ceiling).

    // FLine holds the previous row; keep a copy for the up and up-left
    // neighbours while the row is rebuilt in place.
    std::swap(FLine, FPrev);
    uint8_t* line = FLine.data();
    const uint8_t* prev = FPrev.data();
    const uint8_t* raw = FRaw.data() + 1;
    const uint32_t pb = FPixBytes;
    const uint32_t end = pb + got;
    switch (algorithm) {
        case 11:  // Sub
            for (uint32_t i = pb; i < end; ++i)
                line[i] = static_cast<uint8_t>(raw[i - pb] + line[i - pb]);
            break;
        case 12:  // Up
            for (uint32_t i = pb; i < end; ++i) line[i] = static_cast<uint8_t>(raw[i - pb] + prev[i]);
            break;
        case 13:  // Average
            for (uint32_t i = pb; i < end; ++i)
                line[i] = static_cast<uint8_t>(raw[i - pb] + ((line[i - pb] + prev[i]) >> 1));
            break;
        case 14:  // Paeth
            for (uint32_t i = pb; i < end; ++i) {
                const int left = line[i - pb], up = prev[i], upLeft = prev[i - pb];
                const int p = left + up - upLeft;
                const int pa = std::abs(p - left), pbd = std::abs(p - up), pc = std::abs(p - upLeft);
                const int pred = (pa <= pbd && pa <= pc) ? left : (pbd <= pc ? up : upLeft);
                line[i] = static_cast<uint8_t>(raw[i - pb] + pred);
            }
            break;
        default:  // None, and tags the format does not define: copied
            std::memcpy(line + pb, raw, got);
            break;
    }
    // A row cut short keeps the previous row's bytes after the cut.
    if (end < FRowBytes) std::memcpy(line + end, prev + end, FRowBytes - end);
    if (FPredictor == 2) UndoTiff();
    FLineIndex = FPixBytes;
    return true;
}

void TqzStreamPredictor::UndoTiff() {
    uint8_t* row = FLine.data() + FPixBytes;
    const uint32_t dataBytes = FRowBytes - FPixBytes;
    const uint32_t comps = static_cast<uint32_t>(FComps);
    if (FBits == 8) {
        for (uint32_t i = comps; i < dataBytes; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - comps]);
        return;
    }
    if (FBits == 16) {
        const uint32_t step = 2 * comps;
        for (uint32_t i = step; i + 1 < dataBytes; i += 2) {
            const uint32_t left = (uint32_t{row[i - step]} << 8) | row[i - step + 1];
            const uint32_t diff = (uint32_t{row[i]} << 8) | row[i + 1];
            const uint32_t v = (left + diff) & 0xFFFF;
            row[i] = static_cast<uint8_t>(v >> 8);
            row[i + 1] = static_cast<uint8_t>(v);
        }
        return;
    }
    // 1, 2 and 4 bits: each sample adds the decoded sample of the same
    // component one pixel earlier (at 1 bit this is an exclusive or with the
    // decoded bit, not with the raw one). Padding bits at the row's end stay.
    const uint32_t bits = static_cast<uint32_t>(FBits);
    const uint32_t mask = (1u << bits) - 1;
    const uint32_t samples = static_cast<uint32_t>(FWidth) * comps;
    uint32_t running[kMaxPredictorColors] = {};
    for (uint32_t s = 0; s < samples; ++s) {
        const uint32_t bitPos = s * bits;
        const uint32_t byte = bitPos >> 3;
        const uint32_t shift = 8 - bits - (bitPos & 7);
        const uint32_t c = s % comps;
        const uint32_t v = ((uint32_t{row[byte]} >> shift & mask) + running[c]) & mask;
        running[c] = v;
        row[byte] = static_cast<uint8_t>((row[byte] & ~(mask << shift)) | (v << shift));
    }
}

}  // namespace qz::filters
