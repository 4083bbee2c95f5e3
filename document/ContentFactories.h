#pragma once
// What the document structure uses of the page content and fonts layer: the
// base classes of the resource elements that layer makes (fonts, XObjects,
// colour spaces, patterns, graphics states) and the class-level factories
// that make them from their objects. The factories are registries: they make
// nothing until the content layer fills them at start-up
// (ContentFactories()), and until then every factory gives no object, as it
// does for an object of a kind it does not know. A factory's element belongs
// to the caller; it borrows the object it wraps, the document and the
// resource element it hangs from.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/PDElement.h"

namespace qz::core {
class TqzPDBaseObject;
}

namespace qz::document {

class TqzPDDocument;
class TqzPDPage;
class TqzPDResource;

// The common part: the model document and the resource name (tag).
class TqzPDResourceItem : public core::TqzPDElement {
public:
    TqzPDResourceItem(TqzPDDocument* document, core::TqzPDElement* parentElement,
                      core::TqzPDBaseObject* baseObject, std::string tag);

    TqzPDDocument* GetDocument() const { return FDocument; }
    const std::string& GetTag() const { return FTag; }
    // The element carries that resource name.
    bool IsName(std::string_view name) const { return FTag == name; }

protected:
    TqzPDDocument* FDocument;
    std::string FTag;
};

// A font of a page's or form's resources.
class TqzPDFont : public TqzPDResourceItem {
public:
    using TqzPDResourceItem::TqzPDResourceItem;
    // The font's PostScript name.
    const std::string& GetFontName() const { return FName; }
    const std::string& GetBaseFont() const { return FBaseFont; }
    const std::string& GetEncodingName() const { return FEncodingName; }

protected:
    std::string FName;
    std::string FBaseFont;
    std::string FEncodingName;
};

// An external object: image, form or PostScript.
class TqzPDXObject : public TqzPDResourceItem {
public:
    using TqzPDResourceItem::TqzPDResourceItem;
    virtual bool IsForm() const { return false; }
    // A form's resources (made on first use), none for other kinds.
    virtual TqzPDResource* GetResources() { return nullptr; }
    // A form without resources of its own draws with those of its user.
    virtual void SetResources(TqzPDResource* /*resources*/) {}
};

class TqzPDColorSpace : public TqzPDResourceItem {
public:
    using TqzPDResourceItem::TqzPDResourceItem;
};

class TqzPDPattern : public TqzPDResourceItem {
public:
    using TqzPDResourceItem::TqzPDResourceItem;
};

class TqzPDGState : public TqzPDResourceItem {
public:
    using TqzPDResourceItem::TqzPDResourceItem;
};

// The makers the content layer registers; each may return none.
struct TqzContentFactories {
    std::function<std::unique_ptr<TqzPDFont>(TqzPDDocument& document, TqzPDResource* resource,
                                             core::TqzPDBaseObject* fontDict, const std::string& tag)>
        Font;
    std::function<std::unique_ptr<TqzPDColorSpace>(core::TqzPDBaseObject* object, const std::string& name)>
        ColorSpace;
    std::function<std::unique_ptr<TqzPDXObject>(TqzPDDocument& document, TqzPDResource* resource,
                                                const std::string& name, core::TqzPDBaseObject* object)>
        XObject;
    std::function<std::unique_ptr<TqzPDPattern>(TqzPDDocument& document, TqzPDResource* resource,
                                                core::TqzPDBaseObject* object, const std::string& tag)>
        Pattern;
    std::function<std::unique_ptr<TqzPDPattern>(TqzPDDocument& document, TqzPDResource* resource,
                                                core::TqzPDBaseObject* object, const std::string& tag)>
        ShaddingPattern;
    std::function<std::unique_ptr<TqzPDGState>(TqzPDDocument& document, const std::string& name,
                                               core::TqzPDBaseObject* object, TqzPDResource* resource)>
        GState;
    // A page's contents element over its resolved /Contents value.
    std::function<std::unique_ptr<core::TqzPDElement>(TqzPDDocument& document, TqzPDPage& page,
                                                      core::TqzPDBaseObject* contents)>
        Contents;
};

// The process-wide registry, empty until the content layer fills it.
TqzContentFactories& ContentFactories();

// None for a null object, a dictionary without /Subtype, or before a maker
// is registered; fonts of unknown kinds are the maker's to read.
std::unique_ptr<TqzPDFont> MakeFont(TqzPDDocument& document, TqzPDResource* resource,
                                    core::TqzPDBaseObject* fontDict, const std::string& tag);
std::unique_ptr<TqzPDColorSpace> MakeColorSpace(core::TqzPDBaseObject* object, const std::string& name);
std::unique_ptr<TqzPDXObject> MakeXObject(TqzPDDocument& document, TqzPDResource* resource,
                                          const std::string& name, core::TqzPDBaseObject* object);
std::unique_ptr<TqzPDPattern> MakePattern(TqzPDDocument& document, TqzPDResource* resource,
                                          core::TqzPDBaseObject* object, const std::string& tag);
std::unique_ptr<TqzPDPattern> MakeShaddingPattern(TqzPDDocument& document, TqzPDResource* resource,
                                                  core::TqzPDBaseObject* object, const std::string& tag);
std::unique_ptr<TqzPDGState> MakeGState(TqzPDDocument& document, const std::string& name,
                                        core::TqzPDBaseObject* object, TqzPDResource* resource);

}  // namespace qz::document
