#pragma once
// TqzPDAction and its kinds: model elements over action dictionaries. Outline
// items, the catalog's document actions, pages and annotations read them
// through MakeAction; the component makes new ones (without dictionary) to
// attach. An action borrows its dictionary, document and parent element; it
// owns its destination, its file specification and the actions of its /Next
// chain that it has read.
//
// CreateActionDict is the one writer of action dictionaries: the catalog,
// the pages and the outline items all write through it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/PDElement.h"

namespace qz::core {
class TqzPDBaseObject;
class TqzPDDictionary;
}  // namespace qz::core

namespace qz::document {

class TqzPDDestination;
class TqzPDDocument;
class TqzPDFileSpec;

enum class TqzPDActionType : uint8_t {
    actionNone,
    actionGoTo,
    actionGoToR,
    actionGoToE,
    actionLaunch,
    actionThread,
    actionURI,
    actionSound,
    actionMovie,
    actionHide,
    actionNamed,
    actionSubmitForm,
    actionResetForm,
    actionImportData,
    actionJavaScript,
    actionSetOCGState,
    actionRendition,
    actionTrans,
    actionGoTo3DView,
};

// The /S name of a type ("GoTo", "URI", ...); empty for actionNone.
std::string_view ActionTypeName(TqzPDActionType type);
// The type a /S name stands for, compared exactly; actionNone otherwise.
TqzPDActionType ActionTypeFromName(std::string_view name);

enum class TqzTargetType : uint8_t { ttParent, ttChild };
enum class TqzLaunchActionType : uint8_t { ltOpen, ltPrint };
enum class TqzFormSubmitFormat : uint8_t { fsfHTML, fsfFDF, fsfXML };

// What is shared by the actions of one /Next chain read from a file: the
// dictionaries met so far, so that a chain that loops or repeats itself is
// read once, and the number of actions made.
struct TqzActionChain;

class TqzPDAction : public core::TqzPDElement {
public:
    // Stores the three; the type stays actionNone until /S is read.
    TqzPDAction(TqzPDDocument* document, core::TqzPDElement* parentElement, core::TqzPDBaseObject* baseObject);
    ~TqzPDAction() override;
    TqzPDAction(const TqzPDAction&) = delete;
    TqzPDAction& operator=(const TqzPDAction&) = delete;

    void Update() override {}

    TqzPDDocument* GetDocument() const { return FDocument; }
    // The action dictionary; none for an action made without one.
    core::TqzPDDictionary* GetDict() const;

    // While the type is actionNone: /S of the dictionary. ExBadAction when
    // /S is present and not a name; an unknown name leaves actionNone.
    TqzPDActionType GetType();
    void SetActionType(TqzPDActionType value) { FActionType = value; }

    // The destination of /D, read anew on every call: an array fills the
    // held destination (made when there is none); a name gives a destination
    // of that option without page. Without /D (or for a named destination
    // given as a string) the held destination, which may be none.
    TqzPDDestination* GetDest();
    // The file specification held; none until a kind makes one.
    TqzPDFileSpec* GetFileSpec() const { return FFileSpec.get(); }
    // Replaces the held file specification (for a remote, embedded or launch
    // action: one over a dictionary of the document, an embedded file say).
    void SetFileSpec(std::unique_ptr<TqzPDFileSpec> value);

    // The actions of /Next (a dictionary or an array of them), made on first
    // call and kept. A dictionary met before anywhere in the chain is
    // skipped, and the chain ends at kMaxActionChainDepth levels and
    // kMaxActionChainActions actions.
    const std::vector<std::unique_ptr<TqzPDAction>>& GetNextActions();

    // A new action of the class that /S names, over `baseObject`; none for
    // ImportData, SetOCGState, an absent or unknown /S, or an object that is
    // not a dictionary. The caller owns it.
    static std::unique_ptr<TqzPDAction> MakeAction(TqzPDDocument* document, core::TqzPDElement* parentElement,
                                                   core::TqzPDBaseObject* baseObject);
    // A new action of that type without dictionary; none for the types
    // without a class (actionNone, ImportData, SetOCGState).
    static std::unique_ptr<TqzPDAction> MakeAction(TqzPDDocument* document, core::TqzPDElement* parentElement,
                                                   TqzPDActionType actionType);

protected:
    // For the kinds: the three, and the type.
    TqzPDAction(TqzPDActionType type, TqzPDDocument* document, core::TqzPDElement* parentElement,
                core::TqzPDBaseObject* baseObject);

