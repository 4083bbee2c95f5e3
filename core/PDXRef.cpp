#include "core/PDXRef.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string>

#include "core/Conversions.h"
#include "core/Limits.h"
#include "core/ObjectStream.h"
#include "core/PDArray.h"
#include "core/PDBaseExceptions.h"
#include "core/PDDictionary.h"
#include "core/PDError.h"
#include "core/PDFFaultTolerance.h"
#include "core/PDInteger.h"
#include "core/PDLexer.h"
#include "core/PDParser.h"
#include "core/PDStream.h"
#include "core/ParentDocument.h"

namespace qz::core {

namespace {

// The "startxref" search: windows of this size, the first at the end of the
// file, further ones this many bytes apart going back, at most this many.
constexpr int64_t kStartXrefWindow = 700;
constexpr int64_t kStartXrefStep = 670;
constexpr int64_t kStartXrefWindows = 1024;
// The fallback and the repair look for "xref" in this many last bytes.
constexpr int64_t kXrefTail = 1024;
// Bytes after "startxref" that can hold its number.
constexpr int64_t kStartXrefValueBytes = 64;
// Entries in use held per byte of the file, at most, plus a few: each is
// paid for by stored bytes, so a decompression bomb in a cross-reference
// stream cannot fill memory with entries.
constexpr int64_t kEntriesPerFileByte = 1;
constexpr int64_t kEntrySlack = 4096;
// Cross-reference stream rows read per byte of the file, at most, plus the
// same few: free rows compress to almost nothing and cost no memory, but
// each costs time; a sparse numbering needs far fewer.
constexpr int64_t kRowsPerFileByte = 16;
// Decoded cross-reference stream data is read in blocks of this size.
constexpr uint32_t kRowBlock = 16 * 1024;
// Strings of an encrypted document are decrypted when the parser is given a
// key; its content plays no part.
constexpr std::string_view kEncryptedMarker = "encrypted";

bool IsWordByte(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

// Reads a cross-reference stream's decoded rows in blocks, never beyond the
// rows asked for: the next subsection's rows follow in the same data.
class RowReader {
  public:
    RowReader(TqzStream& data, int64_t rows, uint32_t rowBytes)
        : FData(data), FLeft(rows * rowBytes) {}
    bool Get(uint8_t* out, uint32_t count) {
        for (uint32_t done = 0; done < count;) {
            if (FPos == FEnd) {
                const auto want = static_cast<uint32_t>(std::min<int64_t>(kRowBlock, FLeft));
                const int32_t got = want > 0 ? FData.Read(FBuffer, want) : 0;
                if (got <= 0) return false;
                FLeft -= got;
                FPos = 0;
                FEnd = static_cast<uint32_t>(got);
            }
            const uint32_t n = std::min(count - done, FEnd - FPos);
            std::copy_n(FBuffer + FPos, n, out + done);
            FPos += n;
            done += n;
        }
        return true;
    }

  private:
    TqzStream& FData;
    int64_t FLeft;
    uint8_t FBuffer[kRowBlock];
    uint32_t FPos = 0;
    uint32_t FEnd = 0;
};

bool IntegerValue(const TqzPDBaseObject* object, int64_t& value) {
    if (!object || !object->IsInteger()) return false;
    value = static_cast<const TqzPDInteger*>(object)->GetValue();
    return true;
}

}  // namespace

// ---- entries (shared with the writer) ----

TqzPDXRef::TqzPDXRef() = default;

TqzPDXRef::TqzPDXRef(TqzParentDocument* parentDoc, TqzStreamPtr stream)
    : FPDFFixer(std::make_unique<TqzPDFFaultTolerance>()),
      FStream(std::move(stream)),
      FParentDoc(parentDoc) {}

TqzPDXRef::~TqzPDXRef() = default;

TqzPDXRefEntry TqzPDXRef::GetEntry(uint32_t index) const {
    const TqzPDXRefEntry* entry = FindEntry(index);
    return entry ? *entry : TqzPDXRefEntry();
}

const TqzPDXRefEntry* TqzPDXRef::FindEntry(uint32_t index) const {
    const auto it = FEntries.find(index);
    return it == FEntries.end() ? nullptr : &it->second;
}

bool TqzPDXRef::SetEntry(uint32_t index, const TqzPDXRefEntry& entry) {
    if (index > kMaxObjectNumber) return false;
    if (index >= FSize)
        FSize = static_cast<uint32_t>(
            std::min<uint64_t>(uint64_t{index} + kGrowth, kMaxObjectNumber + uint64_t{1}));
    if (index < FFreeSlots.size()) FFreeSlots[index] = false;
    FEntries[index] = entry;
    FChanged = true;
    return true;
}

void TqzPDXRef::AddDefaultEntries(uint32_t tillCount) {
    FSize = std::max(FSize, std::min(tillCount, kMaxObjectNumber + 1));
}

bool TqzPDXRef::AddEntry(const TqzPDXRefEntry& entry) {
    if (FSize > kMaxObjectNumber) return false;
    FEntries[FSize] = entry;
    ++FSize;
    return true;
}

bool TqzPDXRef::IsEntryFree(uint32_t index) const {
    const TqzPDXRefEntry* entry = FindEntry(index);
    return !entry || entry->GetEntryType() == TqzPDXRefEntrytype::xeFree;
}

bool TqzPDXRef::IsSlotSet(uint32_t slot) const {
    return FEntries.count(slot) != 0 || (slot < FFreeSlots.size() && FFreeSlots[slot]);
}

bool TqzPDXRef::StoreEntry(uint32_t slot, const TqzPDXRefEntry& entry) {
    if (IsSlotSet(slot)) return false;
    if (entry.GetEntryType() == TqzPDXRefEntrytype::xeFree) {
        if (slot >= FFreeSlots.size()) FFreeSlots.resize(size_t{slot} + 1);
        FFreeSlots[slot] = true;
    } else {
        FEntries[slot] = entry;
    }
    return true;
}

// ---- reading ----

bool TqzPDXRef::IsReconstructed() const {
    return FPDFFixer && FPDFFixer->GetIsXRefTableReConstructed();
}

int64_t TqzPDXRef::FileSize() {
    // The file does not change while it is read; its size is asked once.
    if (FFileSize < 0) FFileSize = FStream ? FStream->GetBaseStream()->GetSize() : 0;
    return FFileSize;
}

void TqzPDXRef::GrowTo(int64_t count) {
    if (count <= FSize) return;
    uint64_t size = FSize == 0 ? kGrowth : FSize;
    while (size < static_cast<uint64_t>(count)) size *= 2;
    FSize = static_cast<uint32_t>(std::min<uint64_t>(size, kMaxObjectNumber + uint64_t{1}));
}

void TqzPDXRef::SetTrailer(std::unique_ptr<TqzPDDictionary> trailer) {
    FTrailerDict = std::move(trailer);
    FTrailerRepaired = FRepairing;
    if (FTrailerDict) FTrailerDict->SetParentDoc(FParentDoc);
}

bool TqzPDXRef::GenerateTable() {
    uint32_t pos = GetStartXref();
    while (Read(pos)) {
    }
    // A table that does not lead to the catalog is not this file's table.
    if (FTrailerDict && !IsReconstructed() && !RootListed()) {
        FOk = false;
        FixPDF();
    }
    FHighestListed = FLastObjectNumber;
    return FOk;
}

bool TqzPDXRef::RootListed() const {
    const TqzPDBaseObject* root = FTrailerDict ? FTrailerDict->LookupRefObj("Root") : nullptr;
    if (root && root->IsDict()) return true;
    if (!root || !root->IsIndirectRef()) return false;
    const TqzPDXRefEntry* entry = FindEntry(root->GetObjNumber());
    return entry && entry->GetEntryType() != TqzPDXRefEntrytype::xeFree;
}

uint32_t TqzPDXRef::GetStartXref() {
    if (FStartXrefFound || !FStream) return FStartXref;
    const int64_t size = FileSize();
    if (size <= 0) throw ExInvalidPDFFile();
    FStartXrefFound = true;

    TqzStream& stream = *FStream;
    // Read through a lexer, so that the tail of the file lands in the block
    // cache: the last section and many objects usually sit in that block.
    const auto reader = FileLexer();
    auto readAt = [&](int64_t from, int64_t count) {
        std::string bytes(static_cast<size_t>(std::max<int64_t>(0, std::min(count, size - from))),
                          '\0');
        reader->SetPosition(from);
        const int32_t got = reader->Read(reinterpret_cast<uint8_t*>(bytes.data()),
                                         static_cast<uint32_t>(bytes.size()));
        bytes.resize(static_cast<size_t>(std::max(got, 0)));
        return bytes;
    };
    // The last "startxref" of a window, as a whole word in any case: an
    // incremental update appends its own after the one it updates, and the
    // newest section is what every later one builds on.
    auto search = [&](int64_t from) -> int64_t {
        std::string window = readAt(from, kStartXrefWindow);
        for (char& c : window) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (size_t at = window.rfind("startxref"); at != std::string::npos;
             at = at == 0 ? std::string::npos : window.rfind("startxref", at - 1)) {
            const bool before = at == 0 || !IsWordByte(window[at - 1]);
            const bool after = at + 9 >= window.size() || !IsWordByte(window[at + 9]);
            if (before && after) return from + static_cast<int64_t>(at);
        }
        return -1;
    };

    // The first window is the end of the file whatever its size: a small
    // file keeps its "startxref" there too.
    int64_t found = search(std::max<int64_t>(0, size - kStartXrefWindow));
    for (int64_t i = 2; found < 0 && size > kStartXrefWindow && i <= kStartXrefWindows &&
                        kStartXrefStep * i < size;
         ++i) {
        found = search(size - kStartXrefStep * i);
    }
    uint32_t value = 0;
    if (found >= 0) {
        std::string token = StringTokenizer(readAt(found + 9, kStartXrefValueBytes), 1);
        while (!token.empty() && token.back() == ' ') token.pop_back();
        value = static_cast<uint32_t>(StringToInteger(token));
        // Offsets of files above 2 GiB do not fit a signed integer.
        uint64_t wide = 0;
        const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), wide);
        if (value == 0 && error == std::errc() && end == token.data() + token.size() &&
            wide <= UINT32_MAX) {
            value = static_cast<uint32_t>(wide);
        }
    }
    if (found < 0 || value == 0) {
        const int64_t from = std::max<int64_t>(0, size - kXrefTail);
        platform::Stream* platformStream = stream.GetTStream();
        const int64_t at = platformStream ? FindInStream(*platformStream, "xref", from) : 0;
        FStartXref = at > 0 ? static_cast<uint32_t>(from + at - 1) : 0;
    } else {
        FStartXref = value;
    }
    return FStartXref;
}

