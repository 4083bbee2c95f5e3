#pragma once
// The component's wrappers over the model's destinations and actions, and
// the style of an outline item: what callers build and read instead of model
// elements. Lengths are the caller's; texts are UTF-8 here and the model's
// 8-bit code page there.
//
// Ownership. A wrapper made by one of its caller's constructors owns the new
// model object it made; a wrapper handed out over an existing model object
// (an outline item's destination or action) borrows it and never frees it.
// Nothing else ever takes a wrapper's model object: what is attached to an
// outline item is written from it or from a copy, so a caller frees its
// wrapper whenever it likes.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

#include "core/PDRect.h"
#include "document/PDAction.h"
#include "document/PDDestination.h"

namespace qz::component {

enum class TqzPDFDestinationType : uint8_t { dtXYZ, dtFit, dtFitH, dtFitV, dtFitR, dtFitB, dtFitBH, dtFitBV };

// The model's display option that a destination type sets.
document::TqzPageDisplayOptions DisplayOptionOf(TqzPDFDestinationType type);
// The type a display option reads as; None reads as `whenNone`.
TqzPDFDestinationType DestinationTypeOf(document::TqzPageDisplayOptions option, TqzPDFDestinationType whenNone);

// An explicit destination: a page number of the component's document, a
// type and its numbers (Left, Top, Right, Bottom; the zoom of dtXYZ is
// Right).
class TqzPDFDestination {
public:
    // Page 1, no display option.
    TqzPDFDestination();
    TqzPDFDestination(int32_t PageNo, TqzPDFDestinationType DestinationType);
    // Top for dtFitH, Left for dtFitV; other types do not use it.
    TqzPDFDestination(int32_t PageNo, TqzPDFDestinationType DestinationType, double TopOrLeft);
    // Bottom -1, Right the zoom.
    TqzPDFDestination(int32_t PageNo, TqzPDFDestinationType DestinationType, double Left, double Top, double Zoom);
    TqzPDFDestination(int32_t PageNo, TqzPDFDestinationType DestinationType, double Left, double Bottom,
                      double Right, double Top);
    ~TqzPDFDestination();
    TqzPDFDestination(const TqzPDFDestination&) = delete;
    TqzPDFDestination& operator=(const TqzPDFDestination&) = delete;

    // Frees the model destination this wrapper owns and borrows `destination`.
    void SetDestination(document::TqzPDDestination* destination);
    document::TqzPDDestination* GetDestination() const { return FDestination; }
    // The wrapper owns its model destination.
    bool GetToFree() const { return FOwned != nullptr; }

    int32_t GetPageNo() const { return FPageNo; }
    void SetPageNo(int32_t value) { FPageNo = value; }
    // No display option reads as dtFit.
    TqzPDFDestinationType GetDestinationType() const;
    void SetDestinationType(TqzPDFDestinationType value);
    double GetLeft() const;
    double GetTop() const;
    double GetRight() const;
    double GetBottom() const;
    double GetZoom() const { return GetRight(); }
    void SetLeft(double value);
    void SetTop(double value);
    void SetRight(double value);
    void SetBottom(double value);
    void SetZoom(double value) { SetRight(value); }

    // A new model destination with the same page, option and numbers: what
    // a model object that keeps its destination is given.
    std::unique_ptr<document::TqzPDDestination> CopyModel() const;

private:
    core::TqzPDRect& Rect() const;

    std::unique_ptr<document::TqzPDDestination> FOwned;
    document::TqzPDDestination* FDestination = nullptr;
    int32_t FPageNo = 1;
};

// An action of any kind, over a model action.
class TqzPDFAction {
public:
    // Wraps an existing model action without owning it.
    explicit TqzPDFAction(document::TqzPDAction* Action);
    virtual ~TqzPDFAction();
    TqzPDFAction(const TqzPDFAction&) = delete;
    TqzPDFAction& operator=(const TqzPDFAction&) = delete;

