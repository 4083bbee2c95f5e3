#pragma once
// Typed reads and writes of single dictionary entries, as the model elements
// (actions, file specifications, document information, catalog) keep them:
// a string, a Boolean or a name is read only
// when the entry is of that kind (anything else reads as absent), and a write
// takes the present entry in place or adds a new one.

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace qz::core {
class TqzPDBaseObject;
class TqzPDDictionary;
}  // namespace qz::core

namespace qz::document {

// How a new string entry is written: a byte string (file names, addresses,
// the launch parameters) as a literal string of the bytes, which every reader
// takes as they are; a text string (scripts, descriptions) as UTF-16 with a
// byte-order mark.
enum class TqzEntryText : uint8_t { Bytes, Text };

core::TqzPDDictionary* AsDictionary(core::TqzPDBaseObject* object);
const core::TqzPDDictionary* AsDictionary(const core::TqzPDBaseObject* object);

// The text a string object stands for (a hexadecimal one decoded, UTF-16
// with a byte-order mark turned into 8-bit text).
std::string StringText(const core::TqzPDBaseObject& string);

// `value` := the entry when it is a string / a Boolean; true when read.
bool ReadStringEntry(const core::TqzPDDictionary& dict, std::string_view key, std::string& value);
bool ReadBoolEntry(const core::TqzPDDictionary& dict, std::string_view key, bool& value);
// The entry's name, when it is a name; none otherwise.
const std::string* NameEntry(const core::TqzPDDictionary& dict, std::string_view key);

// Replaces the entry in place (its position kept) or appends it.
void PutEntry(core::TqzPDDictionary& dict, std::string_view key, std::unique_ptr<core::TqzPDBaseObject> value);
// A present string takes the text in place (a hexadecimal one re-encoded, so
// it stays digits); otherwise a new string of `kind` is put.
void WriteStringEntry(core::TqzPDDictionary& dict, std::string_view key, const std::string& value,
                      TqzEntryText kind);
// A present Boolean takes the value; otherwise a new Boolean is put.
void WriteBoolEntry(core::TqzPDDictionary& dict, std::string_view key, bool value);
// A present name takes the text; otherwise a new name is put.
void WriteNameEntry(core::TqzPDDictionary& dict, std::string_view key, std::string_view value);

// The position of `name` in a table of names whose entry 0 stands for none
// (and is never matched); 0 when the table lacks it. Compared exactly.
template <size_t N>
size_t NameIndex(const std::array<std::string_view, N>& names, std::string_view name) {
    for (size_t i = 1; i < N; ++i) {
        if (names[i] == name) return i;
    }
    return 0;
}

// Entry `index` of such a table; empty outside it.
template <size_t N>
std::string_view NameAt(const std::array<std::string_view, N>& names, size_t index) {
    return index < N ? names[index] : std::string_view();
}

// A new direct string of `kind` holding `value`.
std::unique_ptr<core::TqzPDBaseObject> MakeString(const std::string& value, TqzEntryText kind);

}  // namespace qz::document