bool TqzPDXRef::Read(uint32_t& pos) {
    // A chain that comes back to a section already read ends there; the
    // file is damaged, so entries it lacks may still be found by a scan.
    if (!FSectionsRead.insert(pos).second) {
        FOk = false;
        return false;
    }
    bool result = false;
    {
        TqzPDParser parser(this, FileLexer(), true, pos);
        parser.SetDecryptStreams(false);
        const TqzPDBaseObject& first = parser.GetCurrentToken();
        if (first.IsCommand()) {
            // Any keyword starts a table ("ref" of an offset one byte late too).
            parser.GetObject();
            result = ReadXRefTable(parser, pos);
        } else if (first.IsInteger()) {
            const auto number = parser.GetObject();
            const auto generation = parser.GetObject();
            const auto keyword = parser.GetObject();
            std::unique_ptr<TqzPDBaseObject> stream;
            if (number->IsInteger() && generation->IsInteger() && keyword->IsCommand("obj"))
                stream = parser.GetObject();
            if (stream && stream->IsStream()) {
                result = ReadXRefStream(static_cast<TqzPDStream&>(*stream), pos);
            } else {
                FOk = false;
                FixPDF();
                result = false;
            }
        } else {
            // Neither a table nor a stream (a name, a string, the end of the
            // file): the sections from here on are lost.
            FOk = false;
        }
    }
    if (FTrailerDict) {
        FTrailerDict->SetParentDoc(FParentDoc);
    } else {
        FixPDF();
    }
    return result;
}

