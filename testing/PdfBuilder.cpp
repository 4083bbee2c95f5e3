#include "testing/PdfBuilder.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <stdexcept>

namespace qz::testing {

namespace {

constexpr const char* kBinaryComment = "%\xE2\xE3\xCF\xD3\n";
constexpr const char* kFileId =
    "/ID [<51A2B3C4D5E6F708192A3B4C5D6E7F80><51A2B3C4D5E6F708192A3B4C5D6E7F80>]";
// Placeholders are exactly kPatchWidth bytes so that patching them keeps every offset.
constexpr size_t kPatchWidth = 10;
constexpr const char* kPrevLoopMark = "~PREVLOOP~";
constexpr const char* kLinLengthMark = "~LIN_L~~~~";
constexpr const char* kLinHintOffsetMark = "~LIN_H0~~~";
constexpr const char* kLinHintLengthMark = "~LIN_H1~~~";
constexpr const char* kLinEndMark = "~LIN_E~~~~";
constexpr const char* kLinMainMark = "~LIN_T~~~~";
constexpr const char* kLinPrevMark = "~LIN_P~~~~";

bool IsWhite(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}
bool IsDelimiter(char c) {
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
           c == '}' || c == '/' || c == '%';
}
bool IsRegular(char c) { return !IsWhite(c) && !IsDelimiter(c); }

bool IsUnsignedInteger(const std::string& text, size_t begin, size_t end) {
    if (begin >= end) return false;
    for (size_t i = begin; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

struct Reference {
    size_t begin;  // of the object number token
    size_t end;
    int32_t number;
};

// Every "N G R" outside strings and comments; enough PDF syntax for the
// texts tests write.
std::vector<Reference> FindReferences(const std::string& t) {
    std::vector<Reference> refs;
    struct Token {
        size_t begin = 0, end = 0;
        bool integer = false;
    };
    Token older, newer;
    auto push = [&](Token tok) {
        older = newer;
        newer = tok;
    };
    size_t i = 0;
    const size_t n = t.size();
    while (i < n) {
        const char c = t[i];
        if (IsWhite(c)) {
            ++i;
        } else if (c == '%') {
            while (i < n && t[i] != '\n' && t[i] != '\r') ++i;
        } else if (c == '(') {
            int depth = 0;
            for (; i < n; ++i) {
                if (t[i] == '\\') {
                    ++i;
                } else if (t[i] == '(') {
                    ++depth;
                } else if (t[i] == ')' && --depth == 0) {
                    ++i;
                    break;
                }
            }
            push({});
        } else if ((c == '<' || c == '>') && i + 1 < n && t[i + 1] == c) {
            i += 2;
            push({});
        } else if (c == '<') {
            while (i < n && t[i] != '>') ++i;
            ++i;
            push({});
        } else if (c == '/') {
            ++i;
            while (i < n && IsRegular(t[i])) ++i;
            push({});
        } else if (IsDelimiter(c)) {
            ++i;
            push({});
        } else {
            const size_t begin = i;
            while (i < n && IsRegular(t[i])) ++i;
            if (i - begin == 1 && t[begin] == 'R' && older.integer && newer.integer) {
                refs.push_back({older.begin, older.end,
                                std::atoi(t.substr(older.begin, older.end - older.begin).c_str())});
                push({});
            } else {
                push({begin, i, IsUnsignedInteger(t, begin, i)});
            }
        }
    }
    return refs;
}

std::string RewriteReferences(const std::string& text,
                              const std::function<int32_t(int32_t)>& rename) {
    std::string out = text;
    const std::vector<Reference> refs = FindReferences(text);
    for (auto it = refs.rbegin(); it != refs.rend(); ++it) {
        out.replace(it->begin, it->end - it->begin, std::to_string(rename(it->number)));
    }
    return out;
}

// True when the dictionary text has "/Type /<name>" (and not a longer name).
bool HasType(const std::string& text, const std::string& name) {
    size_t p = 0;
    while ((p = text.find("/Type", p)) != std::string::npos) {
        p += 5;
        if (p < text.size() && IsRegular(text[p])) continue;
        size_t q = p;
        while (q < text.size() && IsWhite(text[q])) ++q;
        const std::string want = "/" + name;
        if (text.compare(q, want.size(), want) == 0 &&
            (q + want.size() >= text.size() || !IsRegular(text[q + want.size()]))) {
            return true;
        }
    }
    return false;
}

bool HasKey(const std::string& dict, const std::string& key) {
    size_t p = 0;
    while ((p = dict.find(key, p)) != std::string::npos) {
        p += key.size();
        if (p >= dict.size() || !IsRegular(dict[p])) return true;
    }
    return false;
}

std::string AddToDictionary(const std::string& dict, const std::string& entries) {
    const size_t end = dict.rfind(">>");
    if (end == std::string::npos || dict.find("<<") == std::string::npos) {
        throw std::invalid_argument("not a dictionary: " + dict);
    }
    std::string head = dict.substr(0, end);
    while (!head.empty() && IsWhite(head.back())) head.pop_back();
    return head + " " + entries + " " + dict.substr(end);
}

std::string Padded(int64_t value) {
    std::string s = std::to_string(value);
    if (s.size() > kPatchWidth) throw std::length_error("value too wide to patch: " + s);
    s.append(kPatchWidth - s.size(), ' ');
    return s;
}

void Patch(std::string& out, const char* mark, int64_t value) {
    const size_t at = out.find(mark);
    if (at == std::string::npos) return;
    out.replace(at, kPatchWidth, Padded(value));
}

int32_t BytesFor(int64_t value) {
    int32_t n = 1;
    while (n < 8 && (value >> (8 * n)) != 0) ++n;
    return n;
}

// One cross-reference entry: type 0 free (next, generation), 1 in use
// (offset, generation), 2 packed (object stream, index).
struct Entry {
    int32_t type = 0;
    int64_t field2 = 0;
    int64_t field3 = 0;
};
using EntryMap = std::map<int32_t, Entry>;

std::vector<std::pair<int32_t, int32_t>> Runs(const EntryMap& entries, int32_t maxRun) {
    std::vector<std::pair<int32_t, int32_t>> runs;  // (first, count)
    for (const auto& [num, e] : entries) {
        (void)e;
        if (!runs.empty() && runs.back().first + runs.back().second == num &&
            (maxRun <= 0 || runs.back().second < maxRun)) {
            ++runs.back().second;
        } else {
            runs.push_back({num, 1});
        }
    }
    return runs;
}

// Links the free entries into the list readers expect: each names the next
// free object, the last names 0.
void LinkFreeList(EntryMap& entries) {
    int32_t next = 0;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->second.type != 0) continue;
        it->second.field2 = next;
        next = it->first;
    }
}

std::string Serialize(int32_t number, const PdfBuilder::Object& o) {
    std::string s = std::to_string(number) + " " + std::to_string(o.generation) + " obj\n" + o.text;
    if (o.isStream) s += "\nstream\n" + o.data + "\nendstream";
    s += "\nendobj\n";
    return s;
}

class Writer {
public:
    Writer(const std::vector<PdfBuilder::Revision>& revisions, const WriteOptions& options)
        : revisions_(revisions), options_(options) {}

