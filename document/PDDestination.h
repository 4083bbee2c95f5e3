#pragma once
// TqzPDDestination: an explicit destination: a page of the document, a display
// option and the numbers that go with it. It is read lazily from a
// destination array, or made empty (or with its values) and filled by its
// maker. It borrows its array, its document and its page; it owns its
// rectangle.
//
// The rectangle holds the numbers as Left, Top, Right, Bottom in the file's
// meaning: Top is the upper edge and Bottom the lower one, so /FitR's
// "left bottom right top" go to Left, Bottom, Right, Top. The zoom of /XYZ is
// kept in Right.

#include <cstdint>
#include <memory>
#include <string_view>

#include "core/PDElement.h"
#include "core/PDRect.h"

namespace qz::core {
class TqzParentDocument;
class TqzPDArray;
class TqzPDBaseObject;
}  // namespace qz::core

namespace qz::document {

class TqzPDDocument;
class TqzPDPage;

enum class TqzPageDisplayOptions : uint8_t {
    None,
    FitZoom,               // XYZ: left, top, zoom
    FitAll,                // Fit
    FitHeight,             // FitH: top
    FitWidth,              // FitV: left
    FitRect,               // FitR: left, bottom, right, top
    FitBoundingBox,        // FitB
    FitBoundingBoxHeight,  // FitBH: top
    FitBoundingBoxWidth,   // FitBV: left
};

// The PDF name of an option ("XYZ", "Fit", ...); empty for None.
std::string_view DisplayOptionName(TqzPageDisplayOptions option);
// The option a name stands for, compared exactly; None for any other name.
TqzPageDisplayOptions DisplayOptionFromName(std::string_view name);

// How a writer takes the destination's Top and Bottom: as they stand, or
// measured down from the top of the destination's page (converted with the
// page's height into the file's upward measure).
enum class TqzDestYAxis : uint8_t { AsStored, FromPageTop };

class TqzPDDestination : public core::TqzPDElement {
public:
    // Over a destination array (`baseObject`; another kind reads as no
    // destination): page, option and numbers are read on first use.
    TqzPDDestination(TqzPDDocument* document, core::TqzPDElement* parentElement, core::TqzPDBaseObject* baseObject);
    // Without array: the page, option and, when given, the rectangle's four
    // numbers.
    TqzPDDestination(TqzPDDocument* document, TqzPDPage* page, TqzPageDisplayOptions displayOption,
                     const core::TqzPDRect* rect);
    // Empty: no array, no page, None, an empty rectangle.
    TqzPDDestination();
    ~TqzPDDestination() override;
    TqzPDDestination(const TqzPDDestination&) = delete;
    TqzPDDestination& operator=(const TqzPDDestination&) = delete;

    void Update() override {}

    TqzPDDocument* GetDocument() const { return FDocument; }
    // The page that entry 0 refers to, found once and kept; none when entry 0
    // is not a reference to a page of this document.
    TqzPDPage* GetPage();
    // Entry 1's option while the option is still None; an unknown name (or
    // an entry that is not a name) leaves None.
    TqzPageDisplayOptions GetDisplayOption();
    // The numbers, read from the array once the option is known; returned as
    // they stand without an array. Owned by the destination.
    core::TqzPDRect* GetRect();
    bool GetIsRectSet() const { return FIsRectSet; }
    void SetDisplayOption(TqzPageDisplayOptions value) { FDisplayOption = value; }
    void SetPage(TqzPDPage* value) { FPage = value; }
    // Sets the rectangle's four numbers and marks it filled.
    void SetRect(double left, double top, double right, double bottom);

    // Reads `array` now, the way an action reads its /D each time: the page
    // from entry 0 in `document`, then, when entry 1 names an option, the
    // option and the numbers. An unknown name changes only the page.
    void ReadFrom(TqzPDDocument* document, const core::TqzPDArray& array);

private:
    core::TqzPDArray* GetArray() const;
    void FillRect(const core::TqzPDArray& array, TqzPageDisplayOptions option);

    TqzPDDocument* FDocument = nullptr;
    TqzPDPage* FPage = nullptr;
    bool FPageLooked = false;
    TqzPageDisplayOptions FDisplayOption = TqzPageDisplayOptions::None;
    std::unique_ptr<core::TqzPDRect> FRect;
    bool FIsRectSet = false;
};

// The page of `document` that `entry` (entry 0 of a destination array, as
// stored) refers to; none for anything but a reference to one of its pages.
TqzPDPage* DestinationPage(TqzPDDocument* document, const core::TqzPDBaseObject* entry);

// A new direct destination array of `parentDoc` (the document whose writer
// numbers the page reference): `pageEntry` (a reference to the page, or a
// remote page number), then the option's name and its numbers, Top and
// Bottom taken as `rect` holds them. None writes nothing after the page.
std::unique_ptr<core::TqzPDArray> MakeDestArray(core::TqzParentDocument* parentDoc,
                                                std::unique_ptr<core::TqzPDBaseObject> pageEntry,
                                                TqzPageDisplayOptions option, const core::TqzPDRect& rect);

// `destination` as a new direct array of its page's document whose entry 0
// refers to that page (a null object when it has none). With FromPageTop, Top and Bottom are
// converted with the page's height on a copy: the destination itself is left
// as it is, so writing it twice gives the same array.
std::unique_ptr<core::TqzPDArray> CreateDestArray(TqzPDDestination& destination, TqzDestYAxis yAxis);

// The rectangle `destination` holds, converted as CreateDestArray converts it.
core::TqzPDRect WrittenRect(TqzPDDestination& destination, TqzDestYAxis yAxis);

}  // namespace qz::document
