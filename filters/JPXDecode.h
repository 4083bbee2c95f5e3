#pragma once
// TqzJPXDecode: JPEG 2000 data is carried through undecoded; this decoder
// hands out the inner stream's bytes as they are. Reset rewinds the inner
// stream, so the data can be read again. The inner stream is borrowed.

#include "filters/CodecDecode.h"

namespace qz::filters {

class TqzJPXDecode final : public TqzCodecDecode {
public:
    explicit TqzJPXDecode(core::TqzStream* stream) : FStream(stream) {}

    int LookChar() override { return Inner().LookChar(); }
    int GetChar() override { return Inner().GetChar(); }
    void Reset() override { Inner().Reset(); }
    int32_t Read(uint8_t* buffer, uint32_t count) override { return Inner().Read(buffer, count); }

private:
    core::TqzStream& Inner() {
        if (!FStream) throw core::streams::ExInvalidStream();
        return *FStream;
    }

    core::TqzStream* FStream;
};

}  // namespace qz::filters
