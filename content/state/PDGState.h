#pragma once
// One graphics-state parameter dictionary of a resource dictionary's
// /ExtGState, as the gs operator uses it: the stroking and non-stroking
// alphas and the soft mask, read on first use. The resource dictionary that
// made it owns it; it borrows the dictionary it wraps.

#include <string>
#include <string_view>

#include "document/ContentFactories.h"

namespace qz::core {
class TqzPDDictionary;
}

namespace qz::content {

class TqzPDGState : public document::TqzPDGState {
  public:
    TqzPDGState(document::TqzPDDocument* parentDoc, core::TqzPDElement* parentElement,
                core::TqzPDBaseObject* baseObject, std::string tag);

    // /CA and /ca (keys matched exactly): the number, or -1 when absent or
    // not a number (then looked up again on the next call).
    double GetStrokeAlpha();
    double GetNonStrokeAlpha();
    // /SMask when it is a dictionary, else none (a name such as /None).
    core::TqzPDDictionary* GetSMask();
    // Not applied by the interpreter.
    double GetLineWidth() const { return 0; }
    int32_t GetLineCap() const { return 0; }

  private:
    double ReadAlpha(std::string_view key) const;

    double FStrokeAlpha = -1;
    double FNonStrokeAlpha = -1;
    core::TqzPDDictionary* FSMask = nullptr;
};

}  // namespace qz::content
