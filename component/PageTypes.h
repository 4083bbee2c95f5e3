#pragma once
// The small types of the component's page operations: rotation angles,
// transition effects, the page size record, and their status texts.

#include <cstdint>

#include "document/PDPage.h"

namespace qz::component {

// A page's rotation; the anticlockwise angles name the same rotations as
// their clockwise complements.
enum class TqzRotationAngle : uint8_t { ra0, raCW90, raCW180, raCW270, raACW90, raACW180, raACW270 };

// The model's effects, member for member: the component passes them on.
using TqzTransitionEffect = document::TqzPDTransitionEffect;

// A page's width and height, in the unit asked for.
struct TqzPageSize {
    double Width = 0;
    double Height = 0;
};

inline constexpr const char* kStatusPagesDeleted = "%d pages deleted";
inline constexpr const char* kStatusAppendingPages = "Appending Pages...";
inline constexpr const char* kStatusExtractingPages = "Extracting Pages...";
inline constexpr const char* kStatusInsertingPages = "Inserting Pages...";

}  // namespace qz::component