bool TqzPDXRef::ReadXRefTable(TqzPDParser& parser, uint32_t& pos) {
    auto fail = [this] {
        FOk = false;
        FHybridFree.clear();
        return false;
    };
    struct Line {
        uint32_t offset;
        uint32_t generation;
        bool inUse;
    };
    FHybridFree.clear();
    for (;;) {
        auto token = parser.GetObject();
        if (token->IsCommand("trailer")) break;
        if (token->IsCommand("xref")) continue;
        int64_t first = 0;
        int64_t count = 0;
        if (!IntegerValue(token.get(), first)) return fail();
        token = parser.GetObject();
        if (!IntegerValue(token.get(), count)) return fail();
        // Ranges are checked against the largest object number and against
        // the lines the rest of the file could hold before anything grows.
        if (first < 0 || count < 0 || first + count > int64_t{kMaxObjectNumber} + 1) return fail();
        const int64_t remaining = FileSize() - parser.GetPosition();
        if (count > remaining / kMinXRefLineBytes + 2) return fail();
        GrowTo(first + count);
        ++FXRefEntriesCount;

        // Line k is object first + k, or first + k - 1 when the lines begin
        // with object 0's under a label above 0; lines wait here until the
        // header of the first object listed tells which.
        std::vector<Line> waiting;
        int64_t shift = -1;
        auto store = [this](int64_t slot, const Line& line) {
            const TqzPDXRefEntry entry(
                line.offset, line.generation,
                line.inUse ? TqzPDXRefEntrytype::xeUnCompressed : TqzPDXRefEntrytype::xeFree);
            const auto at = static_cast<uint32_t>(slot);
            if (StoreEntry(at, entry) && !line.inUse) FHybridFree.insert(at);
        };
        for (int64_t k = 0; k < count; ++k) {
            int64_t offset = 0;
            int64_t generation = 0;
            token = parser.GetObject();
            if (!IntegerValue(token.get(), offset)) return fail();
            token = parser.GetObject();
            if (!IntegerValue(token.get(), generation)) return fail();
            token = parser.GetObject();
            const bool inUse = token->IsCommand("n");
            if (!inUse && !token->IsCommand("f")) return fail();
            const Line line{static_cast<uint32_t>(offset), static_cast<uint32_t>(generation), inUse};
            if (shift >= 0) {
                store(first + k - shift, line);
                continue;
            }
            waiting.push_back(line);
            const bool objectZeroFirst = first > 0 && !waiting.front().inUse &&
                                         waiting.front().generation == TqzPDXRefEntry::kMaxGeneration;
            if (!objectZeroFirst) {
                shift = 0;
            } else if (inUse) {
                shift = LinesBeginBelowLabel(first, k, line.offset) ? 1 : 0;
            } else {
                continue;
            }
            for (size_t j = 0; j < waiting.size(); ++j)
                store(first + static_cast<int64_t>(j) - shift, waiting[j]);
            waiting.clear();
        }
        if (!waiting.empty()) {
            // Free lines only: numbered as labelled.
            shift = 0;
            for (size_t j = 0; j < waiting.size(); ++j) store(first + static_cast<int64_t>(j), waiting[j]);
        }
        if (count > shift)
            FLastObjectNumber =
                std::max(FLastObjectNumber, static_cast<uint32_t>(first + count - 1 - shift));
    }
    auto trailer = parser.GetObject();
    if (!trailer->IsDict()) return fail();
    auto* dict = static_cast<TqzPDDictionary*>(trailer.get());
    const bool result = SectionOffset(*dict, "Prev", pos);
    uint32_t xrefStm = 0;
    const bool hybrid = SectionOffset(*dict, "XRefStm", xrefStm);
    if (!FTrailerDict) {
        trailer.release();
        SetTrailer(std::unique_ptr<TqzPDDictionary>(dict));
    }
    if (hybrid) {
        // Read now, so this table's own entries win over the stream's and
        // both over older sections; the stream's /Prev is not followed.
        Read(xrefStm);
        if (!FOk) {
            FHybridFree.clear();
            return false;
        }
    }
    FHybridFree.clear();
    return result;
}

