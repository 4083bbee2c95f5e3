#include "content/ContentSetup.h"

#include "content/colour/PDColorSpace.h"
#include "content/device/PDContents.h"
#include "content/device/PDXObject.h"
#include "content/fonts/PDFont.h"
#include "content/state/PDGState.h"
#include "document/ContentFactories.h"
#include "document/PDPage.h"
#include "document/PDResource.h"

namespace qz::content {

void RegisterContentFactories() {
    document::ContentFactories().ColorSpace =
        [](core::TqzPDBaseObject* object,
           const std::string& name) -> std::unique_ptr<document::TqzPDColorSpace> {
        return MakeColorSpace(object, name);
    };
    document::ContentFactories().GState =
        [](document::TqzPDDocument& document, const std::string& name,
           core::TqzPDBaseObject* object,
           document::TqzPDResource* resource) -> std::unique_ptr<document::TqzPDGState> {
        return std::make_unique<TqzPDGState>(&document, resource, object, name);
    };
    document::ContentFactories().Font =
        [](document::TqzPDDocument& document, document::TqzPDResource* resource, core::TqzPDBaseObject* fontDict,
           const std::string& tag) -> std::unique_ptr<document::TqzPDFont> {
        return MakeFont(&document, resource, tag, fontDict);
    };
    document::ContentFactories().XObject = [](document::TqzPDDocument& document, document::TqzPDResource* resource,
                           const std::string& name,
                           core::TqzPDBaseObject* object) -> std::unique_ptr<document::TqzPDXObject> {
        return MakeXObject(&document, resource, name, object);
    };
    document::ContentFactories().Contents = [](document::TqzPDDocument& document, document::TqzPDPage& page,
                            core::TqzPDBaseObject* contents) -> std::unique_ptr<core::TqzPDElement> {
        return std::make_unique<TqzPDContents>(&document, &page, contents);
    };
}

}  // namespace qz::content
