#include "document/PDDestination.h"

#include <array>
#include <cmath>

#include "core/PDArray.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDNull.h"
#include "core/PDReal.h"
#include "document/DictEntries.h"
#include "document/PDBaseDoc.h"
#include "document/PDDocument.h"
#include "document/PDPage.h"

namespace qz::document {

namespace {

using core::TqzPDArray;
using core::TqzPDBaseObject;
using core::TqzPDRect;
using Option = TqzPageDisplayOptions;

constexpr std::array<std::string_view, 9> kOptionNames = {"", "XYZ", "Fit", "FitH", "FitV",
                                                          "FitR", "FitB", "FitBH", "FitBV"};

// Entry `index` as a number: a real, or an integer taken as a real. A missing
// entry, a null, any other kind and a number no arithmetic can use (a
// hostile file's infinities) count as 0.
double NumberAt(const TqzPDArray& array, int32_t index) {
    const TqzPDBaseObject* entry = array.Get(index);
    double value = 0;
    if (entry == nullptr) return 0;
    if (entry->IsReal()) value = static_cast<const core::TqzPDReal*>(entry)->GetValue();
    if (entry->IsInteger()) value = static_cast<double>(static_cast<const core::TqzPDInteger*>(entry)->GetValue());
    return std::isfinite(value) ? value : 0;
}

Option OptionAt(const TqzPDArray& array) {
    const TqzPDBaseObject* entry = array.Get(1);
    if (entry == nullptr || !entry->IsName()) return Option::None;
    return DisplayOptionFromName(static_cast<const core::TqzPDName*>(entry)->GetValue());
}

// The numbers each option carries, from entry 2 on, into Left, Top, Right,
// Bottom; the options without numbers give four zeros.
void ReadNumbers(const TqzPDArray& array, Option option, TqzPDRect& rect) {
    const double first = NumberAt(array, 2);
    switch (option) {
        case Option::FitZoom: rect.SetValues(first, NumberAt(array, 3), NumberAt(array, 4), 0); break;
        case Option::FitHeight:
        case Option::FitBoundingBoxHeight: rect.SetValues(0, first, 0, 0); break;
        case Option::FitWidth:
        case Option::FitBoundingBoxWidth: rect.SetValues(first, 0, 0, 0); break;
        case Option::FitRect:
            rect.SetValues(first, NumberAt(array, 5), NumberAt(array, 4), NumberAt(array, 3));
            break;
        case Option::FitAll:
        case Option::FitBoundingBox: rect.SetValues(0, 0, 0, 0); break;
        case Option::None: break;
    }
}

void AddReal(TqzPDArray& array, double value) { array.Add(std::make_unique<core::TqzPDReal>(value)); }

}  // namespace

std::string_view DisplayOptionName(TqzPageDisplayOptions option) {
    return NameAt(kOptionNames, static_cast<size_t>(option));
}

TqzPageDisplayOptions DisplayOptionFromName(std::string_view name) {
    return static_cast<TqzPageDisplayOptions>(NameIndex(kOptionNames, name));
}

TqzPDPage* DestinationPage(TqzPDDocument* document, const TqzPDBaseObject* entry) {
    // Only a reference names a page: a number or a direct dictionary here
    // would match whatever page shares its (absent) object number.
    if (document == nullptr || entry == nullptr || !entry->IsIndirectRef() || !document->IsLoaded()) return nullptr;
    TqzPDPage* page = document->GetPageByIndRef(const_cast<TqzPDBaseObject*>(entry));
    if (page == nullptr || page->GetBaseObject() == nullptr) return nullptr;
    return page->GetBaseObject()->GetObjNumber() == entry->GetObjNumber() ? page : nullptr;
}

TqzPDDestination::TqzPDDestination(TqzPDDocument* document, core::TqzPDElement* parentElement,
                                   TqzPDBaseObject* baseObject)
    : core::TqzPDElement(document != nullptr ? document->GetBaseDoc() : nullptr, parentElement, baseObject),
      FDocument(document),
      FRect(std::make_unique<TqzPDRect>()) {}

TqzPDDestination::TqzPDDestination(TqzPDDocument* document, TqzPDPage* page, TqzPageDisplayOptions displayOption,
                                   const TqzPDRect* rect)
    : core::TqzPDElement(document != nullptr ? document->GetBaseDoc() : nullptr, nullptr, nullptr),
      FDocument(document),
      FPage(page),
      FPageLooked(true),
      FDisplayOption(displayOption),
      FRect(std::make_unique<TqzPDRect>()) {
    if (rect != nullptr) SetRect(rect->GetLeft(), rect->GetTop(), rect->GetRight(), rect->GetBottom());
}

TqzPDDestination::TqzPDDestination()
    : core::TqzPDElement(nullptr, nullptr, nullptr), FPageLooked(true), FRect(std::make_unique<TqzPDRect>()) {}

TqzPDDestination::~TqzPDDestination() = default;

TqzPDArray* TqzPDDestination::GetArray() const {
    return FBaseObject != nullptr && FBaseObject->IsArray() ? static_cast<TqzPDArray*>(FBaseObject) : nullptr;
}

TqzPDPage* TqzPDDestination::GetPage() {
    if (!FPageLooked && FPage == nullptr) {
        FPageLooked = true;
        if (const TqzPDArray* array = GetArray()) FPage = DestinationPage(FDocument, array->GetRefObj(0));
    }
    return FPage;
}

TqzPageDisplayOptions TqzPDDestination::GetDisplayOption() {
    if (FDisplayOption == Option::None) {
        if (const TqzPDArray* array = GetArray()) FDisplayOption = OptionAt(*array);
    }
    return FDisplayOption;
}

TqzPDRect* TqzPDDestination::GetRect() {
    if (!FIsRectSet) {
        if (const TqzPDArray* array = GetArray()) FillRect(*array, GetDisplayOption());
    }
    return FRect.get();
}

void TqzPDDestination::FillRect(const TqzPDArray& array, TqzPageDisplayOptions option) {
    ReadNumbers(array, option, *FRect);
    FIsRectSet = true;
}

void TqzPDDestination::SetRect(double left, double top, double right, double bottom) {
    FRect->SetValues(left, top, right, bottom);
    FIsRectSet = true;
}

void TqzPDDestination::ReadFrom(TqzPDDocument* document, const TqzPDArray& array) {
    FPage = DestinationPage(document, array.GetRefObj(0));
    FPageLooked = true;
    const Option option = OptionAt(array);
    if (option == Option::None) return;
    FDisplayOption = option;
    FillRect(array, option);
}

std::unique_ptr<TqzPDArray> MakeDestArray(core::TqzParentDocument* parentDoc,
                                          std::unique_ptr<TqzPDBaseObject> pageEntry, TqzPageDisplayOptions option,
                                          const TqzPDRect& rect) {
    auto array = std::make_unique<TqzPDArray>(parentDoc);
    array->Add(pageEntry != nullptr ? std::move(pageEntry) : std::make_unique<core::TqzPDNull>());
    if (option == Option::None) return array;
    array->Add(std::make_unique<core::TqzPDName>(DisplayOptionName(option)));
    switch (option) {
        case Option::FitZoom:
            for (double value : {rect.GetLeft(), rect.GetTop(), rect.GetRight()}) AddReal(*array, value);
            break;
        case Option::FitHeight:
        case Option::FitBoundingBoxHeight: AddReal(*array, rect.GetTop()); break;
        case Option::FitWidth:
        case Option::FitBoundingBoxWidth: AddReal(*array, rect.GetLeft()); break;
        case Option::FitRect:
            for (double value : {rect.GetLeft(), rect.GetBottom(), rect.GetRight(), rect.GetTop()}) {
                AddReal(*array, value);
            }
            break;
        case Option::FitAll:
        case Option::FitBoundingBox:
        case Option::None: break;
    }
    return array;
}

TqzPDRect WrittenRect(TqzPDDestination& destination, TqzDestYAxis yAxis) {
    const TqzPDRect* held = destination.GetRect();
    TqzPDRect rect(held->GetLeft(), held->GetTop(), held->GetRight(), held->GetBottom());
    TqzPDPage* page = destination.GetPage();
    if (yAxis == TqzDestYAxis::FromPageTop && page != nullptr) {
        const double height = page->GetPageHeight();
        rect.SetTop(height - rect.GetTop());
        rect.SetBottom(height - rect.GetBottom());
    }
    return rect;
}

std::unique_ptr<TqzPDArray> CreateDestArray(TqzPDDestination& destination, TqzDestYAxis yAxis) {
    std::unique_ptr<TqzPDBaseObject> pageEntry;
    core::TqzParentDocument* parentDoc = nullptr;
    if (TqzPDPage* page = destination.GetPage(); page != nullptr && page->GetBaseObject() != nullptr) {
        const TqzPDBaseObject* pageObject = page->GetBaseObject();
        pageEntry = std::make_unique<core::TqzPDIndirectRef>(pageObject->GetObjNumber(), pageObject->GetGenNumber());
        parentDoc = page->GetParentDoc();
    }
    return MakeDestArray(parentDoc, std::move(pageEntry), destination.GetDisplayOption(),
                         WrittenRect(destination, yAxis));
}

}  // namespace qz::document
