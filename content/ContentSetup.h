#pragma once
// Fills the document model's factories (fonts, colour spaces, XObjects,
// patterns, graphics states) with the makers of this layer. The program and
// the tests call it once at start-up; calling it again changes nothing.

namespace qz::content {

void RegisterContentFactories();

}  // namespace qz::content
