#pragma once
// TqzPDCommand: a keyword or delimiter token of the lexer. Tokens are not
// values: they write nothing.

#include "core/PDBaseObject.h"

namespace qz::core {

class TqzPDCommand : public TqzPDBaseObject {
public:
    explicit TqzPDCommand(std::string value) : TqzPDBaseObject(0, 0), FValue(std::move(value)) {}

    const std::string& Value() const { return FValue; }

    bool IsCommand() const override { return true; }
    // Keywords compare exactly, case-sensitively.
    bool IsCommand(std::string_view command) const override { return command == FValue; }
    std::unique_ptr<TqzPDBaseObject> Clone() const override { return std::make_unique<TqzPDCommand>(FValue); }

protected:
    TqzSaveStep SaveStep(TqzSaveContext&, TqzSaveFrame&) override { return TqzSaveStep::Done; }

private:
    std::string FValue;
};

}  // namespace qz::core
