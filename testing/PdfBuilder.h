#pragma once
// Builds PDF files byte by byte for tests: objects are given as PDF text (and
// stream data), and the builder lays them out in one of the cross-reference
// forms real producers use, computing every offset, optionally with damage
// injected on purpose. A builder owns copies of all objects it was given;
// Write hands back an independent byte string.
//
//   PdfBuilder b = MinimalDocument(3);                  // PAGE-1 .. PAGE-3
//   std::string table = b.Write();
//   std::string packed = b.Write({.form = XrefForm::ObjectStreams});
//   b.NewRevision();                                     // incremental update
//   b.Set(4, "<< /Type /Page ... >>");                   // replaces object 4
//   std::string updated = b.Write({.damage = {.shiftOffsets = 3}});

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qz::testing {

enum class XrefForm {
    Table,          // classic "xref" table and "trailer"
    Stream,         // cross-reference stream (/Type /XRef)
    ObjectStreams,  // gen-0 non-stream objects packed in /Type /ObjStm, xref stream
    Hybrid,         // classic table whose trailer has /XRefStm; packed objects listed there
    Linearized,     // first-page section near the start, main table at the end (base revision only)
};

// Where the first subsection of a revision's first table begins.
enum class TableStart {
    Zero,               // "0 n" with the free head entry
    One,                // "1 n": object 0's line left out
    OneLabelZeroLines,  // labelled "1 n" but its lines start with object 0's (a known producer bug)
};

struct Injection {
    int64_t offset = 0;  // in the undamaged file
    std::string bytes{};  // inserted there, shifting everything after it
};

// Damage applied on purpose. Offsets and numbers refer to the undamaged file.
struct Damage {
    std::optional<int64_t> startxref{};  // value written after the last "startxref"
    int64_t shiftOffsets = 0;          // added to every in-use offset in every table and xref stream
    bool dropTrailer = false;          // table sections without "trailer << ... >>"
    bool prevLoop = false;             // the oldest section's /Prev points at the newest section
    bool xrefStmLoop = false;          // each table's /XRefStm points at that table itself
    double truncateAt = 1.0;           // keep only this fraction of the final bytes
    std::string prepend{};             // garbage before "%PDF-"
    std::string append{};              // raw bytes after the last "%%EOF"
    std::vector<Injection> inject{};   // raw bytes inserted inside the file
};

struct WriteOptions {
    XrefForm form = XrefForm::Table;
    // Tables.
    TableStart tableStart = TableStart::Zero;
    int32_t subsectionSize = 0;  // > 0: no subsection longer than this many entries
    // Cross-reference streams.
    bool useIndex = false;  // /Index even where one range 0../Size-1 would do (updates always use it)
    std::array<int32_t, 3> widths{-1, -1, -1};  // /W; -1 for a field: the smallest width that fits
    bool flateStructure = true;  // Flate-compress xref streams and object streams
    bool predictor = false;      // xref stream rows PNG-Up predicted (/Predictor 12)
    // Object streams and hybrid files.
    int32_t objectsPerStream = 0;    // 0: all packable objects of a revision in one stream
    bool hybridFreeEntries = false;  // hybrid: packed objects also listed as free in the table
    // General.
    std::string version = "1.7";
    bool writeId = true;  // an /ID in every trailer
    Damage damage{};      // ignored in the options given to NewRevision
};

// What Write produced, with the numbers a test needs to aim damage or checks.
struct PdfFile {
    std::string bytes;
    std::map<int32_t, int64_t> offsets;  // newest "N G obj" offset of each uncompressed object
    std::map<int32_t, std::pair<int32_t, int32_t>> packed;  // object -> (object stream, index)
    std::vector<int64_t> sections;  // offsets of cross-reference sections, in file order
    int64_t startxref = 0;          // the true value after the last "startxref"
    std::map<int32_t, int32_t> renumbered;  // linearized: number given -> number written
    // The number under which object `given` was written (differs only when linearized).
    int32_t Number(int32_t given) const;
};

class PdfBuilder {
public:
    // Adds an object under the next free number and returns that number.
    // `text` is the object as PDF text: "<< /Type /Page ... >>", "[1 2]", "42".
    int32_t Add(const std::string& text);
    // Adds a stream: `dict` is "<< ... >>" without /Length (added unless
    // present); with `compress` the data is Flate-compressed and /Filter added.
    int32_t AddStream(const std::string& dict, const std::string& data, bool compress = false);
    // Takes the next number for an object defined later with Set (for cycles).
    int32_t Reserve();
    // Defines or, after NewRevision, replaces object `number`.
    PdfBuilder& Set(int32_t number, const std::string& text, int32_t generation = 0);
    PdfBuilder& SetStream(int32_t number, const std::string& dict, const std::string& data,
                          bool compress = false, int32_t generation = 0);
    // The stream exactly as given: no /Length or /Filter added (for hostile dictionaries).
    PdfBuilder& SetRawStream(int32_t number, const std::string& dict, const std::string& data,
                             int32_t generation = 0);
    // Marks `number` free in the current revision (deleted in an update).
    PdfBuilder& Free(int32_t number, int32_t nextGeneration = 1);

    // /Root and /Info of the trailers; without SetRoot the first object whose
    // text has /Type /Catalog is the root.
    PdfBuilder& SetRoot(int32_t number);
    PdfBuilder& SetInfo(int32_t number);
    // Raw entries added to the current revision's trailer, e.g. "/Encrypt 9 0 R".
    PdfBuilder& TrailerExtra(const std::string& entries);

    // Later changes form an incremental update appended with its own section.
    // Without a form it is written in the form given to Write (a table after a
    // linearized base).
    PdfBuilder& NewRevision();
    PdfBuilder& NewRevision(const WriteOptions& form);

    std::string Write(const WriteOptions& options = {}) const { return Build(options).bytes; }
    PdfFile Build(const WriteOptions& options = {}) const;

    int32_t NextNumber() const { return next_; }

    struct Object {
        int32_t generation = 0;
        bool isStream = false;
        bool isFree = false;
        std::string text;  // the object, or a stream's final dictionary
        std::string data;  // a stream's data as stored
    };
    struct Revision {
        std::map<int32_t, Object> objects;
        std::optional<WriteOptions> form;
        std::string trailerExtra;
        std::optional<int32_t> root;
        std::optional<int32_t> info;
    };

private:
    Revision& Current() { return revisions_.back(); }
    void Put(int32_t number, Object object);

    std::vector<Revision> revisions_{1};
    int32_t next_ = 1;
};

// A document of `pages` pages; page k shows "<marker>-k" in Helvetica (/F1)
// and a grey bar whose place depends on k, so text extraction and renders
// tell pages apart. Objects: 1 catalog, 2 page tree, 3 font, then for page k
// the page 2k+2 and its content stream 2k+3.
PdfBuilder MinimalDocument(int32_t pages, const std::string& marker = "PAGE",
                           bool compressContents = false);
// The content stream MinimalDocument gives page k.
std::string MarkerPageContent(const std::string& marker, int32_t page);

// MinimalDocument(1, marker) signed three times: signature fields 6, 8 and
// 10 (widgets of the page) whose values 7, 9 and 11 are a /Type /Sig, a
// /Type /DocTimeStamp and an untyped signature dictionary, each with a
// /ByteRange, `contents` as its hexadecimal /Contents and /Reason
// (Approved); and a text annotation 12 whose /Contents is (A note).
PdfBuilder SignedDocument(const std::string& contents, const std::string& marker = "S");

// zlib-format Flate data of `data` (what /FlateDecode reads).
std::string FlateCompress(const std::string& data, int32_t level = 9);
// zlib-format Flate data that inflates to `count` zero bytes, made without
// holding them (decompression-bomb fixtures).
std::string FlateZeros(uint64_t count);
// PNG predictor encoding (type 0 None .. 4 Paeth) of rows of `rowBytes` bytes
// with `pixelBytes` bytes per pixel; each row gets its type byte in front.
std::string PngPredictEncode(const std::string& data, int32_t rowBytes, int32_t pixelBytes,
                             int32_t type);

}  // namespace qz::testing
