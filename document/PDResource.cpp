#include "document/PDResource.h"

#include <algorithm>

#include "core/Conversions.h"
#include "core/PDDictionary.h"
#include "document/ContentFactories.h"
#include "document/PDBaseDoc.h"
#include "document/PDDocument.h"
#include "platform/Random.h"

namespace qz::document {

namespace {

// Generated names are the prefix and a number below this.
constexpr uint32_t kResourceNameRange = 2147483647u;
// Random draws tried before a name is made unique by a counter; only a
// rigged random source gets there.
constexpr int32_t kResourceNameDraws = 64;

template <typename T>
int32_t IndexOf(const std::vector<std::unique_ptr<T>>& list, const T* element) {
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].get() == element) return static_cast<int32_t>(i);
    }
    return -1;
}

template <typename T>
T* At(const std::vector<std::unique_ptr<T>>& list, int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= list.size()) return nullptr;
    return list[static_cast<size_t>(index)].get();
}

}  // namespace

std::string_view ResourceCategoryKey(TqzPDResourceType type) {
    switch (type) {
        case TqzPDResourceType::resExtGState: return "ExtGState";
        case TqzPDResourceType::resColorSpace: return "ColorSpace";
        case TqzPDResourceType::resPattern: return "Pattern";
        case TqzPDResourceType::resShading: return "Shading";
        case TqzPDResourceType::resXObject: return "XObject";
        case TqzPDResourceType::resFont: return "Font";
        case TqzPDResourceType::resProcSet: return "ProcSet";
        case TqzPDResourceType::resProperties: return "Properties";
    }
    return {};
}

std::string_view ResourceNamePrefix(TqzPDResourceType type) {
    switch (type) {
        case TqzPDResourceType::resExtGState: return "KdGS";
        case TqzPDResourceType::resColorSpace: return "KdCS";
        case TqzPDResourceType::resPattern: return "KdPtrn";
        case TqzPDResourceType::resShading: return "KdShd";
        case TqzPDResourceType::resXObject: return "KdXbj";
        case TqzPDResourceType::resFont: return "KdFnt";
        case TqzPDResourceType::resProcSet: return "KdProS";
        case TqzPDResourceType::resProperties: return "KdProp";
    }
    return {};
}

TqzPDResource::TqzPDResource(TqzPDDocument* document, core::TqzPDElement* parentElement,
                             core::TqzPDBaseObject* baseObject)
    : core::TqzPDElement(document ? document->GetBaseDoc() : nullptr, parentElement, baseObject),
      FDocument(document) {}

TqzPDResource::~TqzPDResource() = default;

core::TqzPDDictionary* TqzPDResource::GetDict() const {
    return FBaseObject && FBaseObject->IsDict() ? static_cast<core::TqzPDDictionary*>(FBaseObject) : nullptr;
}

core::TqzPDDictionary* TqzPDResource::Category(std::string_view key) const {
    const core::TqzPDDictionary* dict = GetDict();
    core::TqzPDBaseObject* category = dict ? dict->LookUp(key) : nullptr;
    return category && category->IsDict() ? static_cast<core::TqzPDDictionary*>(category) : nullptr;
}

// ---- fonts ----

void TqzPDResource::BuildFonts(std::string_view name, TqzPDFont*& found) {
    core::TqzPDDictionary* fonts = Category("Font");
    if (!fonts || !FDocument) return;
    FHasFontList = true;
    FCanFreeFont = true;
    for (int32_t i = 0; i < fonts->GetLength(); ++i) {
        const std::string key = fonts->GetKey(i);
        auto font = MakeFont(*FDocument, this, fonts->GetValue(i), key);
        if (!font) continue;
        if (key == name) found = font.get();  // the last entry of that name
        FFontList.push_back(font.get());
        FOwnedFonts.push_back(std::move(font));
    }
    FFontCount = static_cast<int32_t>(FFontList.size());
}

TqzPDFont* TqzPDResource::LookUpFont(std::string_view name) {
    TqzPDFont* found = nullptr;
    if (!FHasFontList) BuildFonts(name, found);
    if (found) return found;
    for (TqzPDFont* font : FFontList) {
        if (font && font->IsName(name)) return font;
    }
    return nullptr;
}

int32_t TqzPDResource::GetFontCount() {
    if (!FHasFontList) LookUpFont("");
    FFontCount = static_cast<int32_t>(FFontList.size());
    return FFontCount;
}

TqzPDFont* TqzPDResource::GetFont(int32_t index) {
    if (index < 0 || index >= GetFontCount()) return nullptr;
    return FFontList[static_cast<size_t>(index)];
}

