#include "filters/ASCII85Codec.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace qz::filters {

int64_t TqzASCII85Decode::GetPosition() {
    return FInput.Stream() ? FInput.Stream()->GetPosition() : -1;
}

void TqzASCII85Decode::Reset() {
    FStarted = true;
    FInput.Restart();
    Findex = Fn = 0;
    FEof = false;
    ResetCount();
}

int TqzASCII85Decode::NextNonSpace() {
    int c;
    do {
        c = FInput.Next();
    } while (c >= 0 && IsPdfSpace(c));
    return c;
}

bool TqzASCII85Decode::NextGroup() {
    CheckLimit();
    if (FEof) {
        FInput.Release();
        return false;
    }
    int c = NextNonSpace();
    if (c < 0 || c == '~') {
        FEof = true;
        FInput.Release();
        return false;
    }
    if (c == 'z') {
        Charge(4);
        std::memset(FBinaryIn, 0, 4);
        Findex = 0;
        Fn = 4;
        return true;
    }
    // Characters are not validated: anything else counts as a digit.
    int chars[5];
    chars[0] = c;
    uint32_t k = 1;
    while (k < 5) {
        c = NextNonSpace();
        if (c < 0 || c == '~') break;
        chars[k++] = c;
    }
    if (k < 5) {
        for (uint32_t i = k; i < 5; ++i) chars[i] = 'u';
        FEof = true;
    }
    Charge(k - 1);
    uint32_t value = 0;
    for (int ch : chars) value = value * 85u + static_cast<uint32_t>(ch - 33);
    FBinaryIn[0] = static_cast<uint8_t>(value >> 24);
    FBinaryIn[1] = static_cast<uint8_t>(value >> 16);
    FBinaryIn[2] = static_cast<uint8_t>(value >> 8);
    FBinaryIn[3] = static_cast<uint8_t>(value);
    Findex = 0;
    Fn = k - 1;
    return Fn > 0;
}

int TqzASCII85Decode::SlowChar(bool consume) {
    if (!FStarted) Reset();
    while (Findex >= Fn)
        if (!NextGroup()) return -1;
    return consume ? FBinaryIn[Findex++] : FBinaryIn[Findex];
}

int32_t TqzASCII85Decode::Read(uint8_t* buffer, uint32_t count) {
    if (!FStarted) Reset();
    return ReadWindows(buffer, count, Findex, Fn, [this] { return FBinaryIn; }, [this] { return NextGroup(); });
}

namespace {

void EncodeGroup(const uint8_t in[4], std::vector<uint8_t>& out, uint32_t keep) {
    uint32_t value = (uint32_t{in[0]} << 24) | (uint32_t{in[1]} << 16) | (uint32_t{in[2]} << 8) | in[3];
    uint8_t digits[5];
    for (int i = 4; i >= 0; --i) {
        digits[i] = static_cast<uint8_t>(value % 85 + 33);
        value /= 85;
    }
    out.insert(out.end(), digits, digits + keep);
}

}  // namespace

int32_t TqzASCII85Encode::Write(core::TqzStream& out, uint32_t count) {
    if (!Fstream) throw core::streams::ExInvalidStream();
    Fstream->Reset();
    constexpr uint32_t kChunk = 16 * 1024;
    std::vector<uint8_t> input(kChunk);
    std::vector<uint8_t> encoded;
    int32_t written = 0;
    uint32_t remaining = count;
    while (remaining > 0) {
        const int32_t got = Fstream->Read(input.data(), std::min(remaining, kChunk));
        if (got <= 0) break;
        remaining -= static_cast<uint32_t>(got);
        encoded.clear();
        for (int32_t i = 0; i < got; ++i) {
            FInData[FCount++] = input[static_cast<size_t>(i)];
            if (FCount < 4) continue;
            FCount = 0;
            if ((FInData[0] | FInData[1] | FInData[2] | FInData[3]) == 0)
                encoded.push_back('z');
            else
                EncodeGroup(FInData, encoded, 5);
        }
        written += out.Write(encoded.data(), static_cast<uint32_t>(encoded.size()));
    }
    return written;
}

int32_t TqzASCII85Encode::Flush(core::TqzStream& out) {
    std::vector<uint8_t> encoded;
    if (FCount > 0) {
        uint8_t group[4] = {};
        std::memcpy(group, FInData, FCount);
        EncodeGroup(group, encoded, FCount + 1);
        FCount = 0;
    }
    encoded.push_back('~');
    encoded.push_back('>');
    return out.Write(encoded.data(), static_cast<uint32_t>(encoded.size()));
}

}  // namespace qz::filters
