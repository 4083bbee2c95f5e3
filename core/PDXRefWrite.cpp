// The writing side of TqzPDXRef: the writer's table written out as one
// cross-reference section, either a table of 20-byte lines or a
// cross-reference stream.

#include <limits>
#include <utility>
#include <vector>

#include "core/Conversions.h"
#include "core/Limits.h"
#include "core/PDArray.h"
#include "core/PDBaseExceptions.h"
#include "core/PDDictionary.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDXRef.h"
#include "core/Stream.h"

namespace qz::core {

namespace {

// Lines are gathered and handed to the stream in blocks of about this size.
constexpr size_t kSectionBlock = 64 * 1024;

struct Subsection {
    uint32_t First = 0;
    uint32_t Count = 0;
};

void WriteText(TqzStream& stream, const std::string& text) {
    if (!text.empty()) stream.Write(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
}

// `value` as `width` decimal digits with leading zeros.
void AppendPadded(std::string& out, uint32_t value, size_t width) {
    char digits[10];
    size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 && n < sizeof digits);
    for (size_t i = n; i < width; ++i) out.push_back('0');
    while (n > 0) out.push_back(digits[--n]);
}

bool IsWritten(const TqzPDXRefEntry* entry) {
    return entry && entry->GetEntryType() == TqzPDXRefEntrytype::xeUnCompressed;
}

}  // namespace

void TqzPDXRef::SaveToStream(TqzStream& stream, const TqzPDDictionary* streamTrailer) {
    const int64_t position = stream.GetPosition();
    if (position < 0 || position >= int64_t{std::numeric_limits<uint32_t>::max()}) {
        throw ExLimitExceeded("Output beyond 4 GB: cross-reference offsets are 32-bit");
    }
    FStartXref = static_cast<uint32_t>(position);
    SetEntry(0, TqzPDXRefEntry(0, TqzPDXRefEntry::kMaxGeneration, TqzPDXRefEntrytype::xeFree));
    const bool asStream = streamTrailer != nullptr;
    if (asStream) {
        // The stream lists itself, under the number after the last one given,
        // so that /Size covers every number the section uses.
        if (FLastObjectNumber >= kMaxObjectNumber) {
            throw ExLimitExceeded("Too many objects to number: the limit is " + IntegerToString(kMaxObjectNumber));
        }
        ++FLastObjectNumber;
        SetEntry(FLastObjectNumber, TqzPDXRefEntry(FStartXref, 0, TqzPDXRefEntrytype::xeUnCompressed));
    }
    const uint32_t start = FStartObjectNumber > 0 ? static_cast<uint32_t>(FStartObjectNumber) : 0;
    const uint32_t last = FLastObjectNumber;

    // Objects written under numbers below the section's first (pages that an
    // incremental save rewrites under their own numbers) get subsections of
    // their own, so that readers see the new versions. Provisional entries of
    // objects not written stay out.
    std::vector<Subsection> subsections;
    for (const auto& [number, entry] : FEntries) {
        if (number >= start) break;
        if (!IsWritten(&entry)) continue;
        if (!subsections.empty() && subsections.back().First + subsections.back().Count == number) {
            ++subsections.back().Count;
        } else {
            subsections.push_back({number, 1});
        }
    }
    if (last >= start) subsections.push_back({start, last - start + 1});
    // A section with nothing to list still needs a subsection to be a valid
    // section: the head of the free list.
    if (subsections.empty()) subsections.push_back({0, 1});

    if (!asStream) {
        std::string text = "xref\r\n";
        text.reserve(kSectionBlock + 64);
        for (const Subsection& sub : subsections) {
            text += IntegerToString(sub.First) + " " + IntegerToString(sub.Count) + "\r\n";
            for (uint32_t k = 0; k < sub.Count; ++k) {
                const uint32_t number = sub.First + k;
                const TqzPDXRefEntry* entry = FindEntry(number);
                // Entries of objects never written (numbers taken and not used,
                // provisional entries) are listed as free.
                TqzPDXRefEntry line;
                if (IsWritten(entry) || (entry && entry->GetEntryType() == TqzPDXRefEntrytype::xeFree)) line = *entry;
                AppendPadded(text, line.GetOffset(), 10);
                text.push_back(' ');
                AppendPadded(text, line.GetGenNum(), 5);
                text += IsWritten(&line) ? " n\r\n" : " f\r\n";
                if (text.size() >= kSectionBlock) {
                    WriteText(stream, text);
                    text.clear();
                }
            }
        }
        WriteText(stream, text);
        return;
    }

    // Cross-reference stream: /W [1 4 1]; type 1 for written objects, type 0
    // for every other listed number.
    std::string data;
    auto index = std::make_unique<TqzPDArray>();
    for (const Subsection& sub : subsections) {
        index->Add(std::make_unique<TqzPDInteger>(static_cast<int32_t>(sub.First)));
        index->Add(std::make_unique<TqzPDInteger>(static_cast<int32_t>(sub.Count)));
        for (uint32_t k = 0; k < sub.Count; ++k) {
            const TqzPDXRefEntry* entry = FindEntry(sub.First + k);
            const bool written = IsWritten(entry);
            const uint32_t offset = written ? entry->GetOffset() : 0;
            data.push_back(static_cast<char>(written ? 1 : 0));
            data.push_back(static_cast<char>((offset >> 24) & 0xFF));
            data.push_back(static_cast<char>((offset >> 16) & 0xFF));
            data.push_back(static_cast<char>((offset >> 8) & 0xFF));
            data.push_back(static_cast<char>(offset & 0xFF));
            data.push_back(static_cast<char>(written ? (entry->GetGenNum() & 0xFF) : 0));
        }
    }
    TqzPDDictionary dict;
    dict.Add("Type", std::make_unique<TqzPDName>("XRef"));
    dict.Add("Size", std::make_unique<TqzPDInteger>(static_cast<int32_t>(last + 1)));
    auto widths = std::make_unique<TqzPDArray>();
    for (int32_t w : {1, 4, 1}) widths->Add(std::make_unique<TqzPDInteger>(w));
    dict.Add("W", std::move(widths));
    dict.Add("Index", std::move(index));
    auto length = std::make_unique<TqzPDInteger>(0);
    length->SetValue(static_cast<int64_t>(data.size()));
    dict.Add("Length", std::move(length));
    for (int32_t i = 0; i < streamTrailer->GetLength(); ++i) {
        const std::string key = streamTrailer->GetKey(i);
        if (key == "Type" || key == "Size" || key == "W" || key == "Index" || key == "Length" || key == "Filter" ||
            key == "DecodeParms") {
            continue;
        }
        const TqzPDBaseObject* value = streamTrailer->GetValueRefObj(i);
        if (value && !value->IsToken()) dict.Add(key, value->Clone());
    }
    WriteText(stream, IntegerToString(last) + " 0 obj\r\n");
    dict.SaveToStream(stream, false, *this);
    WriteText(stream, "\r\nstream\r\n");
    WriteText(stream, data);
    WriteText(stream, "\r\nendstream\r\nendobj\r\n");
}

}  // namespace qz::core