    PdfFile Run();

private:
    WriteOptions FormOf(size_t r) const;
    int32_t Rename(int32_t n) const;
    std::optional<int32_t> RootUpTo(size_t r) const;
    std::optional<int32_t> InfoUpTo(size_t r) const;
    std::string TrailerEntries(size_t r, int32_t size, bool linkPrev) const;
    void PlanLinearization();
    void WriteRevision(size_t r);
    void WriteLinearizedBase();
    int64_t WriteObject(int32_t number, const PdfBuilder::Object& o);
    std::map<int32_t, PdfBuilder::Object> Renamed(const std::map<int32_t, PdfBuilder::Object>& in) const;
    void Pack(std::map<int32_t, PdfBuilder::Object>& objects, const WriteOptions& form,
              EntryMap& packed);
    std::string TableLines(const EntryMap& entries, const WriteOptions& form, bool first,
                           int64_t* firstLineOffset) const;
    void WriteTableSection(const EntryMap& entries, const WriteOptions& form, bool first,
                           std::string trailer, std::optional<int64_t> xrefStm);
    void WriteXrefStream(int32_t number, EntryMap entries, const WriteOptions& form, bool index,
                         const std::string& trailer);
    void WriteStartxref(int64_t value);
    void FillFree(EntryMap& entries, int32_t size, const std::set<int32_t>& skip) const;

