#include "content/fonts/PDCMapParser.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <exception>
#include <limits>
#include <numeric>
#include <queue>
#include <system_error>

namespace qz::content {
namespace {

constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();
constexpr uint32_t kReplacement = 0xFFFD;
constexpr uint32_t kMaxCodePoint = 0x10FFFF;

// 0 regular, 1 whitespace, 2 delimiter.
constexpr int32_t CharClass(int32_t c) {
    switch (c) {
        case 0: case '\t': case '\n': case '\f': case '\r': case ' ': return 1;
        case '%': case '(': case ')': case '/': case '<': case '>': case '[': case ']': case '{': case '}': return 2;
        default: return 0;
    }
}

int32_t HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A decimal token, whole; too large a number gives the largest of its sign.
bool ParseDecimal(const std::string& Token, int64_t& Out) {
    const char* first = Token.data();
    const char* last = first + Token.size();
    const auto [ptr, ec] = std::from_chars(first, last, Out);
    if (ptr != last || Token.empty()) return false;
    if (ec == std::errc::result_out_of_range) {
        Out = Token[0] == '-' ? std::numeric_limits<int64_t>::min() : kInt64Max;
        return true;
    }
    return ec == std::errc();
}

// Code points of UTF-16 units: surrogate pairs combine, a lone surrogate
// becomes U+FFFD.
std::u32string FromUTF16(std::u16string_view Units) {
    std::u32string out;
    out.reserve(Units.size());
    for (size_t i = 0; i < Units.size(); ++i) {
        const uint32_t u = Units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < Units.size() && Units[i + 1] >= 0xDC00 && Units[i + 1] <= 0xDFFF) {
            out.push_back(0x10000 + ((u - 0xD800) << 10) + (uint32_t{Units[i + 1]} - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            out.push_back(kReplacement);
        } else {
            out.push_back(u);
        }
    }
    return out;
}

// a + b, saturating at the largest value.
int64_t AddSaturating(int64_t a, uint64_t b) {
    const int64_t bb = b > static_cast<uint64_t>(kInt64Max) ? kInt64Max : static_cast<int64_t>(b);
    int64_t r = 0;
    if (__builtin_add_overflow(a, bb, &r)) return kInt64Max;
    return r;
}

bool Contains(const std::string& Token, std::string_view Word) { return Token.find(Word) != std::string::npos; }

}  // namespace

// ---- tokenizer ----

TqzPSTokenizer::TqzPSTokenizer(platform::Stream& Stream) : FStream(Stream) {}

bool TqzPSTokenizer::Fill() {
    FCurrentIndex = 0;
    FCount = 0;
    if (FAtEnd) return false;
    const int64_t got = FStream.Read(FBuffer, kBufferSize);
    if (got <= 0) {
        FAtEnd = true;
        return false;
    }
    FCount = got;
    return true;
}

int32_t TqzPSTokenizer::GetChar() {
    if (FCurrentIndex >= FCount && !Fill()) return -1;
    return static_cast<uint8_t>(FBuffer[FCurrentIndex++]);
}

int32_t TqzPSTokenizer::LookChar() {
    if (FCurrentIndex >= FCount && !Fill()) return -1;
    if (FBuffer[FCurrentIndex] == 0) {
        if (FCurrentIndex + 1 >= FCount && !FAtEnd) {
            // The byte after the NUL is in the next block: keep the NUL in
            // front of it.
            FBuffer[0] = 0;
            FCurrentIndex = 0;
            FCount = 1;
            const int64_t got = FStream.Read(FBuffer + 1, kBufferSize - 1);
            if (got > 0)
                FCount += got;
            else
                FAtEnd = true;
        }
        if (FCurrentIndex + 1 < FCount && FBuffer[FCurrentIndex + 1] != 0) ++FCurrentIndex;
    }
    return static_cast<uint8_t>(FBuffer[FCurrentIndex]);
}

void TqzPSTokenizer::Append(std::string& Token, int32_t c) const {
    if (Token.size() < kMaxCMapTokenLength) Token.push_back(static_cast<char>(c));
}

bool TqzPSTokenizer::GetNextToken(std::string& Token) {
    Token.clear();
    const auto next = [this] { return LookChar() < 0 ? -1 : GetChar(); };
    int32_t c = 0;
    for (;;) {
        c = next();
        if (c < 0) return false;
        if (c == '%') {
            while ((c = next()) >= 0 && c != '\r' && c != '\n') {
            }
            if (c < 0) return false;
            continue;
        }
        if (CharClass(c) != 1) break;
    }
    Append(Token, c);
    if (c == '(') {
        bool escaped = false;
        while ((c = next()) >= 0) {
            Append(Token, c);
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == ')')
                break;
        }
        return true;
    }
    if (c == '<') {
        while ((c = next()) >= 0) {
            if (CharClass(c) == 1) continue;
            Append(Token, c);
            if (c == '>') break;
        }
        return true;
    }
    if (c == '[' || c == ']') return true;
    while ((c = LookChar()) >= 0 && CharClass(c) == 0) {
        Append(Token, c);
        ++FCurrentIndex;
    }
    return true;
}

// ---- names and files ----

bool IsSafeCMapName(std::string_view Name) {
    if (Name.empty() || Name.find("..") != std::string_view::npos) return false;
    return std::all_of(Name.begin(), Name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
               c == '-';
    });
}

