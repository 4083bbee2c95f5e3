#pragma once
// TqzPDStream: a PDF stream object: its dictionary, which it owns, and the
// data stream through which its bytes are read decoded (for a stream read
// from a file, the outermost link of its filter chain over a window of the
// file). The data stream is shared: clones and copies in other documents read
// the same bytes, and it lives as long as its last holder.
//
// Saving follows the stream save rule: an unchanged filtered stream of an
// unencrypted document is copied byte for byte; data whose filters cannot be
// decoded here (DCT, JBIG2, JPX, CCITT, unknown filters) and data that is
// already Flate-compressed keep their stored encoding; /Metadata is written
// decoded; everything else is compressed with Flate. The written /Filter and
// /Length always describe the bytes written. The data goes from its source
// through decoder, encoder and cipher to the output in blocks, never held
// whole: a long stream's /Length is an object of its own written after it.

#include <memory>
#include <string>
#include <string_view>

#include "core/PDBaseObject.h"
#include "core/PDDictionary.h"
#include "core/Stream.h"

namespace qz::core {

class TqzParentDocument;

class TqzPDStream : public TqzPDBaseObject {
public:
    // No data stream and no dictionary, direct; filled by Assign.
    explicit TqzPDStream(TqzParentDocument* parentDoc);
    TqzPDStream(TqzStreamPtr stream, std::unique_ptr<TqzPDDictionary> dict,
                uint32_t objNumber = kDirectObject, uint32_t genNumber = kDirectObject);
    ~TqzPDStream() override;

    TqzStream* GetStream() const { return FStream.get(); }
    const TqzStreamPtr& GetStreamPtr() const { return FStream; }
    TqzPDDictionary* GetDict() const { return FDict.get(); }
    // Replaces the dictionary and hands the previous one back.
    std::unique_ptr<TqzPDDictionary> SetDict(std::unique_ptr<TqzPDDictionary> dict);
    // The document: the one given to the constructor, else the dictionary's.
    TqzParentDocument* GetParentDoc() const;
    // The dictionary's IsDict; False without a dictionary.
    bool Isof(std::string_view dictType) const;

    // The data stream's operations; without one, the end of data.
    int LookChar();
    int GetChar();
    int32_t Read(uint8_t* buffer, uint32_t count);
    int32_t Read(std::string& buffer, uint32_t count);
    // Exactly `count` characters: the next line, then NUL characters.
    std::string ReadLine(int32_t count);
    // Rewinds the data stream; any failure becomes ExInvalidStream.
    void Reset();
    int64_t GetPosition();
    void SetPosition(int64_t offset, SeekOrigin origin);
    int32_t Write(const std::string& buffer);
    int32_t Write(const uint8_t* buffer, uint32_t count);
    void Close();
    // The data stream's window start when it is a base stream, else 0.
    int64_t GetStart();
    // A new direct stream object over a window of the data stream (a base
    // stream only), with `dict`; none otherwise.
    std::unique_ptr<TqzPDStream> MakeSubStream(int64_t start, int64_t length, bool limited,
                                               std::unique_ptr<TqzPDDictionary> dict);
    void MoveStart(int64_t delta);

    bool IsStream() const override { return true; }
    // Same numbers, same data stream, a clone of the dictionary; not changed.
    std::unique_ptr<TqzPDBaseObject> Clone() const override;
    // Takes the source's numbers, its data as stored (decrypted when it was
    // read encrypted) and a copy of its dictionary.
    void Assign(const TqzPDBaseObject& source) override;
    void MoveChildrenTo(std::vector<std::unique_ptr<TqzPDBaseObject>>& out) override;

protected:
    TqzSaveStep SaveStep(TqzSaveContext& context, TqzSaveFrame& frame) override;

private:
    uint32_t ChildValidNumber() const { return IsDirect() ? FValidObjectNumber : FObjNumber; }
    // Decides what is written and where it is read from; may change the
    // dictionary to write.
    void PrepareData(TqzSaveFrame& frame);
    // The data written anew: decoded and compressed, decoded, or as stored.
    void Encode(TqzSaveFrame& frame);
    // Data as stored, read from `source`; its size is known when it is a window.
    void TakeStored(TqzSaveFrame& frame, TqzStreamPtr source);
    // Puts the encryption for the output over the data, when it is encrypted.
    void EncryptForOutput(TqzSaveFrame& frame);
    // Data too large to decode: its stored bytes, still faithful under their /Filter.
    void FallBackToStored(TqzSaveFrame& frame);
    // Reads the data to write; a failure names the file the data comes from.
    int32_t ReadData(TqzSaveFrame& frame, uint8_t* buffer, uint32_t count);
    // Reads into frame.Held until the data ends (true) or passes `limit`.
    bool ReadHeld(TqzSaveContext& context, TqzSaveFrame& frame, size_t limit);
    // Reads what is held, settles /Length and has the dictionary written.
    TqzSaveStep BeginData(TqzSaveContext& context, TqzSaveFrame& frame);
    // Writes the data after the dictionary, then any /Length object.
    TqzSaveStep FinishData(TqzSaveContext& context, TqzSaveFrame& frame);
    void SetLength(TqzSaveFrame& frame, int64_t length);
    // The dictionary to write, copied from FDict on the first change.
    TqzPDDictionary& OutputDict(TqzSaveFrame& frame);

    TqzStreamPtr FStream;
    std::unique_ptr<TqzPDDictionary> FDict;
    TqzParentDocument* FParentDoc = nullptr;
};

// The stream holding `data`'s bytes as stored: the decryption stream when one
// is anywhere under the filter chain (decrypted, still encoded), else the base
// stream. Null for null.
TqzStreamPtr StoredEncodingStream(const TqzStreamPtr& data);

}  // namespace qz::core