    const std::vector<PdfBuilder::Revision>& revisions_;
    const WriteOptions& options_;
    std::string out_;
    PdfFile file_;
    int32_t size_ = 1;
    int32_t allocate_ = 1;  // next number for xref streams and object streams
    std::optional<int64_t> prevSection_;
    size_t startxrefValuePos_ = 0;
    size_t startxrefValueLen_ = 0;
    // Linearization plan.
    bool linearized_ = false;
    std::map<int32_t, int32_t> rename_;
    int32_t renameShift_ = 0;
    int32_t oldBaseMax_ = 0;
};

WriteOptions Writer::FormOf(size_t r) const {
    if (r > 0 && revisions_[r].form) {
        if (revisions_[r].form->form == XrefForm::Linearized) {
            throw std::invalid_argument("only the first revision can be linearized");
        }
        return *revisions_[r].form;
    }
    WriteOptions f = options_;
    if (r > 0 && f.form == XrefForm::Linearized) f.form = XrefForm::Table;
    return f;
}

int32_t Writer::Rename(int32_t n) const {
    if (!linearized_) return n;
    if (auto it = rename_.find(n); it != rename_.end()) return it->second;
    return n > oldBaseMax_ ? n + renameShift_ : n;
}

std::optional<int32_t> Writer::RootUpTo(size_t r) const {
    for (size_t i = r + 1; i-- > 0;) {
        if (revisions_[i].root) return Rename(*revisions_[i].root);
    }
    for (size_t i = 0; i <= r; ++i) {
        for (const auto& [num, o] : revisions_[i].objects) {
            if (!o.isStream && !o.isFree && HasType(o.text, "Catalog")) return Rename(num);
        }
    }
    return std::nullopt;
}

std::optional<int32_t> Writer::InfoUpTo(size_t r) const {
    for (size_t i = r + 1; i-- > 0;) {
        if (revisions_[i].info) return Rename(*revisions_[i].info);
    }
    return std::nullopt;
}

std::string Writer::TrailerEntries(size_t r, int32_t size, bool linkPrev) const {
    std::string s = "/Size " + std::to_string(size);
    if (auto root = RootUpTo(r)) s += " /Root " + std::to_string(*root) + " 0 R";
    if (auto info = InfoUpTo(r)) s += " /Info " + std::to_string(*info) + " 0 R";
    if (FormOf(r).writeId) s += std::string(" ") + kFileId;
    if (linkPrev) {
        if (prevSection_) {
            s += " /Prev " + std::to_string(*prevSection_);
        } else if (options_.damage.prevLoop) {
            s += std::string(" /Prev ") + kPrevLoopMark;
        }
    }
    if (!revisions_[r].trailerExtra.empty()) s += " " + revisions_[r].trailerExtra;
    return s;
}

std::map<int32_t, PdfBuilder::Object> Writer::Renamed(
    const std::map<int32_t, PdfBuilder::Object>& in) const {
    if (!linearized_) return in;
    std::map<int32_t, PdfBuilder::Object> outObjects;
    for (const auto& [num, o] : in) {
        PdfBuilder::Object copy = o;
        copy.text = RewriteReferences(o.text, [this](int32_t n) { return Rename(n); });
        outObjects[Rename(num)] = std::move(copy);
    }
    return outObjects;
}

int64_t Writer::WriteObject(int32_t number, const PdfBuilder::Object& o) {
    const auto at = static_cast<int64_t>(out_.size());
    out_ += Serialize(number, o);
    file_.offsets[number] = at;
    file_.packed.erase(number);
    return at;
}

void Writer::WriteStartxref(int64_t value) {
    out_ += "startxref\n";
    startxrefValuePos_ = out_.size();
    const std::string v = std::to_string(value);
    startxrefValueLen_ = v.size();
    out_ += v + "\n%%EOF\n";
    file_.startxref = value;
}

void Writer::FillFree(EntryMap& entries, int32_t size, const std::set<int32_t>& skip) const {
    for (int32_t n = 0; n < size; ++n) {
        if (entries.count(n) == 0 && skip.count(n) == 0) {
            entries[n] = {0, 0, n == 0 ? 65535 : 0};
        }
    }
}

void Writer::Pack(std::map<int32_t, PdfBuilder::Object>& objects, const WriteOptions& form,
                  EntryMap& packed) {
    std::vector<int32_t> packable;
    for (const auto& [num, o] : objects) {
        if (!o.isStream && !o.isFree && o.generation == 0) packable.push_back(num);
    }
    const size_t per = form.objectsPerStream > 0 ? static_cast<size_t>(form.objectsPerStream)
                                                 : std::max<size_t>(packable.size(), 1);
    for (size_t start = 0; start < packable.size(); start += per) {
        const size_t end = std::min(packable.size(), start + per);
        const int32_t streamNumber = allocate_++;
        std::string header, body;
        for (size_t i = start; i < end; ++i) {
            const int32_t num = packable[i];
            header += std::to_string(num) + " " + std::to_string(body.size()) + " ";
            body += objects[num].text + "\n";
            packed[num] = {2, streamNumber, static_cast<int64_t>(i - start)};
            file_.packed[num] = {streamNumber, static_cast<int32_t>(i - start)};
            file_.offsets.erase(num);
            objects.erase(num);
        }
        header.back() = '\n';
        std::string data = header + body;
        std::string dict = "<< /Type /ObjStm /N " + std::to_string(end - start) + " /First " +
                           std::to_string(header.size());
        if (form.flateStructure) {
            data = FlateCompress(data);
            dict += " /Filter /FlateDecode";
        }
        dict += " /Length " + std::to_string(data.size()) + " >>";
        objects[streamNumber] = PdfBuilder::Object{0, true, false, dict, data};
    }
}

std::string Writer::TableLines(const EntryMap& entries, const WriteOptions& form, bool first,
                               int64_t* firstLineOffset) const {
    EntryMap listed = entries;
    LinkFreeList(listed);
    if (first && form.tableStart == TableStart::One) listed.erase(0);
    std::string s;
    bool labelled = false;
    for (const auto& [start, count] : Runs(listed, form.subsectionSize)) {
        int32_t label = start;
        if (first && !labelled && start == 0 && form.tableStart == TableStart::OneLabelZeroLines) {
            label = 1;
        }
        labelled = true;
        s += std::to_string(label) + " " + std::to_string(count) + "\n";
        if (firstLineOffset && *firstLineOffset < 0) {
            *firstLineOffset = static_cast<int64_t>(s.size()) - 1;
        }
        for (int32_t n = start; n < start + count; ++n) {
            const Entry& e = listed.at(n);
            char line[32];
            const int64_t value =
                e.type == 1 ? e.field2 + options_.damage.shiftOffsets : e.field2;
            std::snprintf(line, sizeof line, "%010lld %05lld %c \n",
                          static_cast<long long>(std::max<int64_t>(value, 0)),
                          static_cast<long long>(e.field3), e.type == 1 ? 'n' : 'f');
            s += line;
        }
    }
    return s;
}

void Writer::WriteTableSection(const EntryMap& entries, const WriteOptions& form, bool first,
                               std::string trailer, std::optional<int64_t> xrefStm) {
    const auto at = static_cast<int64_t>(out_.size());
    file_.sections.push_back(at);
    out_ += "xref\n" + TableLines(entries, form, first, nullptr);
    if (options_.damage.xrefStmLoop) xrefStm = at;
    if (xrefStm) trailer += " /XRefStm " + std::to_string(*xrefStm);
    if (!options_.damage.dropTrailer) out_ += "trailer\n<< " + trailer + " >>\n";
    WriteStartxref(at);
    prevSection_ = at;
}

void Writer::WriteXrefStream(int32_t number, EntryMap entries, const WriteOptions& form, bool index,
                             const std::string& trailer) {
    const auto at = static_cast<int64_t>(out_.size());
    entries[number] = {1, at, 0};
    LinkFreeList(entries);
    int64_t max2 = 0, max3 = 0;
    for (const auto& [num, e] : entries) {
        (void)num;
        max2 = std::max(max2, e.type == 1 ? e.field2 + options_.damage.shiftOffsets : e.field2);
        max3 = std::max(max3, e.field3);
    }
    const int32_t w0 = form.widths[0] >= 0 ? form.widths[0] : 1;
    const int32_t w1 = form.widths[1] >= 0 ? form.widths[1] : BytesFor(max2);
    const int32_t w2 = form.widths[2] >= 0 ? form.widths[2] : BytesFor(max3);
    auto put = [](std::string& s, int64_t v, int32_t width) {
        for (int32_t i = width - 1; i >= 0; --i) {
            s += static_cast<char>(i >= 8 ? 0 : (static_cast<uint64_t>(v) >> (8 * i)) & 0xFF);
        }
    };
    const auto runs = Runs(entries, 0);
    if (!index && (runs.size() != 1 || runs[0].first != 0)) index = true;
    std::string rows;
    for (const auto& [num, e] : entries) {
        (void)num;
        put(rows, e.type, w0);
        put(rows, e.type == 1 ? e.field2 + options_.damage.shiftOffsets : e.field2, w1);
        put(rows, e.field3, w2);
    }
    std::string dict = "<< /Type /XRef " + trailer + " /W [" + std::to_string(w0) + " " +
                       std::to_string(w1) + " " + std::to_string(w2) + "]";
    if (index) {
        dict += " /Index [";
        for (const auto& [first, count] : runs) {
            dict += std::to_string(first) + " " + std::to_string(count) + " ";
        }
        dict.back() = ']';
    }
    if (form.predictor) {
        const int32_t columns = w0 + w1 + w2;
        rows = PngPredictEncode(rows, columns, 1, 2);
        dict += " /DecodeParms << /Columns " + std::to_string(columns) + " /Predictor 12 >>";
    }
    if (form.flateStructure) {
        rows = FlateCompress(rows);
        dict += " /Filter /FlateDecode";
    }
    dict += " /Length " + std::to_string(rows.size()) + " >>";
    WriteObject(number, PdfBuilder::Object{0, true, false, dict, rows});
}

void Writer::WriteRevision(size_t r) {
    const WriteOptions form = FormOf(r);
    const bool first = r == 0;
    std::map<int32_t, PdfBuilder::Object> objects = Renamed(revisions_[r].objects);
    for (const auto& [num, o] : objects) {
        (void)o;
        size_ = std::max(size_, num + 1);
    }
    EntryMap packed;
    if (form.form == XrefForm::ObjectStreams || form.form == XrefForm::Hybrid) {
        Pack(objects, form, packed);
    }
    EntryMap entries;
    for (const auto& [num, o] : objects) {
        if (o.isFree) {
            entries[num] = {0, 0, o.generation};
            file_.offsets.erase(num);
            file_.packed.erase(num);
        } else {
            entries[num] = {1, WriteObject(num, o), o.generation};
        }
    }
    size_ = std::max(size_, allocate_);

    switch (form.form) {
        case XrefForm::Table:
        case XrefForm::Linearized: {
            if (first) FillFree(entries, size_, {});
            WriteTableSection(entries, form, first, TrailerEntries(r, size_, true), std::nullopt);
            break;
        }
        case XrefForm::Stream:
        case XrefForm::ObjectStreams: {
            const int32_t number = allocate_++;
            size_ = std::max(size_, allocate_);
            entries.insert(packed.begin(), packed.end());
            if (first) FillFree(entries, size_, {number});
            const auto at = static_cast<int64_t>(out_.size());
            file_.sections.push_back(at);
            WriteXrefStream(number, entries, form, form.useIndex || !first,
                            TrailerEntries(r, size_, true));
            WriteStartxref(at);
            prevSection_ = at;
            break;
        }
        case XrefForm::Hybrid: {
            std::optional<int64_t> xrefStm;
            if (!packed.empty()) {
                const int32_t number = allocate_++;
                size_ = std::max(size_, allocate_);
                xrefStm = static_cast<int64_t>(out_.size());
                WriteXrefStream(number, packed, form, true, TrailerEntries(r, size_, false));
                entries[number] = {1, *xrefStm, 0};
            }
            if (first) {
                std::set<int32_t> skip;
                for (const auto& [num, e] : packed) {
                    (void)e;
                    // Producers of hybrid files mark packed objects free with
                    // generation 65535, so that old readers never reuse them.
                    if (form.hybridFreeEntries) {
                        entries[num] = {0, 0, 65535};
                    } else {
                        skip.insert(num);
                    }
                }
                FillFree(entries, size_, skip);
            }
            WriteTableSection(entries, form, first, TrailerEntries(r, size_, true), xrefStm);
            break;
        }
    }
}

void Writer::PlanLinearization() {
    const auto& base = revisions_[0].objects;
    std::optional<int32_t> root;
    for (const auto& [num, o] : base) {
        if (!root && !o.isStream && HasType(o.text, "Catalog")) root = num;
        oldBaseMax_ = std::max(oldBaseMax_, num);
    }
    if (revisions_[0].root) root = revisions_[0].root;
    std::optional<int32_t> firstPage;
    for (const auto& [num, o] : base) {
        if (!o.isStream && HasType(o.text, "Page")) {
            firstPage = num;
            break;
        }
    }
    if (!root || !firstPage) {
        throw std::invalid_argument("a linearized file needs a catalog and a page");
    }
    // The first page's own objects: what it reaches, but not the page tree or other pages.
    std::vector<int32_t> firstPageObjects{*firstPage};
    std::set<int32_t> seen{*root, *firstPage};
    for (size_t i = 0; i < firstPageObjects.size(); ++i) {
        const auto it = base.find(firstPageObjects[i]);
        if (it == base.end()) continue;
        for (const Reference& ref : FindReferences(it->second.text)) {
            const auto target = base.find(ref.number);
            if (target == base.end() || seen.count(ref.number) != 0) continue;
            const std::string& text = target->second.text;
            if (!target->second.isStream && (HasType(text, "Pages") || HasType(text, "Page"))) {
                continue;
            }
            seen.insert(ref.number);
            firstPageObjects.push_back(ref.number);
        }
    }
    std::sort(firstPageObjects.begin() + 1, firstPageObjects.end());
    int32_t next = 1;
    for (const auto& [num, o] : base) {
        (void)o;
        if (seen.count(num) == 0) rename_[num] = next++;
    }
    // next is now the linearization dictionary's number; the catalog, the
    // hint stream and the first page's objects follow it.
    const int32_t linNumber = next;
    rename_[*root] = linNumber + 1;
    int32_t n = linNumber + 3;
    for (int32_t num : firstPageObjects) rename_[num] = n++;
    renameShift_ = (n - 1) - oldBaseMax_;
    linearized_ = true;
}

void Writer::WriteLinearizedBase() {
    std::map<int32_t, PdfBuilder::Object> objects = Renamed(revisions_[0].objects);
    const int32_t root = *RootUpTo(0);
    const int32_t linNumber = root - 1;
    const int32_t hintNumber = root + 1;
    int32_t maxNumber = hintNumber;
    int32_t pages = 0;
    for (const auto& [num, o] : objects) {
        maxNumber = std::max(maxNumber, num);
        if (!o.isStream && !o.isFree && HasType(o.text, "Page")) ++pages;
    }
    const int32_t firstPage = hintNumber + 1;
    const int32_t fpCount = maxNumber - linNumber + 1;
    size_ = maxNumber + 1;
    allocate_ = std::max(allocate_, size_);

    PdfBuilder::Object lin;
    lin.text = std::string("<< /Linearized 1 /L ") + kLinLengthMark + " /H [ " +
               kLinHintOffsetMark + " " + kLinHintLengthMark + " ] /O " +
               std::to_string(firstPage) + " /E " + kLinEndMark + " /N " +
               std::to_string(pages) + " /T " + kLinMainMark + " >>";
    WriteObject(linNumber, lin);

    // The first-page section lists objects written after it: its lines are
    // reserved now and filled in once their offsets are known.
    const WriteOptions form = FormOf(0);
    const auto fpAt = static_cast<int64_t>(out_.size());
    file_.sections.push_back(fpAt);
    out_ += "xref\n" + std::to_string(linNumber) + " " + std::to_string(fpCount) + "\n";
    const size_t linesAt = out_.size();
    out_.append(static_cast<size_t>(fpCount) * 20, ' ');
    std::string trailer = TrailerEntries(0, size_, false);
    trailer += std::string(" /Prev ") + kLinPrevMark;
    if (options_.damage.xrefStmLoop) trailer += " /XRefStm " + std::to_string(fpAt);
    if (!options_.damage.dropTrailer) out_ += "trailer\n<< " + trailer + " >>\n";
    out_ += "startxref\n0\n%%EOF\n";

    EntryMap fpEntries;
    fpEntries[linNumber] = {1, file_.offsets.at(linNumber), 0};
    auto writeFp = [&](int32_t num, const PdfBuilder::Object& o) {
        fpEntries[num] = {1, WriteObject(num, o), o.generation};
    };
    writeFp(root, objects.at(root));
    // The hint stream has the layout readers parse (a page offset table
    // header of 36 bytes with zero-width per-page items, then a shared object
    // table header of 24 bytes with no entries), filled from the first page;
    // per-page and shared-object values are not computed.
    constexpr size_t kPageTableBytes = 36, kSharedTableBytes = 24;
    PdfBuilder::Object hint;
    hint.isStream = true;
    hint.data = std::string(kPageTableBytes + kSharedTableBytes, '\0');
    hint.text = "<< /S " + std::to_string(kPageTableBytes) + " /Length " +
                std::to_string(hint.data.size()) + " >>";
    const int64_t hintAt = static_cast<int64_t>(out_.size());
    writeFp(hintNumber, hint);
    const int64_t hintLength = static_cast<int64_t>(out_.size()) - hintAt;
    const size_t hintDataAt = out_.find("stream\n", static_cast<size_t>(hintAt)) + 7;
    const auto firstPageAt = static_cast<int64_t>(out_.size());
    for (int32_t num = firstPage; num <= maxNumber; ++num) {
        if (auto it = objects.find(num); it != objects.end()) writeFp(num, it->second);
    }
    const auto firstPageEnd = static_cast<int64_t>(out_.size());
    {
        std::string h;
        auto put = [&h](uint64_t v, int bytes) {
            for (int i = bytes - 1; i >= 0; --i) h += static_cast<char>((v >> (8 * i)) & 0xFF);
        };
        put(static_cast<uint64_t>(maxNumber - firstPage + 1), 4);  // least objects in a page
        put(static_cast<uint64_t>(firstPageAt), 4);                // first page object
        put(0, 2);
        put(static_cast<uint64_t>(firstPageEnd - firstPageAt), 4);  // least page length
        put(0, 2);
        put(0, 4), put(0, 2), put(0, 4), put(0, 2), put(0, 2), put(0, 2), put(0, 2);
        put(1, 2);                                          // denominator
        put(static_cast<uint64_t>(firstPage), 4);           // first shared object
        put(static_cast<uint64_t>(firstPageAt), 4);         // its location
        put(0, 4), put(0, 4), put(0, 2), put(0, 4), put(0, 2);
        out_.replace(hintDataAt, h.size(), h);
    }

    EntryMap mainEntries;
    for (const auto& [num, o] : objects) {
        if (num >= linNumber) break;
        mainEntries[num] = {1, WriteObject(num, o), o.generation};
    }
    FillFree(mainEntries, linNumber, {});
    FillFree(fpEntries, maxNumber + 1, {});
    for (int32_t num = 0; num < linNumber; ++num) fpEntries.erase(num);
    const std::string fpLines = TableLines(fpEntries, WriteOptions{}, false, nullptr);
    out_.replace(linesAt, fpLines.size() - (fpLines.find('\n') + 1),
                 fpLines.substr(fpLines.find('\n') + 1));

    const auto mainAt = static_cast<int64_t>(out_.size());
    file_.sections.push_back(mainAt);
    int64_t firstLine = -1;
    out_ += "xref\n" + TableLines(mainEntries, form, true, &firstLine);
    std::string mainTrailer = "/Size " + std::to_string(linNumber);
    if (form.writeId) mainTrailer += std::string(" ") + kFileId;
    if (options_.damage.prevLoop) mainTrailer += std::string(" /Prev ") + kPrevLoopMark;
    if (options_.damage.xrefStmLoop) mainTrailer += " /XRefStm " + std::to_string(mainAt);
    if (!options_.damage.dropTrailer) out_ += "trailer\n<< " + mainTrailer + " >>\n";
    WriteStartxref(fpAt);
    prevSection_ = fpAt;

    Patch(out_, kLinLengthMark, static_cast<int64_t>(out_.size()));
    Patch(out_, kLinHintOffsetMark, hintAt);
    Patch(out_, kLinHintLengthMark, hintLength);
    Patch(out_, kLinEndMark, firstPageEnd);
    Patch(out_, kLinMainMark, mainAt + 5 + firstLine);
    Patch(out_, kLinPrevMark, mainAt);
    for (const auto& [given, written] : rename_) file_.renumbered[given] = written;
}

PdfFile Writer::Run() {
    int32_t maxGiven = 0;
    for (const auto& rev : revisions_) {
        for (const auto& [num, o] : rev.objects) {
            (void)o;
            maxGiven = std::max(maxGiven, num);
        }
    }
    const WriteOptions base = FormOf(0);
    out_ = "%PDF-" + base.version + "\n" + kBinaryComment;
    if (base.form == XrefForm::Linearized) {
        PlanLinearization();
        allocate_ = Rename(maxGiven) + 1;
        for (const auto& [given, written] : rename_) {
            (void)given;
            allocate_ = std::max(allocate_, written + 3);
        }
        WriteLinearizedBase();
    } else {
        allocate_ = maxGiven + 1;
        WriteRevision(0);
    }
    for (size_t r = 1; r < revisions_.size(); ++r) WriteRevision(r);

    const Damage& d = options_.damage;
    if (d.prevLoop) Patch(out_, kPrevLoopMark, file_.sections.empty() ? 0 : *prevSection_);
    if (d.startxref) {
        out_.replace(startxrefValuePos_, startxrefValueLen_, std::to_string(*d.startxref));
    }
    std::vector<Injection> injections = d.inject;
    std::stable_sort(injections.begin(), injections.end(),
                     [](const Injection& a, const Injection& b) { return a.offset > b.offset; });
    for (const Injection& inj : injections) {
        const auto at = static_cast<size_t>(
            std::clamp<int64_t>(inj.offset, 0, static_cast<int64_t>(out_.size())));
        out_.insert(at, inj.bytes);
    }
    out_ += d.append;
    out_.insert(0, d.prepend);
    if (d.truncateAt < 1.0) {
        const double keep = std::floor(static_cast<double>(out_.size()) * std::max(d.truncateAt, 0.0));
        out_.resize(static_cast<size_t>(keep));
    }
    file_.bytes = std::move(out_);
    return std::move(file_);
}

}  // namespace

int32_t PdfFile::Number(int32_t given) const {
    const auto it = renumbered.find(given);
    return it == renumbered.end() ? given : it->second;
}

void PdfBuilder::Put(int32_t number, Object object) {
    if (number <= 0) throw std::invalid_argument("object numbers start at 1");
    Current().objects[number] = std::move(object);
    next_ = std::max(next_, number + 1);
}

int32_t PdfBuilder::Add(const std::string& text) {
    const int32_t number = next_;
    Set(number, text);
    return number;
}

int32_t PdfBuilder::AddStream(const std::string& dict, const std::string& data, bool compress) {
    const int32_t number = next_;
    SetStream(number, dict, data, compress);
    return number;
}

int32_t PdfBuilder::Reserve() { return next_++; }

PdfBuilder& PdfBuilder::Set(int32_t number, const std::string& text, int32_t generation) {
    Put(number, Object{generation, false, false, text, {}});
    return *this;
}

PdfBuilder& PdfBuilder::SetStream(int32_t number, const std::string& dict, const std::string& data,
                                  bool compress, int32_t generation) {
    std::string stored = compress ? FlateCompress(data) : data;
    std::string entries;
    if (compress) {
        if (HasKey(dict, "/Filter")) {
            throw std::invalid_argument("compress asked for a stream that names its own /Filter");
        }
        entries += "/Filter /FlateDecode";
    }
    if (!HasKey(dict, "/Length")) {
        entries += (entries.empty() ? "" : " ") + std::string("/Length ") +
                   std::to_string(stored.size());
    }
    const std::string finalDict = entries.empty() ? dict : AddToDictionary(dict, entries);
    Put(number, Object{generation, true, false, finalDict, std::move(stored)});
    return *this;
}

PdfBuilder& PdfBuilder::SetRawStream(int32_t number, const std::string& dict,
                                     const std::string& data, int32_t generation) {
    Put(number, Object{generation, true, false, dict, data});
    return *this;
}

PdfBuilder& PdfBuilder::Free(int32_t number, int32_t nextGeneration) {
    Put(number, Object{nextGeneration, false, true, {}, {}});
    return *this;
}

PdfBuilder& PdfBuilder::SetRoot(int32_t number) {
    Current().root = number;
    return *this;
}

PdfBuilder& PdfBuilder::SetInfo(int32_t number) {
    Current().info = number;
    return *this;
}

PdfBuilder& PdfBuilder::TrailerExtra(const std::string& entries) {
    std::string& extra = Current().trailerExtra;
    extra += (extra.empty() ? "" : " ") + entries;
    return *this;
}

PdfBuilder& PdfBuilder::NewRevision() {
    revisions_.emplace_back();
    return *this;
}

PdfBuilder& PdfBuilder::NewRevision(const WriteOptions& form) {
    if (form.form == XrefForm::Linearized) {
        throw std::invalid_argument("only the first revision can be linearized");
    }
    revisions_.emplace_back();
    revisions_.back().form = form;
    return *this;
}

PdfFile PdfBuilder::Build(const WriteOptions& options) const {
    return Writer(revisions_, options).Run();
}

std::string MarkerPageContent(const std::string& marker, int32_t page) {
    // The bar moves with the page number, so renders of neighbouring pages differ clearly.
    const int32_t x = 72 + (page % 10) * 45;
    return "q 0.6 g " + std::to_string(x) + " 100 40 200 re f Q\nBT /F1 24 Tf 72 700 Td (" +
           marker + "-" + std::to_string(page) + ") Tj ET\n";
}

PdfBuilder MinimalDocument(int32_t pages, const std::string& marker, bool compressContents) {
    PdfBuilder b;
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    for (int32_t k = 1; k <= pages; ++k) {
        kids += (k > 1 ? " " : "") + std::to_string(2 * k + 2) + " 0 R";
    }
    b.Set(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
    b.Set(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    for (int32_t k = 1; k <= pages; ++k) {
        b.Set(2 * k + 2, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << "
                         "/Font << /F1 3 0 R >> >> /Contents " +
                             std::to_string(2 * k + 3) + " 0 R >>");
        b.SetStream(2 * k + 3, "<< >>", MarkerPageContent(marker, k), compressContents);
    }
    return b;
}

PdfBuilder SignedDocument(const std::string& contents, const std::string& marker) {
    PdfBuilder b = MinimalDocument(1, marker);
    std::string hex;
    for (const char c : contents) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        hex += kDigits[static_cast<uint8_t>(c) >> 4];
        hex += kDigits[static_cast<uint8_t>(c) & 0x0F];
    }
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R "
             "/AcroForm << /Fields [6 0 R 8 0 R 10 0 R] /SigFlags 3 >> >>");
    b.Set(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] "
             "/Resources << /Font << /F1 3 0 R >> >> "
             "/Contents 5 0 R /Annots [6 0 R 8 0 R 10 0 R 12 0 R] >>");
    const char* kinds[] = {"/Type /Sig ", "/Type /DocTimeStamp ", ""};
    for (int32_t i = 0; i < 3; ++i) {
        const int32_t field = 6 + 2 * i;
        b.Set(field, "<< /Type /Annot /Subtype /Widget /FT /Sig /T (sig" + std::to_string(i) +
                         ") /Rect [0 0 0 0] /V " + std::to_string(field + 1) + " 0 R >>");
        b.Set(field + 1, "<< " + std::string(kinds[i]) +
                             "/Filter /Adobe.PPKLite /ByteRange [0 100 200 300] /Contents <" + hex +
                             "> /Reason (Approved) >>");
    }
    b.Set(12, "<< /Type /Annot /Subtype /Text /Rect [10 10 30 30] /Contents (A note) >>");
    return b;
}

