#include "component/MeasurementUnits.h"

#include "core/PDFUtils.h"

namespace qz::component {

double ConvertToMU(TqzMeasurementUnit unit, double value) {
    switch (unit) {
        case TqzMeasurementUnit::muPixels: return core::PointsToPixels(value);
        case TqzMeasurementUnit::muPoints: return value;
        case TqzMeasurementUnit::muInches: return value / core::CInchesToPoints;
        case TqzMeasurementUnit::muMM: return value / kPointsPerMillimetre;
        case TqzMeasurementUnit::muTwips: return value / kPointsPerTwip;
    }
    return value;
}

double ConvertToPDFUnit(TqzMeasurementUnit unit, double value) {
    switch (unit) {
        case TqzMeasurementUnit::muPixels: return core::PixelsToPoints(value);
        case TqzMeasurementUnit::muPoints: return value;
        case TqzMeasurementUnit::muInches: return value * core::CInchesToPoints;
        case TqzMeasurementUnit::muMM: return value * kPointsPerMillimetre;
        case TqzMeasurementUnit::muTwips: return value * kPointsPerTwip;
    }
    return value;
}

}  // namespace qz::component
