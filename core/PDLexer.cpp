#include "core/PDLexer.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>

#include "core/FileStream.h"
#include "core/MemoryStream.h"
#include "core/PDBoolean.h"
#include "core/PDCommand.h"
#include "core/PDEOF.h"
#include "core/PDError.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDNull.h"
#include "core/PDReal.h"
#include "core/PDString.h"

namespace qz::core {

namespace {

constexpr std::array<uint8_t, 256> MakeCharClass() {
    std::array<uint8_t, 256> table{};
    for (int c : {0, 9, 10, 12, 13, 32}) table[static_cast<size_t>(c)] = 1;
    for (char c : {'%', '(', ')', '/', '<', '>', '[', ']', '{', '}'})
        table[static_cast<uint8_t>(c)] = 2;
    return table;
}

// A file read right after a jump (an object fetch) is small, as most objects
// are; consecutive reads double it up to the largest block.
// Fraction digits read into a real: a double holds 17 significant digits,
// and leading zeros of small fractions need room besides.
constexpr size_t kFractionDigits = 40;
constexpr uint32_t kFirstBlock = 4 * 1024;
constexpr uint32_t kLargestBlock = 64 * 1024;

bool IsDigit(int c) {
    return c >= '0' && c <= '9';
}

// The lexer seen as a byte stream, for readers of inline image data and for
// the code that asks the lexer's stream for its base and platform streams.
class TqzLexerView final : public TqzStream {
  public:
    explicit TqzLexerView(TqzPDLexer& lexer) : FLexer(lexer) {}
    using TqzStream::Read;
    using TqzStream::Write;
    int32_t Write(const uint8_t*, uint32_t) override { return 0; }
    int LookChar() override { return FLexer.LookChar(); }
    int GetChar() override { return FLexer.GetChar(); }
    int32_t Read(uint8_t* buffer, uint32_t count) override { return FLexer.Read(buffer, count); }
    int64_t GetPosition() override { return FLexer.GetPosition(); }
    TqzStream* GetBaseStream() override { return FLexer.GetRawStream()->GetBaseStream(); }
    TqzStream* GetUndecodedStream() override { return FLexer.GetRawStream()->GetUndecodedStream(); }
    int64_t GetSize() override { return FLexer.GetRawStream()->GetSize(); }
    void Reset() override { FLexer.Reset(); }
    void SetPosition(int64_t position, SeekOrigin origin) override {
        if (origin == SeekOrigin::Current) position += FLexer.GetPosition();
        if (origin == SeekOrigin::End) position += FLexer.GetRawStream()->GetSize();
        FLexer.SetPosition(position);
    }
    platform::Stream* GetTStream() override { return FLexer.GetRawStream()->GetTStream(); }
    TqzStreamType GetType() override { return FLexer.GetRawStream()->GetType(); }

