#pragma once
// The one-page PDF file an operation loads when it needs an empty document
// to put pages into: it loads the file and deletes its page.

#include <string>

namespace qz::component {

// The file's 330 bytes: PDF 1.4, a catalog, a page tree and one page without
// media box or contents, with an exact cross-reference table.
const std::string& OnePageTemplate();

}  // namespace qz::component
