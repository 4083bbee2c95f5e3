#include "integration/DocumentFixtures.h"

#include <algorithm>
#include <vector>

#include "testing/PdfBuilder.h"

namespace qz::integration {

namespace {

std::string Ref(int32_t number) {
    return std::to_string(number) + " 0 R";
}

std::string Rect(int32_t slot) {
    const int32_t x = 40 + (slot % 4) * 130;
    const int32_t y = 600 - (slot / 4) * 40;
    return "[" + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(x + 120) + " " +
           std::to_string(y + 30) + "]";
}

// Named destinations "sec.0" .. "sec.59", sorted as a name tree wants.
constexpr int32_t kNamedDestinations = 60;
// Leaves of four names under middle nodes of four leaves: three levels.
constexpr size_t kNamesPerNode = 4;

std::vector<std::string> DestinationNames() {
    std::vector<std::string> names;
    for (int32_t i = 0; i < kNamedDestinations; ++i) names.push_back("sec." + std::to_string(i));
    std::sort(names.begin(), names.end());
    return names;
}

int32_t NamedPage(const std::string& name, int32_t pages) {
    return (std::stoi(name.substr(4)) * 5) % pages;
}

}  // namespace

std::string LinkDocument(const std::string& marker, int32_t pages, bool objectStreams) {
    testing::PdfBuilder b;
    const int32_t catalog = b.Reserve();
    const int32_t pagesNode = b.Reserve();
    const int32_t tree = b.Reserve();
    const int32_t font = b.Add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    std::vector<int32_t> page(static_cast<size_t>(pages));
    for (auto& p : page) p = b.Reserve();
    const auto pageRef = [&](int32_t k) { return Ref(page[static_cast<size_t>(k % pages)]); };

    // The name tree: leaves with /Limits under middle nodes under the root.
    const std::vector<std::string> names = DestinationNames();
    std::string middles;
    for (size_t m = 0; m < names.size(); m += kNamesPerNode * kNamesPerNode) {
        std::string leaves;
        const size_t middleEnd = std::min(names.size(), m + kNamesPerNode * kNamesPerNode);
        for (size_t l = m; l < middleEnd; l += kNamesPerNode) {
            const size_t leafEnd = std::min(middleEnd, l + kNamesPerNode);
            std::string pairs;
            for (size_t i = l; i < leafEnd; ++i) {
                const std::string target = pageRef(NamedPage(names[i], pages));
                // Both forms of a destination's value: an array, and a
                // dictionary holding it as /D.
                const std::string value = i % 2 == 0 ? "[" + target + " /XYZ 0 700 0]"
                                                     : Ref(b.Add("<< /D [" + target + " /Fit] >>"));
                pairs += "(" + names[i] + ") " + value + " ";
            }
            leaves += Ref(b.Add("<< /Limits [(" + names[l] + ") (" + names[leafEnd - 1] +
                                ")] /Names [" + pairs + "] >>")) +
                      " ";
        }
        middles += Ref(b.Add("<< /Limits [(" + names[m] + ") (" + names[middleEnd - 1] +
                             ")] /Kids [" + leaves + "] >>")) +
                   " ";
    }
    b.Set(tree, "<< /Kids [" + middles + "] >>");

    // Fields: "person" > "name" (value and appearance defaults there) >
    // widgets on pages 1 and 2; and one field per page.
    const int32_t person = b.Reserve();
    const int32_t nameField = b.Reserve();
    std::vector<int32_t> nameWidgets;
    std::string fields = Ref(person) + " ";
    std::string kids;
    for (int32_t k = 0; k < std::min(pages, 2); ++k) {
        nameWidgets.push_back(b.Add("<< /Type /Annot /Subtype /Widget /Parent " + Ref(nameField) +
                                    " /P " + pageRef(k) + " /Rect [40 700 300 730] /F 4 >>"));
        kids += Ref(nameWidgets.back()) + " ";
    }
    b.Set(nameField, "<< /T (name) /Parent " + Ref(person) + " /FT /Tx /V (Alice-" + marker +
                         ") /DA (/Helv 12 Tf 0 g) /Kids [" + kids + "] >>");
    b.Set(person, "<< /T (person) /Kids [" + Ref(nameField) + "] >>");

    for (int32_t k = 0; k < pages; ++k) {
        std::string annots;
        const auto link = [&](const std::string& entries, int32_t slot) {
            annots += Ref(b.Add("<< /Type /Annot /Subtype /Link /Rect " + Rect(slot) +
                                " /Border [0 0 1] /P " + pageRef(k) + " " + entries + " >>")) +
                      " ";
        };
        link("/Dest [" + pageRef(k + 1) + " /XYZ 0 792 0]", 0);
        link("/A << /S /GoTo /D [" + pageRef(k * 7 + 3) + " /Fit] >>", 1);
        link("/Dest (" + names[static_cast<size_t>(k * 3 % kNamedDestinations)] + ")", 2);
        link("/A << /S /GoTo /D (" + names[static_cast<size_t>((k * 11 + 1) % kNamedDestinations)] +
                 ") >>",
             3);
        link("/Dest /chap" + std::to_string(k % 3), 4);
        link("/A << /S /URI /URI (http://example.com/" + marker + "/" + std::to_string(k) + ") >>",
             5);
        const int32_t next = b.Add("<< /S /GoTo /D [" + pageRef(k + 2) + " /Fit] >>");
        const int32_t action = b.Add("<< /S /GoTo /D [" + pageRef(k + pages - 1) +
                                     " /FitH 700] /Next [" + Ref(next) + "] >>");
        link("/A " + Ref(action), 6);
        link("/Dest [" + std::to_string((k + 2) % pages) + " /Fit]", 7);
        link("/A << /S /Named /N /NextPage >>", 8);
        const int32_t widget =
            b.Add("<< /Type /Annot /Subtype /Widget /FT /Tx /T (page" + std::to_string(k) +
                  ") /V (" + marker + "-value-" + std::to_string(k) + ") /P " + pageRef(k) +
                  " /Rect [40 60 300 90] /F 4 >>");
        annots += Ref(widget) + " ";
        fields += Ref(widget) + " ";
        if (k < std::min(pages, 2)) annots += Ref(nameWidgets[static_cast<size_t>(k)]) + " ";
        const int32_t content =
            b.AddStream("<< >>", testing::MarkerPageContent(marker, k + 1), true);
        b.Set(page[static_cast<size_t>(k)],
              "<< /Type /Page /Parent " + Ref(pagesNode) +
                  " /MediaBox [0 0 612 792] /Resources << /Font << /F1 " + Ref(font) +
                  " >> >> /Contents " + Ref(content) + " /Annots [" + annots + "] >>");
    }
    std::string kidsList;
    for (const int32_t p : page) kidsList += Ref(p) + " ";
    b.Set(pagesNode,
          "<< /Type /Pages /Kids [" + kidsList + "] /Count " + std::to_string(pages) + " >>");
    const int32_t helvetica =
        b.Add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    std::string oldNames;
    for (int32_t c = 0; c < 3; ++c)
        oldNames += "/chap" + std::to_string(c) + " [" + pageRef(c * 4 + 1) + " /Fit] ";
    b.Set(catalog, "<< /Type /Catalog /Pages " + Ref(pagesNode) + " /Names << /Dests " + Ref(tree) +
                       " >> /Dests << " + oldNames + ">> /AcroForm << /Fields [" + fields +
                       "] /DA (/Helv 0 Tf 0 g) /DR << /Font << /Helv " + Ref(helvetica) +
                       " >> >> >> >>");
    testing::WriteOptions options;
    if (objectStreams) options.form = testing::XrefForm::ObjectStreams;
    return b.Write(options);
}

std::string FeatureDocument(const std::string& marker, bool offBase,
                            const std::string& labelPrefix) {
    testing::PdfBuilder b;
    const int32_t catalog = b.Reserve();
    const int32_t pagesNode = b.Reserve();
    const int32_t font = b.Add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    const int32_t hidden = b.Add("<< /Type /OCG /Name (Hidden-" + marker + ") >>");
    const int32_t shown = b.Add("<< /Type /OCG /Name (Shown-" + marker + ") >>");
    // Half-transparent fill under the name /A, a key other dictionaries use
    // for actions; /P likewise.
    const int32_t halfTransparent = b.Add("<< /Type /ExtGState /ca 0.4 /CA 0.4 >>");
    const int32_t thick = b.Add("<< /Type /ExtGState /LW 12 >>");
    const int32_t attributes = b.Add("<< >>");
    const int32_t tint =
        b.Add("<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 0 0 1] /N 1 >>");
    const int32_t deviceN =
        b.Add("[/DeviceN [/Black] /DeviceCMYK " + Ref(tint) + " " + Ref(attributes) + "]");
    const std::string resources = "<< /Font << /F1 " + Ref(font) + " >> /Properties << /Hid " +
                                  Ref(hidden) + " /Shw " + Ref(shown) + " >> /ExtGState << /A " +
                                  Ref(halfTransparent) + " /P " + Ref(thick) +
                                  " >> /ColorSpace << /Ink " + Ref(deviceN) + " >> >>";
    std::string kids;
    for (int32_t k = 0; k < 3; ++k) {
        std::string content = testing::MarkerPageContent(marker, k + 1);
        switch (k) {
            case 0:
                content +=
                    "\n/OC /Hid BDC 0 g 100 100 400 400 re f EMC\n/OC /Shw BDC 0 g 100 560 80 80 "
                    "re f EMC";
                break;
            case 1:
                content +=
                    "\nq /A gs 0 g 100 100 400 400 re f Q\nq /P gs 0 G 100 600 m 500 600 l S Q";
                break;
            default:
                content += "\n/Ink cs 1 scn 100 100 400 400 re f";
                break;
        }
        const int32_t stream = b.AddStream("<< >>", content, true);
        kids += Ref(b.Add("<< /Type /Page /Parent " + Ref(pagesNode) +
                          " /MediaBox [0 0 612 792] /Resources " + resources + " /Contents " +
                          Ref(stream) + " >>")) +
                " ";
    }
    b.Set(pagesNode, "<< /Type /Pages /Kids [" + kids + "] /Count 3 >>");
    const std::string config = offBase ? "<< /BaseState /OFF /ON [" + Ref(shown) + "] /Order [" +
                                             Ref(hidden) + " " + Ref(shown) + "] >>"
                                       : "<< /OFF [" + Ref(hidden) + "] /Order [" + Ref(hidden) +
                                             " " + Ref(shown) + "] /RBGroups [[" + Ref(hidden) +
                                             " " + Ref(shown) + "]] >>";
    b.Set(catalog, "<< /Type /Catalog /Pages " + Ref(pagesNode) + " /OCProperties << /OCGs [" +
                       Ref(hidden) + " " + Ref(shown) + "] /D " + config +
                       " >> /PageLabels << /Nums [0 << /S /r /P (" + labelPrefix +
                       ") >> 2 << /S /D /St 10 >>] >> >>");
    return b.Write({.form = testing::XrefForm::ObjectStreams});
}

}  // namespace qz::integration
