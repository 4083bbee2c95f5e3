#include "filters/ASCIIHexCodec.h"

#include <algorithm>
#include <vector>

namespace qz::filters {

namespace {

int HexValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;  // not a digit: contributes 0
}

}  // namespace

void TqzASCIIHexDecode::Reset() {
    FStarted = true;
    FInput.Restart();
    FBuffer = -1;
    FEof = false;
    ResetCount();
}

int TqzASCIIHexDecode::NextNonSpace() {
    int c;
    do {
        c = FInput.Next();
    } while (c >= 0 && IsPdfSpace(c));
    return c;
}

int TqzASCIIHexDecode::NextByte() {
    CheckLimit();
    if (FEof) return -1;
    const int first = NextNonSpace();
    if (first == '>') {
        FEof = true;
        FInput.Release();
        return -1;
    }
    // Data that ends without ">" yields one last 0 byte, as it always has.
    if (first < 0) {
        FEof = true;
        FInput.Release();
        Charge(1);
        return 0;
    }
    const int second = NextNonSpace();
    int low = 0;
    if (second == '>' || second < 0) {
        FEof = true;
        FInput.Release();
    } else {
        low = HexValue(second);
    }
    Charge(1);
    return HexValue(first) * 16 + low;
}

int TqzASCIIHexDecode::LookChar() {
    if (!FStarted) Reset();
    if (FBuffer < 0) FBuffer = NextByte();
    return FBuffer;
}

int TqzASCIIHexDecode::GetChar() {
    const int c = LookChar();
    FBuffer = -1;
    return c;
}

int32_t TqzASCIIHexDecode::Read(uint8_t* buffer, uint32_t count) {
    if (!FStarted) Reset();
    uint32_t done = 0;
    if (count > 0 && FBuffer >= 0) {
        buffer[done++] = static_cast<uint8_t>(FBuffer);
        FBuffer = -1;
    }
    try {
        while (done < count) {
            const int c = NextByte();
            if (c < 0) break;
            buffer[done++] = static_cast<uint8_t>(c);
        }
    } catch (const ExDecodeLimit&) {
        if (done == 0) throw;  // the next read raises again
    }
    return static_cast<int32_t>(done);
}

int32_t TqzASCIIHexEncode::Write(core::TqzStream& out, uint32_t count) {
    if (!FStream) throw core::streams::ExInvalidStream();
    static constexpr char kDigits[] = "0123456789ABCDEF";
    TqzInputBuffer input(FStream);  // reads on from where the source stands
    std::vector<uint8_t> encoded;
    encoded.reserve(2 * TqzInputBuffer::kBlock + TqzInputBuffer::kBlock / 64 + 2);
    int32_t written = 0;
    uint64_t done = 0;
    for (;;) {
        if (count != 0 && done >= count) break;
        if (input.Available() == 0 && !input.Fill()) break;
        uint32_t n = input.Available();
        if (count != 0) n = static_cast<uint32_t>(std::min<uint64_t>(n, count - done));
        const uint8_t* data = input.Data();
        encoded.clear();
        for (uint32_t i = 0; i < n; ++i) {
            if (done > 0 && done % 64 == 0) encoded.push_back('\r');
            encoded.push_back(static_cast<uint8_t>(kDigits[data[i] >> 4]));
            encoded.push_back(static_cast<uint8_t>(kDigits[data[i] & 15]));
            ++done;
        }
        input.Consume(n);
        written += out.Write(encoded.data(), static_cast<uint32_t>(encoded.size()));
    }
    written += out.Write(reinterpret_cast<const uint8_t*>(">"), 1);
    return written;
}

}  // namespace qz::filters