const std::vector<TqzPDFont*>* TqzPDResource::GetFontList() {
    return GetFontCount() > 0 ? &FFontList : nullptr;
}

TqzPDFont* TqzPDResource::GetFontByName(std::string_view name) {
    if (!GetDict()) return nullptr;
    GetFontCount();
    for (TqzPDFont* font : FFontList) {
        if (font && font->GetFontName() == name) return font;
    }
    return nullptr;
}

int32_t TqzPDResource::AddFont(std::unique_ptr<TqzPDFont> font) {
    if (!font) return -1;
    FHasFontList = true;
    FFontList.push_back(font.get());
    FOwnedFonts.push_back(std::move(font));
    FFontCount = static_cast<int32_t>(FFontList.size());
    return FFontCount - 1;
}

void TqzPDResource::SetFontResource(const std::vector<TqzPDFont*>& fonts) {
    DropFonts();
    FFontList = fonts;
    FHasFontList = true;
    FCanFreeFont = false;
    FFontCount = static_cast<int32_t>(FFontList.size());
}

void TqzPDResource::DropFonts() {
    // A handed-in list stays its giver's: only fonts made here are freed.
    FFontList.clear();
    FOwnedFonts.clear();
    FHasFontList = false;
    FCanFreeFont = true;
    FFontCount = 0;
}

// ---- XObjects ----

void TqzPDResource::BuildXObjects() {
    FHasXObjectList = true;
    core::TqzPDDictionary* xObjects = Category("XObject");
    if (!xObjects || !FDocument) return;
    for (int32_t i = 0; i < xObjects->GetLength(); ++i) {
        core::TqzPDBaseObject* value = xObjects->GetValue(i);
        // An entry that does not resolve keeps an empty place, so that
        // indices still follow the dictionary.
        std::unique_ptr<TqzPDXObject> xObject;
        if (value) xObject = MakeXObject(*FDocument, this, xObjects->GetKey(i), value);
        // A form without resources of its own draws with those of its user.
        if (xObject && xObject->IsForm() && !xObject->GetResources()) xObject->SetResources(this);
        FXObjectList.push_back(std::move(xObject));
    }
}

TqzPDXObject* TqzPDResource::LookUpXObject(std::string_view name) {
    if (!FHasXObjectList) BuildXObjects();
    for (const auto& xObject : FXObjectList) {
        if (xObject && xObject->IsName(name)) return xObject.get();
    }
    return nullptr;
}

int32_t TqzPDResource::GetXObjectCount() {
    if (!FHasXObjectList) BuildXObjects();
    return static_cast<int32_t>(FXObjectList.size());
}

TqzPDXObject* TqzPDResource::GetXObject(int32_t index) {
    GetXObjectCount();
    return At(FXObjectList, index);
}

int32_t TqzPDResource::AddXObject(std::unique_ptr<TqzPDXObject> xObject) {
    if (!xObject) return -1;
    FHasXObjectList = true;
    const int32_t existing = IndexOf(FXObjectList, xObject.get());
    if (existing >= 0) {
        // Already owned by the list: one owner, whatever the caller passed.
        (void)xObject.release();
        return existing;
    }
    FXObjectList.push_back(std::move(xObject));
    return static_cast<int32_t>(FXObjectList.size()) - 1;
}

// ---- colour spaces ----

void TqzPDResource::BuildColorSpaces() {
    FHasColorSpaceList = true;
    core::TqzPDDictionary* spaces = Category("ColorSpace");
    if (!spaces) return;
    for (int32_t i = 0; i < spaces->GetLength(); ++i) {
        FColorSpaceList.push_back(MakeColorSpace(spaces->GetValue(i), spaces->GetKey(i)));
    }
}

TqzPDColorSpace* TqzPDResource::LookUpColorSpace(std::string_view name) {
    if (!FHasColorSpaceList) BuildColorSpaces();
    for (const auto& space : FColorSpaceList) {
        if (space && space->IsName(name)) return space.get();
    }
    return nullptr;
}

int32_t TqzPDResource::GetColorSpaceCount() {
    if (!FHasColorSpaceList) BuildColorSpaces();
    return static_cast<int32_t>(FColorSpaceList.size());
}

TqzPDColorSpace* TqzPDResource::GetColorSpace(int32_t index) {
    GetColorSpaceCount();
    return At(FColorSpaceList, index);
}

int32_t TqzPDResource::AddColorSpace(std::unique_ptr<TqzPDColorSpace> colorSpace) {
    if (!colorSpace) return -1;
    FHasColorSpaceList = true;
    FColorSpaceList.push_back(std::move(colorSpace));
    return static_cast<int32_t>(FColorSpaceList.size()) - 1;
}