std::filesystem::path FindCMapFile(const std::vector<std::filesystem::path>& Folders, std::string_view Name) {
    if (!IsSafeCMapName(Name)) return {};
    for (const auto& folder : Folders) {
        if (folder.empty()) continue;
        std::error_code ec;
        auto file = folder / std::string(Name);
        if (std::filesystem::is_regular_file(file, ec)) return file;
    }
    return {};
}

// ---- parser ----

TqzPDCMapParser::TqzPDCMapParser(platform::Stream& Stream) {
    Context ctx;
    Parse(Stream, ctx);
    BuildIndex();
}

TqzPDCMapParser::TqzPDCMapParser(platform::Stream& Stream, const TqzCMapSearch& Search) {
    Context ctx;
    ctx.Search = &Search;
    if (!Search.Name.empty()) ctx.Chain.push_back(Search.Name);
    Parse(Stream, ctx);
    BuildIndex();
}

TqzPDCMapParser::TqzPDCMapParser(platform::Stream& Stream, Context& Ctx, bool Index) {
    Parse(Stream, Ctx);
    if (Index) BuildIndex();
}

namespace {

// A hex token ("<...>") or a decimal one. Hex values saturate; at most
// `MaxDigits` hex digits count. With `WantText`, a hex value of more than four
// digits is also kept as UTF-16 units and its number is its first code point.
struct ParsedValue {
    int64_t Number = 0;
    int32_t HexDigits = 0;
    std::u16string Text;
};

bool ParseValue(const std::string& Token, ParsedValue& V, size_t MaxDigits, bool WantText) {
    V = {};
    if (Token.empty() || Token[0] != '<') return ParseDecimal(Token, V.Number);
    std::string digits;
    for (char c : Token)
        if (HexDigit(c) >= 0) digits.push_back(c);
    if (digits.empty()) return false;
    V.HexDigits = static_cast<int32_t>(std::min(digits.size(), size_t{1} << 20));
    if (WantText && digits.size() > 4) {
        // Whole bytes, two by two into units; an odd last byte stands alone.
        const size_t maxDigits = kMaxCMapDestinationUnits * 4;
        if (digits.size() > maxDigits) digits.resize(maxDigits);
        if (digits.size() % 2 != 0) digits.push_back('0');
        std::vector<uint8_t> bytes;
        for (size_t i = 0; i < digits.size(); i += 2)
            bytes.push_back(static_cast<uint8_t>(HexDigit(digits[i]) * 16 + HexDigit(digits[i + 1])));
        for (size_t i = 0; i < bytes.size(); i += 2)
            V.Text.push_back(i + 1 < bytes.size() ? static_cast<char16_t>(bytes[i] << 8 | bytes[i + 1])
                                                  : static_cast<char16_t>(bytes[i]));
        V.Number = FromUTF16(V.Text).front();
        return true;
    }
    const size_t count = std::min(digits.size(), MaxDigits);
    for (size_t i = 0; i < count; ++i) {
        if (V.Number > (kInt64Max >> 4)) {
            V.Number = kInt64Max;
            break;
        }
        V.Number = V.Number * 16 + HexDigit(digits[i]);
    }
    return true;
}

constexpr size_t kAllDigits = std::numeric_limits<size_t>::max();

}  // namespace