std::string FlateCompress(const std::string& data, int32_t level) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    const int rc = compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                             reinterpret_cast<const Bytef*>(data.data()),
                             static_cast<uLong>(data.size()), level);
    if (rc != Z_OK) throw std::runtime_error("zlib compress2 failed");
    out.resize(size);
    return out;
}

std::string FlateZeros(uint64_t count) {
    z_stream z{};
    if (deflateInit(&z, 9) != Z_OK) throw std::runtime_error("zlib deflateInit failed");
    const std::string zeros(1 << 20, '\0');
    std::string out;
    char buffer[1 << 16];
    uint64_t left = count;
    int flush = Z_NO_FLUSH;
    do {
        const uint64_t chunk = std::min<uint64_t>(left, zeros.size());
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
        z.avail_in = static_cast<uInt>(chunk);
        left -= chunk;
        flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = reinterpret_cast<Bytef*>(buffer);
            z.avail_out = sizeof buffer;
            deflate(&z, flush);
            out.append(buffer, sizeof buffer - z.avail_out);
        } while (z.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&z);
    return out;
}

std::string PngPredictEncode(const std::string& data, int32_t rowBytes, int32_t pixelBytes,
                             int32_t type) {
    if (rowBytes <= 0 || pixelBytes <= 0 || type < 0 || type > 4) {
        throw std::invalid_argument("bad PNG predictor parameters");
    }
    const auto row = static_cast<size_t>(rowBytes);
    const auto bpp = static_cast<size_t>(pixelBytes);
    std::string out;
    std::string previous(row, '\0');
    for (size_t start = 0; start < data.size(); start += row) {
        std::string current = data.substr(start, row);
        current.resize(row, '\0');
        out += static_cast<char>(type);
        for (size_t i = 0; i < row; ++i) {
            const int x = static_cast<uint8_t>(current[i]);
            const int a = i >= bpp ? static_cast<uint8_t>(current[i - bpp]) : 0;
            const int b = static_cast<uint8_t>(previous[i]);
            const int c = i >= bpp ? static_cast<uint8_t>(previous[i - bpp]) : 0;
            int predicted = 0;
            switch (type) {
                case 0: predicted = 0; break;
                case 1: predicted = a; break;
                case 2: predicted = b; break;
                case 3: predicted = (a + b) / 2; break;
                default: {
                    const int p = a + b - c;
                    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                    predicted = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
                }
            }
            out += static_cast<char>((x - predicted) & 0xFF);
        }
        previous = current;
    }
    return out;
}

}  // namespace qz::testing
