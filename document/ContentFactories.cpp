#include "document/ContentFactories.h"

#include "core/PDBaseObject.h"
#include "core/PDDictionary.h"
#include "core/PDStream.h"
#include "document/PDBaseDoc.h"
#include "document/PDDocument.h"

namespace qz::document {

namespace {

bool IsNone(const core::TqzPDBaseObject* object) { return object == nullptr || object->IsNull(); }

}  // namespace

TqzPDResourceItem::TqzPDResourceItem(TqzPDDocument* document, core::TqzPDElement* parentElement,
                                     core::TqzPDBaseObject* baseObject, std::string tag)
    : core::TqzPDElement(document != nullptr ? document->GetBaseDoc() : nullptr, parentElement, baseObject),
      FDocument(document),
      FTag(std::move(tag)) {}

TqzContentFactories& ContentFactories() {
    static TqzContentFactories factories;
    return factories;
}

std::unique_ptr<TqzPDFont> MakeFont(TqzPDDocument& document, TqzPDResource* resource,
                                    core::TqzPDBaseObject* fontDict, const std::string& tag) {
    if (IsNone(fontDict)) return nullptr;
    const core::TqzPDDictionary* dict = nullptr;
    if (fontDict->IsDict()) dict = static_cast<const core::TqzPDDictionary*>(fontDict);
    if (dict == nullptr || dict->LookUp("Subtype") == nullptr) return nullptr;
    const auto& maker = ContentFactories().Font;
    return maker ? maker(document, resource, fontDict, tag) : nullptr;
}

std::unique_ptr<TqzPDColorSpace> MakeColorSpace(core::TqzPDBaseObject* object, const std::string& name) {
    if (IsNone(object)) return nullptr;
    const auto& maker = ContentFactories().ColorSpace;
    return maker ? maker(object, name) : nullptr;
}

std::unique_ptr<TqzPDXObject> MakeXObject(TqzPDDocument& document, TqzPDResource* resource,
                                          const std::string& name, core::TqzPDBaseObject* object) {
    if (IsNone(object)) return nullptr;
    const auto& maker = ContentFactories().XObject;
    return maker ? maker(document, resource, name, object) : nullptr;
}

std::unique_ptr<TqzPDPattern> MakePattern(TqzPDDocument& document, TqzPDResource* resource,
                                          core::TqzPDBaseObject* object, const std::string& tag) {
    if (IsNone(object)) return nullptr;
    const auto& maker = ContentFactories().Pattern;
    return maker ? maker(document, resource, object, tag) : nullptr;
}

std::unique_ptr<TqzPDPattern> MakeShaddingPattern(TqzPDDocument& document, TqzPDResource* resource,
                                                  core::TqzPDBaseObject* object, const std::string& tag) {
    if (IsNone(object)) return nullptr;
    const auto& maker = ContentFactories().ShaddingPattern;
    return maker ? maker(document, resource, object, tag) : nullptr;
}

std::unique_ptr<TqzPDGState> MakeGState(TqzPDDocument& document, const std::string& name,
                                        core::TqzPDBaseObject* object, TqzPDResource* resource) {
    if (IsNone(object)) return nullptr;
    const auto& maker = ContentFactories().GState;
    return maker ? maker(document, name, object, resource) : nullptr;
}

}  // namespace qz::document