    document::TqzPDAction* GetAction() const { return FAction; }
    // The wrapper owns its model action.
    bool GetToFree() const { return FOwned != nullptr; }
    // The model action's kind; actionNone without one.
    document::TqzPDActionType GetActionType() const;

    // A wrapper of the matching kind (go-to, remote go-to, launch, URI,
    // JavaScript) borrowing `action`; none for the other kinds.
    static std::unique_ptr<TqzPDFAction> Wrap(document::TqzPDAction& action);

protected:
    explicit TqzPDFAction(std::unique_ptr<document::TqzPDAction> owned);

    std::unique_ptr<document::TqzPDAction> FOwned;
    document::TqzPDAction* FAction = nullptr;
};

// Go to a page of the component's document.
class TqzPDFGoToAction : public TqzPDFAction {
public:
    // Page number 0 and an empty destination.
    TqzPDFGoToAction();
    TqzPDFGoToAction(int32_t APageNo, TqzPDFDestinationType ADestinationType);
    // Top for dtFitH, Left for dtFitV.
    TqzPDFGoToAction(int32_t APageNo, TqzPDFDestinationType ADestinationType, double ATopOrLeft);
    // Left, Top and the zoom (Right).
    TqzPDFGoToAction(int32_t APageNo, TqzPDFDestinationType ADestinationType, double ALeft, double ATop,
                     double AZoom);
    TqzPDFGoToAction(int32_t APageNo, TqzPDFDestinationType ADestinationType, double ALeft, double ABottom,
                     double ARight, double ATop);
    // Borrows `action`; the page number is its destination page's.
    explicit TqzPDFGoToAction(document::TqzPDGoToAction& action);

    virtual int32_t GetPageNo() const { return FPageNo; }
    virtual void SetPageNo(int32_t value) { FPageNo = value; }
    // No display option reads as dtXYZ. The numbers read 0, and the setters
    // do nothing, while the model action has no destination.
    TqzPDFDestinationType GetDestinationType() const;
    void SetDestinationType(TqzPDFDestinationType value);
    double GetLeft() const;
    double GetTop() const;
    double GetRight() const;
    double GetBottom() const;
    double GetZoom() const { return GetRight(); }
    void SetLeft(double value);
    void SetTop(double value);
    void SetRight(double value);
    void SetBottom(double value);
    void SetZoom(double value) { SetRight(value); }

    // The model action's destination; none when it has none.
    document::TqzPDDestination* Destination() const;

protected:
    // For the remote kind: its own model action.
    TqzPDFGoToAction(std::unique_ptr<document::TqzPDAction> owned);
    TqzPDFGoToAction(document::TqzPDAction& borrowed, int32_t pageNo);
    // The type and numbers of a new action, as the five constructor forms
    // give them.
    void SetUp(TqzPDFDestinationType type, double left, double top, double right, double bottom);

private:
    double Number(double (core::TqzPDRect::*get)() const) const;
    void SetNumber(void (core::TqzPDRect::*set)(double), double value);

    int32_t FPageNo = 0;
};

// Go to a page of another file: the page number is 1-based here and 0-based
// in the file.
class TqzPDFGoToRAction : public TqzPDFGoToAction {
public:
    TqzPDFGoToRAction();
    TqzPDFGoToRAction(int32_t APageNo, TqzPDFDestinationType ADestinationType);
    TqzPDFGoToRAction(int32_t APageNo, TqzPDFDestinationType ADestinationType, double ATopOrLeft);
    TqzPDFGoToRAction(int32_t APageNo, TqzPDFDestinationType ADestinationType, double ALeft, double ATop,
                      double AZoom);
    TqzPDFGoToRAction(int32_t APageNo, TqzPDFDestinationType ADestinationType, double ALeft, double ABottom,
                      double ARight, double ATop);
    explicit TqzPDFGoToRAction(document::TqzPDGoToRemoteAction& action);