bool TqzPDXRef::SectionOffset(const TqzPDDictionary& dict, const char* key, uint32_t& offset) {
    const TqzPDBaseObject* value = dict.LookUp(key);
    if (!value || value->IsNull()) return false;
    int64_t number = 0;
    if (!IntegerValue(value, number) || number < 0) {
        FOk = false;
        return false;
    }
    offset = static_cast<uint32_t>(number);
    return true;
}

bool TqzPDXRef::LinesBeginBelowLabel(int64_t first, int64_t k, uint32_t offset) {
    uint32_t number = 0;
    uint32_t generation = 0;
    if (offset < FileSize()) {
        TqzPDParser parser(this, FileLexer(), false, offset);
        parser.SetStopAtObjects(true);
        if (ReadHeader(parser, number, generation)) {
            if (number == first + k - 1) return true;
            if (number == first + k) return false;
        }
    }
    // No header tells: a label of 1 over object 0's line is the known fault.
    return first == 1;
}

bool TqzPDXRef::ReadXRefStream(TqzPDStream& stream, uint32_t& pos) {
    auto fail = [this] {
        FOk = false;
        return false;
    };
    FWriteAsStream = true;
    TqzPDDictionary* dict = stream.GetDict();
    int64_t size = 0;
    if (!dict || !IntegerValue(dict->LookUp("Size"), size)) return fail();
    if (size < 0 || size > int64_t{kMaxObjectNumber} + 1) return fail();
    if (size > FSize) FSize = static_cast<uint32_t>(size);

    const TqzPDBaseObject* w = dict->LookUp("W");
    if (!w || !w->IsArray() || static_cast<const TqzPDArray*>(w)->GetLength() < 3) return fail();
    int64_t widths[3] = {0, 0, 0};
    for (int32_t i = 0; i < 3; ++i) {
        if (!IntegerValue(static_cast<const TqzPDArray*>(w)->Get(i), widths[i])) return fail();
        if (widths[i] < 0 || widths[i] > kMaxXRefFieldWidth) return fail();
    }
    // Rows of no bytes would let a count alone make entries.
    if (widths[0] + widths[1] + widths[2] == 0) return fail();

    TqzStream* data = stream.GetStream();
    if (!data) return fail();
    try {
        stream.Reset();
        const TqzPDBaseObject* index = dict->LookUp("Index");
        if (index && index->IsArray()) {
            const auto* pairs = static_cast<const TqzPDArray*>(index);
            for (int32_t i = 0; i + 1 < pairs->GetLength(); i += 2) {
                int64_t first = 0;
                int64_t count = 0;
                if (!IntegerValue(pairs->Get(i), first) || !IntegerValue(pairs->Get(i + 1), count))
                    return fail();
                if (first < 0 || count < 0) return fail();
                if (!ReadXRefStreamSection(*data, widths, count, first)) return fail();
            }
        } else if (!ReadXRefStreamSection(*data, widths, size, 0)) {
            return fail();
        }
    } catch (const ExLimitExceeded&) {
        return fail();
    }

    const bool result = SectionOffset(*dict, "Prev", pos);
    if (!FTrailerDict) SetTrailer(stream.SetDict(nullptr));
    return result;
}

