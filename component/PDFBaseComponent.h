#pragma once
// TqzPDFBaseComponent: the root of the document component's class chain,
// carrying the two read-only texts every component publishes.

#include <string>

#include "component/ComponentTypes.h"
#include "core/Object.h"

namespace qz::component {

class TqzPDFBaseComponent : public core::TqzObject {
public:
    TqzPDFBaseComponent() = default;
    TqzPDFBaseComponent(const TqzPDFBaseComponent&) = delete;
    TqzPDFBaseComponent& operator=(const TqzPDFBaseComponent&) = delete;

    const std::string& GetAbout() const { return FAbout; }
    const std::string& GetVersion() const { return FVersion; }
    // Published as writable, but the texts are fixed.
    void SetAbout(const std::string& /*value*/) {}
    void SetComVersion(const std::string& /*value*/) {}

private:
    std::string FAbout = "PDF document component: load, merge and save PDF documents";
    std::string FVersion = kComponentVersion;
};

}  // namespace qz::component
