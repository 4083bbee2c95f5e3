#pragma once
// TqzPDImage: an image XObject, or an inline image of a content stream. For
// now it only carries what the interpreter and devices need to tell images
// apart: the stream it wraps and whether it was inline; decoding the samples
// is not part of it yet.
//
// An image found in resources borrows its stream like every XObject. An
// inline image owns the stream object made from its data, so it stays valid
// for as long as the image lives.

#include <memory>

#include "content/device/PDXObject.h"

namespace qz::core {
class TqzPDStream;
}  // namespace qz::core

namespace qz::content {

class TqzPDImage : public TqzPDXObject {
public:
    TqzPDImage(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AResourceElement,
               core::TqzPDBaseObject* ABaseObject);
    // An inline image over `stream`, which it keeps.
    TqzPDImage(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AResourceElement,
               std::unique_ptr<core::TqzPDStream> stream);
    ~TqzPDImage() override;

    bool GetIsInline() const { return FIsInline; }
    void SetIsInline(bool Value) { FIsInline = Value; }
    // The wrapped stream; none when the image wraps something else.
    core::TqzPDStream* GetStream() const;

private:
    std::unique_ptr<core::TqzPDStream> FOwnedStream;
    bool FIsInline = false;
};

}  // namespace qz::content
