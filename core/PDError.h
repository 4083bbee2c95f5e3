#pragma once
// TqzPDError: the lexer's and parser's token for unreadable input; it writes
// nothing.

#include "core/PDBaseObject.h"

namespace qz::core {

class TqzPDError : public TqzPDBaseObject {
public:
    TqzPDError() : TqzPDBaseObject(0, 0) {}

    bool IsError() const override { return true; }
    std::unique_ptr<TqzPDBaseObject> Clone() const override { return std::make_unique<TqzPDError>(); }

protected:
    TqzSaveStep SaveStep(TqzSaveContext&, TqzSaveFrame&) override { return TqzSaveStep::Done; }
};

}  // namespace qz::core
