#include "core/PDArray.h"

#include <algorithm>

#include "core/PDBoolean.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDNull.h"
#include "core/PDReal.h"
#include "core/PDStream.h"
#include "core/PDString.h"
#include "core/ParentDocument.h"
#include "core/SaveContext.h"

namespace qz::core {

TqzPDArray::TqzPDArray(TqzParentDocument* parentDoc, uint32_t objNumber, uint32_t genNumber)
    : TqzPDBaseObject(objNumber, genNumber), FArray(std::make_shared<TqzArray>(parentDoc)) {}

TqzPDArray::TqzPDArray(std::shared_ptr<TqzArray> array, uint32_t objNumber, uint32_t genNumber)
    : TqzPDBaseObject(objNumber, genNumber), FArray(array ? std::move(array) : std::make_shared<TqzArray>()) {}

TqzPDBaseObject* TqzPDArray::GetRefObj(int32_t index) const {
    const auto& elements = FArray->Elements();
    if (index < 0 || static_cast<size_t>(index) >= elements.size()) return nullptr;
    return elements[static_cast<size_t>(index)].get();
}

TqzPDBaseObject* TqzPDArray::Get(int32_t index) const {
    TqzPDBaseObject* element = GetRefObj(index);
    if (element && element->IsIndirectRef() && GetParentDoc()) {
        return GetParentDoc()->GetObject(element->GetObjNumber());
    }
    return element;
}

std::unique_ptr<TqzPDBaseObject> TqzPDArray::GetClone(int32_t index) const {
    const TqzPDBaseObject* element = Get(index);
    return element ? element->Clone() : std::make_unique<TqzPDNull>();
}

std::unique_ptr<TqzPDBaseObject> TqzPDArray::GetRefObjClone(int32_t index) const {
    const TqzPDBaseObject* element = GetRefObj(index);
    return element ? element->Clone() : std::make_unique<TqzPDNull>();
}

void TqzPDArray::Add(std::unique_ptr<TqzPDBaseObject> element) {
    if (element) FArray->Elements().push_back(std::move(element));
    SetIsChanged(true);
}

void TqzPDArray::Insert(std::unique_ptr<TqzPDBaseObject> element, int32_t index) {
    auto& elements = FArray->Elements();
    if (element) {
        const auto at = static_cast<size_t>(std::clamp<int64_t>(index, 0, static_cast<int64_t>(elements.size())));
        elements.insert(elements.begin() + static_cast<std::ptrdiff_t>(at), std::move(element));
    }
    SetIsChanged(true);
}

void TqzPDArray::Remove(int32_t index) {
    auto& elements = FArray->Elements();
    if (index >= 0 && static_cast<size_t>(index) < elements.size()) {
        std::vector<std::unique_ptr<TqzPDBaseObject>> removed;
        removed.push_back(std::move(elements[static_cast<size_t>(index)]));
        elements.erase(elements.begin() + index);
        DestroyObjects(removed);
    }
    SetIsChanged(true);
}

void TqzPDArray::SetValue(std::unique_ptr<TqzPDBaseObject> element, int32_t index) {
    auto& elements = FArray->Elements();
    if (!element || index < 0 || static_cast<size_t>(index) >= elements.size()) return;
    std::vector<std::unique_ptr<TqzPDBaseObject>> removed;
    removed.push_back(std::move(elements[static_cast<size_t>(index)]));
    elements[static_cast<size_t>(index)] = std::move(element);
    DestroyObjects(removed);
}

void TqzPDArray::GetIndirectRefs(std::vector<TqzPDIndirectRef*>& list) const { CollectIndirectRefs(*this, list); }

std::unique_ptr<TqzPDBaseObject> TqzPDArray::Clone() const {
    auto copy = std::make_unique<TqzPDArray>(FArray, FObjNumber, FGenNumber);
    copy->FIsChanged = FIsChanged;
    return copy;
}

void TqzPDArray::Assign(const TqzPDBaseObject& source) {
    TqzPDBaseObject::Assign(source);
    const auto* array = dynamic_cast<const TqzPDArray*>(&source);
    if (!array) return;
    TqzNestingGuard guard;
    // By index over the length at the start: the source may share this body.
    const int32_t count = array->GetLength();
    for (int32_t i = 0; i < count; ++i) {
        auto copy = CopyByKind(*array->GetRefObj(i), GetParentDoc());
        FArray->Elements().push_back(std::move(copy));
    }
}

void TqzPDArray::MoveChildrenTo(std::vector<std::unique_ptr<TqzPDBaseObject>>& out) {
    if (FArray.use_count() != 1) return;
    for (auto& element : FArray->Elements()) out.push_back(std::move(element));
    FArray->Elements().clear();
}

TqzSaveStep TqzPDArray::SaveStep(TqzSaveContext& context, TqzSaveFrame& frame) {
    TqzParentDocument* doc = GetParentDoc();
    const bool plain = frame.Mode == TqzSaveMode::Plain;
    switch (frame.Phase) {
        case 0:
            if (!IsDirect()) {
                frame.RememberedNumber = FObjNumber;
                FObjNumber = context.TakeNewNumber();
                FGenNumber = 0;
                FIsWritten = true;
            }
            if (doc) GetIndirectRefs(frame.Refs);
            frame.Phase = 1;
            [[fallthrough]];
        case 1:
            if (doc && SaveTargets(context, frame, *doc, *this, ChildValidNumber(), false, *this) ==
                           TqzSaveStep::Child) {
                return TqzSaveStep::Child;
            }
            // An unchanged array does not give back the number it took.
            if (!OpenContainer(context, frame, *this, false, "[ ")) return TqzSaveStep::Done;
            [[fallthrough]];
        default:
            break;
    }
    if (frame.Pending) {
        context.Write(" ");
        frame.Pending = nullptr;
    }
    const bool encrypts = !plain && doc && doc->EncryptsOutput();
    while (frame.Index < static_cast<size_t>(GetLength())) {
        TqzPDBaseObject& element = *GetRefObj(static_cast<int32_t>(frame.Index++));
        // A token left by malformed input is no value: it is not written.
        if (element.IsToken()) continue;
        if (FIsChanged) element.SetIsChanged(true);
        if (element.IsIndirectRef()) {
            WriteReference(context, static_cast<const TqzPDIndirectRef&>(element), doc);
        } else if (element.IsString() && encrypts) {
            WriteEncryptedString(context, static_cast<TqzPDString&>(element), *this, *doc);
        } else {
            if (!plain) element.SetValidObjectNumber(ChildValidNumber());
            if (element.IsArray() || element.IsDict() || element.IsStream()) {
                frame.Pending = &element;
                context.Schedule(element, frame.Mode);
                return TqzSaveStep::Child;
            }
            context.SaveScalar(element);
        }
        context.Write(" ");
    }
    context.Write(IsDirect() ? "]" : "]\r\nendobj\r\n");
    return TqzSaveStep::Done;
}

void CollectIndirectRefs(const TqzPDBaseObject& root, std::vector<TqzPDIndirectRef*>& list) {
    // Depth first in element order, on an explicit stack of children still to
    // visit (pushed in reverse so the first comes off first).
    std::vector<TqzPDBaseObject*> pending;
    const auto pushChildren = [&pending](const TqzPDBaseObject& container) {
        if (const auto* array = dynamic_cast<const TqzPDArray*>(&container)) {
            const auto& elements = array->GetArray()->Elements();
            for (auto it = elements.rbegin(); it != elements.rend(); ++it) pending.push_back(it->get());
        } else if (const auto* dict = dynamic_cast<const TqzPDDictionary*>(&container)) {
            const auto& entries = dict->GetDict()->Entries();
            for (auto it = entries.rbegin(); it != entries.rend(); ++it) pending.push_back(it->second.get());
        }
    };
    pushChildren(root);
    while (!pending.empty()) {
        TqzPDBaseObject* object = pending.back();
        pending.pop_back();
        if (!object) continue;
        if (object->IsIndirectRef()) {
            list.push_back(static_cast<TqzPDIndirectRef*>(object));
        } else if ((object->IsArray() || object->IsDict()) && object->IsDirect() && object != &root) {
            pushChildren(*object);
        }
    }
}

std::unique_ptr<TqzPDBaseObject> CopyByKind(const TqzPDBaseObject& source, TqzParentDocument* parentDoc) {
    std::unique_ptr<TqzPDBaseObject> copy;
    if (source.IsBoolean()) {
        copy = std::make_unique<TqzPDBoolean>(false);
    } else if (source.IsInteger()) {
        copy = std::make_unique<TqzPDInteger>(0);
    } else if (source.IsReal()) {
        copy = std::make_unique<TqzPDReal>(0.0);
    } else if (source.IsString()) {
        // The hexadecimal flag is kept: digit text written as a literal
        // string would change the string's bytes.
        copy = std::make_unique<TqzPDString>(std::string(),
                                             static_cast<const TqzPDString&>(source).IsHexString());
    } else if (source.IsName()) {
        copy = std::make_unique<TqzPDName>(std::string_view());
    } else if (source.IsIndirectRef()) {
        copy = std::make_unique<TqzPDIndirectRef>(kDirectObject, kDirectObject);
    } else if (source.IsArray()) {
        copy = std::make_unique<TqzPDArray>(parentDoc);
    } else if (source.IsDict()) {
        copy = std::make_unique<TqzPDDictionary>(parentDoc);
    } else if (source.IsStream()) {
        copy = std::make_unique<TqzPDStream>(parentDoc);
    } else {
        // Null, and tokens that malformed input left in a container.
        return std::make_unique<TqzPDNull>();
    }
    copy->Assign(source);
    return copy;
}

}  // namespace qz::core