    int32_t GetPageNo() const override { return FPageNo + 1; }
    void SetPageNo(int32_t value) override;
    std::string GetFileName() const;
    void SetFileName(const std::string& value);
    bool GetOpenInNewWindow() const;
    void SetOpenInNewWindow(bool value);

private:
    document::TqzPDGoToRemoteAction& Remote() const;

    int32_t FPageNo = -1;
};

enum class TqzLaunchActionType : uint8_t { atOpen, atPrint };

// Start an application or open a file.
class TqzPDFLaunchAction : public TqzPDFAction {
public:
    TqzPDFLaunchAction();
    explicit TqzPDFLaunchAction(document::TqzPDLaunchAction& action);

    std::string GetApplicationToLaunch() const;
    void SetApplicationToLaunch(const std::string& value);
    std::string GetParameterToApplication() const;
    void SetParameterToApplication(const std::string& value);
    bool GetOpenInNewWindow() const;
    void SetOpenInNewWindow(bool value);
    TqzLaunchActionType GetLaunchActionType() const;
    // A value that is neither atOpen nor atPrint is ignored.
    void SetLaunchActionType(TqzLaunchActionType value);

private:
    document::TqzPDLaunchAction& Launch() const;
};

class TqzPDFURIAction : public TqzPDFAction {
public:
    TqzPDFURIAction();
    explicit TqzPDFURIAction(document::TqzPDURIAction& action);

    std::string GetURI() const;
    void SetURI(const std::string& value);
};

class TqzPDFJavaScriptAction : public TqzPDFAction {
public:
    TqzPDFJavaScriptAction();
    explicit TqzPDFJavaScriptAction(document::TqzPDJavaScriptAction& action);

    std::string GetJavaScript() const;
    void SetJavaScript(const std::string& value);
};

// The style of a title, as the platform's font style set.
enum class TqzFontStyle : uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };

class TqzFontStyles {
public:
    constexpr TqzFontStyles() = default;
    constexpr TqzFontStyles(std::initializer_list<TqzFontStyle> members) {
        for (auto m : members) Include(m);
    }
    constexpr bool Contains(TqzFontStyle m) const { return (FBits & Bit(m)) != 0; }
    constexpr void Include(TqzFontStyle m) { FBits = static_cast<uint8_t>(FBits | Bit(m)); }
    constexpr void Exclude(TqzFontStyle m) { FBits = static_cast<uint8_t>(FBits & ~Bit(m)); }
    constexpr bool operator==(const TqzFontStyles&) const = default;

private:
    static constexpr uint8_t Bit(TqzFontStyle m) { return static_cast<uint8_t>(1u << static_cast<unsigned>(m)); }
    uint8_t FBits = 0;
};

// A colour packed as the platform packs it: 0x00BBGGRR.
using TqzColor = uint32_t;
constexpr TqzColor RGBColor(uint8_t red, uint8_t green, uint8_t blue) {
    return static_cast<TqzColor>(red) | (static_cast<TqzColor>(green) << 8) | (static_cast<TqzColor>(blue) << 16);
}

// The style and colour of an outline item's title.
class TqzBookmarkAttribute {
public:
    // No style, colour 0 (black).
    TqzBookmarkAttribute() = default;
    TqzBookmarkAttribute(TqzFontStyles AFontStyle, TqzColor AOutlinecolor)
        : FFontStyles(AFontStyle), FOutlineColor(AOutlinecolor) {}

    TqzFontStyles GetFontStyles() const { return FFontStyles; }
    void SetFontStyles(TqzFontStyles value) { FFontStyles = value; }
    TqzColor GetOutlineColor() const { return FOutlineColor; }
    void SetOutlineColor(TqzColor value) { FOutlineColor = value; }

private:
    TqzFontStyles FFontStyles;
    TqzColor FOutlineColor = 0;
};

}  // namespace qz::component
