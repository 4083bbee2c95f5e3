#include "content/device/PDContents.h"

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "content/DecodedBytes.h"
#include "content/device/PDContentStream.h"
#include "content/device/PDExportDevice.h"
#include "content/state/PDState.h"
#include "core/Limits.h"
#include "core/MemoryStream.h"
#include "core/PDArray.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDRect.h"
#include "core/PDStream.h"
#include "document/PDBaseDoc.h"
#include "document/PDDocument.h"
#include "document/PDPage.h"

namespace qz::content {

TqzPDContents::TqzPDContents(document::TqzPDDocument* AParentDoc, core::TqzPDElement* AParentElement,
                             core::TqzPDBaseObject* ABaseObject)
    : core::TqzPDElement(AParentDoc != nullptr ? AParentDoc->GetBaseDoc() : nullptr, AParentElement, ABaseObject),
      FDocument(AParentDoc) {}

TqzPDContents::~TqzPDContents() = default;

int32_t TqzPDContents::GetStreamCount() {
    if (FBaseObject != nullptr && FBaseObject->IsArray()) {
        return static_cast<core::TqzPDArray*>(FBaseObject)->GetLength();
    }
    return 1;
}

void TqzPDContents::FillStreamList() {
    if (FListFilled) return;
    FListFilled = true;
    if (FBaseObject == nullptr) return;
    if (FBaseObject->IsArray()) {
        const auto& array = static_cast<core::TqzPDArray&>(*FBaseObject);
        for (int32_t i = 0; i < array.GetLength(); ++i) {
            core::TqzPDBaseObject* entry = array.Get(i);
            if (entry != nullptr && entry->IsStream()) {
                FContentStrmList.push_back(std::make_unique<TqzPDContentStream>(FDocument, this, entry));
            }
        }
    } else {
        FContentStrmList.push_back(std::make_unique<TqzPDContentStream>(FDocument, this, FBaseObject));
    }
}

TqzPDContentStream* TqzPDContents::GetStream(int32_t Index) {
    FillStreamList();
    // Bounded by the list: entries that are not streams are not in it.
    if (Index < 0 || Index >= static_cast<int32_t>(FContentStrmList.size())) return nullptr;
    return FContentStrmList[static_cast<size_t>(Index)].get();
}

void TqzPDContents::AddStream(std::unique_ptr<TqzPDContentStream> Stream, bool AtFirst, int32_t Index) {
    if (!Stream || FBaseObject == nullptr || FDocument == nullptr || FDocument->GetBaseDoc() == nullptr) return;
    const core::TqzPDBaseObject* object = Stream->GetBaseObject();
    if (object == nullptr || object->IsDirect()) return;
    auto reference = std::make_unique<core::TqzPDIndirectRef>(object->GetObjNumber(), object->GetGenNumber());
    // The list is filled first, so it always follows the array (an empty
    // array included).
    FillStreamList();

    if (FBaseObject->IsArray()) {
        auto& array = static_cast<core::TqzPDArray&>(*FBaseObject);
        if (Index >= 0) {
            array.Insert(std::move(reference), std::min(Index, array.GetLength()));
            const size_t at = std::min(static_cast<size_t>(Index), FContentStrmList.size());
            FContentStrmList.insert(FContentStrmList.begin() + static_cast<std::ptrdiff_t>(at), std::move(Stream));
        } else if (AtFirst) {
            array.Insert(std::move(reference), 0);
            FContentStrmList.insert(FContentStrmList.begin(), std::move(Stream));
        } else {
            array.Add(std::move(reference));
            FContentStrmList.push_back(std::move(Stream));
        }
        array.SetIsChanged(true);
        return;
    }
    if (!FBaseObject->IsStream() || FBaseObject->IsDirect()) return;

    auto* page = dynamic_cast<document::TqzPDPage*>(FParentElement);
    core::TqzPDDictionary* pageDict = page != nullptr ? page->GetDict() : nullptr;
    if (pageDict == nullptr) return;
    auto existing = std::make_unique<core::TqzPDIndirectRef>(FBaseObject->GetObjNumber(), FBaseObject->GetGenNumber());
    auto array = std::make_unique<core::TqzPDArray>(FDocument->GetBaseDoc());
    const bool first = AtFirst || Index != -1;
    if (first) {
        array->Add(std::move(reference));
        array->Add(std::move(existing));
        FContentStrmList.insert(FContentStrmList.begin(), std::move(Stream));
    } else {
        array->Add(std::move(existing));
        array->Add(std::move(reference));
        FContentStrmList.push_back(std::move(Stream));
    }
    core::TqzPDBaseObject* entered = FDocument->GetBaseDoc()->AddNewObject(std::move(array));
    entered->SetIsChanged(true);
    pageDict->SetKeyValue("Contents", std::make_unique<core::TqzPDIndirectRef>(entered->GetObjNumber(), 0));
    FBaseObject = entered;
}

std::unique_ptr<TqzPDContentStream> TqzPDContents::GetCSForRendering() {
    if (FBaseObject == nullptr || !FBaseObject->IsArray()) {
        return std::make_unique<TqzPDContentStream>(FDocument, this, FBaseObject);
    }
    const auto& array = static_cast<core::TqzPDArray&>(*FBaseObject);
    std::string joined;
    core::TqzPDStream* last = nullptr;
    for (int32_t i = 0; i < array.GetLength(); ++i) {
        core::TqzPDBaseObject* entry = array.Get(i);
        if (entry == nullptr || !entry->IsStream()) continue;  // not content
        last = static_cast<core::TqzPDStream*>(entry);
        AppendDecoded(*last, joined, core::kMaxDecodedStreamSize);
        joined.push_back('\n');
    }
    // The data is decoded already: the dictionary keeps no filter.
    std::unique_ptr<core::TqzPDDictionary> dict;
    if (last != nullptr && last->GetDict() != nullptr) {
        dict.reset(static_cast<core::TqzPDDictionary*>(last->GetDict()->Clone().release()));
        dict->Remove("Filter");
        dict->Remove("DecodeParms");
    } else {
        dict = std::make_unique<core::TqzPDDictionary>(GetParentDoc());
    }
    auto data = std::make_shared<core::TqzMemoryStream>(std::move(joined));
    FCSObjList.push_back(std::make_unique<core::TqzPDStream>(std::move(data), std::move(dict)));
    return std::make_unique<TqzPDContentStream>(FDocument, this, FCSObjList.back().get());
}

void TqzPDContents::Display(TqzPDExportDevice& ExportDev, double hDPI, double vDPI, int32_t PageNum, int32_t Rotate,
                            core::TqzPDRect* Box, core::TqzPDRect* CropBox, bool /*RenderAnnots*/) {
    std::unique_ptr<TqzPDContentStream> stream;
    try {
        stream = GetCSForRendering();
        auto owned = std::make_unique<TqzPDState>(hDPI, vDPI, Rotate, CropBox);
        TqzPDState& state = *owned;
        stream->SetOwnedState(std::move(owned));
        ExportDev.StartPage(PageNum, state);
        // A box read from the file mirrors its array and counts as valid too.
        if (CropBox != nullptr && (CropBox->GetIsValid() || CropBox->GetArray() != nullptr)) {
            state.MoveTo(CropBox->GetLeft(), CropBox->GetTop());
            state.LineTo(CropBox->GetRight(), CropBox->GetTop());
            state.LineTo(CropBox->GetRight(), CropBox->GetBottom());
            state.LineTo(CropBox->GetLeft(), CropBox->GetBottom());
            state.ClosePath();
            ExportDev.Clip(state);
            state.ClearPath();
        }
        ExportDev.SaveState(state);
        stream->Display(ExportDev, hDPI, vDPI, PageNum, Rotate, Box, CropBox);
        ExportDev.RestoreState(state);
        // The page's annotations (or signature fields) are drawn here once
        // annotations can draw their appearances.
    } catch (...) {
        ExportDev.EndPage();
        throw;
    }
    ExportDev.EndPage();
}

TqzPDContents* GetContents(document::TqzPDPage& page) {
    return dynamic_cast<TqzPDContents*>(page.GetContents());
}

}  // namespace qz::content