int32_t TqzPDCMapParser::MaxCodeBytes() const {
    int32_t most = 0;
    for (const auto& space : FCodeSpaces) most = std::max(most, space.FBytes);
    return most;
}

bool TqzPDCMapParser::TakeEntry(Context& Ctx) {
    if (Ctx.EntryBudget <= 0) {
        FEndCMAP = true;  // too many entries: the rest is not read
        return false;
    }
    --Ctx.EntryBudget;
    return true;
}

bool TqzPDCMapParser::StoreText(const std::u16string& Text, Context& Ctx, uint32_t& Offset, uint32_t& Length) {
    Offset = 0;
    Length = 0;
    if (Text.empty()) return true;
    const auto size = static_cast<int64_t>(Text.size());
    if (size > Ctx.TextBudget) return false;
    Ctx.TextBudget -= size;
    Offset = static_cast<uint32_t>(FTextPool.size());
    Length = static_cast<uint32_t>(Text.size());
    FTextPool += Text;
    return true;
}

void TqzPDCMapParser::Parse(platform::Stream& Stream, Context& Ctx) {
    TqzPSTokenizer tokens(Stream);
    std::string token;
    std::string previous;
    try {
        while (!FEndCMAP && tokens.GetNextToken(token)) {
            if (token == "endcmap") break;
            if (token == "/Registry" || token == "/Ordering" || token == "/Supplement") {
                std::string& field = token == "/Registry" ? FRegistry : token == "/Ordering" ? FOrdering : FSupplement;
                if (tokens.GetNextToken(token)) field = token;
            } else if (token == "/WMode") {
                int64_t mode = 0;
                if (tokens.GetNextToken(token) && ParseDecimal(token, mode)) {
                    FWMode = static_cast<int32_t>(std::clamp<int64_t>(mode, std::numeric_limits<int32_t>::min(),
                                                                      std::numeric_limits<int32_t>::max()));
                    FWModeSet = true;
                }
            } else if (token == "begincidrange" || token == "beginbfrange") {
                ReadRanges(tokens, Ctx);
            } else if (token == "begincidchar" || token == "beginbfchar") {
                ReadCodes(tokens, Ctx);
            } else if (token == "begincodespacerange") {
                ReadCodeSpaces(tokens, Ctx);
            } else if (token == "usecmap" && previous.size() > 1 && previous[0] == '/') {
                UseCMap(previous.substr(1), Ctx);
            }
            previous.swap(token);
        }
    } catch (const std::exception&) {
        // A stream that fails to read ends the text; what was read stays.
    }
    const auto stripParentheses = [](std::string& s) { std::erase_if(s, [](char c) { return c == '(' || c == ')'; }); };
    stripParentheses(FRegistry);
    stripParentheses(FOrdering);
}

void TqzPDCMapParser::ReadRanges(TqzPSTokenizer& Tokens, Context& Ctx) {
    const auto isEnd = [this](const std::string& t) {
        if (t == "endcmap") FEndCMAP = true;
        return t == "endcidrange" || t == "endbfrange" || t == "endcodespacerange" || t == "endcmap";
    };
    std::string token;
    ParsedValue low, high, dest;
    while (!FEndCMAP) {
        if (!Tokens.GetNextToken(token) || isEnd(token)) return;
        const bool lowOk = ParseValue(token, low, kAllDigits, false);
        if (!Tokens.GetNextToken(token) || isEnd(token)) return;
        const bool highOk = ParseValue(token, high, kAllDigits, false);
        if (!Tokens.GetNextToken(token) || isEnd(token)) return;
        const bool rangeOk = lowOk && highOk && low.Number <= high.Number;
        // Two hex digits make a range of single-byte codes.
        if (rangeOk && high.HexDigits == 2 && TakeEntry(Ctx))
            FCodeSpaceRangeList.push_back({high.Number, low.Number, 0, 0, 0});
        if (token == "[") {
            // One value per code, from the low code on; values past the high
            // code are not the entry's to map.
            int64_t code = low.Number;
            bool past = !rangeOk;
            while (Tokens.GetNextToken(token) && token != "]") {
                if (isEnd(token)) return;
                ParsedValue v;
                if (!past && ParseValue(token, v, kAllDigits, true)) {
                    TqzCIDRange range{code, code, v.Number, 0, 0};
                    if (!TakeEntry(Ctx)) return;
                    if (StoreText(v.Text, Ctx, range.FTextOffset, range.FTextLength)) FCIDList.push_back(range);
                }
                if (code >= high.Number) past = true;
                else ++code;
            }
            continue;
        }
        ParsedValue v;
        if (!rangeOk || !ParseValue(token, v, kAllDigits, true)) continue;
        if (!TakeEntry(Ctx)) return;
        TqzCIDRange range{high.Number, low.Number, v.Number, 0, 0};
        if (StoreText(v.Text, Ctx, range.FTextOffset, range.FTextLength)) FCIDList.push_back(range);
    }
}

