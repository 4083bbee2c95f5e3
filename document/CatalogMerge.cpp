#include "document/CatalogMerge.h"

#include <algorithm>
#include <limits>

#include "core/PDArray.h"
#include "core/PDBoolean.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDInteger.h"
#include "core/PDName.h"
#include "core/PDString.h"
#include "document/ObjectCopy.h"
#include "document/PDBaseDoc.h"
#include "document/PDDocument.h"
#include "document/PDPage.h"

namespace qz::document {

using core::TqzPDArray;
using core::TqzPDBaseObject;
using core::TqzPDDictionary;

namespace {

// The byte-order mark of a UTF-16 text string.
constexpr std::string_view kUtf16Mark = "\xFE\xFF";

TqzPDDictionary* AsDict(TqzPDBaseObject* object) {
    return object && object->IsDict() ? static_cast<TqzPDDictionary*>(object) : nullptr;
}

TqzPDArray* AsArray(TqzPDBaseObject* object) {
    return object && object->IsArray() ? static_cast<TqzPDArray*>(object) : nullptr;
}

TqzPDDictionary& CatalogOf(TqzPDDocument& document) {
    return *document.GetBaseDoc()->GetDocRoot();
}

core::TqzParentDocument* DocOf(TqzPDDocument& document) {
    return document.GetBaseDoc();
}

// The dictionary `parent` holds under `key`, made (direct) where there is
// none: a value of another kind is of no use to any reader.
TqzPDDictionary& DictEntry(TqzPDDictionary& parent, std::string_view key,
                           core::TqzParentDocument* doc) {
    if (TqzPDDictionary* dict = AsDict(parent.LookUp(key))) return *dict;
    auto made = std::make_unique<TqzPDDictionary>(doc);
    TqzPDDictionary& result = *made;
    parent.SetKeyValue(key, std::move(made));
    return result;
}

TqzPDArray& ArrayEntry(TqzPDDictionary& parent, std::string_view key,
                       core::TqzParentDocument* doc) {
    if (TqzPDArray* array = AsArray(parent.LookUp(key))) return *array;
    auto made = std::make_unique<TqzPDArray>(doc);
    TqzPDArray& result = *made;
    parent.SetKeyValue(key, std::move(made));
    return result;
}

std::unique_ptr<TqzPDBaseObject> Reference(uint32_t number) {
    return std::make_unique<core::TqzPDIndirectRef>(number, 0);
}

// The text of a string or name, "" for anything else.
std::string TextOf(const TqzPDBaseObject* object) {
    return NameText(object).value_or(std::string());
}

bool SameValue(const TqzPDBaseObject* a, const TqzPDBaseObject* b) {
    if (!a || !b) return a == b;
    if (a->IsInteger() && b->IsInteger()) {
        return static_cast<const core::TqzPDInteger*>(a)->GetValue() ==
               static_cast<const core::TqzPDInteger*>(b)->GetValue();
    }
    return (a->IsString() || a->IsName()) && (b->IsString() || b->IsName()) &&
           TextOf(a) == TextOf(b);
}

// The object numbers of the references an array holds.
std::unordered_set<uint32_t> ReferencedNumbers(const TqzPDArray* array) {
    std::unordered_set<uint32_t> numbers;
    for (int32_t i = 0; array && i < array->GetLength(); ++i) {
        if (array->GetRefObj(i)->IsIndirectRef())
            numbers.insert(array->GetRefObj(i)->GetObjNumber());
    }
    return numbers;
}

// A copy of the source's array `array` (resolved), or none for anything
// else. Copied before the target is touched: for a document inserted into
// itself the array may be the very entry about to be replaced.
std::unique_ptr<TqzPDBaseObject> CopyArray(TqzObjectCopier& copier, const TqzPDBaseObject* array) {
    return array && array->IsArray() ? copier.Copy(*array) : nullptr;
}

// Moves the elements of `from` (a copy just made) to the end of `to`.
void AppendElements(TqzPDArray& to, std::unique_ptr<TqzPDBaseObject> from) {
    if (!from || !from->IsArray()) return;
    for (auto& element : static_cast<TqzPDArray&>(*from).GetArray()->Elements())
        to.Add(std::move(element));
}

// ---- form fields ----

// The field at the top of a widget's /Parent chain.
TqzPDDictionary& TopField(TqzPDDictionary& widget) {
    TqzPDDictionary* field = &widget;
    std::unordered_set<const TqzPDBaseObject*> seen{field};
    for (int32_t depth = 0; depth < kMaxFieldDepth; ++depth) {
        TqzPDDictionary* parent = AsDict(field->LookUp("Parent"));
        if (!parent || !seen.insert(parent).second) break;
        field = parent;
    }
    return *field;
}

// The widgets of a page's /Annots, each an indirect object: one stored
// inside the array gets a number of its own, so that a form can list it.
std::vector<TqzPDDictionary*> WidgetsOf(TqzPDDictionary& page, TqzPDBaseDoc& baseDoc) {
    std::vector<TqzPDDictionary*> widgets;
    TqzPDArray* annots = AsArray(page.LookUp("Annots"));
    if (!annots) return widgets;
    for (auto& element : annots->GetArray()->Elements()) {
        TqzPDBaseObject* annot =
            element->IsIndirectRef() ? baseDoc.GetObject(element->GetObjNumber()) : element.get();
        TqzPDDictionary* dict = AsDict(annot);
        const TqzPDBaseObject* subtype = dict ? dict->LookUp("Subtype") : nullptr;
        // Only widgets belong to fields; links, notes and pop-ups do not.
        if (!subtype || !subtype->IsName("Widget")) continue;
        if (!element->IsIndirectRef()) {
            TqzPDBaseObject* entered = baseDoc.AddNewObject(std::move(element));
            element = Reference(entered->GetObjNumber());
            dict = static_cast<TqzPDDictionary*>(entered);
        }
        widgets.push_back(dict);
    }
    return widgets;
}

// The target's form, made when it has none.
TqzPDDictionary& TargetForm(TqzPDDocument& target) {
    TqzPDDictionary& catalog = CatalogOf(target);
    if (TqzPDDictionary* form = AsDict(catalog.LookUp("AcroForm"))) return *form;
    auto made = std::make_unique<TqzPDDictionary>(DocOf(target));
    made->Add("NeedAppearances", std::make_unique<core::TqzPDBoolean>(false));
    TqzPDDictionary& form = *made;
    catalog.SetKeyValue("AcroForm", std::move(made));
    return form;
}

TqzPDDictionary* FormOf(TqzPDDocument& document) {
    return AsDict(CatalogOf(document).LookUp("AcroForm"));
}

// The inheritable defaults of the source's form for the fields it brings.
void CarryFormDefaults(TqzPDDictionary& form, const TqzPDDictionary& sourceForm,
                       TqzObjectCopier& copier, const std::vector<TqzPDDictionary*>& joined) {
    for (const char* key : {"DA", "Q"}) {
        const TqzPDBaseObject* stored = sourceForm.LookupRefObj(key);
        if (!stored) continue;
        const TqzPDBaseObject* own = form.LookUp(key);
        if (!own) {
            if (auto copy = copier.Copy(*stored)) form.Add(key, std::move(copy));
            continue;
        }
        if (SameValue(own, sourceForm.LookUp(key))) continue;
        // The target's form says otherwise: the fields keep the source's.
        for (TqzPDDictionary* field : joined) {
            if (field->LookupRefObj(key)) continue;
            if (auto copy = copier.Copy(*stored)) field->Add(key, std::move(copy));
        }
    }
    // Fields computed from others keep their order of calculation.
    if (auto order = CopyArray(copier, sourceForm.LookUp("CO"))) {
        AppendElements(ArrayEntry(form, "CO", form.GetParentDoc()), std::move(order));
    }
    const TqzPDDictionary* resources = AsDict(sourceForm.LookUp("DR"));
    if (!resources) return;
    TqzPDDictionary& target = DictEntry(form, "DR", form.GetParentDoc());
    for (int32_t i = 0; i < resources->GetLength(); ++i) {
        const std::string category = resources->GetKey(i);
        if (!target.LookupRefObj(category)) {
            if (auto copy = copier.Copy(*resources->GetValueRefObj(i)))
                target.Add(category, std::move(copy));
            continue;
        }
        const TqzPDDictionary* entries = AsDict(resources->GetValue(i));
        TqzPDDictionary* into = AsDict(target.LookUp(category));
        if (!entries || !into) continue;
        for (int32_t k = 0; k < entries->GetLength(); ++k) {
            const std::string name = entries->GetKey(k);
            if (into->LookupRefObj(name)) continue;  // the target's own stays
            if (auto copy = copier.Copy(*entries->GetValueRefObj(k)))
                into->Add(name, std::move(copy));
        }
    }
}

}  // namespace

namespace {

// `base` followed by "_" and `n`, in UTF-16 when `base` is.
std::string Suffixed(const std::string& base, size_t n) {
    const bool utf16 = base.compare(0, kUtf16Mark.size(), kUtf16Mark) == 0;
    const std::string suffix = "_" + std::to_string(n);
    std::string candidate = base;
    for (const char c : suffix) {
        if (utf16) candidate.push_back('\0');
        candidate.push_back(c);
    }
    return candidate;
}

// Moves `added` into `document`'s name tree `key`, after its own entries.
void AppendToNameTree(TqzPDDocument& document, std::string_view key, TqzOwnedNameEntries added) {
    if (added.empty()) return;
    TqzPDDictionary& names = DictEntry(CatalogOf(document), "Names", DocOf(document));
    auto all = TakeNameTree(names.LookUp(key));
    for (auto& entry : added) all.push_back(std::move(entry));
    names.SetKeyValue(key, MakeNameTree(std::move(all), *document.GetBaseDoc()));
}

}  // namespace

std::string UniqueName(const std::string& base, const std::unordered_set<std::string>& taken) {
    // One of the first taken.size() + 1 suffixes is free.
    for (size_t n = 1;; ++n) {
        std::string candidate = Suffixed(base, n);
        if (taken.count(candidate) == 0) return candidate;
    }
}

std::string TqzNameSet::Take(const std::string& name) {
    if (FTaken.insert(name).second) return name;
    size_t& next = FNextSuffix[name];
    for (size_t n = std::max<size_t>(next, 1);; ++n) {
        std::string candidate = Suffixed(name, n);
        if (FTaken.insert(candidate).second) {
            next = n + 1;
            return candidate;
        }
    }
}

void WriteMergedNames(TqzPDDocument& document) {
    if (!document.HasMergedNames()) return;
    TqzMergedNames& merged = document.GetMergedNames();
    if (document.IsLoaded()) {
        AppendToNameTree(document, "Dests", std::move(merged.AddedDestinations));
        AppendToNameTree(document, "EmbeddedFiles", std::move(merged.AddedFiles));
    }
    document.ForgetMergedNames();
}

void JoinFormFields(TqzPDDocument& target, TqzPDDocument& source, TqzObjectCopier& copier,
                    const std::vector<TqzPDDictionary*>& pages) {
    if (!target.IsLoaded()) return;
    TqzPDBaseDoc& baseDoc = *target.GetBaseDoc();
    std::vector<TqzPDDictionary*> tops;
    std::unordered_set<const TqzPDDictionary*> seen;
    for (TqzPDDictionary* page : pages) {
        if (!page) continue;
        for (TqzPDDictionary* widget : WidgetsOf(*page, baseDoc)) {
            TqzPDDictionary& top = TopField(*widget);
            // A field stored inside another object cannot be listed.
            if (top.IsDirect() || !seen.insert(&top).second) continue;
            tops.push_back(&top);
        }
    }
    if (tops.empty()) return;

    TqzPDDictionary& form = TargetForm(target);
    TqzPDArray& fields = ArrayEntry(form, "Fields", DocOf(target));
    // Outside a batch the form is read afresh: nothing is kept that code
    // changing /Fields between insertions would leave stale.
    TqzMergedNames fresh;
    TqzMergedNames& merged = target.InMergeBatch() ? target.GetMergedNames() : fresh;
    if (!merged.FieldsRead) {
        merged.FieldsRead = true;
        merged.ListedFields = ReferencedNumbers(&fields);
        for (int32_t i = 0; i < fields.GetLength(); ++i) {
            if (const TqzPDDictionary* field = AsDict(fields.Get(i))) {
                if (const TqzPDBaseObject* name = field->LookUp("T")) merged.FieldNames.Add(TextOf(name));
            }
        }
    }
    std::vector<TqzPDDictionary*> joined;
    for (TqzPDDictionary* top : tops) {
        if (!merged.ListedFields.insert(top->GetObjNumber()).second) continue;
        const TqzPDBaseObject* name = top->LookUp("T");
        if (name && (name->IsString() || name->IsName())) {
            const std::string text = TextOf(name);
            // Fields are told apart by their full names: two top fields of
            // one name would share one value.
            const std::string unique = merged.FieldNames.Take(text);
            if (unique != text) top->SetKeyValue("T", std::make_unique<core::TqzPDString>(unique, false));
        }
        fields.Add(Reference(top->GetObjNumber()));
        joined.push_back(top);
    }
    form.SetIsChanged(true);
    if (joined.empty() || !source.IsLoaded()) return;
    if (const TqzPDDictionary* sourceForm = FormOf(source))
        CarryFormDefaults(form, *sourceForm, copier, joined);
}

// ---- TqzCatalogMerge ----

TqzCatalogMerge::TqzCatalogMerge(TqzPDDocument& target, TqzPDDocument& source,
                                 TqzObjectCopier& copier)
    : FTarget(target), FSource(source), FCopier(copier) {}

void TqzCatalogMerge::PlanDestinationNames() {
    if (!FTarget.IsLoaded() || !FSource.IsLoaded()) return;
    TqzPDDictionary& sourceCatalog = CatalogOf(FSource);
    if (TqzPDDictionary* names = AsDict(sourceCatalog.LookUp("Names"))) {
        FSourceTreeNames = ReadNameTree(names->LookUp("Dests"));
    }
    if (TqzPDDictionary* dests = AsDict(sourceCatalog.LookUp("Dests"))) {
        for (int32_t i = 0; i < dests->GetLength(); ++i) {
            FSourceDictNames.push_back({dests->GetKey(i), dests->GetValueRefObj(i)});
        }
    }
    if (FSourceTreeNames.empty() && FSourceDictNames.empty()) return;

    TqzMergedNames& merged = FTarget.GetMergedNames();
    if (!merged.DestinationsRead) {
        merged.DestinationsRead = true;
        TqzPDDictionary& targetCatalog = CatalogOf(FTarget);
        if (TqzPDDictionary* names = AsDict(targetCatalog.LookUp("Names"))) {
            for (const TqzNameTreeEntry& entry : ReadNameTree(names->LookUp("Dests")))
                merged.Destinations.Add(entry.Key);
        }
        if (TqzPDDictionary* dests = AsDict(targetCatalog.LookUp("Dests"))) {
            for (int32_t i = 0; i < dests->GetLength(); ++i) merged.Destinations.Add(dests->GetKey(i));
        }
    }
    std::unordered_map<std::string, TqzObjectCopier::DestinationName> plan;
    for (const auto* list : {&FSourceTreeNames, &FSourceDictNames}) {
        for (const TqzNameTreeEntry& entry : *list) {
            if (FTargetNames.count(entry.Key) != 0) continue;
            const std::string name = merged.Destinations.Take(entry.Key);
            FTargetNames.emplace(entry.Key, name);
            plan.emplace(entry.Key, TqzObjectCopier::DestinationName{name, entry.Value});
        }
    }
    FCopier.SetDestinationNames(std::move(plan));
}

void TqzCatalogMerge::MergeNamedDestinations() {
    if (FTargetNames.empty()) return;
    TqzPDDictionary& catalog = CatalogOf(FTarget);
    // Each name once, with the value the copier resolved it to; written into
    // the tree once, by the save (WriteMergedNames).
    TqzMergedNames& merged = FTarget.GetMergedNames();
    std::unordered_set<std::string> done;
    for (const TqzNameTreeEntry& entry : FSourceTreeNames) {
        if (!entry.Value || !done.insert(entry.Key).second) continue;
        if (auto copy = FCopier.CopyDestination(*entry.Value))
            merged.AddedDestinations.emplace_back(FTargetNames[entry.Key], std::move(copy));
    }
    done.clear();
    for (const TqzNameTreeEntry& entry : FSourceDictNames) {
        if (!entry.Value || !done.insert(entry.Key).second) continue;
        if (auto copy = FCopier.CopyDestination(*entry.Value)) {
            DictEntry(catalog, "Dests", DocOf(FTarget))
                .Add(FTargetNames[entry.Key], std::move(copy));
        }
    }
}

void TqzCatalogMerge::MergeEmbeddedFiles() {
    // A document inserted into itself already has its files.
    if (&FTarget == &FSource || !FTarget.IsLoaded() || !FSource.IsLoaded()) return;
    TqzPDDictionary* sourceNames = AsDict(CatalogOf(FSource).LookUp("Names"));
    const std::vector<TqzNameTreeEntry> files =
        ReadNameTree(sourceNames ? sourceNames->LookUp("EmbeddedFiles") : nullptr);
    if (files.empty()) return;
    TqzMergedNames& merged = FTarget.GetMergedNames();
    if (!merged.FilesRead) {
        merged.FilesRead = true;
        if (TqzPDDictionary* names = AsDict(CatalogOf(FTarget).LookUp("Names"))) {
            for (const TqzNameTreeEntry& entry : ReadNameTree(names->LookUp("EmbeddedFiles")))
                merged.Files.Add(entry.Key);
        }
    }
    for (const TqzNameTreeEntry& entry : files) {
        if (!entry.Value) continue;
        auto copy = FCopier.Copy(*entry.Value);
        if (!copy) continue;
        // Written into the tree once, by the save (WriteMergedNames).
        merged.AddedFiles.emplace_back(merged.Files.Take(entry.Key), std::move(copy));
    }
}

void TqzCatalogMerge::MergeOptionalContent() {
    if (!FTarget.IsLoaded() || !FSource.IsLoaded()) return;
    const TqzPDDictionary* properties = AsDict(CatalogOf(FSource).LookUp("OCProperties"));
    const TqzPDArray* listed = properties ? AsArray(properties->LookUp("OCGs")) : nullptr;
    // Taken before anything is added: a document inserted into itself adds
    // to this very list.
    std::vector<uint32_t> groups;
    for (int32_t i = 0; listed && i < listed->GetLength(); ++i) {
        // A group is named by reference only.
        if (listed->GetRefObj(i)->IsIndirectRef())
            groups.push_back(listed->GetRefObj(i)->GetObjNumber());
    }
    if (groups.empty()) return;
    const TqzPDDictionary* config = AsDict(properties->LookUp("D"));
    const TqzPDBaseObject* baseState = config ? config->LookUp("BaseState") : nullptr;
    const bool offByDefault = baseState && baseState->IsName("OFF");
    const std::unordered_set<uint32_t> on =
        ReferencedNumbers(config ? AsArray(config->LookUp("ON")) : nullptr);
    const std::unordered_set<uint32_t> off =
        ReferencedNumbers(config ? AsArray(config->LookUp("OFF")) : nullptr);

    core::TqzParentDocument* doc = DocOf(FTarget);
    TqzPDDictionary& targetProperties = DictEntry(CatalogOf(FTarget), "OCProperties", doc);
    TqzPDArray& targetGroups = ArrayEntry(targetProperties, "OCGs", doc);
    TqzPDDictionary& targetConfig = DictEntry(targetProperties, "D", doc);
    std::unordered_set<uint32_t> present = ReferencedNumbers(&targetGroups);
    const bool targetHadGroups = !present.empty();
    std::vector<uint32_t> copied;
    for (const uint32_t group : groups) {
        auto copy = FCopier.Copy(core::TqzPDIndirectRef(group, 0));
        if (!copy || !present.insert(copy->GetObjNumber()).second) continue;
        const uint32_t number = copy->GetObjNumber();
        targetGroups.Add(std::move(copy));
        copied.push_back(number);
        // Stated explicitly, whatever the target's base state: a group shows
        // by default exactly when it did in its source.
        const bool visible = on.count(group) != 0 || (!offByDefault && off.count(group) == 0);
        ArrayEntry(targetConfig, visible ? "ON" : "OFF", doc).Add(Reference(number));
    }
    if (copied.empty()) return;

    std::unique_ptr<TqzPDBaseObject> order = CopyArray(FCopier, config ? config->LookUp("Order") : nullptr);
    TqzPDArray* targetOrder = AsArray(targetConfig.LookUp("Order"));
    if (order || targetOrder) {
        if (!targetOrder) {
            // Listed from now on: the target's groups keep their place first.
            auto made = std::make_unique<TqzPDArray>(doc);
            if (targetHadGroups) {
                for (int32_t i = 0; i < targetGroups.GetLength(); ++i) {
                    const TqzPDBaseObject* stored = targetGroups.GetRefObj(i);
                    const bool isCopy = std::find(copied.begin(), copied.end(),
                                                  stored->GetObjNumber()) != copied.end();
                    if (stored->IsIndirectRef() && !isCopy)
                        made->Add(Reference(stored->GetObjNumber()));
                }
            }
            targetOrder = made.get();
            targetConfig.SetKeyValue("Order", std::move(made));
        }
        if (order) {
            AppendElements(*targetOrder, std::move(order));
        } else {
            for (uint32_t number : copied) targetOrder->Add(Reference(number));
        }
    }
    for (const char* key : {"RBGroups", "Locked", "AS"}) {
        if (auto copy = CopyArray(FCopier, config ? config->LookUp(key) : nullptr))
            AppendElements(ArrayEntry(targetConfig, key, doc), std::move(copy));
    }
}

// ---- page labels ----

std::unique_ptr<TqzPDDictionary> TqzCatalogMerge::LabelFor(const LabelRange& range, int64_t pagesIn,
                                                           bool fromSource) {
    TqzPDBaseDoc& targetDoc = *FTarget.GetBaseDoc();
    auto label =
        std::make_unique<TqzPDDictionary>(static_cast<core::TqzParentDocument*>(&targetDoc));
    const TqzPDBaseObject* value = range.Value;
    if (value && value->IsIndirectRef()) {
        TqzPDBaseDoc& from = fromSource ? *FSource.GetBaseDoc() : targetDoc;
        value = from.GetObject(value->GetObjNumber());
    }
    const auto* dict =
        value && value->IsDict() ? static_cast<const TqzPDDictionary*>(value) : nullptr;
    int64_t start = 1;
    if (dict) {
        for (int32_t i = 0; i < dict->GetLength(); ++i) {
            const std::string key = dict->GetKey(i);
            const TqzPDBaseObject* stored = dict->GetValueRefObj(i);
            if (key == "St") {
                const TqzPDBaseObject* first = dict->GetValue(i);
                if (first && first->IsInteger())
                    start = static_cast<const core::TqzPDInteger*>(first)->GetValue();
                continue;
            }
            auto copy = fromSource ? FCopier.Copy(*stored) : core::CopyByKind(*stored, &targetDoc);
            if (copy) label->Add(key, std::move(copy));
        }
    } else {
        label->Add("S", std::make_unique<core::TqzPDName>("D"));
    }
    // Offsets count pages, so they fit; a first number from the file as
    // large as the integer range is kept rather than overflowed.
    const int64_t moved = range.Offset + pagesIn;
    const int64_t number =
        start <= std::numeric_limits<int64_t>::max() - moved ? start + moved : start;
    if (number != 1) {
        auto first = std::make_unique<core::TqzPDInteger>(0);
        first->SetValue(number);
        label->Add("St", std::move(first));
    }
    return label;
}

namespace {

// The range in force at page `index` and the page it starts at: the last
// that starts at or before it, else decimal numbers from the first page.
template <class Range>
std::pair<int64_t, Range> RangeAt(const std::vector<std::pair<int64_t, Range>>& ranges,
                                  int64_t index) {
    std::pair<int64_t, Range> found{0, Range{}};
    for (const auto& range : ranges) {
        if (range.first > index) break;
        found = range;
    }
    return found;
}

}  // namespace

TqzCatalogMerge::LabelRanges TqzCatalogMerge::ReadLabelRanges(TqzPDDocument& document,
                                                              int32_t pages) {
    LabelRanges ranges;
    for (const TqzNumberTreeEntry& entry :
         ReadNumberTree(CatalogOf(document).LookUp("PageLabels"))) {
        // A range that starts at no page of the document numbers nothing.
        if (entry.Key >= 0 && entry.Key < pages) ranges.push_back({entry.Key, {entry.Value, 0}});
    }
    std::stable_sort(ranges.begin(), ranges.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return ranges;
}

TqzCatalogMerge::LabelRanges TqzCatalogMerge::UnlabelledRanges(int32_t afterPage, int32_t count,
                                                               int32_t targetPages) {
    // Decimal numbers from the first page, and from each page where an
    // earlier insertion began a run of its own. Indices are those before
    // the insertion.
    LabelRanges ranges;
    for (int32_t index = 0; index < targetPages; ++index) {
        const int32_t now = index < afterPage ? index : index + count;
        const TqzPDPage* page = FTarget.GetPage(now + 1);
        const int32_t first = page ? page->GetLabelRangeStart() : 0;
        if (first > 0) ranges.push_back({index, {nullptr, first - 1}});
    }
    return ranges;
}

void TqzCatalogMerge::MarkUnlabelledRanges(int32_t afterPage, int32_t sourceStartPage,
                                           int32_t count, int32_t targetPages) {
    if (afterPage < targetPages) {
        TqzPDPage* next = FTarget.GetPage(afterPage + count + 1);
        if (next && next->GetLabelRangeStart() == 0) {
            const auto [start, range] =
                RangeAt(UnlabelledRanges(afterPage, count, targetPages), afterPage);
            next->SetLabelRangeStart(static_cast<int32_t>(range.Offset + afterPage - start + 1));
        }
    }
    if (TqzPDPage* first = FTarget.GetPage(afterPage + 1))
        first->SetLabelRangeStart(sourceStartPage);
}

void TqzCatalogMerge::MergePageLabels(int32_t afterPage, int32_t sourceStartPage, int32_t count,
                                      int32_t targetPages) {
    if (!FTarget.IsLoaded() || !FSource.IsLoaded() || count <= 0) return;
    const LabelRanges source = ReadLabelRanges(FSource, FSource.GetPageCount());
    LabelRanges target = ReadLabelRanges(FTarget, targetPages);
    if (source.empty() && target.empty()) {
        // Pages keep their own numbers until some document brings labels.
        MarkUnlabelledRanges(afterPage, sourceStartPage, count, targetPages);
        return;
    }
    if (target.empty()) target = UnlabelledRanges(afterPage, count, targetPages);
    TqzOwnedNumberEntries labels;
    const auto add = [&](int64_t index, std::unique_ptr<TqzPDDictionary> label) {
        labels.emplace_back(index, std::move(label));
    };
    // Pages before the first range are numbered from 1; said explicitly once
    // other ranges follow them.
    if (afterPage > 0 && (target.empty() || target.front().first > 0))
        add(0, LabelFor(LabelRange{}, 0, false));
    for (const auto& [start, range] : target) {
        if (start < afterPage) add(start, LabelFor(range, 0, false));
    }
    // The inserted block: its first page numbered as in the source, then
    // every source range that begins inside the block.
    const int64_t first = int64_t{sourceStartPage} - 1;
    const auto [sourceStart, sourceRange] = RangeAt(source, first);
    add(afterPage, LabelFor(sourceRange, first - sourceStart, true));
    for (const auto& [start, range] : source) {
        if (start > first && start < first + count)
            add(afterPage + start - first, LabelFor(range, 0, true));
    }
    // The target's pages after the block go on where they were.
    const bool rangeStartsThere = std::any_of(
        target.begin(), target.end(), [&](const auto& range) { return range.first == afterPage; });
    if (afterPage < targetPages && !rangeStartsThere) {
        const auto [start, range] = RangeAt(target, afterPage);
        add(int64_t{afterPage} + count, LabelFor(range, afterPage - start, false));
    }
    for (const auto& [start, range] : target) {
        if (start >= afterPage) add(start + count, LabelFor(range, 0, false));
    }
    CatalogOf(FTarget).SetKeyValue("PageLabels",
                                   MakeNumberTree(std::move(labels), *FTarget.GetBaseDoc()));
}

void TqzCatalogMerge::MergeNeedAppearances() {
    if (!FTarget.IsLoaded() || !FSource.IsLoaded()) return;
    const TqzPDDictionary* sourceForm = FormOf(FSource);
    const TqzPDBaseObject* sourceValue =
        sourceForm ? sourceForm->LookUp("NeedAppearances") : nullptr;
    if (!sourceValue || !sourceValue->IsBoolean()) return;
    TqzPDDictionary* form = FormOf(FTarget);
    const TqzPDBaseObject* targetValue = form ? form->LookUp("NeedAppearances") : nullptr;
    // A direct Boolean, the OR of both: neither document's request to
    // regenerate appearances is lost.
    const bool need = static_cast<const core::TqzPDBoolean*>(sourceValue)->GetValue() ||
                      (targetValue && targetValue->IsBoolean() &&
                       static_cast<const core::TqzPDBoolean*>(targetValue)->GetValue());
    if (!form) {
        auto made = std::make_unique<TqzPDDictionary>(DocOf(FTarget));
        made->Add("NeedAppearances", std::make_unique<core::TqzPDBoolean>(need));
        CatalogOf(FTarget).SetKeyValue("AcroForm", std::move(made));
        return;
    }
    form->SetKeyValue("NeedAppearances", std::make_unique<core::TqzPDBoolean>(need));
}

}  // namespace qz::document
