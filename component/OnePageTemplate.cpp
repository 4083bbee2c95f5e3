#include "component/OnePageTemplate.h"

namespace qz::component {

const std::string& OnePageTemplate() {
    // The blanks in the page tree keep the offsets of the table below.
    static const std::string text =
        "%PDF-1.4\r\n"
        "1 0 obj\r\n"
        "<</Type /Catalog/Pages 2 0 R>>\r\n"
        "endobj\r\n"
        "2 0 obj\r\n"
        "<</Type /Pages/Kids [3 0 R]                       /Count 1>>\r\n"
        "endobj\r\n"
        "3 0 obj\r\n"
        "<</Type /Page/Parent 2 0 R>>\r\n"
        "endobj\r\n"
        "xref\r\n"
        "0 4\r\n"
        "0000000000 65535 f\r\n"
        "0000000010 00000 n\r\n"
        "0000000059 00000 n\r\n"
        "0000000138 00000 n\r\n"
        "trailer\r\n"
        "<</Size 4/Root 1 0 R>>\r\n"
        "startxref\r\n"
        "185\r\n"
        "%%EOF";
    return text;
}

}  // namespace qz::component
