// The page contents list: its streams, joining them for display, adding
// streams to a page, and the frame of a page's display.

#include "content/device/PDContents.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "content/tests/ContentTestSupport.h"
#include "core/PDArray.h"
#include "core/PDDictionary.h"
#include "core/PDIndirectRef.h"
#include "core/PDRect.h"
#include "document/PDBaseDoc.h"

namespace qz::content {
namespace {

using testing::OnePageFile;
using testing::RecordingDevice;
using Lines = std::vector<std::string>;

TEST(PDContents, StreamsOfAnArraySkipWhatIsNotAStream) {
    OnePageFile file("/Contents [4 0 R 5 0 R 6 0 R]");
    file.Builder.SetStream(4, "<< >>", "1 w");
    file.Builder.Set(5, "(not a stream)");
    file.Builder.SetStream(6, "<< >>", "2 w");
    file.Load();
    TqzPDContents* contents = file.Contents();
    ASSERT_NE(contents, nullptr);
    EXPECT_EQ(contents->GetStreamCount(), 3);
    ASSERT_NE(contents->GetStream(1), nullptr);
    EXPECT_EQ(contents->GetStream(1)->GetBaseObject()->GetObjNumber(), 6u);
    EXPECT_EQ(contents->GetStream(2), nullptr);  // past the streams, within the array
    EXPECT_EQ(contents->GetStream(-1), nullptr);
    // The same element on every call.
    EXPECT_EQ(GetContents(file.Page()), contents);
}

TEST(PDContents, CountsWithoutContents) {
    OnePageFile file("");
    file.Load();
    EXPECT_EQ(file.Contents(), nullptr);
    TqzPDContents absent(&file.Document, &file.Page(), nullptr);
    EXPECT_EQ(absent.GetStreamCount(), 1);
    EXPECT_EQ(absent.GetStream(0), nullptr);
    RecordingDevice device;
    absent.Display(device, 72, 72, 1, 0, nullptr, nullptr, false);
    EXPECT_EQ(device.Lines({"StartPage", "EndPage"}), (Lines{"StartPage 1", "EndPage"}));
}

// The streams of an array are read as one, each ending a token: "Q" and
// "q" at the seam stay two operators. Compressed parts are decoded once.
TEST(PDContents, ArrayStreamsAreJoinedAtTokenBoundaries) {
    OnePageFile file("/Contents [4 0 R 5 0 R 6 0 R 7 0 R]");
    file.Builder.SetStream(4, "<< >>", "q 2 w Q");
    file.Builder.SetStream(5, "<< >>", "q 3 w", true);
    file.Builder.Set(6, "[/not /a /stream]");
    file.Builder.SetStream(7, "<< >>", "Q 0.5 g", true);
    file.Load();
    RecordingDevice device;
    file.Display(device);
    EXPECT_EQ(device.Lines({"SaveState", "RestoreState", "UpdateLineWidth", "UpdateFillColor"}),
              (Lines{"SaveState", "SaveState", "UpdateLineWidth 2", "RestoreState", "SaveState",
                     "UpdateLineWidth 3", "RestoreState", "UpdateFillColor 0.5", "RestoreState"}));
}

TEST(PDContents, EmptyArrayDrawsNothing) {
    OnePageFile file("/Contents []");
    file.Load();
    RecordingDevice device;
    file.Display(device);
    EXPECT_EQ(device.Lines({"StartPage", "SaveState", "RestoreState", "EndPage", "Fill"}),
              (Lines{"StartPage 1", "SaveState", "RestoreState", "EndPage"}));
}

TEST(PDContents, DisplayFrameWithCropBox) {
    OnePageFile file("/CropBox [10 20 110 70] /Contents 4 0 R");
    file.Builder.SetStream(4, "<< >>", "0 0 m 1 1 l S");
    file.Load();
    RecordingDevice device;
    file.Display(device);
    EXPECT_EQ(device.Lines({"StartPage", "Clip", "SaveState", "SetDefaultCTM", "UpdateAll", "Stroke",
                            "RestoreState", "EndPage"}),
              (Lines{"StartPage 1", "Clip M 10 20 L 110 20 L 110 70 L 10 70 L 10 20 Z", "SaveState",
                     "SetDefaultCTM 1 0 0 1 -10 -20", "UpdateAll", "Stroke M 0 0 L 1 1", "RestoreState",
                     "EndPage"}));

    // An invalid crop box clips nothing.
    RecordingDevice second;
    core::TqzPDRect invalid;
    file.Contents()->Display(second, 72, 72, 1, 0, nullptr, &invalid, false);
    EXPECT_TRUE(second.Lines({"Clip"}).empty());
}

class FailingStart : public RecordingDevice {
public:
    void StartPage(int32_t, TqzPDState&) override { throw std::runtime_error("no page"); }
};

TEST(PDContents, EndPageFollowsAFailedStep) {
    OnePageFile file("/Contents 4 0 R");
    file.Builder.SetStream(4, "<< >>", "1 w");
    file.Load();
    FailingStart device;
    EXPECT_THROW(file.Contents()->Display(device, 72, 72, 1, 0, nullptr, nullptr, false), std::runtime_error);
    EXPECT_EQ(device.Log, Lines{"EndPage"});
}

// A new content stream object of the document, ready for AddStream.
std::unique_ptr<TqzPDContentStream> NewStream(OnePageFile& file, const std::string& data) {
    auto object = std::make_unique<core::TqzPDStream>(std::make_shared<core::TqzMemoryStream>(data),
                                                      std::make_unique<core::TqzPDDictionary>());
    core::TqzPDBaseObject* entered = file.Document.GetBaseDoc()->AddNewObject(std::move(object));
    return std::make_unique<TqzPDContentStream>(&file.Document, file.Contents(), entered);
}

// The object numbers /Contents lists, through the page dictionary.
std::vector<uint32_t> Listed(OnePageFile& file) {
    std::vector<uint32_t> numbers;
    const core::TqzPDBaseObject* value = file.Page().GetDict()->LookUp("Contents");
    if (value == nullptr || !value->IsArray()) return numbers;
    const auto& array = static_cast<const core::TqzPDArray&>(*value);
    for (int32_t i = 0; i < array.GetLength(); ++i) numbers.push_back(array.GetRefObj(i)->GetObjNumber());
    return numbers;
}

TEST(PDContents, AddStreamToOneStreamMakesAnIndirectArray) {
    OnePageFile file("/Contents 4 0 R");
    file.Builder.SetStream(4, "<< >>", "1 w");
    file.Load();
    auto added = NewStream(file, "2 w");
    const uint32_t number = added->GetBaseObject()->GetObjNumber();
    TqzPDContentStream* raw = added.get();
    file.Contents()->AddStream(std::move(added), false, 0);
    const core::TqzPDBaseObject* stored = file.Page().GetDict()->LookupRefObj("Contents");
    ASSERT_TRUE(stored != nullptr && stored->IsIndirectRef());
    EXPECT_EQ(Listed(file), (std::vector<uint32_t>{number, 4}));
    EXPECT_EQ(file.Contents()->GetStreamCount(), 2);
    EXPECT_EQ(file.Contents()->GetStream(0), raw);

    RecordingDevice device;
    file.Display(device);
    EXPECT_EQ(device.Lines({"UpdateLineWidth"}), (Lines{"UpdateLineWidth 2", "UpdateLineWidth 1"}));
}

TEST(PDContents, AddStreamToAnArray) {
    OnePageFile file("/Contents [4 0 R 5 0 R]");
    file.Builder.SetStream(4, "<< >>", "1 w");
    file.Builder.SetStream(5, "<< >>", "2 w");
    file.Load();
    auto first = NewStream(file, "3 w");
    auto last = NewStream(file, "4 w");
    auto middle = NewStream(file, "5 w");
    auto far = NewStream(file, "6 w");
    const uint32_t a = first->GetBaseObject()->GetObjNumber();
    const uint32_t b = last->GetBaseObject()->GetObjNumber();
    const uint32_t c = middle->GetBaseObject()->GetObjNumber();
    const uint32_t d = far->GetBaseObject()->GetObjNumber();
    TqzPDContents& contents = *file.Contents();
    contents.AddStream(std::move(first), true, -1);
    contents.AddStream(std::move(last), false, -1);
    contents.AddStream(std::move(middle), true, 2);
    contents.AddStream(std::move(far), false, 99);  // past the end: appended
    EXPECT_EQ(Listed(file), (std::vector<uint32_t>{a, 4, c, 5, b, d}));
    for (int32_t i = 0; i < 6; ++i) {
        ASSERT_NE(contents.GetStream(i), nullptr);
        EXPECT_EQ(contents.GetStream(i)->GetBaseObject()->GetObjNumber(), Listed(file)[static_cast<size_t>(i)]);
    }
}

}  // namespace
}  // namespace qz::content

namespace qz::content {
namespace {

// A stream added to an empty array is one of the page's streams at once.
TEST(PDContents, AddStreamToAnEmptyArray) {
    OnePageFile file("/Contents []");
    file.Load();
    auto added = NewStream(file, "2 w");
    TqzPDContentStream* raw = added.get();
    file.Contents()->AddStream(std::move(added), false, -1);
    EXPECT_EQ(file.Contents()->GetStreamCount(), 1);
    EXPECT_EQ(file.Contents()->GetStream(0), raw);
}

}  // namespace
}  // namespace qz::content
