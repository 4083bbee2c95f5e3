#pragma once
// Fills the core's filter hooks with this folder's codecs. Called once at
// start-up by the program and by any test that saves documents.

namespace qz::filters {

void RegisterFilters();

}  // namespace qz::filters
