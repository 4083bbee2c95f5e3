#pragma once
// The small types the document component shares with its callers: the
// enumerations of its properties and events, the merge-option set, the
// e-mail settings record, the messages sent to linked controls, and the
// status texts of its operations.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace qz::component {

enum class TqzMeasurementUnit : uint8_t { muPixels, muPoints, muInches, muMM, muTwips };

enum class TqzMergeOptionsType : uint8_t { moIncludeOutlines, moIncludeFormFields, moRenameLikeNameFields };

// A set of TqzMergeOptionsType.
class TqzMergeOptions {
public:
    constexpr TqzMergeOptions() = default;
    constexpr TqzMergeOptions(std::initializer_list<TqzMergeOptionsType> members) {
        for (auto m : members) Include(m);
    }
    constexpr bool Contains(TqzMergeOptionsType m) const { return (FBits & Bit(m)) != 0; }
    constexpr void Include(TqzMergeOptionsType m) { FBits = static_cast<uint8_t>(FBits | Bit(m)); }
    constexpr void Exclude(TqzMergeOptionsType m) { FBits = static_cast<uint8_t>(FBits & ~Bit(m)); }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr bool operator==(const TqzMergeOptions&) const = default;

private:
    static constexpr uint8_t Bit(TqzMergeOptionsType m) {
        return static_cast<uint8_t>(1u << static_cast<unsigned>(m));
    }
    uint8_t FBits = 0;
};

enum class TqzOperation : uint8_t { opMerge, opAppend, opInsert, opExtract, opDelete };

enum class TqzCompressionFilter : uint8_t { cfFlate, cfRunLength };
enum class TqzCompressionLevel : uint8_t { clNone, clFastest, clDefault, clMax };

// The argument of two save overloads, which ignore it.
enum class TqzNeedAppearanceState : uint8_t { naEnable, naDisable, naNoChange };

// E-mail settings kept for callers; nothing in the system sends mail.
struct TqzEMailInfo {
    std::string Host;
    std::string UserID;
    std::string Password;
    std::vector<std::string> Attachments;
    std::vector<std::string> Body;
    double Date = 0;
    std::string FromAddress;
    std::string FromName;
    std::string ReplyTo;
    std::string Subject;
    std::vector<std::string> RecipientList;
    std::vector<std::string> CCList;
    std::vector<std::string> BCCList;
    bool AuthenticationRequired = false;
    int32_t Port = 25;
};

// Messages the component sends to its linked controls.
inline constexpr uint32_t kDocumentLoadedMessage = 0xBF32;
inline constexpr uint32_t kDocumentSavedMessage = 0xBF33;
inline constexpr uint32_t kPageAreaMaskedMessage = 0xBF35;

// Results of the settings dialog.
inline constexpr int32_t kModalResultOK = 1;
inline constexpr int32_t kModalResultCancel = 2;

// Status texts; "%s" and "%d" take the one argument each is sent with.
inline constexpr const char* kStatusMergingFile = "Merging File: %s";
inline constexpr const char* kStatusDocumentsMerged = "%d documents merged successfully";
inline constexpr const char* kStatusSavingFile = "Saving File %s";
inline constexpr const char* kStatusSaveComplete = "Save Complete";

// `format` with its one "%s" or "%d" replaced by `value`.
inline std::string FormatStatus(const char* format, const std::string& value) {
    std::string text = format;
    const size_t at = text.find('%');
    if (at != std::string::npos && at + 1 < text.size()) text.replace(at, 2, value);
    return text;
}

inline constexpr const char* kComponentVersion = "5.0.0.625";

}  // namespace qz::component