// ---- graphics states ----

void TqzPDResource::BuildGStates(std::string_view name, TqzPDGState*& found) {
    core::TqzPDDictionary* states = Category("ExtGState");
    if (!states || !FDocument) return;
    FHasGStateList = true;
    for (int32_t i = 0; i < states->GetLength(); ++i) {
        const std::string key = states->GetKey(i);
        auto state = MakeGState(*FDocument, key, states->GetValue(i), this);
        if (!state) continue;
        if (key == name) found = state.get();
        FGStateList.push_back(std::move(state));
    }
}

TqzPDGState* TqzPDResource::LookUpGState(std::string_view name) {
    TqzPDGState* found = nullptr;
    if (!FHasGStateList) BuildGStates(name, found);
    if (found) return found;
    for (const auto& state : FGStateList) {
        if (state && state->IsName(name)) return state.get();
    }
    return nullptr;
}

int32_t TqzPDResource::GetGStateCount() {
    if (!FHasGStateList) LookUpGState("");
    return static_cast<int32_t>(FGStateList.size());
}

TqzPDGState* TqzPDResource::GetGState(int32_t index) {
    GetGStateCount();
    return At(FGStateList, index);
}

int32_t TqzPDResource::AddExtGState(std::unique_ptr<TqzPDGState> gState) {
    if (!gState) return -1;
    FHasGStateList = true;
    FGStateList.push_back(std::move(gState));
    return static_cast<int32_t>(FGStateList.size()) - 1;
}

// ---- patterns ----

void TqzPDResource::BuildPatterns(std::string_view name, TqzPDPattern*& found) {
    FHasPatternLists = true;
    if (!FDocument) return;
    if (core::TqzPDDictionary* patterns = Category("Pattern")) {
        for (int32_t i = 0; i < patterns->GetLength(); ++i) {
            const std::string key = patterns->GetKey(i);
            auto pattern = MakePattern(*FDocument, this, patterns->GetValue(i), key);
            if (!pattern) continue;
            if (!found && key == name) found = pattern.get();
            FPatternList.push_back(std::move(pattern));
        }
    }
    if (core::TqzPDDictionary* shadings = Category("Shading")) {
        for (int32_t i = 0; i < shadings->GetLength(); ++i) {
            const std::string key = shadings->GetKey(i);
            auto shading = MakeShaddingPattern(*FDocument, this, shadings->GetValue(i), key);
            if (!shading) continue;
            if (!found && key == name) found = shading.get();
            FShadingList.push_back(std::move(shading));
        }
    }
}

TqzPDPattern* TqzPDResource::LookUpPattern(std::string_view name, int32_t /*patternType*/) {
    TqzPDPattern* found = nullptr;
    if (!FHasPatternLists) BuildPatterns(name, found);
    if (found) return found;
    // By tag: a skipped entry must not shift the match onto its neighbour.
    for (const auto& pattern : FPatternList) {
        if (pattern->IsName(name)) return pattern.get();
    }
    for (const auto& shading : FShadingList) {
        if (shading->IsName(name)) return shading.get();
    }
    return nullptr;
}

int32_t TqzPDResource::AddPattern(std::unique_ptr<TqzPDPattern> /*pattern*/) { return 0; }

// ---- names and write-back ----

std::string TqzPDResource::GetResourceName(TqzPDResourceType type) {
    const std::string prefix(ResourceNamePrefix(type));
    const core::TqzPDDictionary* category = Category(ResourceCategoryKey(type));
    // A name already in use would shadow (or be shadowed by) the resource
    // the page's content already draws.
    const auto taken = [category](const std::string& name) {
        return category && category->LookupRefObj(name) != nullptr;
    };
    for (int32_t draw = 0; draw < kResourceNameDraws; ++draw) {
        std::string name = prefix + core::IntegerToString(platform::Random().Next(kResourceNameRange));
        if (!taken(name)) return name;
    }
    std::string base = prefix + core::IntegerToString(platform::Random().Next(kResourceNameRange));
    std::string name = base;
    for (int64_t counter = 1; taken(name); ++counter) name = base + "_" + core::IntegerToString(counter);
    return name;
}

void TqzPDResource::Update() {
    if (FHasFontList) {
        for (TqzPDFont* font : FFontList) {
            if (font) font->Update();
        }
        DropFonts();
    }
    if (FHasColorSpaceList) {
        for (const auto& space : FColorSpaceList) {
            if (space) space->Update();
        }
        FColorSpaceList.clear();
        FHasColorSpaceList = false;
    }
}

}  // namespace qz::document