  private:
    TqzPDLexer& FLexer;
};

}  // namespace

const std::array<uint8_t, 256> kPDFCharClass = MakeCharClass();

std::shared_ptr<const TqzFileBlockCache::Block> TqzFileBlockCache::BlockAt(platform::Stream& file,
                                                                           int64_t position, int64_t limit) {
    if (position < 0 || position >= limit) return nullptr;
    // A file that changed size since (an update appended to it) is read anew.
    if (limit != FLimit) {
        FBlocks.fill(nullptr);
        FLimit = limit;
    }
    for (size_t i = 0; i < FBlocks.size(); ++i) {
        const auto& held = FBlocks[i];
        if (held && position >= held->start && position < held->start + held->size) {
            auto found = held;
            std::rotate(FBlocks.begin(), FBlocks.begin() + static_cast<std::ptrdiff_t>(i),
                        FBlocks.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            return found;
        }
    }
    const int64_t start = position - position % kBlockSize;
    const auto size = static_cast<uint32_t>(std::min<int64_t>(kBlockSize, limit - start));
    auto block = std::make_shared<Block>();
    block->start = start;
    block->bytes = std::make_unique_for_overwrite<uint8_t[]>(size);
    file.SetPosition(start);
    const int64_t got = file.Read(block->bytes.get(), size);
    // A short read (the file shrank under us) keeps what came.
    if (got <= position - start) return nullptr;
    block->size = static_cast<uint32_t>(got);
    std::rotate(FBlocks.rbegin(), FBlocks.rbegin() + 1, FBlocks.rend());
    FBlocks[0] = block;
    return block;
}

TqzPDLexer::TqzPDLexer(TqzStreamPtr stream) : FOwned(std::move(stream)), FStream(FOwned.get()) {
    Attach();
}

TqzPDLexer::TqzPDLexer(TqzStream& stream) : FStream(&stream) {
    Attach();
}

TqzPDLexer::~TqzPDLexer() = default;

void TqzPDLexer::Attach() {
    if (!FStream) return;
    // File and memory streams are read where they store their bytes, by
    // absolute position: no copy through their own buffers, and no clash
    // with other readers of the same file.
    if (auto* file = dynamic_cast<TqzFileStream*>(FStream); file && file->GetTStream()) {
        FSource = Source::File;
        FFileStream = file;
        FPlatform = file->GetTStream();
        // A file does not change while it is read; its end is asked once.
        FFileLimit = file->GetLimit();
    } else if (auto* memory = dynamic_cast<TqzMemoryStream*>(FStream)) {
        FSource = Source::Memory;
        FMemoryStream = memory;
    }
    DropBuffer(FSource == Source::Other ? 0 : FStream->GetPosition());
}

void TqzPDLexer::DropBuffer(int64_t position) {
    FData = nullptr;
    FPos = 0;
    FEnd = 0;
    FBlockStart = std::max<int64_t>(0, position);
    FBlockSize = kFirstBlock;
}

int64_t TqzPDLexer::SourceLimit() const {
    if (FSource == Source::File) return FFileLimit;
    return FMemoryStream->GetStart() + FMemoryStream->GetWindowSize();
}

bool TqzPDLexer::Refill() {
    if (!FStream) return false;
    const int64_t next = FBlockStart + static_cast<int64_t>(FEnd);
    if (FSource == Source::Memory) {
        // The whole rest of the window is one block.
        const std::string& bytes = FMemoryStream->Bytes();
        const int64_t limit = std::min<int64_t>(SourceLimit(), static_cast<int64_t>(bytes.size()));
        if (next >= limit) return false;
        FData = reinterpret_cast<const uint8_t*>(bytes.data()) + next;
        FBlockStart = next;
        FPos = 0;
        FEnd = static_cast<uint32_t>(std::min<int64_t>(limit - next, UINT32_MAX));
        return true;
    }
    if (FCache) {
        auto block = FCache->BlockAt(*FPlatform, next, SourceLimit());
        if (!block) return false;
        FCachedBlock = std::move(block);
        FData = FCachedBlock->bytes.get() + (next - FCachedBlock->start);
        FBlockStart = next;
        FPos = 0;
        FEnd = static_cast<uint32_t>(FCachedBlock->start + FCachedBlock->size - next);
        return true;
    }
    int64_t want = FBlockSize;
    if (FSource == Source::File) {
        const int64_t limit = SourceLimit();
        if (next >= limit) return false;
        want = std::min(want, limit - next);
    }
    if (FBuffer.size() < static_cast<size_t>(want)) FBuffer.resize(static_cast<size_t>(FBlockSize));
    int64_t got = 0;
    if (FSource == Source::File) {
        FPlatform->SetPosition(next);
        got = FPlatform->Read(FBuffer.data(), want);
    } else {
        got = FStream->Read(FBuffer.data(), static_cast<uint32_t>(want));
    }
    FBlockSize = std::min(FBlockSize * 2, kLargestBlock);
    if (got <= 0) return false;
    FData = FBuffer.data();
    FBlockStart = next;
    FPos = 0;
    FEnd = static_cast<uint32_t>(got);
    return true;
}

int32_t TqzPDLexer::Read(uint8_t* buffer, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        if (FPos >= FEnd && !Refill()) break;
        const uint32_t n = std::min(count - done, FEnd - FPos);
        std::memcpy(buffer + done, FData + FPos, n);
        FPos += n;
        done += n;
    }
    return static_cast<int32_t>(done);
}

void TqzPDLexer::SetPosition(int64_t position) {
    position = std::max<int64_t>(0, position);
    if (FData && position >= FBlockStart && position <= FBlockStart + static_cast<int64_t>(FEnd)) {
        FPos = static_cast<uint32_t>(position - FBlockStart);
        return;
    }
    if (FSource != Source::Other) {
        DropBuffer(position);
        return;
    }
    // A stream that cannot seek is read again from its start up to `position`.
    if (position < GetPosition()) Reset();
    while (GetPosition() < position) {
        if (FPos >= FEnd && !Refill()) break;
        FPos += static_cast<uint32_t>(std::min<int64_t>(position - GetPosition(), FEnd - FPos));
    }
}

void TqzPDLexer::Reset() {
    if (!FStream) return;
    FStream->Reset();
    if (FSource == Source::File) {
        DropBuffer(FFileStream->GetStart());
    } else if (FSource == Source::Memory) {
        DropBuffer(FMemoryStream->GetStart());
    } else {
        DropBuffer(0);
    }
}

TqzStream* TqzPDLexer::GetStream() {
    if (!FView) FView = std::make_unique<TqzLexerView>(*this);
    return FView.get();
}

void TqzPDLexer::SkiptoNextLine() {
    for (;;) {
        const int c = GetChar();
        if (c < 0 || c == '\n') return;
        if (c == '\r' && LookChar() == '\n') {
            SkipChar();
            return;
        }
    }
}

bool TqzPDLexer::NextIsKeyword(std::string_view word) {
    const int64_t position = GetPosition();
    int c = GetChar();
    while (c >= 0 && kPDFCharClass[static_cast<uint8_t>(c)] == 1) c = GetChar();
    bool match = true;
    for (const char expected : word) {
        if (c != static_cast<uint8_t>(expected)) {
            match = false;
            break;
        }
        c = GetChar();
    }
    // The keyword must end there, not run on into a longer one.
    match = match && (c < 0 || kPDFCharClass[static_cast<uint8_t>(c)] != 0);
    SetPosition(position);
    return match;
}

uint32_t TqzPDLexer::ReadRegular(char* text, uint32_t length) {
    for (;;) {
        const int c = LookChar();
        if (c < 0 || kPDFCharClass[static_cast<uint8_t>(c)] != 0) return length;
        SkipChar();
        // The byte after the longest token is dropped; the run's rest starts
        // the next token.
        if (length == kTokenLength) return length;
        text[length++] = static_cast<char>(c);
    }
}

std::unique_ptr<TqzPDBaseObject> TqzPDLexer::GetObject() {
    int c;
    for (;;) {
        c = GetChar();
        if (c < 0) return std::make_unique<TqzPDEOF>();
        if (c == '%') {
            for (;;) {
                const int d = GetChar();
                if (d < 0 || d == '\r' || d == '\n') break;
            }
            continue;
        }
        if (kPDFCharClass[static_cast<uint8_t>(c)] != 1) break;
    }
    FOffset = GetPosition();
    switch (c) {
        case '(':
            return ReadLiteralString();
        case '/': {
            char text[kTokenLength];
            const uint32_t length = ReadRegular(text, 0);
            return std::make_unique<TqzPDName>(std::string_view(text, length));
        }
        case '<':
            if (LookChar() == '<') {
                SkipChar();
                return std::make_unique<TqzPDCommand>("<<");
            }
            return ReadHexString();
        case '>':
            if (LookChar() == '>') {
                SkipChar();
                return std::make_unique<TqzPDCommand>(">>");
            }
            return std::make_unique<TqzPDError>();
        case '[':
            return std::make_unique<TqzPDCommand>("[");
        case ']':
            return std::make_unique<TqzPDCommand>("]");
        case '{':
        case '}':
            return std::make_unique<TqzPDError>();
        default:
            break;
    }
    if (c == '-' || c == '.' || IsDigit(c)) return ReadNumber(c);
    char text[kTokenLength];
    text[0] = static_cast<char>(c);
    const uint32_t length = ReadRegular(text, 1);
    const std::string_view word(text, length);
    if (word == "true") return std::make_unique<TqzPDBoolean>(true);
    if (word == "false") return std::make_unique<TqzPDBoolean>(false);
    if (word == "null") return std::make_unique<TqzPDNull>();
    return std::make_unique<TqzPDCommand>(std::string(word));
}

std::unique_ptr<TqzPDBaseObject> TqzPDLexer::ReadNumber(int first) {
    // The accumulator wraps as 64-bit two's complement; only the low 32 bits
    // of an integer survive.
    uint64_t accumulator = 0;
    bool negative = false;
    bool fraction = false;
    if (first == '-') {
        negative = true;
    } else if (first == '.') {
        fraction = true;
    } else {
        accumulator = static_cast<uint64_t>(first - '0');
    }
    if (!fraction) {
        while (IsDigit(LookChar()))
            accumulator = accumulator * 10 + static_cast<uint64_t>(GetChar() - '0');
        if (LookChar() == '.') {
            SkipChar();
            fraction = true;
        }
    }
    if (fraction) {
        // The fraction's digits are read as one decimal number, so that 0.75
        // is 0.75 and not the sum of 0.7 and 0.05 with their rounding errors;
        // digits past what a double holds change nothing and are skipped.
        char digits[kFractionDigits + 2] = {'0', '.'};
        size_t count = 2;
        for (int c = LookChar(); IsDigit(c) || c == '-'; c = LookChar()) {
            SkipChar();
            if (c == '-' || count == sizeof(digits)) continue;
            digits[count++] = static_cast<char>(c);
        }
        double fractionValue = 0;
        std::from_chars(digits, digits + count, fractionValue);
        const double value =
            static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(accumulator))) + fractionValue;
        return std::make_unique<TqzPDReal>(negative ? -value : value);
    }
    if (negative) accumulator = 0 - accumulator;
    if (accumulator == 0xFFFFFFFFu) accumulator = 0;
    return std::make_unique<TqzPDInteger>(static_cast<int32_t>(static_cast<uint32_t>(accumulator)));
}

