#pragma once
// TqzPDBaseObject: the abstract PDF value (null, boolean, number, name,
// string, array, dictionary, stream, reference) and the lexer's tokens. Each
// knows its object and generation number (all ones for a direct object),
// whether it differs from what was read, whether it has been written in the
// current save, and how to write itself. Direct values belong to their
// container; indirect ones to the document's object table.
//
// Saving runs on an explicit work stack (TqzSaveContext): an object that must
// first save the objects it refers to, or its nested values, hands them to
// the context and is resumed afterwards, so neither long reference chains nor
// deep nesting grow the call stack.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/Object.h"
#include "core/Stream.h"

namespace qz::core {

class TqzPDXRef;
class TqzSaveContext;
struct TqzSaveFrame;

// Object and generation number of a direct object.
inline constexpr uint32_t kDirectObject = 0xFFFFFFFF;

enum class TqzPDObjTypes : uint8_t {
    otBoolean,
    otInteger,
    otReal,
    otString,
    otName,
    otCommand,
    otNull,
    otEOF,
    otError,
    otArray,
    otDict,
    otIndirectRef,
    otStream,
    otNone,
};

// What one step of an object's save left to do: nothing (Done), or a value
// handed to the context that must be saved before the step resumes (Child).
enum class TqzSaveStep : uint8_t { Done, Child };

class TqzPDBaseObject : public TqzObject {
public:
    virtual void SetIsChanged(bool value) { FIsChanged = value; }
    bool GetIsChanged() const { return FIsChanged; }
    bool GetIsWritten() const { return FIsWritten; }
    void SetIsWritten(bool value) { FIsWritten = value; }
    // For a direct value inside an indirect one, the enclosing object's number.
    uint32_t GetValidObjectNumber() const { return FValidObjectNumber; }
    void SetValidObjectNumber(uint32_t value) { FValidObjectNumber = value; }

    virtual bool IsBoolean() const { return false; }
    virtual bool IsInteger() const { return false; }
    virtual bool IsReal() const { return false; }
    virtual bool IsString() const { return false; }
    virtual bool IsName() const { return false; }
    virtual bool IsNull() const { return false; }
    virtual bool IsArray() const { return false; }
    virtual bool IsDict() const { return false; }
    virtual bool IsStream() const { return false; }
    virtual bool IsIndirectRef() const { return false; }
    virtual bool IsCommand() const { return false; }
    virtual bool IsError() const { return false; }
    virtual bool IsEOF() const { return false; }
    virtual bool IsName(std::string_view /*name*/) const { return false; }
    virtual bool IsCommand(std::string_view /*command*/) const { return false; }
    virtual bool IsDict(std::string_view /*dictType*/) const { return false; }
    bool IsNumber() const { return IsInteger() || IsReal(); }
    // A lexer token (keyword, end of data, unreadable input), not a value.
    bool IsToken() const { return IsCommand() || IsError() || IsEOF(); }
    TqzPDObjTypes GetType() const;

    // A new object that the caller owns.
    virtual std::unique_ptr<TqzPDBaseObject> Clone() const = 0;
    // Copies the source's object and generation numbers (values: see each class).
    virtual void Assign(const TqzPDBaseObject& source);

    // Writes the object in PDF syntax (an indirect one framed as "N 0 obj" ...
    // "endobj" under a new number from `xref`) and returns the bytes written.
    // With `onlyChanged`, an unchanged object writes nothing.
    int64_t SaveToStream(TqzStream& stream, bool onlyChanged, TqzPDXRef& xref);

    uint32_t GetObjNumber() const { return FObjNumber; }
    void SetObjNumber(uint32_t value) { FObjNumber = value; }
    uint32_t GetGenNumber() const { return FGenNumber; }
    void SetGenNumber(uint32_t value) { FGenNumber = value; }
    bool IsDirect() const { return FObjNumber == kDirectObject; }

    // Moves out the values this object owns, so that a deep graph can be
    // destroyed without recursion. Values shared with another holder stay.
    virtual void MoveChildrenTo(std::vector<std::unique_ptr<TqzPDBaseObject>>& /*out*/) {}

protected:
    TqzPDBaseObject() = default;
    TqzPDBaseObject(uint32_t objNumber, uint32_t genNumber) : FObjNumber(objNumber), FGenNumber(genNumber) {}
    TqzPDBaseObject(const TqzPDBaseObject&) = default;
    TqzPDBaseObject& operator=(const TqzPDBaseObject&) = default;

    friend class TqzSaveContext;
    // One step of this object's save (see TqzSaveContext). The base runs the
    // whole protocol of a scalar: header and number when indirect, WriteText,
    // "endobj".
    virtual TqzSaveStep SaveStep(TqzSaveContext& context, TqzSaveFrame& frame);
    // The value's text form (scalars).
    virtual void WriteText(TqzSaveContext& /*context*/) {}

    uint32_t FValidObjectNumber = kDirectObject;
    uint32_t FObjNumber = kDirectObject;
    uint32_t FGenNumber = kDirectObject;
    bool FIsWritten = false;
    bool FIsChanged = false;
};

// Counts the nesting of recursive copies (dictionary clones, Assign) on this
// thread and raises ExLimitExceeded beyond kMaxNestingDepth.
class TqzNestingGuard {
public:
    TqzNestingGuard();
    ~TqzNestingGuard();
    TqzNestingGuard(const TqzNestingGuard&) = delete;
    TqzNestingGuard& operator=(const TqzNestingGuard&) = delete;
};

// Destroys every object in `objects`, and what they own, without recursion.
void DestroyObjects(std::vector<std::unique_ptr<TqzPDBaseObject>>& objects);

}  // namespace qz::core