void TqzPDCMapParser::ReadCodes(TqzPSTokenizer& Tokens, Context& Ctx) {
    const auto isEnd = [this](const std::string& t) {
        if (Contains(t, "endcmap")) FEndCMAP = true;
        return Contains(t, "endcidchar") || Contains(t, "endbfchar") || Contains(t, "endcmap");
    };
    // Sources keep their first four hex digits, unless the code spaces have
    // codes of three or four bytes.
    const size_t sourceDigits = MaxCodeBytes() >= 3 ? 8 : 4;
    std::string token;
    ParsedValue source;
    while (!FEndCMAP) {
        if (!Tokens.GetNextToken(token) || isEnd(token)) return;
        const bool sourceOk = ParseValue(token, source, sourceDigits, false);
        if (!Tokens.GetNextToken(token) || isEnd(token)) return;
        ParsedValue v;
        if (!sourceOk || !ParseValue(token, v, kAllDigits, true)) continue;
        if (!TakeEntry(Ctx)) return;
        TqzCIDCode code{v.Number, source.Number, 0, 0};
        if (StoreText(v.Text, Ctx, code.FTextOffset, code.FTextLength)) FCodeList.push_back(code);
    }
}

void TqzPDCMapParser::ReadCodeSpaces(TqzPSTokenizer& Tokens, Context& Ctx) {
    const auto isEnd = [this](const std::string& t) {
        if (t == "endcmap") FEndCMAP = true;
        return t == "endcodespacerange" || t == "endcmap";
    };
    std::string token;
    ParsedValue low, high;
    while (!FEndCMAP) {
        if (!Tokens.GetNextToken(token) || isEnd(token)) return;
        const bool lowOk = ParseValue(token, low, kAllDigits, false) && low.HexDigits > 0;
        if (!Tokens.GetNextToken(token) || isEnd(token)) return;
        const bool highOk = ParseValue(token, high, kAllDigits, false) && high.HexDigits > 0;
        if (!lowOk || !highOk) continue;
        const int32_t bytes = (std::max(low.HexDigits, high.HexDigits) + 1) / 2;
        if (bytes > 4 || !TakeEntry(Ctx)) continue;
        FCodeSpaces.push_back({static_cast<uint32_t>(low.Number), static_cast<uint32_t>(high.Number), bytes});
    }
}

