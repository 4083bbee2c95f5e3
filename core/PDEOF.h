#pragma once
// TqzPDEOF: the lexer's end-of-data token; it writes nothing.

#include "core/PDBaseObject.h"

namespace qz::core {

class TqzPDEOF : public TqzPDBaseObject {
public:
    TqzPDEOF() : TqzPDBaseObject(0, 0) {}

    bool IsEOF() const override { return true; }
    std::unique_ptr<TqzPDBaseObject> Clone() const override { return std::make_unique<TqzPDEOF>(); }

protected:
    TqzSaveStep SaveStep(TqzSaveContext&, TqzSaveFrame&) override { return TqzSaveStep::Done; }
};

}  // namespace qz::core
