#pragma once
// TqzPDFFaultTolerance: the repair of a cross-reference that cannot be read:
// finding the last "xref" table, and rebuilding the table by scanning the
// whole file for object headers, object streams and trailers. It belongs to
// one cross-reference table and owns the trailer its scan found.

#include <cstdint>
#include <memory>

#include "core/Object.h"
#include "core/Stream.h"

namespace qz::core {

class TqzPDDictionary;
class TqzPDXRef;

class TqzPDFFaultTolerance : public TqzObject {
  public:
    TqzPDFFaultTolerance();
    ~TqzPDFFaultTolerance() override;

    // 1-based position of the first "xref" in the last 1024 bytes of the
    // stream (in the whole stream when it is shorter), or 0.
    int64_t FindStartXRef(TqzStream& stream);
    // Scans the whole file: every "N G obj" header and every object of the
    // object streams found becomes an entry, the one latest in the file
    // winning for each number; of the trailers ("trailer" dictionaries and
    // cross-reference streams' dictionaries) the newest whose catalog was
    // found is kept, else the newest that names one, else the newest.
    // Raises the table's last object number to the highest number found.
    void ReConstructXRefTable(TqzStream& stream, TqzPDXRef& xref);

    bool GetIsXRefTableReConstructed() const { return FIsXRefTableReConstructed; }
    void SetIsXRefTableReConstructed(bool value) { FIsXRefTableReConstructed = value; }
    // The trailer the last scan found; the caller takes it.
    std::unique_ptr<TqzPDDictionary> TakeTrailer();
    bool HasTrailer() const { return FTrailerDict != nullptr; }

  private:
    std::unique_ptr<TqzPDDictionary> FTrailerDict;
    bool FIsXRefTableReConstructed = false;
};

}  // namespace qz::core
