#include "component/ActionWrappers.h"

#include <array>

#include "core/PDRect.h"
#include "document/PDPage.h"
#include "platform/CodePage.h"

namespace qz::component {

namespace {

using document::TqzPageDisplayOptions;
using Option = TqzPageDisplayOptions;

constexpr std::array<Option, 8> kOptionOfType = {
    Option::FitZoom,        Option::FitAll,         Option::FitHeight,          Option::FitWidth,
    Option::FitRect,        Option::FitBoundingBox, Option::FitBoundingBoxHeight, Option::FitBoundingBoxWidth,
};

std::string ToModelText(const std::string& utf8) { return platform::Utf8ToCodePage(utf8); }
std::string FromModelText(const std::string& bytes) { return platform::CodePageToUtf8(bytes); }

// The four numbers of the constructor forms, by type: `topOrLeft` is Top
// for the horizontal fits and Left for the vertical ones.
void SetTopOrLeft(core::TqzPDRect& rect, TqzPDFDestinationType type, double topOrLeft) {
    if (type == TqzPDFDestinationType::dtFitH) rect.SetTop(topOrLeft);
    if (type == TqzPDFDestinationType::dtFitV) rect.SetLeft(topOrLeft);
}

}  // namespace

document::TqzPageDisplayOptions DisplayOptionOf(TqzPDFDestinationType type) {
    return kOptionOfType[static_cast<size_t>(type)];
}

TqzPDFDestinationType DestinationTypeOf(document::TqzPageDisplayOptions option, TqzPDFDestinationType whenNone) {
    for (size_t i = 0; i < kOptionOfType.size(); ++i) {
        if (kOptionOfType[i] == option) return static_cast<TqzPDFDestinationType>(i);
    }
    return whenNone;
}

// ---- destination ----

TqzPDFDestination::TqzPDFDestination()
    : FOwned(std::make_unique<document::TqzPDDestination>()), FDestination(FOwned.get()) {
    // Numbers not given are 0, not the empty rectangle's -1.
    FDestination->SetRect(0, 0, 0, 0);
}

TqzPDFDestination::TqzPDFDestination(int32_t PageNo, TqzPDFDestinationType DestinationType) : TqzPDFDestination() {
    FPageNo = PageNo;
    FDestination->SetDisplayOption(DisplayOptionOf(DestinationType));
}

TqzPDFDestination::TqzPDFDestination(int32_t PageNo, TqzPDFDestinationType DestinationType, double TopOrLeft)
    : TqzPDFDestination(PageNo, DestinationType) {
    SetTopOrLeft(Rect(), DestinationType, TopOrLeft);
}

TqzPDFDestination::TqzPDFDestination(int32_t PageNo, TqzPDFDestinationType DestinationType, double Left, double Top,
                                     double Zoom)
    : TqzPDFDestination(PageNo, DestinationType) {
    Rect().SetValues(Left, Top, Zoom, -1);
}

TqzPDFDestination::TqzPDFDestination(int32_t PageNo, TqzPDFDestinationType DestinationType, double Left,
                                     double Bottom, double Right, double Top)
    : TqzPDFDestination(PageNo, DestinationType) {
    Rect().SetValues(Left, Top, Right, Bottom);
}

TqzPDFDestination::~TqzPDFDestination() = default;

void TqzPDFDestination::SetDestination(document::TqzPDDestination* destination) {
    // The borrowed one may be the one owned: keep it alive then.
    if (destination != FOwned.get()) FOwned.reset();
    FDestination = destination;
    if (FDestination == nullptr) {
        // A wrapper always has a destination to read and write.
        FOwned = std::make_unique<document::TqzPDDestination>();
        FDestination = FOwned.get();
    }
}

core::TqzPDRect& TqzPDFDestination::Rect() const { return *FDestination->GetRect(); }

TqzPDFDestinationType TqzPDFDestination::GetDestinationType() const {
    return DestinationTypeOf(FDestination->GetDisplayOption(), TqzPDFDestinationType::dtFit);
}

void TqzPDFDestination::SetDestinationType(TqzPDFDestinationType value) {
    FDestination->SetDisplayOption(DisplayOptionOf(value));
}

double TqzPDFDestination::GetLeft() const { return Rect().GetLeft(); }
double TqzPDFDestination::GetTop() const { return Rect().GetTop(); }
double TqzPDFDestination::GetRight() const { return Rect().GetRight(); }
double TqzPDFDestination::GetBottom() const { return Rect().GetBottom(); }
void TqzPDFDestination::SetLeft(double value) { Rect().SetLeft(value); }
void TqzPDFDestination::SetTop(double value) { Rect().SetTop(value); }
void TqzPDFDestination::SetRight(double value) { Rect().SetRight(value); }
void TqzPDFDestination::SetBottom(double value) { Rect().SetBottom(value); }

std::unique_ptr<document::TqzPDDestination> TqzPDFDestination::CopyModel() const {
    const core::TqzPDRect& rect = Rect();
    return std::make_unique<document::TqzPDDestination>(FDestination->GetDocument(), FDestination->GetPage(),
                                                        FDestination->GetDisplayOption(), &rect);
}

// ---- actions ----

TqzPDFAction::TqzPDFAction(document::TqzPDAction* Action) : FAction(Action) {}

TqzPDFAction::TqzPDFAction(std::unique_ptr<document::TqzPDAction> owned)
    : FOwned(std::move(owned)), FAction(FOwned.get()) {}

TqzPDFAction::~TqzPDFAction() = default;

document::TqzPDActionType TqzPDFAction::GetActionType() const {
    return FAction != nullptr ? FAction->GetType() : document::TqzPDActionType::actionNone;
}

std::unique_ptr<TqzPDFAction> TqzPDFAction::Wrap(document::TqzPDAction& action) {
    // By class, not by /S: an action made without its kind's class has
    // none of its operations.
    if (auto* goTo = dynamic_cast<document::TqzPDGoToAction*>(&action))
        return std::make_unique<TqzPDFGoToAction>(*goTo);
    if (auto* remote = dynamic_cast<document::TqzPDGoToRemoteAction*>(&action))
        return std::make_unique<TqzPDFGoToRAction>(*remote);
    if (auto* launch = dynamic_cast<document::TqzPDLaunchAction*>(&action))
        return std::make_unique<TqzPDFLaunchAction>(*launch);
    if (auto* uri = dynamic_cast<document::TqzPDURIAction*>(&action)) return std::make_unique<TqzPDFURIAction>(*uri);
    if (auto* script = dynamic_cast<document::TqzPDJavaScriptAction*>(&action))
        return std::make_unique<TqzPDFJavaScriptAction>(*script);
    return nullptr;
}

// ---- go-to ----

TqzPDFGoToAction::TqzPDFGoToAction() : TqzPDFGoToAction(std::make_unique<document::TqzPDGoToAction>()) {}

TqzPDFGoToAction::TqzPDFGoToAction(std::unique_ptr<document::TqzPDAction> owned) : TqzPDFAction(std::move(owned)) {
    // Numbers not given are 0, not the empty rectangle's -1.
    if (document::TqzPDDestination* destination = Destination()) destination->SetRect(0, 0, 0, 0);
}

TqzPDFGoToAction::TqzPDFGoToAction(document::TqzPDAction& borrowed, int32_t pageNo)
    : TqzPDFAction(&borrowed), FPageNo(pageNo) {}

TqzPDFGoToAction::TqzPDFGoToAction(int32_t APageNo, TqzPDFDestinationType ADestinationType)
    : TqzPDFGoToAction() {
    FPageNo = APageNo;
    SetDestinationType(ADestinationType);
}

TqzPDFGoToAction::TqzPDFGoToAction(int32_t APageNo, TqzPDFDestinationType ADestinationType, double ATopOrLeft)
    : TqzPDFGoToAction(APageNo, ADestinationType) {
    if (document::TqzPDDestination* destination = Destination())
        SetTopOrLeft(*destination->GetRect(), ADestinationType, ATopOrLeft);
}

TqzPDFGoToAction::TqzPDFGoToAction(int32_t APageNo, TqzPDFDestinationType ADestinationType, double ALeft,
                                   double ATop, double AZoom)
    : TqzPDFGoToAction(APageNo, ADestinationType) {
    SetUp(ADestinationType, ALeft, ATop, AZoom, 0);
}

TqzPDFGoToAction::TqzPDFGoToAction(int32_t APageNo, TqzPDFDestinationType ADestinationType, double ALeft,
                                   double ABottom, double ARight, double ATop)
    : TqzPDFGoToAction(APageNo, ADestinationType) {
    SetUp(ADestinationType, ALeft, ATop, ARight, ABottom);
}

TqzPDFGoToAction::TqzPDFGoToAction(document::TqzPDGoToAction& action)
    : TqzPDFGoToAction(action, 0) {
    document::TqzPDDestination* destination = Destination();
    document::TqzPDPage* page = destination != nullptr ? destination->GetPage() : nullptr;
    FPageNo = page != nullptr ? page->GetPageNum() : 0;
}

void TqzPDFGoToAction::SetUp(TqzPDFDestinationType type, double left, double top, double right, double bottom) {
    SetDestinationType(type);
    if (document::TqzPDDestination* destination = Destination()) destination->SetRect(left, top, right, bottom);
}

document::TqzPDDestination* TqzPDFGoToAction::Destination() const {
    return FAction != nullptr ? FAction->GetDest() : nullptr;
}

TqzPDFDestinationType TqzPDFGoToAction::GetDestinationType() const {
    document::TqzPDDestination* destination = Destination();
    return DestinationTypeOf(destination != nullptr ? destination->GetDisplayOption() : Option::None,
                             TqzPDFDestinationType::dtXYZ);
}

void TqzPDFGoToAction::SetDestinationType(TqzPDFDestinationType value) {
    if (document::TqzPDDestination* destination = Destination()) {
        // Cleared first, so that a destination read from a file takes the
        // new option rather than keeping the one it read.
        destination->SetDisplayOption(Option::None);
        destination->SetDisplayOption(DisplayOptionOf(value));
    }
}

double TqzPDFGoToAction::Number(double (core::TqzPDRect::*get)() const) const {
    document::TqzPDDestination* destination = Destination();
    return destination != nullptr ? (destination->GetRect()->*get)() : 0;
}

void TqzPDFGoToAction::SetNumber(void (core::TqzPDRect::*set)(double), double value) {
    if (document::TqzPDDestination* destination = Destination()) (destination->GetRect()->*set)(value);
}

double TqzPDFGoToAction::GetLeft() const { return Number(&core::TqzPDRect::GetLeft); }
double TqzPDFGoToAction::GetTop() const { return Number(&core::TqzPDRect::GetTop); }
double TqzPDFGoToAction::GetRight() const { return Number(&core::TqzPDRect::GetRight); }
double TqzPDFGoToAction::GetBottom() const { return Number(&core::TqzPDRect::GetBottom); }
void TqzPDFGoToAction::SetLeft(double value) { SetNumber(&core::TqzPDRect::SetLeft, value); }
void TqzPDFGoToAction::SetTop(double value) { SetNumber(&core::TqzPDRect::SetTop, value); }
void TqzPDFGoToAction::SetRight(double value) { SetNumber(&core::TqzPDRect::SetRight, value); }
void TqzPDFGoToAction::SetBottom(double value) { SetNumber(&core::TqzPDRect::SetBottom, value); }

// ---- remote go-to ----

TqzPDFGoToRAction::TqzPDFGoToRAction() : TqzPDFGoToAction(std::make_unique<document::TqzPDGoToRemoteAction>()) {}

TqzPDFGoToRAction::TqzPDFGoToRAction(int32_t APageNo, TqzPDFDestinationType ADestinationType)
    : TqzPDFGoToRAction() {
    SetPageNo(APageNo);
    SetDestinationType(ADestinationType);
}

TqzPDFGoToRAction::TqzPDFGoToRAction(int32_t APageNo, TqzPDFDestinationType ADestinationType, double ATopOrLeft)
    : TqzPDFGoToRAction(APageNo, ADestinationType) {
    if (document::TqzPDDestination* destination = Destination())
        SetTopOrLeft(*destination->GetRect(), ADestinationType, ATopOrLeft);
}

TqzPDFGoToRAction::TqzPDFGoToRAction(int32_t APageNo, TqzPDFDestinationType ADestinationType, double ALeft,
                                     double ATop, double AZoom)
    : TqzPDFGoToRAction(APageNo, ADestinationType) {
    SetUp(ADestinationType, ALeft, ATop, AZoom, 0);
}

TqzPDFGoToRAction::TqzPDFGoToRAction(int32_t APageNo, TqzPDFDestinationType ADestinationType, double ALeft,
                                     double ABottom, double ARight, double ATop)
    : TqzPDFGoToRAction(APageNo, ADestinationType) {
    SetUp(ADestinationType, ALeft, ATop, ARight, ABottom);
}

TqzPDFGoToRAction::TqzPDFGoToRAction(document::TqzPDGoToRemoteAction& action)
    : TqzPDFGoToAction(action, 0), FPageNo(action.GetPageNum()) {}

document::TqzPDGoToRemoteAction& TqzPDFGoToRAction::Remote() const {
    return static_cast<document::TqzPDGoToRemoteAction&>(*FAction);
}

void TqzPDFGoToRAction::SetPageNo(int32_t value) {
    FPageNo = value - 1;
    Remote().SetPageNum(FPageNo);
}

std::string TqzPDFGoToRAction::GetFileName() const { return FromModelText(Remote().GetFileName()); }
void TqzPDFGoToRAction::SetFileName(const std::string& value) { Remote().SetFileName(ToModelText(value)); }
bool TqzPDFGoToRAction::GetOpenInNewWindow() const { return Remote().GetOpenInNewWindow(); }
void TqzPDFGoToRAction::SetOpenInNewWindow(bool value) { Remote().SetOpenInNewWindow(value); }

// ---- launch ----

TqzPDFLaunchAction::TqzPDFLaunchAction() : TqzPDFAction(std::make_unique<document::TqzPDLaunchAction>()) {}

TqzPDFLaunchAction::TqzPDFLaunchAction(document::TqzPDLaunchAction& action) : TqzPDFAction(&action) {}

document::TqzPDLaunchAction& TqzPDFLaunchAction::Launch() const {
    return static_cast<document::TqzPDLaunchAction&>(*FAction);
}

std::string TqzPDFLaunchAction::GetApplicationToLaunch() const {
    return FromModelText(Launch().GetApplicationToLaunch());
}
void TqzPDFLaunchAction::SetApplicationToLaunch(const std::string& value) {
    Launch().SetApplicationToLaunch(ToModelText(value));
}
std::string TqzPDFLaunchAction::GetParameterToApplication() const {
    return FromModelText(Launch().GetApplicationParameter());
}
void TqzPDFLaunchAction::SetParameterToApplication(const std::string& value) {
    Launch().SetApplicationParameter(ToModelText(value));
}
bool TqzPDFLaunchAction::GetOpenInNewWindow() const { return Launch().GetOpenInNewWindow(); }
void TqzPDFLaunchAction::SetOpenInNewWindow(bool value) { Launch().SetOpenInNewWindow(value); }

TqzLaunchActionType TqzPDFLaunchAction::GetLaunchActionType() const {
    return Launch().GetLaunchActionType() == document::TqzLaunchActionType::ltPrint ? TqzLaunchActionType::atPrint
                                                                                     : TqzLaunchActionType::atOpen;
}

void TqzPDFLaunchAction::SetLaunchActionType(TqzLaunchActionType value) {
    if (value == TqzLaunchActionType::atOpen) Launch().SetLaunchActionType(document::TqzLaunchActionType::ltOpen);
    if (value == TqzLaunchActionType::atPrint) Launch().SetLaunchActionType(document::TqzLaunchActionType::ltPrint);
}

// ---- URI, JavaScript ----

TqzPDFURIAction::TqzPDFURIAction() : TqzPDFAction(std::make_unique<document::TqzPDURIAction>()) {}
TqzPDFURIAction::TqzPDFURIAction(document::TqzPDURIAction& action) : TqzPDFAction(&action) {}

std::string TqzPDFURIAction::GetURI() const {
    return FromModelText(static_cast<document::TqzPDURIAction&>(*FAction).GetURI());
}
void TqzPDFURIAction::SetURI(const std::string& value) {
    static_cast<document::TqzPDURIAction&>(*FAction).SetURI(ToModelText(value));
}

TqzPDFJavaScriptAction::TqzPDFJavaScriptAction()
    : TqzPDFAction(std::make_unique<document::TqzPDJavaScriptAction>()) {}
TqzPDFJavaScriptAction::TqzPDFJavaScriptAction(document::TqzPDJavaScriptAction& action) : TqzPDFAction(&action) {}

std::string TqzPDFJavaScriptAction::GetJavaScript() const {
    return FromModelText(static_cast<document::TqzPDJavaScriptAction&>(*FAction).GetJavaScript());
}
void TqzPDFJavaScriptAction::SetJavaScript(const std::string& value) {
    static_cast<document::TqzPDJavaScriptAction&>(*FAction).SetJavaScript(ToModelText(value));
}

}  // namespace qz::component