void TqzPDCMapParser::UseCMap(const std::string& Name, Context& Ctx) {
    const bool loop = std::find(Ctx.Chain.begin(), Ctx.Chain.end(), Name) != Ctx.Chain.end();
    if (Ctx.Search == nullptr || loop || static_cast<int32_t>(Ctx.Chain.size()) >= kMaxUseCMapDepth ||
        Ctx.UseCMapBudget <= 0) {
        FUnresolvedUseCMap = true;
        return;
    }
    const auto file = FindCMapFile(Ctx.Search->Folders, Name);
    if (file.empty()) {
        FUnresolvedUseCMap = true;
        return;
    }
    --Ctx.UseCMapBudget;
    std::unique_ptr<platform::FileStream> stream;
    try {
        stream = std::make_unique<platform::FileStream>(file, platform::FileMode::OpenRead);
    } catch (const std::exception&) {
        FUnresolvedUseCMap = true;
        return;
    }
    Ctx.Chain.push_back(Name);
    TqzPDCMapParser used(*stream, Ctx, false);
    Ctx.Chain.pop_back();

    // The used CMap's entries come first, so that this CMap's own win.
    const auto shift = static_cast<uint32_t>(FTextPool.size());
    FTextPool += used.FTextPool;
    for (auto range : used.FCIDList) {
        if (range.FTextLength != 0) range.FTextOffset += shift;
        FCIDList.push_back(range);
    }
    for (auto code : used.FCodeList) {
        if (code.FTextLength != 0) code.FTextOffset += shift;
        FCodeList.push_back(code);
    }
    FCodeSpaceRangeList.insert(FCodeSpaceRangeList.end(), used.FCodeSpaceRangeList.begin(),
                               used.FCodeSpaceRangeList.end());
    FCodeSpaces.insert(FCodeSpaces.end(), used.FCodeSpaces.begin(), used.FCodeSpaces.end());
    if (FRegistry.empty()) FRegistry = used.FRegistry;
    if (FOrdering.empty()) FOrdering = used.FOrdering;
    if (FSupplement.empty()) FSupplement = used.FSupplement;
    if (!FWModeSet && used.FWModeSet) FWMode = used.FWMode;
    FUnresolvedUseCMap = FUnresolvedUseCMap || used.FUnresolvedUseCMap;
    // A used CMap that ended the text early (too many entries) ends this one.
    if (Ctx.EntryBudget <= 0) FEndCMAP = true;
}