std::unique_ptr<TqzPDBaseObject> TqzPDLexer::ReadLiteralString() {
    std::string bytes;
    int depth = 1;
    for (;;) {
        int c = GetChar();
        if (c < 0) break;
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0) break;
        } else if (c == '\\') {
            c = GetChar();
            if (c < 0) break;
            switch (c) {
                case 'n':
                    c = '\n';
                    break;
                case 'r':
                    c = '\r';
                    break;
                case 't':
                    c = '\t';
                    break;
                case 'b':
                    c = 8;
                    break;
                case 'f':
                    c = 12;
                    break;
                case '\n':
                    continue;
                case '\r':
                    if (LookChar() == '\n') {
                        SkipChar();
                        continue;
                    }
                    break;
                default:
                    if (c >= '0' && c <= '7') {
                        int value = c - '0';
                        for (int k = 0; k < 2 && LookChar() >= '0' && LookChar() <= '7'; ++k) {
                            value = value * 8 + (GetChar() - '0');
                        }
                        c = value & 0xFF;
                    }
                    break;
            }
        }
        bytes.push_back(static_cast<char>(c));
    }
    return std::make_unique<TqzPDString>(std::move(bytes), false);
}

std::unique_ptr<TqzPDBaseObject> TqzPDLexer::ReadHexString() {
    std::string digits;
    for (;;) {
        const int c = GetChar();
        if (c < 0 || c == '>') break;
        if (kPDFCharClass[static_cast<uint8_t>(c)] == 1) continue;
        digits.push_back(static_cast<char>(c));
    }
    return std::make_unique<TqzPDString>(std::move(digits), true);
}

}  // namespace qz::core
