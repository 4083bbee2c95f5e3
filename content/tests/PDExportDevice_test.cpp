// The base output device: the fan-out of UpdateAll, the default matrix and
// the two point conversions, and a device that overrides nothing.

#include "content/device/PDExportDevice.h"

#include <gtest/gtest.h>

#include <cmath>

#include "content/tests/ContentTestSupport.h"

namespace qz::content {
namespace {

using testing::Interpret;
using testing::RecordingDevice;

TEST(PDExportDevice, UpdateAllSendsFillColourBeforeStrokeSpace) {
    RecordingDevice device;
    device.ExpandUpdateAll = true;
    TqzPDState state(72, 72, 0, nullptr);
    device.UpdateAll(state);
    std::vector<std::string> names;
    for (const auto& line : device.Log) names.push_back(line.substr(0, line.find(' ')));
    EXPECT_EQ(names, (std::vector<std::string>{
                         "UpdateLineDash", "UpdateFlatness", "UpdateLineJoin", "UpdateLineCap", "UpdateMiterLimit",
                         "UpdateLineWidth", "UpdateStrokeAdjust", "UpdateFillColorSpace", "UpdateFillColor",
                         "UpdateStrokeColorSpace", "UpdateStrokeColor", "UpdateBlendMode", "UpdateFillOpacity",
                         "UpdateStrokeOpacity", "UpdateFillOverPrint", "UpdateStrokeOverPrint", "UpdateTransfer"}));
}

// To device space a point gains half a unit on each axis (ready for
// truncation); back to user space it does not lose it.
TEST(PDExportDevice, ConversionsThroughTheDefaultMatrix) {
    TqzPDExportDevice device;
    double x = 0;
    double y = 0;
    device.ConvertUserToDev(1, 1, x, y);  // identity before any matrix
    EXPECT_DOUBLE_EQ(x, 1.5);
    EXPECT_DOUBLE_EQ(y, 1.5);

    device.SetDefaultCTM(core::TqzPDMatrix(2, 0, 0, 3, 10, 20));
    device.ConvertUserToDev(1, 1, x, y);
    EXPECT_DOUBLE_EQ(x, 12.5);
    EXPECT_DOUBLE_EQ(y, 23.5);
    device.ConvertDevToUser(12, 23, x, y);
    EXPECT_NEAR(x, 1, 1e-12);
    EXPECT_NEAR(y, 1, 1e-12);
}

// A zero resolution gives a singular matrix: conversions back stay finite.
TEST(PDExportDevice, SingularDefaultMatrixKeepsAFiniteInverse) {
    TqzPDExportDevice device;
    for (const auto& matrix : {core::TqzPDMatrix(0, 0, 0, 0, 5, 5), core::TqzPDMatrix(1e-200, 0, 0, 1e-200, 0, 0)}) {
        device.SetDefaultCTM(matrix);
        double x = 0;
        double y = 0;
        device.ConvertDevToUser(7, 8, x, y);
        EXPECT_TRUE(std::isfinite(x) && std::isfinite(y));
    }
}

// The base device receives every call of a busy stream and draws nothing.
TEST(PDExportDevice, BaseDeviceRunsThroughAWholeStream) {
    TqzPDExportDevice device;
    core::TqzPDStream stream(std::make_shared<core::TqzMemoryStream>(
                                 "q 1 0 0 1 5 5 cm 2 w [3] 0 d 0 0 m 10 10 l S 0 0 5 5 re W n 1 0 0 rg "
                                 "BT 10 TL T* ET BI /W 1 /H 1 /BPC 8 /CS /G ID x EI Q 0.5 g"),
                             std::make_unique<core::TqzPDDictionary>());
    TqzPDContentStream interpreter(nullptr, nullptr, &stream);
    interpreter.Display(device, 72, 72, 1, 0, nullptr, nullptr);
    ASSERT_NE(interpreter.GetCurrentState(), nullptr);
    TqzColor color;
    interpreter.GetCurrentState()->GetFillColor(color);
    EXPECT_EQ(color.Comps[0], 32768);  // the last operator ran
}

}  // namespace
}  // namespace qz::content