void TqzPDCMapParser::BuildIndex() {
    // Cut the ranges at every start and every end + 1; between two cuts the
    // same ranges hold every code, and the last of them in list order decides.
    std::vector<int64_t> cuts;
    cuts.reserve(FCIDList.size() * 2);
    for (const auto& r : FCIDList) {
        cuts.push_back(r.FCIDStart);
        if (r.FCIDEnd < kInt64Max) cuts.push_back(r.FCIDEnd + 1);
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    std::vector<size_t> byStart(FCIDList.size());
    std::iota(byStart.begin(), byStart.end(), size_t{0});
    std::sort(byStart.begin(), byStart.end(),
              [this](size_t a, size_t b) { return FCIDList[a].FCIDStart < FCIDList[b].FCIDStart; });
    std::priority_queue<size_t> open;  // list positions; the largest decides
    size_t next = 0;
    FPieces.clear();
    for (size_t i = 0; i < cuts.size(); ++i) {
        const int64_t low = cuts[i];
        while (next < byStart.size() && FCIDList[byStart[next]].FCIDStart <= low) open.push(byStart[next++]);
        while (!open.empty() && FCIDList[open.top()].FCIDEnd < low) open.pop();
        if (open.empty()) continue;
        const int64_t high = i + 1 < cuts.size() ? cuts[i + 1] - 1 : kInt64Max;
        const size_t winner = open.top();
        if (!FPieces.empty() && FPieces.back().Range == winner && FPieces.back().High + 1 == low)
            FPieces.back().High = high;
        else
            FPieces.push_back({low, high, winner});
    }

    FCodeIndex.resize(FCodeList.size());
    std::iota(FCodeIndex.begin(), FCodeIndex.end(), size_t{0});
    std::stable_sort(FCodeIndex.begin(), FCodeIndex.end(),
                     [this](size_t a, size_t b) { return FCodeList[a].FSource < FCodeList[b].FSource; });
    // Of equal sources the last in list order is kept.
    std::vector<size_t> kept;
    for (size_t i = 0; i < FCodeIndex.size(); ++i)
        if (i + 1 == FCodeIndex.size() || FCodeList[FCodeIndex[i]].FSource != FCodeList[FCodeIndex[i + 1]].FSource)
            kept.push_back(FCodeIndex[i]);
    FCodeIndex.swap(kept);

    FSingleByteCodes.reset();
    for (const auto& r : FCodeSpaceRangeList)
        for (int64_t c = std::max<int64_t>(r.FCIDStart, 0); c <= std::min<int64_t>(r.FCIDEnd, 255); ++c)
            FSingleByteCodes.set(static_cast<size_t>(c));
}

int64_t TqzPDCMapParser::RangeValue(const TqzCIDRange& Range, int64_t Index) const {
    const uint64_t offset = static_cast<uint64_t>(Index) - static_cast<uint64_t>(Range.FCIDStart);
    if (Range.FTextLength == 0) return AddSaturating(Range.FCode, offset);
    // A single code point (a surrogate pair) counts on; a ligature keeps its
    // first character.
    const auto text = FromUTF16(std::u16string_view(FTextPool).substr(Range.FTextOffset, Range.FTextLength));
    return text.size() == 1 ? AddSaturating(text[0], offset) : text[0];
}

int64_t TqzPDCMapParser::GetCID(int64_t Index) const {
    auto it = std::upper_bound(FPieces.begin(), FPieces.end(), Index,
                               [](int64_t value, const Piece& p) { return value < p.Low; });
    if (it == FPieces.begin()) return -1;
    --it;
    if (it->High < Index) return -1;
    return RangeValue(FCIDList[it->Range], Index);
}

int64_t TqzPDCMapParser::GetCode(int64_t Index) const {
    auto it = std::lower_bound(FCodeIndex.begin(), FCodeIndex.end(), Index,
                               [this](size_t i, int64_t value) { return FCodeList[i].FSource < value; });
    if (it != FCodeIndex.end() && FCodeList[*it].FSource == Index) return FCodeList[*it].FCode;
    return GetCID(Index);
}

std::u32string TqzPDCMapParser::GetText(int64_t Index) const {
    const auto single = [](int64_t value) {
        if (value < 0 || value > kMaxCodePoint) return std::u32string();
        if (value >= 0xD800 && value <= 0xDFFF) return std::u32string(1, kReplacement);
        return std::u32string(1, static_cast<char32_t>(value));
    };
    auto it = std::lower_bound(FCodeIndex.begin(), FCodeIndex.end(), Index,
                               [this](size_t i, int64_t value) { return FCodeList[i].FSource < value; });
    if (it != FCodeIndex.end() && FCodeList[*it].FSource == Index) {
        const auto& code = FCodeList[*it];
        if (code.FTextLength == 0) return single(code.FCode);
        return FromUTF16(std::u16string_view(FTextPool).substr(code.FTextOffset, code.FTextLength));
    }
    auto piece = std::upper_bound(FPieces.begin(), FPieces.end(), Index,
                                  [](int64_t value, const Piece& p) { return value < p.Low; });
    if (piece == FPieces.begin()) return {};
    --piece;
    if (piece->High < Index) return {};
    const auto& range = FCIDList[piece->Range];
    if (range.FTextLength == 0) return single(RangeValue(range, Index));
    // Codes after the first count on in the last character.
    auto text = FromUTF16(std::u16string_view(FTextPool).substr(range.FTextOffset, range.FTextLength));
    const uint64_t offset = static_cast<uint64_t>(Index) - static_cast<uint64_t>(range.FCIDStart);
    const int64_t last = AddSaturating(text.back(), offset);
    text.back() = last > kMaxCodePoint || (last >= 0xD800 && last <= 0xDFFF) ? kReplacement : static_cast<char32_t>(last);
    return text;
}

bool TqzPDCMapParser::IsSingleByteCodeRange(int64_t Code) const {
    return Code >= 0 && Code < 256 && FSingleByteCodes.test(static_cast<size_t>(Code));
}

int32_t TqzPDCMapParser::getCIDCount() const { return static_cast<int32_t>(FCIDList.size()); }

int32_t TqzPDCMapParser::getCodeCount() const { return static_cast<int32_t>(FCodeList.size()); }

int32_t TqzPDCMapParser::GetCodeLength(std::string_view Bytes) const {
    const size_t most = std::min<size_t>(Bytes.size(), 4);
    for (size_t n = 1; n <= most; ++n) {
        for (const auto& space : FCodeSpaces) {
            if (static_cast<size_t>(space.FBytes) != n) continue;
            bool inside = true;
            for (size_t i = 0; i < n && inside; ++i) {
                const unsigned shift = static_cast<unsigned>(8 * (n - 1 - i));
                const uint32_t b = static_cast<uint8_t>(Bytes[i]);
                inside = b >= ((space.FLow >> shift) & 0xFF) && b <= ((space.FHigh >> shift) & 0xFF);
            }
            if (inside) return static_cast<int32_t>(n);
        }
    }
    return 0;
}

}  // namespace qz::content