    // The stored string, Boolean or name of `key`; none when absent or of
    // another kind.
    bool ReadString(std::string_view key, std::string& value) const;
    bool ReadBool(std::string_view key, bool& value) const;
    // Write `key` into the dictionary (when there is one): in place when the
    // entry is of the same kind, else as a new entry.
    void WriteString(std::string_view key, const std::string& value, bool asText);
    void WriteBool(std::string_view key, bool value);
    // A Boolean getter's and setter's work: `field` takes the entry when it
    // is present / the value, which is also written.
    bool ReadField(std::string_view key, bool& field) const;
    void WriteField(std::string_view key, bool& field, bool value);
    // The held file spec, made from /F when none is held (or always, with
    // `fresh`): a string /F gives a file spec without object holding its
    // name, a dictionary one over it.
    TqzPDFileSpec* FileSpecFromF(bool fresh);
    // Writes the name into /F and the held file spec. `addMissing`: a
    // dictionary without /F gets one.
    void WriteFileName(const std::string& value, bool addMissing);

    TqzPDDocument* FDocument;
    TqzPDActionType FActionType = TqzPDActionType::actionNone;
    std::vector<std::unique_ptr<TqzPDAction>> FNextActions;
    bool FNextActionsRead = false;
    std::unique_ptr<TqzPDDestination> FViewDestination;
    std::unique_ptr<TqzPDFileSpec> FFileSpec;

private:
    std::shared_ptr<TqzActionChain> FChain;
    int32_t FChainDepth = 0;
};

// The deepest /Next nesting read: real chains are a handful of steps (a
// script, then a go-to); the bound keeps a hostile chain from building
// actions without end, directly nested ones included.
inline constexpr int32_t kMaxActionChainDepth = 64;
// The most actions one chain makes: far beyond any real document, and what
// a wide /Next array of a hostile file may cost.
inline constexpr size_t kMaxActionChainActions = 4096;

class TqzPDGoToAction : public TqzPDAction {
public:
    TqzPDGoToAction(TqzPDDocument* document, core::TqzPDElement* parentElement, core::TqzPDBaseObject* baseObject);
    // Keeps `destination` (owned).
    explicit TqzPDGoToAction(std::unique_ptr<TqzPDDestination> destination);
    // A new empty destination.
    TqzPDGoToAction();
};

class TqzPDGoToRemoteAction : public TqzPDAction {
public:
    TqzPDGoToRemoteAction(TqzPDDocument* document, core::TqzPDElement* parentElement,
                          core::TqzPDBaseObject* baseObject);
    // Keeps `destination`; a new file specification without object.
    explicit TqzPDGoToRemoteAction(std::unique_ptr<TqzPDDestination> destination);
    // A new empty destination and a new file specification without object.
    TqzPDGoToRemoteAction();

    bool GetOpenInNewWindow();
    void SetOpenInNewWindow(bool value);
    // /F through the file specification.
    std::string GetFileName();
    void SetFileName(const std::string& value);
    std::string GetApplicationToLaunch() { return GetFileName(); }
    void SetApplicationToLaunch(const std::string& value) { SetFileName(value); }
    // The remote page number (0-based, as /D holds it): /D's entry 0 when it
    // is an integer, else the field.
    int32_t GetPageNum();
    void SetPageNum(int32_t value) { FPAgeNum = value; }

private:
    bool FOpenInNewWindow = false;
    int32_t FPAgeNum = 0;
};

class TqzPDGoToEmbeddedAction : public TqzPDAction {
public:
    TqzPDGoToEmbeddedAction(TqzPDDocument* document, core::TqzPDElement* parentElement,
                            core::TqzPDBaseObject* baseObject);
    TqzPDGoToEmbeddedAction();

    bool GetOpenInNewWindow();
    void SetOpenInNewWindow(bool value);
    // /T /R: the name C is ttChild, P ttParent.
    TqzTargetType GetTargetType();
    void SetTargetType(TqzTargetType value);
    // /F through a file specification made anew on every read.
    std::string GetFileName();
    void SetFileName(const std::string& value);
    std::string GetApplicationToLaunch() { return GetFileName(); }
    void SetApplicationToLaunch(const std::string& value) { SetFileName(value); }

private:
    bool FOpenInNewWindow = false;
    TqzTargetType FTargetType = TqzTargetType::ttParent;
};

class TqzPDLaunchAction : public TqzPDAction {
public:
    TqzPDLaunchAction(TqzPDDocument* document, core::TqzPDElement* parentElement, core::TqzPDBaseObject* baseObject);
    // A new empty file specification.
    TqzPDLaunchAction();

    bool GetOpenInNewWindow();
    void SetOpenInNewWindow(bool value);
    // /Win /P, /Win /D, /Win /O ("open", "print").
    std::string GetApplicationParameter();
    void SetApplicationParameter(const std::string& value);
    std::string GetDefaultDirectory();
    void SetDefaultDirectory(const std::string& value);
    TqzLaunchActionType GetLaunchActionType();
    void SetLaunchActionType(TqzLaunchActionType value);
    // /F through a file specification made anew on every read.
    std::string GetApplicationToLaunch();
    void SetApplicationToLaunch(const std::string& value);
    std::string GetFileName() { return GetApplicationToLaunch(); }
    void SetFileName(const std::string& value) { SetApplicationToLaunch(value); }

private:
    // The /Win dictionary, added (direct) when missing and `add` is set.
    core::TqzPDDictionary* WinDict(bool add);
    std::string ReadWinString(std::string_view key, std::string& field);
    void WriteWinString(std::string_view key, const std::string& value);

