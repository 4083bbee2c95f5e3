#pragma once
// TqzPDLexer: turns the bytes of a byte stream into PDF tokens, one per
// GetObject: values for numbers, names, strings, true, false and null;
// commands for delimiters and other keywords; an end token at the end of the
// data; error tokens for the few bytes that can start nothing. It never
// raises on bad input.
//
// The lexer reads its stream through a block buffer of its own (or, for the
// lexers of one cross-reference table, through blocks they share) and keeps
// the position itself, so a token costs no virtual call per byte. Positions are
// those of the stream: absolute in the file (or memory) for file and memory
// streams and their windows, counted from the start of the data for any other
// stream. Whoever reads bytes after a token (inline image data) reads them
// through the lexer (GetChar, Read, or the stream view GetStream gives), never
// from the raw stream, which the lexer has read ahead of.
//
// The lexer shares ownership of its stream when given a shared pointer, and
// only borrows it when given a reference.

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "core/Object.h"
#include "core/PDBaseObject.h"
#include "core/Stream.h"

namespace qz::platform {
class Stream;
}

namespace qz::core {

class TqzFileStream;
class TqzMemoryStream;

// Recently read blocks of one file, shared by the lexers that fetch objects
// from it one after another: most objects are small and near the last one,
// so a run of fetches costs one file read per block instead of one per
// object. The owner (the cross-reference table) keeps it as long as it reads
// the file; each lexer holds the block it is reading, so a nested fetch that
// replaces a block never pulls bytes from under the lexer that reads it.
class TqzFileBlockCache {
  public:
    // Blocks are aligned to their size: objects close together share one.
    static constexpr uint32_t kBlockSize = 16 * 1024;
    // Blocks kept: a fetch that jumps back (a stream's indirect /Length
    // written after it) still finds the block it came from.
    static constexpr size_t kBlocks = 2;

    struct Block {
        int64_t start = 0;
        uint32_t size = 0;
        std::unique_ptr<uint8_t[]> bytes;
    };

    // The block holding `position` of `file`, which ends at `limit`; read
    // when not held. None at or past the end, or when nothing can be read.
    std::shared_ptr<const Block> BlockAt(platform::Stream& file, int64_t position, int64_t limit);
    // Lets the blocks go (lexers reading one keep it); later reads refill.
    void Clear() { FBlocks.fill(nullptr); }

  private:
    std::array<std::shared_ptr<const Block>, kBlocks> FBlocks;  // most recent first
    int64_t FLimit = -1;  // the file's end when the blocks were read
};

// The class of each byte value: 0 regular, 1 white space (NUL TAB LF FF CR
// SPACE), 2 delimiter (% ( ) / < > [ ] { }).
extern const std::array<uint8_t, 256> kPDFCharClass;

class TqzPDLexer : public TqzObject {
  public:
    // Longest keyword or name kept; a longer run is cut (see GetObject).
    static constexpr uint32_t kTokenLength = 127;

    explicit TqzPDLexer(TqzStreamPtr stream);
    explicit TqzPDLexer(TqzStream& stream);
    ~TqzPDLexer() override;
    TqzPDLexer(const TqzPDLexer&) = delete;
    TqzPDLexer& operator=(const TqzPDLexer&) = delete;

    // The next token, a new object that the caller owns; an end token at the
    // end of the data and on every call after it.
    std::unique_ptr<TqzPDBaseObject> GetObject();

    int LookChar() {
        if (FPos < FEnd) return FData[FPos];
        return Refill() ? FData[FPos] : -1;
    }
    int GetChar() {
        if (FPos < FEnd) return FData[FPos++];
        return Refill() ? FData[FPos++] : -1;
    }
    void SkipChar() { GetChar(); }
    // Reads up to `count` bytes at the lexer's position; returns how many.
    int32_t Read(uint8_t* buffer, uint32_t count);
    // Consumes bytes up to and including the next LF, or the next CR with an
    // LF right after it, or to the end of the data.
    void SkiptoNextLine();
    // Whether the next token, after white space, is the keyword `word`;
    // nothing is consumed.
    bool NextIsKeyword(std::string_view word);

    int64_t GetPosition() const { return FBlockStart + static_cast<int64_t>(FPos); }
    // Moves to `position` (see the header for what positions mean).
    void SetPosition(int64_t position);
    // Rewinds to the start of the stream's data.
    void Reset();
    // The position just after the first byte of the last token (not changed
    // by an end token).
    int64_t GetCurrentObjOffset() const { return FOffset; }

    // Reads a file stream's bytes through `cache` (borrowed; it must outlive
    // the lexer). Call before the first token.
    void SetBlockCache(TqzFileBlockCache* cache) { FCache = FSource == Source::File ? cache : nullptr; }

    // A stream view that reads through this lexer: its position is the
    // lexer's, and bytes read from it are consumed from the lexer. Its base
    // and platform streams are the raw stream's.
    TqzStream* GetStream();
    // The stream being read.
    TqzStream* GetRawStream() const { return FStream; }

  private:
    enum class Source : uint8_t { File, Memory, Other };

    void Attach();
    bool Refill();
    void DropBuffer(int64_t position);
    int64_t SourceLimit() const;
    // Reads the run of regular bytes that continues a keyword or name into
    // `text`, already holding `length` bytes; returns the new length.
    uint32_t ReadRegular(char* text, uint32_t length);
    std::unique_ptr<TqzPDBaseObject> ReadNumber(int first);
    std::unique_ptr<TqzPDBaseObject> ReadLiteralString();
    std::unique_ptr<TqzPDBaseObject> ReadHexString();

    TqzStreamPtr FOwned;
    TqzStream* FStream;
    Source FSource = Source::Other;
    TqzFileStream* FFileStream = nullptr;
    TqzMemoryStream* FMemoryStream = nullptr;
    platform::Stream* FPlatform = nullptr;
    int64_t FFileLimit = 0;

    const uint8_t* FData = nullptr;  // the current block
    uint32_t FPos = 0;               // next byte in the block
    uint32_t FEnd = 0;               // bytes in the block
    int64_t FBlockStart = 0;         // position of FData[0]
    uint32_t FBlockSize = 0;         // size of the next file read
    std::vector<uint8_t> FBuffer;    // the block for file and other streams
    TqzFileBlockCache* FCache = nullptr;
    std::shared_ptr<const TqzFileBlockCache::Block> FCachedBlock;  // what FData points into
    int64_t FOffset = 0;
    std::unique_ptr<TqzStream> FView;
};

}  // namespace qz::core
