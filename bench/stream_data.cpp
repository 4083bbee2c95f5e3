// stream_data FILE.pdf OBJNUM: writes the decoded data of stream object
// OBJNUM of FILE.pdf to standard output, through the same filter chain the
// library reads it with. Outside checkers compare what it prints with what
// other decoders make of the same data. Exits 1 with a message when the file
// or the object cannot be read, the object is no stream, a filter of its
// chain is one this system does not decode, or decoding fails (the bytes
// decoded before the failure have then been written); 2 on wrong usage.

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "core/FilterStream.h"
#include "core/PDBaseObject.h"
#include "core/PDStream.h"
#include "document/PDBaseDoc.h"
#include "document/PDDocument.h"

namespace {

using qz::core::TqzStream;
using qz::core::TqzStreamType;

// Why the data of `data` cannot be decoded here; empty when every link of
// its chain decodes.
std::string UndecodedFilter(TqzStream* data) {
    for (TqzStream* link = data; link;) {
        const TqzStreamType type = link->GetType();
        if (type == TqzStreamType::stCrypt) break;  // stored data from here down
        auto* filter = dynamic_cast<qz::core::TqzFilterStream*>(link);
        if (!filter) break;
        if (type == TqzStreamType::stJPX) return "JPEG 2000 data is not decoded";
        if (type == TqzStreamType::stWeird) return "the stream has a filter that is not known";
        if (!filter->HasDecoder()) return "the stream has a filter that is not decoded";
        link = filter->GetNextStream();
    }
    return {};
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "stream_data: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FILE.pdf OBJNUM\n", argc > 0 ? argv[0] : "stream_data");
        return 2;
    }
    uint32_t number = 0;
    const std::string_view text(argv[2]);
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), number);
    if (parsed.ec != std::errc() || parsed.ptr != text.data() + text.size() || number == 0) {
        std::fprintf(stderr, "stream_data: not an object number: %s\n", argv[2]);
        return 2;
    }
    try {
        qz::document::TqzPDDocument doc;
        doc.LoadDocument(argv[1]);
        qz::document::TqzPDBaseDoc* base = doc.GetBaseDoc();
        qz::core::TqzPDBaseObject* object = base ? base->GetObject(number) : nullptr;
        if (object == nullptr) return Fail("object " + std::string(text) + " is not in the file");
        if (!object->IsStream()) return Fail("object " + std::string(text) + " is not a stream");
        TqzStream* data = static_cast<qz::core::TqzPDStream*>(object)->GetStream();
        if (data == nullptr) return Fail("object " + std::string(text) + " has no data");
        if (const std::string why = UndecodedFilter(data); !why.empty()) {
            return Fail("object " + std::string(text) + ": " + why);
        }
        data->Reset();
        uint8_t block[64 * 1024];
        for (int32_t got; (got = data->Read(block, sizeof block)) > 0;) {
            if (std::fwrite(block, 1, static_cast<size_t>(got), stdout) != static_cast<size_t>(got)) {
                return Fail("cannot write the data");
            }
        }
        if (std::fflush(stdout) != 0) return Fail("cannot write the data");
    } catch (const std::exception& e) {
        std::fflush(stdout);
        return Fail(e.what());
    }
    return 0;
}