    bool FOpenInNewWindow = false;
    TqzLaunchActionType FLaunchActionType = TqzLaunchActionType::ltOpen;
    std::string FApplicationParameter;
    std::string FDefaultDirectory;
};

class TqzPDURIAction : public TqzPDAction {
public:
    TqzPDURIAction(TqzPDDocument* document, core::TqzPDElement* parentElement, core::TqzPDBaseObject* baseObject);
    TqzPDURIAction();
    explicit TqzPDURIAction(std::string uri);

    bool GetTrackMousePointer();
    void SetTrackMousePointer(bool value);
    std::string GetURI();
    void SetURI(const std::string& value);

private:
    std::string FURI;
    bool FTrackMousePointer = false;
};

class TqzPDSubmitFormAction : public TqzPDAction {
public:
    TqzPDSubmitFormAction(TqzPDDocument* document, core::TqzPDElement* parentElement,
                          core::TqzPDBaseObject* baseObject);
    TqzPDSubmitFormAction();
    ~TqzPDSubmitFormAction() override;

    // /F through a second file specification of the action's own.
    std::string GetURL();
    void SetURL(const std::string& value);
    TqzFormSubmitFormat GetFormat() const { return FFormat; }
    void SetFormat(TqzFormSubmitFormat value) { FFormat = value; }

private:
    std::string FURL;
    std::unique_ptr<TqzPDFileSpec> FFileSpec;
    TqzFormSubmitFormat FFormat = TqzFormSubmitFormat::fsfFDF;
};

class TqzPDResetFormAction : public TqzPDAction {
public:
    TqzPDResetFormAction(TqzPDDocument* document, core::TqzPDElement* parentElement,
                         core::TqzPDBaseObject* baseObject);
    TqzPDResetFormAction();
};

class TqzPDJavaScriptAction : public TqzPDAction {
public:
    TqzPDJavaScriptAction(TqzPDDocument* document, core::TqzPDElement* parentElement,
                          core::TqzPDBaseObject* baseObject);
    TqzPDJavaScriptAction();

    // /JS: a string, or a stream whose data is the script.
    std::string GetJavaScript();
    void SetJavaScript(const std::string& value);

private:
    std::string FJavaScript;
};

// The kinds that carry nothing of their own beyond their dictionary.
template <TqzPDActionType Kind>
class TqzPDPlainAction : public TqzPDAction {
public:
    TqzPDPlainAction(TqzPDDocument* document, core::TqzPDElement* parentElement, core::TqzPDBaseObject* baseObject)
        : TqzPDAction(Kind, document, parentElement, baseObject) {}
};

using TqzPDThreadAction = TqzPDPlainAction<TqzPDActionType::actionThread>;
using TqzPDSoundAction = TqzPDPlainAction<TqzPDActionType::actionSound>;
using TqzPDMovieAction = TqzPDPlainAction<TqzPDActionType::actionMovie>;
using TqzPDHideAction = TqzPDPlainAction<TqzPDActionType::actionHide>;
using TqzPDNamedAction = TqzPDPlainAction<TqzPDActionType::actionNamed>;
using TqzPDRenditionAction = TqzPDPlainAction<TqzPDActionType::actionRendition>;
using TqzPDTransitionAction = TqzPDPlainAction<TqzPDActionType::actionTrans>;
using TqzPDGoTo3DViewAction = TqzPDPlainAction<TqzPDActionType::actionGoTo3DView>;

// Which writer: the catalog's and the page's convert the destination of a
// remote go-to action from the page's top like a local one; the outline
// item's leaves the remote numbers as they are.
enum class TqzActionDictVariant : uint8_t { Direct, OutlineItem };

// `action` written as a new direct action dictionary of `document`: /Type
// /Action, /S and the entries of its kind. A go-to destination's Top and
// Bottom are taken as measured down from the top of its page. A file
// file spec over a dictionary of `document` (an embedded file's) is
// written as that dictionary, else as a literal file name. Entries of the
// action's own dictionary that the kind does not write are copied when that
// dictionary belongs to `document`, so that nothing of an action read from
// the file is lost.
std::unique_ptr<core::TqzPDDictionary> CreateActionDict(TqzPDAction& action, TqzPDDocument& document,
                                                        TqzActionDictVariant variant = TqzActionDictVariant::Direct);

// The outline item's form: the dictionary (OutlineItem variant) becomes a new
// indirect object of `document`, and `target` receives /A, a reference to it.
void AddIndirectActionDict(TqzPDAction& action, TqzPDDocument& document, core::TqzPDDictionary& target);

}  // namespace qz::document
