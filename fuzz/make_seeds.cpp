// make_seeds FOLDER: writes the seed inputs of every fuzz target, made with
// the test-support library, into FOLDER/<target>/. fuzz/make_seeds.sh adds
// files made by Ghostscript and qpdf and keeps the small ones in the
// repository's fuzz/corpus.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "testing/Jbig2Encoder.h"
#include "testing/PdfBuilder.h"

namespace {

namespace fs = std::filesystem;
using qz::testing::Damage;
using qz::testing::MinimalDocument;
using qz::testing::PdfBuilder;
using qz::testing::TableStart;
using qz::testing::WriteOptions;
using qz::testing::XrefForm;

void Write(const fs::path& folder, const std::string& name, const std::string& bytes) {
    fs::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary) << bytes;
}

// A document with something of each kind a merge carries: a link by name
// and by page, a field whose value lives on its parent, a layer hidden by
// default, page labels, an attachment, a compressed content stream.
PdfBuilder RichDocument() {
    PdfBuilder b = MinimalDocument(2, "RICH", true);
    b.Set(1,
          "<< /Type /Catalog /Pages 2 0 R /Names << /Dests << /Names [(intro) [4 0 R /XYZ 0 792 0]] >> "
          "/EmbeddedFiles << /Names [(a.txt) 20 0 R] >> >> /AcroForm << /Fields [21 0 R] /DA (/Helv 0 Tf 0 g) >> "
          "/OCProperties << /OCGs [23 0 R] /D << /OFF [23 0 R] /Order [23 0 R] >> >> "
          "/PageLabels << /Nums [0 << /S /r >> 1 << /S /D /P (A-) /St 5 >>] >> >>");
    b.Set(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> "
             "/Properties << /L 23 0 R >> /ExtGState << /A 24 0 R >> >> /Contents 5 0 R "
             "/Annots [22 0 R << /Type /Annot /Subtype /Link /Rect [0 0 50 50] /Dest (intro) >> "
             "<< /Type /Annot /Subtype /Link /Rect [50 0 90 50] /A << /S /GoTo /D [6 0 R /Fit] /Next << /S /URI "
             "/URI (http://example.org) >> >> >>] >>");
    b.Set(20, "<< /Type /Filespec /F (a.txt) /EF << /F 25 0 R >> >>");
    b.SetStream(25, "<< /Type /EmbeddedFile >>", "attached");
    b.Set(21, "<< /T (person) /FT /Tx /Kids [22 0 R] /V (Ana) >>");
    b.Set(22, "<< /Type /Annot /Subtype /Widget /Parent 21 0 R /Rect [100 100 200 120] /P 4 0 R >>");
    b.Set(23, "<< /Type /OCG /Name (hidden) >>");
    b.Set(24, "<< /Type /ExtGState /CA 0.5 >>");
    return b;
}

void ParserSeeds(const fs::path& folder) {
    const std::vector<std::string> objects = {
        "<< /Type /Page /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >> /Contents 5 0 R >>",
        "[1 2.5 -3 +4 .5 (a\\(b\\)c\\n\\101) <48656C6C6F> /Name#20x /N#2 true false null 12 0 R]",
        "(nested (parens) and \\\n continued \\\r\n line) <FEFF00410042> <4>",
        "<< /Length 5 >>\nstream\nhello\nendstream",
        "<< /Length 99 >>\rstream\rshort\nendstream endobj",
        "<< /Length 8 0 R /Filter [/ASCIIHexDecode /FlateDecode] /DecodeParms [null << /Predictor 12 >>] >>",
        "BI /W 2 /H 2 /BPC 8 /CS /G ID \x01\x02\x03\x04 EI Q q 1 0 0 1 0 0 cm",
        "<< /A 1 /B >> /C 2 >> << 5 /A 1 >> << /K",
        "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[1]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]] % a comment\n{ } > ]",
        "12 0 obj << /Type /XRef /W [1 2 1] /Size 3 /Index [0 3] >> endobj 13 0 obj 42 endobj",
    };
    for (size_t i = 0; i < objects.size(); ++i) {
        // The first byte also picks whether streams are read.
        Write(folder, "object" + std::to_string(i), std::string(1, i % 2 == 0 ? '0' : '1') + objects[i]);
    }
}

