#pragma once
// Lengths in the component's measurement units and in PDF points. Every
// length the component takes is in its MeasurementUnit and becomes points
// with ConvertToPDFUnit; every length it gives back was points and is
// converted with ConvertToMU.

#include "component/ComponentTypes.h"

namespace qz::component {

// Points in a millimetre and in a twip.
inline constexpr double kPointsPerMillimetre = 2.83464;
inline constexpr double kPointsPerTwip = 0.05;

// `value` points in `unit`. Pixels use the screen's pixels per point.
double ConvertToMU(TqzMeasurementUnit unit, double value);
// `value` in `unit` as points. Pixels are always taken at 96 per inch.
double ConvertToPDFUnit(TqzMeasurementUnit unit, double value);

}  // namespace qz::component
