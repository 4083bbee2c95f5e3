#pragma once
// Small pieces every JBIG2 layer shares: the combination operators, the
// out-of-band value of the integer and Huffman decoders, and the plain
// exception the decoder reports its failures with.

#include <cstdint>
#include <limits>
#include <string>

#include "platform/Exception.h"

namespace qz::filters::jbig2 {

// The decoder's failures are the platform's plain exception with a message.
using TqzJBIG2Error = platform::Exception;

// What the integer decoder and the Huffman tables return for out-of-band.
inline constexpr int64_t kOutOfBand = std::numeric_limits<int64_t>::max();

// How a placed bitmap combines with what is already there.
enum class FCombinationOPerator : uint8_t { OROP, ANDOP, XOROP, XNOROP, REPLACEOP };

inline constexpr const char* kArgumentOutOfRange = "Arguemant Out of Range";

// Bit `AIndex` of a byte, 0 being the least significant.
inline bool GetBit(uint8_t AByte, int32_t AIndex) {
    if (AIndex < 0 || AIndex > 7) throw TqzJBIG2Error(kArgumentOutOfRange);
    return ((AByte >> AIndex) & 1) != 0;
}

// Codes 0-3 name an operator; every other code replaces.
inline FCombinationOPerator TranslateOperatorCodeToEnum(int32_t AcombinationOperatorCode) {
    switch (AcombinationOperatorCode) {
        case 0: return FCombinationOPerator::OROP;
        case 1: return FCombinationOPerator::ANDOP;
        case 2: return FCombinationOPerator::XOROP;
        case 3: return FCombinationOPerator::XNOROP;
        default: return FCombinationOPerator::REPLACEOP;
    }
}

// A rectangle of pixels, right and bottom exclusive.
struct TqzBitmapRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
};

inline int64_t GetRectWidth(const TqzBitmapRect& R) { return int64_t{R.Right} - R.Left; }
inline int64_t GetRectHeight(const TqzBitmapRect& R) { return int64_t{R.Bottom} - R.Top; }

}  // namespace qz::filters::jbig2