void FileSeeds(const fs::path& folder, bool forMerge) {
    struct Variant {
        std::string name;
        WriteOptions options;
    };
    std::vector<Variant> variants = {
        {"table", {}},
        {"stream", {.form = XrefForm::Stream}},
        {"objstm", {.form = XrefForm::ObjectStreams}},
        {"hybrid", {.form = XrefForm::Hybrid}},
        {"linearized", {.form = XrefForm::Linearized}},
        {"labelled-one", {.tableStart = TableStart::OneLabelZeroLines}},
        {"predictor", {.form = XrefForm::Stream, .predictor = true}},
    };
    if (!forMerge) {
        variants.push_back({"shifted", {.damage = Damage{.shiftOffsets = 3}}});
        variants.push_back({"startxref", {.damage = Damage{.startxref = 9}}});
        variants.push_back({"no-trailer", {.damage = Damage{.dropTrailer = true}}});
        variants.push_back({"prev-loop", {.form = XrefForm::Stream, .damage = Damage{.prevLoop = true}}});
        variants.push_back({"truncated", {.damage = Damage{.truncateAt = 0.8}}});
    }
    for (const Variant& v : variants) {
        Write(folder, "minimal-" + v.name + ".pdf", MinimalDocument(2, "SEED").Write(v.options));
        Write(folder, "rich-" + v.name + ".pdf", RichDocument().Write(v.options));
    }
    PdfBuilder updated = RichDocument();
    updated.NewRevision();
    updated.Set(6, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Rotate 90 /Contents 7 0 R >>");
    Write(folder, "updated.pdf", updated.Write());
    Write(folder, "signed.pdf", qz::testing::SignedDocument("3082000130").Write());
}

void CodecSeeds(const fs::path& folder) {
    // Header: codec, predictor, columns (two bytes), colours, bits, early change.
    const auto header = [](uint8_t codec, uint8_t predictor, uint16_t columns, uint8_t colors, uint8_t bits) {
        return std::string{static_cast<char>(codec), static_cast<char>(predictor), static_cast<char>(columns & 0xFF),
                           static_cast<char>(columns >> 8), static_cast<char>(colors), static_cast<char>(bits), 1};
    };
    std::string text;
    for (int i = 0; i < 200; ++i) text += "line " + std::to_string(i) + " of some text to compress; ";
    std::string rows;
    for (int r = 0; r < 16; ++r) {
        for (int c = 0; c < 30; ++c) rows.push_back(static_cast<char>(r * 7 + c * 3));
    }
    Write(folder, "flate", header(0, 0, 1, 1, 8) + qz::testing::FlateCompress(text));
    Write(folder, "flate-png", header(0, 4, 10, 3, 8) + qz::testing::FlateCompress(qz::testing::PngPredictEncode(rows, 30, 3, 4)));
    Write(folder, "flate-tiff", header(0, 1, 15, 2, 8) + qz::testing::FlateCompress(rows));
    Write(folder, "lzw", header(1, 0, 1, 1, 8) + std::string("\x80\x0B\x60\x50\x22\x0C\x0C\x85\x01", 9));
    Write(folder, "ascii85", header(2, 0, 1, 1, 8) + "87cURD]i,\"Ebo80~>");
    Write(folder, "asciihex", header(3, 0, 1, 1, 8) + "48 65 6C 6c 6F7>");
    Write(folder, "runlength", header(4, 0, 1, 1, 8) + std::string("\x02" "abc\xFE" "d\x80", 7));
    Write(folder, "jpx", header(5, 0, 1, 1, 8) + std::string("\x00\x00\x00\x0CjP  \r\n\x87\n", 12));
    Write(folder, "ccitt", header(6, 0, 1728, 0, 0) + std::string("\x00\x10\x01\x80", 4));
    Write(folder, "dct", header(7, 0, 1, 1, 8) + std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10));
    Write(folder, "deflate", header(8, 0, 1, 1, 8) + text);
    Write(folder, "literal", header(9, 3, 7, 1, 8) + rows + text);
}

