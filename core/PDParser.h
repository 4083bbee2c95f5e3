#pragma once
// TqzPDParser: reads complete PDF objects (arrays, dictionaries, references,
// stream objects with their data windows and filter chains, strings
// decrypted for their object) from the tokens of a lexer, with two tokens of
// look-ahead. Malformed input comes back as token objects where a value was
// expected; nothing here raises on bad bytes, except what the filter chain or
// decryption raise. A value nested deeper than kMaxNestingDepth reads as
// null; the rest of the object around it reads as usual.
//
// A parser owns its lexer and the two buffered tokens. It borrows the
// cross-reference it reads for (and through it the document that new
// containers belong to and that decrypts); stream objects it returns hold
// their own windows on the file and outlive it.

#include <cstdint>
#include <memory>
#include <string_view>

#include "core/Object.h"
#include "core/PDBaseObject.h"
#include "core/PDLexer.h"

namespace qz::core {

class TqzParentDocument;
class TqzPDDictionary;
class TqzPDString;
class TqzPDXRef;

class TqzPDParser : public TqzObject {
  public:
    // Start position meaning "rewind the lexer's stream to its beginning".
    static constexpr int64_t kRewind = -1;

    // Reads for `xref`'s document (none: containers without a document and no
    // decryption). The lexer's stream is rewound, or positioned at `start`.
    TqzPDParser(TqzPDXRef* xref, std::unique_ptr<TqzPDLexer> lexer, bool allowStreams,
                int64_t start = kRewind);
    // Reads outside a cross-reference (content streams): containers belong to
    // `parentDoc`.
    TqzPDParser(TqzParentDocument* parentDoc, std::unique_ptr<TqzPDLexer> lexer, bool allowStreams,
                int64_t start = kRewind);
    ~TqzPDParser() override;
    TqzPDParser(const TqzPDParser&) = delete;
    TqzPDParser& operator=(const TqzPDParser&) = delete;

    // The next complete object, a new object that the caller owns; never
    // none. With `fileKey` not empty, strings of an encrypted document are
    // decrypted; strings and stream data are decrypted as object `objNum`,
    // generation `genNum`.
    std::unique_ptr<TqzPDBaseObject> GetObject(std::string_view fileKey = {}, uint32_t objNum = 0,
                                               uint32_t genNum = 0);

    // The cross-reference being read; none outside one.
    TqzPDXRef* GetXRef() const { return FXRef; }
    // The lexer's position (two tokens ahead of what GetObject last returned).
    int64_t GetPosition() const { return FLexer->GetPosition(); }
    // The lexer's stream view: after the command ID has been returned, inline
    // image data is read from it.
    TqzStream* GetStream() { return FLexer->GetStream(); }
    TqzPDLexer& GetLexer() { return *FLexer; }
    // The token the next GetObject starts from (borrowed).
    const TqzPDBaseObject& GetCurrentToken() const { return *FBufObject1; }
    TqzParentDocument* GetParentDoc() const { return FParentDoc; }

    // Lexer offsets (the position just after a token's first byte): of the
    // token shifted out last, of the current token, of the next one.
    int64_t GetOffset1() const { return FOffset1; }
    int64_t GetOffset2() const { return FOffset2; }
    int64_t GetOffset3() const { return FOffset3; }

    // Stream data is decrypted when the document is encrypted (default). The
    // cross-reference turns it off for its own sections and for the repair
    // scan: cross-reference streams are never encrypted.
    void SetDecryptStreams(bool value) { FDecryptStreams = value; }
    // An indirect /Length is fetched (default). The repair scan turns it off:
    // the offsets it would fetch through are the ones being repaired, so it
    // searches for "endstream" instead.
    void SetResolveLength(bool value) { FResolveLength = value; }
    // Arrays and dictionaries end where the next object's header ("N G
    // obj"), "endobj", "trailer" or a cross-reference section begins. Object
    // fetches and the repair scan turn it on, so an object cut short in a
    // damaged file does not swallow the objects after it.
    void SetStopAtObjects(bool value) { FStopAtObjects = value; }

  private:
    void Init(int64_t start);
    void Shift();
    std::unique_ptr<TqzPDBaseObject> ParseObject(std::string_view fileKey, uint32_t objNum,
                                                 uint32_t genNum, int32_t depth);
    std::unique_ptr<TqzPDBaseObject> ParseArray(std::string_view fileKey, uint32_t objNum,
                                                uint32_t genNum, int32_t depth);
    std::unique_ptr<TqzPDBaseObject> ParseDictionary(std::string_view fileKey, uint32_t objNum,
                                                     uint32_t genNum, int32_t depth);
    std::unique_ptr<TqzPDBaseObject> DecryptString(uint32_t objNum, uint32_t genNum);
    // A string as stored in the file, decrypted for its object.
    std::unique_ptr<TqzPDString> Decrypted(const TqzPDString& stored, uint32_t objNum,
                                           uint32_t genNum);
    // Decrypts the string /Contents entries of `dict`, held as stored while
    // it was read.
    void DecryptHeldContents(TqzPDDictionary& dict, uint32_t objNum, uint32_t genNum);
    // The container at the current token, nested too deep: passed over to
    // its matching close, it reads as null.
    std::unique_ptr<TqzPDBaseObject> SkipTooDeep();
    // Consumes the rest of the line of the keyword "stream" (LF, CR LF, a
    // CR alone, CR CR LF) and returns where the data begins. `alternative`
    // is right after the first CR when the line end can be read as that CR
    // alone, else -1.
    int64_t SkipStreamLine(int64_t& alternative);
    // Whether "endstream" is the next token at `position`; the lexer is
    // left anywhere.
    bool EndstreamAt(int64_t position);
    // The stream object whose dictionary is `dict`, reached with ">>" current
    // and "stream" next; none when no stream object can be made.
    std::unique_ptr<TqzPDBaseObject> MakeSubStream(std::unique_ptr<TqzPDDictionary> dict,
                                                   uint32_t objNum, uint32_t genNum);
    bool IsEnd(const TqzPDBaseObject& token) const { return token.IsEOF(); }
    // With SetStopAtObjects, whether the current token starts what no value
    // can hold.
    bool AtObjectBoundary();

    TqzPDXRef* FXRef;
    TqzParentDocument* FParentDoc;
    std::unique_ptr<TqzPDLexer> FLexer;
    std::unique_ptr<TqzPDBaseObject> FBufObject1;
    std::unique_ptr<TqzPDBaseObject> FBufObject2;
    int32_t FInlineImage = 0;
    bool FAllowStreams;
    bool FDecryptStreams = true;
    bool FResolveLength = true;
    bool FStopAtObjects = false;
    int64_t FOffset1 = 0;
    int64_t FOffset2 = 0;
    int64_t FOffset3 = 0;
};

}  // namespace qz::core
