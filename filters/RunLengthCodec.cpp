#include "filters/RunLengthCodec.h"

#include <algorithm>
#include <cstring>

namespace qz::filters {

void TqzRunLengthDecode::Reset() {
    FStarted = true;
    FInput.Restart();
    FNextChar = FBufEnd = 0;
    FEof = false;
    ResetCount();
}

bool TqzRunLengthDecode::NextRun() {
    CheckLimit();
    if (FEof) return false;
    const int length = FInput.Next();
    if (length < 0 || length == 128) {
        FEof = true;
        FInput.Release();
        return false;
    }
    // Bytes missing inside a run come out as 255, as they always have.
    const uint32_t n = length < 128 ? static_cast<uint32_t>(length) + 1 : 257 - static_cast<uint32_t>(length);
    Charge(n);
    if (length < 128) {
        for (uint32_t i = 0; i < n; ++i) {
            const int c = FInput.Next();
            FBuffer[i] = static_cast<uint8_t>(c < 0 ? 255 : c);
        }
    } else {
        const int c = FInput.Next();
        std::memset(FBuffer, c < 0 ? 255 : c, n);
    }
    FBufEnd = n;
    FNextChar = 0;
    return true;
}

int TqzRunLengthDecode::SlowChar(bool consume) {
    if (!FStarted) Reset();
    while (FNextChar >= FBufEnd)
        if (!NextRun()) return -1;
    return consume ? FBuffer[FNextChar++] : FBuffer[FNextChar];
}

int32_t TqzRunLengthDecode::Read(uint8_t* buffer, uint32_t count) {
    if (!FStarted) Reset();
    return ReadWindows(buffer, count, FNextChar, FBufEnd, [this] { return FBuffer; }, [this] { return NextRun(); });
}

int TqzRunLengthEncode::NextSourceByte() {
    if (FAheadCount > 0) {
        const int c = FAhead[0];
        FAhead[0] = FAhead[1];
        --FAheadCount;
        return c;
    }
    if (FEof) return -1;
    const int c = FInput.Next();
    if (c < 0) FEof = true;
    return c;
}

bool TqzRunLengthEncode::EncodeNextRun() {
    FBuffer.clear();
    FBuffPtr = 0;
    const int a = NextSourceByte();
    if (a < 0) return false;
    const int b = NextSourceByte();
    if (b < 0) {
        FBuffer = {0, static_cast<uint8_t>(a)};
        return true;
    }
    if (a == b) {
        uint32_t run = 2;
        while (run < 128) {
            const int c = NextSourceByte();
            if (c < 0) break;
            if (c != a) {
                FAhead[FAheadCount++] = static_cast<uint8_t>(c);
                break;
            }
            ++run;
        }
        FBuffer = {static_cast<uint8_t>(257 - run), static_cast<uint8_t>(a)};
        return true;
    }
    FBuffer = {0, static_cast<uint8_t>(a), static_cast<uint8_t>(b)};
    while (FBuffer.size() < 129) {
        const int c = NextSourceByte();
        if (c < 0) break;
        if (c == FBuffer.back()) {
            // A repeated pair starts the next run.
            FAhead[0] = FBuffer.back();
            FAhead[1] = static_cast<uint8_t>(c);
            FAheadCount = 2;
            FBuffer.pop_back();
            break;
        }
        FBuffer.push_back(static_cast<uint8_t>(c));
    }
    FBuffer[0] = static_cast<uint8_t>(FBuffer.size() - 2);
    return true;
}

int32_t TqzRunLengthEncode::Write(core::TqzStream& out, uint32_t count) {
    if (!FStream) throw core::streams::ExInvalidStream();
    int32_t written = 0;
    uint64_t done = 0;
    while (count == 0 || done < count) {
        if (FBuffPtr >= FBuffer.size() && !EncodeNextRun()) break;
        uint64_t n = FBuffer.size() - FBuffPtr;
        if (count != 0) n = std::min<uint64_t>(n, count - done);
        const int32_t w = out.Write(FBuffer.data() + FBuffPtr, static_cast<uint32_t>(n));
        if (w < static_cast<int64_t>(n)) throw core::streams::ExInvalidBuffer();
        written += w;
        FBuffPtr += n;
        done += n;
    }
    return written;
}

}  // namespace qz::filters