void SecuritySeeds(const fs::path& folder) {
    const std::string id = " [<6C2E0DF9B3C0B8A6F0A4F3D2E1C0B9A8> <6C2E0DF9B3C0B8A6F0A4F3D2E1C0B9A8>]";
    const std::string o = "<" + std::string(64, 'A') + ">";
    const std::string u = "<" + std::string(64, '5') + ">";
    Write(folder, "rc4-40", "\n<< /Filter /Standard /V 1 /R 2 /O " + o + " /U " + u + " /P -3904 >>" + id);
    Write(folder, "rc4-128", "user\n<< /Filter /Standard /V 2 /R 3 /Length 128 /O " + o + " /U " + u + " /P -4 >>" + id);
    Write(folder, "aes-128",
          "owner\n<< /Filter /Standard /V 4 /R 4 /Length 128 /CF << /StdCF << /CFM /AESV2 /Length 16 /AuthEvent "
          "/DocOpen >> >> /StmF /StdCF /StrF /StdCF /O " +
              o + " /U " + u + " /P -1028 /EncryptMetadata false >>" + id);
}


// JBIG2 pages of each kind the page layer composes, as the jbig2 target
// reads them: two bytes of globals length, the globals, the page stream.
void Jbig2Seeds(const fs::path& folder) {
    using namespace qz::testing;
    auto save = [&](const std::string& name, const Jbig2Writer& w) {
        const std::string& g = w.GlobalBytes();
        std::string input{static_cast<char>(g.size() & 0xFF), static_cast<char>(g.size() >> 8)};
        Write(folder, name, input + g + w.Bytes());
    };
    const Jbig2Bitmap text = Jbig2Bitmap::TextLike(48, 24, 3);
    for (int32_t t = 0; t < 4; ++t) {
        Jbig2Writer w;
        w.PageInformation({48, 24});
        w.GenericRegion(text, {}, {t, t == 1, false, false, {}});
        w.EndOfPage();
        save("generic" + std::to_string(t), w);
    }
    {
        Jbig2Writer w;
        Jbig2PageInfo info{64, 40};
        info.defaultPixel = true;
        info.operatorOverrideAllowed = true;
        w.PageInformation(info);
        w.GenericRegion(text, {20, 30, Jbig2Combine::Xor}, {0, false, true, false, {}});
        const uint32_t base = w.GenericRegion(text, {0, 0, Jbig2Combine::Or, Jbig2RegionUse::Intermediate});
        Jbig2RefinementOptions refine;
        refine.tpgron = true;
        w.RefinementRegion(Jbig2Bitmap::Noise(48, 24, 5, 20), base, {8, 4, Jbig2Combine::And}, refine);
        w.EndOfPage();
        save("regions", w);
    }
    {
        Jbig2Writer w;
        Jbig2PageInfo info{40, kJbig2UnknownHeight};
        info.striped = true;
        info.maxStripeSize = 16;
        w.PageInformation(info);
        w.GenericRegion(Jbig2Bitmap::Noise(40, 16, 4, 60), {0, 0});
        w.EndOfStripe(15);
        w.GenericRegion(Jbig2Bitmap::Noise(30, 10, 6, 60), {5, 16});
        w.EndOfStripe(27);
        w.EndOfPage();
        save("striped", w);
    }
    {
        Jbig2Writer w;
        w.SetGlobal(true);
        const uint32_t dict = w.SymbolDictionary({Jbig2Bitmap::Glyph(7, 9, 1), Jbig2Bitmap::Glyph(5, 9, 2)});
        w.SetGlobal(false);
        w.PageInformation({40, 20});
        w.TextRegion({dict}, 40, 20, {{0, 2, 3}, {1, 12, 5}, {0, 25, 9}}, {});
        w.EndOfPage();
        save("globals", w);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_seeds FOLDER\n";
        return 2;
    }
    const fs::path root = argv[1];
    ParserSeeds(root / "parser");
    FileSeeds(root / "load", false);
    FileSeeds(root / "merge", true);
    CodecSeeds(root / "codecs");
    SecuritySeeds(root / "security");
    Jbig2Seeds(root / "jbig2");
    return 0;
}