bool TqzPDXRef::ReadXRefStreamSection(TqzStream& data, const int64_t (&widths)[3], int64_t count,
                                      int64_t first) {
    if (first < 0 || count < 0 || first + count > int64_t{kMaxObjectNumber} + 1) return false;
    FStreamRows += count;
    if (FStreamRows > FileSize() * kRowsPerFileByte + kEntrySlack) return false;
    GrowTo(first + count);
    const int64_t maxEntries = FileSize() * kEntriesPerFileByte + kEntrySlack;
    const auto rowBytes = static_cast<uint32_t>(widths[0] + widths[1] + widths[2]);
    auto row = std::make_unique<RowReader>(data, count, rowBytes);
    uint8_t bytes[3 * kMaxXRefFieldWidth];
    for (int64_t k = 0; k < count; ++k) {
        if (!row->Get(bytes, rowBytes)) return false;
        uint32_t fields[3] = {widths[0] == 0 ? 1u : 0u, 0, 0};
        const uint8_t* at = bytes;
        for (int32_t f = 0; f < 3; ++f) {
            // Gathered big-endian into 32 bits; wider fields keep their low bits.
            for (int64_t b = 0; b < widths[f]; ++b) fields[f] = (fields[f] << 8) | *at++;
        }
        const auto slot = static_cast<uint32_t>(first + k);
        FLastObjectNumber = std::max(FLastObjectNumber, slot);
        const bool hybridFree = !FHybridFree.empty() && FHybridFree.count(slot) != 0;
        if (IsSlotSet(slot) && !hybridFree) continue;
        TqzPDXRefEntrytype type;
        switch (fields[0]) {
            case 0:
                type = TqzPDXRefEntrytype::xeFree;
                break;
            case 1:
                type = TqzPDXRefEntrytype::xeUnCompressed;
                break;
            case 2:
                type = TqzPDXRefEntrytype::xeCompressed;
                break;
            default:
                return false;
        }
        const TqzPDXRefEntry entry(fields[1], fields[2], type);
        if (type == TqzPDXRefEntrytype::xeFree) {
            // A free entry of the stream does not hide what the table said.
            if (!hybridFree) StoreEntry(slot, entry);
            continue;
        }
        if (static_cast<int64_t>(FEntries.size()) >= maxEntries) return false;
        if (hybridFree) {
            FFreeSlots[slot] = false;
            FHybridFree.erase(slot);
        }
        StoreEntry(slot, entry);
    }
    return true;
}

