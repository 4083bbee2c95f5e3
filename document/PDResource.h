#pragma once
// TqzPDResource: the model element over one resource dictionary, of a page,
// a page-tree node or a form XObject. It turns the /Font, /XObject,
// /ColorSpace, /ExtGState, /Pattern and /Shading categories into lists of
// the content layer's elements (made through the factories of
// ContentFactories.h), each on first need; looks resources up by name; takes
// new resources; and makes names for new ones that the dictionary does not
// use yet.
//
// The element borrows its dictionary and document. It owns the elements of
// its lists, except a font list handed in by SetFontResource, which stays its
// giver's. The page, node property or form that made the element owns it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/PDElement.h"

namespace qz::core {
class TqzPDBaseObject;
class TqzPDDictionary;
}  // namespace qz::core

namespace qz::document {

class TqzPDColorSpace;
class TqzPDDocument;
class TqzPDFont;
class TqzPDGState;
class TqzPDPattern;
class TqzPDXObject;

// The resource categories, in order; each has a key in the resource
// dictionary and a prefix for generated names.
enum class TqzPDResourceType : uint8_t {
    resExtGState,
    resColorSpace,
    resPattern,
    resShading,
    resXObject,
    resFont,
    resProcSet,
    resProperties,
};

// "ExtGState", "ColorSpace", ... for each type.
std::string_view ResourceCategoryKey(TqzPDResourceType type);
// "KdGS", "KdCS", "KdPtrn", "KdShd", "KdXbj", "KdFnt", "KdProS", "KdProp".
std::string_view ResourceNamePrefix(TqzPDResourceType type);

class TqzPDResource : public core::TqzPDElement {
public:
    TqzPDResource(TqzPDDocument* document, core::TqzPDElement* parentElement, core::TqzPDBaseObject* baseObject);
    ~TqzPDResource() override;
    TqzPDResource(const TqzPDResource&) = delete;
    TqzPDResource& operator=(const TqzPDResource&) = delete;

    // Each font's and colour space's Update runs and those two lists are
    // dropped; a later look-up builds them again from the dictionary.
    void Update() override;

    TqzPDDocument* GetDocument() const { return FDocument; }
    // The resource dictionary; none when the base object is not one.
    core::TqzPDDictionary* GetDict() const;

    // Look-ups by resource name; each category's list is built on its first
    // look-up. None when nothing carries the name.
    TqzPDFont* LookUpFont(std::string_view name);
    TqzPDXObject* LookUpXObject(std::string_view name);
    TqzPDColorSpace* LookUpColorSpace(std::string_view name);
    TqzPDGState* LookUpGState(std::string_view name);
    // /Pattern first, then /Shading, by tag; the type is not read.
    TqzPDPattern* LookUpPattern(std::string_view name, int32_t patternType = 0);

    int32_t GetFontCount();
    int32_t GetXObjectCount();
    int32_t GetColorSpaceCount();
    int32_t GetGStateCount();
    // 0-based; none at or beyond the count (and for places left empty).
    TqzPDFont* GetFont(int32_t index);
    TqzPDXObject* GetXObject(int32_t index);
    TqzPDColorSpace* GetColorSpace(int32_t index);
    TqzPDGState* GetGState(int32_t index);
    // The font list when it holds at least one font, else none.
    const std::vector<TqzPDFont*>* GetFontList();
    // The first font whose PostScript name is `name`; none without a dictionary.
    TqzPDFont* GetFontByName(std::string_view name);

    // Each appends the element, making its list on first use; the list
    // takes ownership. AddXObject of an element already listed returns its
    // index and does not list it twice.
    int32_t AddFont(std::unique_ptr<TqzPDFont> font);
    int32_t AddColorSpace(std::unique_ptr<TqzPDColorSpace> colorSpace);
    int32_t AddExtGState(std::unique_ptr<TqzPDGState> gState);
    int32_t AddXObject(std::unique_ptr<TqzPDXObject> xObject);
    // Patterns are not taken: the element is dropped and 0 returned.
    int32_t AddPattern(std::unique_ptr<TqzPDPattern> pattern);
    // Uses `fonts` as the font list; their owner keeps them, and must keep
    // them alive while this element uses them.
    void SetFontResource(const std::vector<TqzPDFont*>& fonts);

    // The type's prefix followed by the decimal text of a random number from
    // 0 to 2147483646, drawn again while the category already holds the name.
    std::string GetResourceName(TqzPDResourceType type);

private:
    core::TqzPDDictionary* Category(std::string_view key) const;
    void BuildFonts(std::string_view name, TqzPDFont*& found);
    void BuildXObjects();
    void BuildColorSpaces();
    void BuildGStates(std::string_view name, TqzPDGState*& found);
    void BuildPatterns(std::string_view name, TqzPDPattern*& found);
    void DropFonts();

    TqzPDDocument* FDocument;
    int32_t FFontCount = 0;
    bool FHasFontList = false;
    std::vector<TqzPDFont*> FFontList;
    std::vector<std::unique_ptr<TqzPDFont>> FOwnedFonts;
    bool FCanFreeFont = true;
    bool FHasXObjectList = false;
    std::vector<std::unique_ptr<TqzPDXObject>> FXObjectList;
    bool FHasColorSpaceList = false;
    std::vector<std::unique_ptr<TqzPDColorSpace>> FColorSpaceList;
    bool FHasGStateList = false;
    std::vector<std::unique_ptr<TqzPDGState>> FGStateList;
    bool FHasPatternLists = false;
    std::vector<std::unique_ptr<TqzPDPattern>> FPatternList;
    std::vector<std::unique_ptr<TqzPDPattern>> FShadingList;
};

}  // namespace qz::document
