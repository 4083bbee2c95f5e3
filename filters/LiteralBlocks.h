#pragma once
// Deflate blocks that code every byte as a literal, with a Huffman code made
// for each block. Data that repeats no strings (the samples of a photograph)
// gains nothing from zlib's string matching, which then runs at a tenth of
// the speed of a copy; coding its bytes by their frequency alone still
// shrinks it by a sixth or so, at close to the speed of a copy.
//
// TqzLiteralBlockWriter appends the blocks of one Deflate stream (no zlib
// header or checksum) to a byte string, bit by bit; it owns only its bit
// buffer and code tables.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qz::filters {

// Longest code of the literal alphabet, and of the alphabet that codes the
// code lengths in a block header, as Deflate allows them.
inline constexpr int kMaxLiteralCodeBits = 15;
inline constexpr int kMaxCodeLengthCodeBits = 7;

class TqzLiteralBlockWriter {
public:
    // Bits `data` takes as one block of literals, header included.
    static uint64_t LiteralBlockBits(const uint8_t* data, uint32_t size);

    // Appends a block holding the `size` bytes (at most 65535) to `out`: the
    // literal block, or a stored one where that is not larger. With `final`
    // the stream ends and is padded to a whole byte.
    void WriteBlock(const uint8_t* data, uint32_t size, bool final, std::string& out);
    // Ends a stream whose blocks were all written without `final`: an empty
    // final block, padded to a whole byte.
    void Finish(std::string& out);

private:
    struct Code {
        uint16_t Bits = 0;  // bit-reversed, as Deflate sends Huffman codes
        uint8_t Length = 0;
    };

    void PutBits(uint32_t value, uint32_t count, std::string& out);
    // Pads to a byte boundary and moves every whole byte to `out`.
    void Align(std::string& out);
    // The block's data coded with FCodes, and its end.
    void WriteLiteralBlock(const uint8_t* data, uint32_t size, std::string& out);
    void WriteStoredBlock(const uint8_t* data, uint32_t size, bool final, std::string& out);

    uint64_t FBits = 0;   // bits not yet in `out`, the oldest lowest
    uint32_t FCount = 0;  // how many
    Code FCodes[257];
    // Where a block's coded data is gathered: a literal takes at most 15
    // bits, so a full block fits with room for one 32-bit word to spare.
    static constexpr size_t kScratchSize = 65535 * 15 / 8 + 16;
    std::unique_ptr<uint8_t[]> FScratch;
};

}  // namespace qz::filters
