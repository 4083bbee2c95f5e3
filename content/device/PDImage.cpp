#include "content/device/PDImage.h"

#include "core/PDStream.h"

namespace qz::content {

TqzPDImage::TqzPDImage(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AResourceElement,
                       core::TqzPDBaseObject* ABaseObject)
    : TqzPDXObject(AParentDoc, AResourceElement, ABaseObject) {
    SetSubType(TqzXObjectType::xtImage);
}

TqzPDImage::TqzPDImage(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AResourceElement,
                       std::unique_ptr<core::TqzPDStream> stream)
    : TqzPDXObject(AParentDoc, AResourceElement, stream.get()), FOwnedStream(std::move(stream)), FIsInline(true) {
    SetSubType(TqzXObjectType::xtImage);
}

TqzPDImage::~TqzPDImage() = default;

core::TqzPDStream* TqzPDImage::GetStream() const {
    if (FBaseObject == nullptr || !FBaseObject->IsStream()) return nullptr;
    return static_cast<core::TqzPDStream*>(FBaseObject);
}

}  // namespace qz::content
