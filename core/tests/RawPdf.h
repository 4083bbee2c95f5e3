#pragma once
// Hand-laid PDF files for tests that need what no well-behaved producer
// writes: objects at recorded offsets, then a cross-reference table or
// stream made of exactly the entries and dictionary a test gives.

#include <cstdint>
#include <map>
#include <string>
#include <tuple>

namespace qz::core::testing {

class RawPdf {
  public:
    // Type, second field and third field of one cross-reference stream row.
    using Row = std::tuple<int, uint32_t, uint32_t>;

    RawPdf() : FBytes("%PDF-1.7\n%\xE2\xE3\xCF\xD3\n") {}

    // Appends "n gen obj", the body and "endobj"; remembers its offset.
    RawPdf& Obj(int32_t number, const std::string& body, int32_t generation = 0) {
        FOffsets[number] = Size();
        FBytes += std::to_string(number) + " " + std::to_string(generation) + " obj\n" + body +
                  "\nendobj\n";
        return *this;
    }
    // Appends "n gen obj" and the body without "endobj" (damaged files).
    RawPdf& Unended(int32_t number, const std::string& body) {
        FOffsets[number] = Size();
        FBytes += std::to_string(number) + " 0 obj\n" + body + "\n";
        return *this;
    }
    // Appends a stream object with /Length set to the data's size.
    RawPdf& Stream(int32_t number, const std::string& dictEntries, const std::string& data) {
        return Obj(number, "<< " + dictEntries + " /Length " + std::to_string(data.size()) +
                               " >>\nstream\n" + data + "\nendstream");
    }
    RawPdf& Raw(const std::string& bytes) {
        FBytes += bytes;
        return *this;
    }
    // A table of one subsection 0..highest recorded object, then the trailer.
    // Returns the table's offset.
    int64_t Table(const std::string& trailerEntries) {
        const int64_t at = Size();
        const int32_t count = FOffsets.empty() ? 1 : FOffsets.rbegin()->first + 1;
        FBytes += "xref\n0 " + std::to_string(count) + "\n0000000000 65535 f\r\n";
        for (int32_t n = 1; n < count; ++n) {
            const auto it = FOffsets.find(n);
            FBytes +=
                it == FOffsets.end() ? "0000000000 00001 f\r\n" : Line(it->second) + " 00000 n\r\n";
        }
        FBytes += "trailer\n<< /Size " + std::to_string(count) + " " + trailerEntries + " >>\n";
        return at;
    }
    // A cross-reference stream object `number` with /W [1 4 2], the rows
    // given (uncompressed) and the dictionary entries given (no /W, /Length
    // or /Type needed). Returns its offset.
    int64_t XRefStream(int32_t number, const std::map<uint32_t, Row>& rows,
                       const std::string& dictEntries) {
        std::string data;
        for (const auto& [n, row] : rows) {
            (void)n;
            data += static_cast<char>(std::get<0>(row));
            for (int shift = 24; shift >= 0; shift -= 8)
                data += static_cast<char>((std::get<1>(row) >> shift) & 0xFF);
            data += static_cast<char>((std::get<2>(row) >> 8) & 0xFF);
            data += static_cast<char>(std::get<2>(row) & 0xFF);
        }
        const int64_t at = Size();
        Stream(number, "/Type /XRef /W [1 4 2] " + dictEntries, data);
        return at;
    }
    // "startxref", the value and "%%EOF".
    std::string Finish(int64_t startxref) {
        return FBytes + "startxref\n" + std::to_string(startxref) + "\n%%EOF\n";
    }

    int64_t Offset(int32_t number) const { return FOffsets.at(number); }
    int64_t Size() const { return static_cast<int64_t>(FBytes.size()); }
    const std::string& Bytes() const { return FBytes; }

  private:
    static std::string Line(int64_t offset) {
        std::string digits = std::to_string(offset);
        return std::string(10 - digits.size(), '0') + digits;
    }

    std::string FBytes;
    std::map<int32_t, int64_t> FOffsets;
};

}  // namespace qz::core::testing