std::unique_ptr<TqzPDBaseObject> TqzPDXRef::Fetch(uint32_t num) {
    if (!FStream) throw ExInvalidStream();
    if (FFetching.count(num) != 0 || FFetchDepth >= kMaxFetchDepth)
        return std::make_unique<TqzPDError>();
    struct Guard {
        TqzPDXRef& xref;
        uint32_t num;
        Guard(TqzPDXRef& x, uint32_t n) : xref(x), num(n) {
            xref.FFetching.insert(num);
            ++xref.FFetchDepth;
        }
        ~Guard() {
            xref.FFetching.erase(num);
            --xref.FFetchDepth;
        }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
    } guard(*this, num);

    if (FParentDoc) FEncrypted = FParentDoc->GetIsEncrypted();
    uint32_t generation = 0;
    auto result = FetchEntry(num, true, generation);
    // Tokens are no objects: "N 0 obj endobj" reads as none, not as a keyword.
    if (!result || result->IsToken()) return std::make_unique<TqzPDError>();
    result->SetObjNumber(num);
    result->SetGenNumber(generation);
    result->SetIsChanged(false);
    result->SetIsWritten(false);
    if (result->IsStream()) {
        if (TqzPDDictionary* dict = static_cast<TqzPDStream*>(result.get())->GetDict()) {
            dict->SetIsChanged(false);
            dict->SetIsWritten(false);
        }
    }
    return result;
}

std::unique_ptr<TqzPDBaseObject> TqzPDXRef::FetchEntry(uint32_t num, bool mayRepair,
                                                       uint32_t& generation) {
    if (num >= FSize) return nullptr;
    const TqzPDXRefEntry* found = FindEntry(num);
    // An entry missing after a section failed may have been in it; one that
    // no section lists, below the highest they list, was left out (object 0
    // is never one).
    const bool leftOut = num > 0 && num <= FHighestListed && !IsSlotSet(num);
    bool wrongEntry = !found && (!FOk || leftOut);
    std::unique_ptr<TqzPDBaseObject> object;
    if (found) {
        const TqzPDXRefEntry entry = *found;
        if (entry.GetEntryType() == TqzPDXRefEntrytype::xeUnCompressed) {
            generation = entry.GetGenNum();
            object = FetchAt(entry.GetOffset(), num, generation);
            wrongEntry = !object;
        } else if (entry.GetEntryType() == TqzPDXRefEntrytype::xeCompressed) {
            // Objects of object streams have generation 0 whatever their index.
            generation = 0;
            object = FetchPacked(num, entry, wrongEntry);
        }
    }
    if (object) return object;
    // An entry that leads to another object calls for the scan, once per
    // table.
    if (!mayRepair || IsReconstructed() || !wrongEntry) return nullptr;
    FixPDF();
    return FetchEntry(num, false, generation);
}

std::unique_ptr<TqzPDLexer> TqzPDXRef::FileLexer() {
    auto lexer = std::make_unique<TqzPDLexer>(FStream);
    lexer->SetBlockCache(&FBlockCache);
    return lexer;
}

std::unique_ptr<TqzPDBaseObject> TqzPDXRef::FetchAt(uint32_t offset, uint32_t num, uint32_t gen) {
    if (offset >= FileSize()) return nullptr;
    TqzPDParser parser(this, FileLexer(), true, offset);
    parser.SetStopAtObjects(true);
    uint32_t number = 0;
    uint32_t generation = 0;
    if (!ReadHeader(parser, number, generation) || number != num || generation != gen)
        return nullptr;
    return parser.GetObject(FEncrypted ? kEncryptedMarker : std::string_view(), num, gen);
}

