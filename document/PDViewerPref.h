#pragma once
// TqzPDViewerPref: six Boolean entries of the catalog's /ViewerPreferences
// dictionary. The catalog makes it over that dictionary and owns it. Getters
// cache what they read; setters write the dictionary directly and leave the
// caches, so a getter asked before a setter keeps its first answer.

#include <cstdint>
#include <string_view>

#include "core/PDElement.h"

namespace qz::core {
class TqzPDDictionary;
}

namespace qz::document {

class TqzPDDocument;

class TqzPDViewerPref : public core::TqzPDElement {
public:
    TqzPDViewerPref(TqzPDDocument* document, core::TqzPDElement* parentElement, core::TqzPDBaseObject* baseObject);

    // The setters have written everything already.
    void Update() override {}

    bool GetHideToolBar() { return Get(FHideToolBar, "HideToolbar"); }
    bool GetHideMenuBar() { return Get(FHideMenuBar, "HideMenubar"); }
    bool GetHideWindowUI() { return Get(FHideWindowUI, "HideWindowUI"); }
    bool GetFitWindow() { return Get(FFitWindow, "FitWindow"); }
    bool GetCenterWindow() { return Get(FCenterWindow, "CenterWindow"); }
    bool GetDisplayDocTitle() { return Get(FDisPlayDocTitle, "DisplayDocTitle"); }
    void SetHideToolBar(bool value) { Set("HideToolbar", value); }
    void SetHideMenuBar(bool value) { Set("HideMenubar", value); }
    void SetHideWindowUI(bool value) { Set("HideWindowUI", value); }
    void SetFitWindow(bool value) { Set("FitWindow", value); }
    void SetCenterWindow(bool value) { Set("CenterWindow", value); }
    void SetDisplayDocTitle(bool value) { Set("DisplayDocTitle", value); }

private:
    // -1 not read yet, 0 false, 1 true.
    bool Get(int32_t& cache, std::string_view key);
    void Set(std::string_view key, bool value);
    core::TqzPDDictionary* Dict() const;

    TqzPDDocument* FDocument;
    int32_t FHideToolBar = -1;
    int32_t FHideMenuBar = -1;
    int32_t FHideWindowUI = -1;
    int32_t FFitWindow = -1;
    int32_t FCenterWindow = -1;
    int32_t FDisPlayDocTitle = -1;
};

}  // namespace qz::document
