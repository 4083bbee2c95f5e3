#include "content/ContentSetup.h"

#include "content/colour/PDColorSpace.h"
#include "content/state/PDGState.h"
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
}

}  // namespace qz::content
