#pragma once
// Reads back the cross-reference sections of a written PDF file on its own
// terms (no use of the reader under test): the newest section found through
// the last "startxref", then older table sections along /Prev. Tables and
// the uncompressed cross-reference streams the writer makes are understood;
// the chain stops at any other kind of section.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace qz::core::testing {

struct WrittenXRefLine {
    uint32_t Number = 0;
    uint32_t Offset = 0;
    uint32_t Generation = 0;
    bool InUse = false;
};

struct WrittenSection {
    int64_t Offset = 0;
    bool IsStream = false;
    std::vector<std::pair<uint32_t, uint32_t>> Subsections;  // first, count
    std::vector<WrittenXRefLine> Lines;
    std::string Trailer;  // the trailer dictionary's text (a stream's dictionary)
    std::optional<int64_t> Prev;
    std::optional<int64_t> Size;
    bool LinesAre20Bytes = true;
};

inline std::optional<int64_t> IntegerEntry(const std::string& dict, const std::string& key) {
    std::smatch m;
    if (std::regex_search(dict, m, std::regex("/" + key + R"(\s+(\d+))"))) return std::stoll(m[1]);
    return std::nullopt;
}

// The value after the last "startxref", or -1.
inline int64_t LastStartXref(const std::string& pdf) {
    const size_t at = pdf.rfind("startxref");
    if (at == std::string::npos) return -1;
    std::smatch m;
    const std::string tail = pdf.substr(at);
    if (!std::regex_search(tail, m, std::regex(R"(startxref\s+(\d+))"))) return -1;
    return std::stoll(m[1]);
}

// Parses the section at `offset`; False with `error` set when it cannot.
inline bool ParseSection(const std::string& pdf, int64_t offset, WrittenSection& section, std::string& error) {
    section = {};
    section.Offset = offset;
    if (offset < 0 || static_cast<size_t>(offset) >= pdf.size()) {
        error = "section offset " + std::to_string(offset) + " outside the file";
        return false;
    }
    size_t pos = static_cast<size_t>(offset);
    if (pdf.compare(pos, 6, "xref\r\n") == 0) {
        pos += 6;
        for (;;) {
            if (pdf.compare(pos, 7, "trailer") == 0) break;
            const size_t eol = pdf.find("\r\n", pos);
            if (eol == std::string::npos) {
                error = "unterminated subsection header";
                return false;
            }
            std::smatch m;
            const std::string header = pdf.substr(pos, eol - pos);
            if (!std::regex_match(header, m, std::regex(R"((\d+) (\d+))"))) {
                error = "bad subsection header '" + header + "'";
                return false;
            }
            const auto first = static_cast<uint32_t>(std::stoul(m[1]));
            const auto count = static_cast<uint32_t>(std::stoul(m[2]));
            section.Subsections.emplace_back(first, count);
            pos = eol + 2;
            for (uint32_t k = 0; k < count; ++k) {
                if (pos + 20 > pdf.size()) {
                    error = "table runs past the end";
                    return false;
                }
                const std::string line = pdf.substr(pos, 20);
                if (!std::regex_match(line, m, std::regex(R"((\d{10}) (\d{5}) ([nf])\r\n)"))) {
                    section.LinesAre20Bytes = false;
                    error = "bad line '" + line + "'";
                    return false;
                }
                section.Lines.push_back({first + k, static_cast<uint32_t>(std::stoul(m[1])),
                                         static_cast<uint32_t>(std::stoul(m[2])), m[3] == "n"});
                pos += 20;
            }
        }
        const size_t end = pdf.find("startxref", pos);
        section.Trailer = pdf.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    } else {
        // "N 0 obj" CR LF, the dictionary, the uncompressed data.
        const size_t dictStart = pdf.find("<<", pos);
        const size_t streamKey = pdf.find("\r\nstream\r\n", pos);
        if (dictStart == std::string::npos || streamKey == std::string::npos ||
            pdf.find("/Type /XRef", pos) > streamKey) {
            error = "no cross-reference section at " + std::to_string(offset);
            return false;
        }
        section.IsStream = true;
        section.Trailer = pdf.substr(dictStart, streamKey - dictStart);
        std::smatch m;
        if (!std::regex_search(section.Trailer, m, std::regex(R"(/Index\s*\[([^\]]*)\])"))) {
            error = "xref stream without /Index";
            return false;
        }
        std::vector<uint32_t> numbers;
        const std::string items = m[1];
        const std::regex digits(R"(\d+)");
        for (std::sregex_iterator it(items.begin(), items.end(), digits), e; it != e; ++it) {
            numbers.push_back(static_cast<uint32_t>(std::stoul(it->str())));
        }
        size_t data = streamKey + 10;
        for (size_t i = 0; i + 1 < numbers.size(); i += 2) {
            section.Subsections.emplace_back(numbers[i], numbers[i + 1]);
            for (uint32_t k = 0; k < numbers[i + 1]; ++k, data += 6) {
                if (data + 6 > pdf.size()) {
                    error = "xref stream data runs past the end";
                    return false;
                }
                const auto* b = reinterpret_cast<const uint8_t*>(pdf.data() + data);
                const uint32_t value = (uint32_t{b[1]} << 24) | (uint32_t{b[2]} << 16) | (uint32_t{b[3]} << 8) | b[4];
                section.Lines.push_back({numbers[i] + k, value, b[5], b[0] == 1});
            }
        }
    }
    section.Prev = IntegerEntry(section.Trailer, "Prev");
    section.Size = IntegerEntry(section.Trailer, "Size");
    return true;
}

// The sections from the newest along /Prev, as far as they are understood.
inline std::vector<WrittenSection> ReadSections(const std::string& pdf, std::string& error) {
    std::vector<WrittenSection> sections;
    int64_t offset = LastStartXref(pdf);
    for (int guard = 0; offset >= 0 && guard < 64; ++guard) {
        WrittenSection section;
        if (!ParseSection(pdf, offset, section, error)) {
            if (!sections.empty()) error.clear();  // an older section of another kind
            break;
        }
        sections.push_back(section);
        offset = section.Prev ? *section.Prev : -1;
    }
    return sections;
}

// Every in-use line of every section read points at "N G obj" for its own
// number and generation.
inline ::testing::AssertionResult XRefOffsetsPointAtObjects(const std::string& pdf,
                                                            std::vector<WrittenSection>* out = nullptr) {
    std::string error;
    const std::vector<WrittenSection> sections = ReadSections(pdf, error);
    if (sections.empty()) return ::testing::AssertionFailure() << "no section read: " << error;
    size_t checked = 0;
    for (const WrittenSection& section : sections) {
        for (const WrittenXRefLine& line : section.Lines) {
            if (!line.InUse) continue;
            if (line.Offset >= pdf.size()) {
                return ::testing::AssertionFailure() << "object " << line.Number << ": offset " << line.Offset
                                                     << " beyond the end";
            }
            const std::string want =
                std::to_string(line.Number) + " " + std::to_string(line.Generation) + " obj";
            if (pdf.compare(line.Offset, want.size(), want) != 0) {
                return ::testing::AssertionFailure()
                       << "object " << line.Number << ": offset " << line.Offset << " shows '"
                       << pdf.substr(line.Offset, want.size()) << "', not '" << want << "'";
            }
            ++checked;
        }
    }
    if (out) *out = sections;
    return ::testing::AssertionSuccess() << checked << " offsets checked";
}

}  // namespace qz::core::testing