bool TqzPDXRef::ReadHeader(TqzPDParser& parser, uint32_t& number, uint32_t& generation) {
    // Tolerates an offset a little short of the header: one keyword before
    // it (the end of the previous "endobj") is passed over.
    if (parser.GetCurrentToken().IsCommand()) parser.GetObject();
    int64_t value = 0;
    if (!IntegerValue(parser.GetObject().get(), value)) return false;
    number = static_cast<uint32_t>(value);
    if (!IntegerValue(parser.GetObject().get(), value)) return false;
    generation = static_cast<uint32_t>(value);
    return parser.GetObject()->IsCommand("obj");
}

std::unique_ptr<TqzPDBaseObject> TqzPDXRef::FetchPacked(uint32_t num, const TqzPDXRefEntry& entry,
                                                        bool& wrongEntry) {
    // An object stream cannot hold itself.
    wrongEntry = entry.GetOffset() == num;
    if (wrongEntry) return nullptr;
    TqzObjectStream* objectStream = GetObjectStream(entry.GetOffset());
    if (!objectStream) return nullptr;
    auto object = objectStream->GetObject(entry.GetStreamIndex(), num);
    if (!object->IsError()) return object;
    // A stream that reads but does not hold the object is the wrong one.
    wrongEntry = objectStream->GetNoObjects() > 0;
    return nullptr;
}

void TqzPDXRef::ChargeObjectStreamBytes(int64_t bytes) {
    FObjectStreamBytes += bytes;
    const int64_t size = FStream ? std::max<int64_t>(FStream->GetSize(), 0) : 0;
    if (FObjectStreamBytes > std::max(kMinObjectStreamBudget, size * kObjectStreamBytesPerFileByte)) {
        throw ExTooManyObjects();
    }
}

TqzObjectStream* TqzPDXRef::GetObjectStream(uint32_t objStreamNum) {
    // Asked for from inside its own fetch (an object of it naming its
    // /Length): it cannot be read yet, and what it holds must not be cached
    // as nothing.
    if (FFetching.count(objStreamNum) != 0) return nullptr;
    for (auto it = FObjectStreams.begin(); it != FObjectStreams.end(); ++it) {
        if ((*it)->GetObjStrNum() == objStreamNum) {
            FObjectStreams.splice(FObjectStreams.begin(), FObjectStreams, it);
            return FObjectStreams.front().get();
        }
    }
    // Made before it enters the cache: making it fetches, and nested fetches
    // may change the cache meanwhile.
    auto objectStream = std::make_unique<TqzObjectStream>(*this, objStreamNum);
    FObjectStreams.remove_if(
        [&](const auto& cached) { return cached->GetObjStrNum() == objStreamNum; });
    FObjectStreams.push_front(std::move(objectStream));
    // Bounded in number and in decoded bytes: eight streams at their own
    // ceiling would hold half a GiB. The one just made always stays.
    int64_t bytes = 0;
    for (const auto& cached : FObjectStreams) bytes += cached->GetDataSize();
    while (FObjectStreams.size() > 1 &&
           (FObjectStreams.size() > kObjectStreamCacheSize || bytes > kObjectStreamCacheBytes)) {
        bytes -= FObjectStreams.back()->GetDataSize();
        FObjectStreams.pop_back();
    }
    return FObjectStreams.front().get();
}

void TqzPDXRef::FixPDF() {
    if (!FPDFFixer || !FStream || FRepairing) return;
    FRepairing = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{FRepairing};

    const int64_t at = FPDFFixer->FindStartXRef(*FStream);
    if (at > 0) {
        // Only unset slots are filled, and the trailer only when none is held.
        uint32_t ignored = 0;
        TqzPDParser parser(this, FileLexer(), true, at - 1);
        parser.SetDecryptStreams(false);
        ReadXRefTable(parser, ignored);
    }
    if (FPDFFixer->GetIsXRefTableReConstructed()) {
        if (FTrailerDict) FTrailerDict->SetParentDoc(FParentDoc);
        return;
    }
    FPDFFixer->ReConstructXRefTable(*FStream, *this);
    // Object streams parsed before may have come through entries the
    // rebuild replaced.
    FObjectStreams.clear();
    if (FPDFFixer->HasTrailer()) {
        SetTrailer(FPDFFixer->TakeTrailer());
    } else if (!FTrailerDict) {
        throw ExImproperCrossRefTableOrStream();
    }
}

}  // namespace qz::core
