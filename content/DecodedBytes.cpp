#include "content/DecodedBytes.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "core/PDStream.h"

namespace qz::content {

bool AppendDecoded(core::TqzPDStream& stream, std::string& out, int64_t limit) {
    constexpr int32_t kBlock = 64 * 1024;
    try {
        stream.Reset();
        std::vector<uint8_t> block(kBlock);
        int64_t total = 0;
        for (;;) {
            const int32_t read = stream.Read(block.data(), kBlock);
            if (read <= 0) return true;
            const int64_t room = limit - total;
            const int64_t take = std::min<int64_t>(read, room);
            out.append(reinterpret_cast<const char*>(block.data()), static_cast<size_t>(take));
            total += take;
            if (take < read) return false;
        }
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace qz::content
