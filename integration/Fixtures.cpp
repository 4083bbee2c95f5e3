#include "integration/Fixtures.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "component/ComponentExceptions.h"
#include "component/PDFDocument.h"
#include "integration/ContentFixtures.h"
#include "integration/DocumentFixtures.h"
#include "integration/FontFixtures.h"
#include "platform/Exception.h"
#include "platform/Streams.h"
#include "testing/PdfBuilder.h"
#include "testing/PostScript.h"
#include "testing/TempDir.h"

#ifndef QZ_INTEGRATION_CACHE_DIR
#error "QZ_INTEGRATION_CACHE_DIR must name the fixture cache folder"
#endif

namespace qz::integration {

namespace {

// Bumped when the way fixtures are made changes beyond their recipe texts,
// so that caches of older build trees are not reused.
constexpr const char* kFixtureFormat = "integration fixtures 1";

struct Recipe {
    int32_t pages = 0;
    std::string base;         // the fixture this one is made from, or ""
    std::string description;  // everything that decides the bytes, besides the base
    std::function<void(const fs::path& out)> make;
    // The fixture whose renders stand for this one's, where the renderer
    // cannot repair the damage done on purpose; "" for the fixture itself.
    std::string rendersOf = "";
};

uint64_t Fnv1a(const std::string& text) {
    uint64_t hash = 14695981039346656037ULL;
    for (const char c : text) {
        hash ^= static_cast<uint8_t>(c);
        hash *= 1099511628211ULL;
    }
    return hash;
}

std::string Hex(uint64_t value) {
    char buffer[17];
    std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(value));
    return buffer;
}

// ---- recipes ---------------------------------------------------------------

Recipe Ghostscript(int32_t pages, const std::string& postScript) {
    return {pages, "", "gs pdfwrite\n" + postScript,
            [postScript](const fs::path& out) { testing::MakeWithGhostscript(postScript, out); }};
}

Recipe Qpdf(int32_t pages, const std::string& base, const std::vector<std::string>& args) {
    std::string description = "qpdf";
    for (const auto& a : args) description += " " + a;
    return {pages, base, description, [base, args](const fs::path& out) {
                testing::QpdfTransform(GetFixture(base).path, out, args);
            }};
}

std::vector<std::string> Encrypt(const std::string& userPassword, testing::QpdfEncryption level,
                                 std::vector<std::string> extra = {}) {
    std::vector<std::string> args = testing::QpdfEncryptArgs(userPassword, "owner", level);
    extra.insert(extra.end(), args.begin(), args.end());
    return extra;
}

// A fixture made from its base's bytes; `change` must be a pure function
// of them, described by `description`.
Recipe Rewrite(int32_t pages, const std::string& base, const std::string& description,
               std::function<std::string(std::string)> change) {
    return {pages, base, description, [base, change](const fs::path& out) {
                platform::WriteFileBytes(out,
                                         change(platform::ReadFileBytes(GetFixture(base).path)));
            }};
}

Recipe Bytes(int32_t pages, const std::string& description, std::function<std::string()> make) {
    return {pages, "", description,
            [make](const fs::path& out) { platform::WriteFileBytes(out, make()); }};
}

// A fixture made by running `commands` in a fresh folder that holds
// `inputs` (name, text) and, with a base, the base fixture as "base.pdf";
// "{dir}" in an argument or an input stands for that folder. The fixture
// is the file `result` the commands leave there.
Recipe Programs(int32_t pages, const std::string& base,
                const std::vector<std::pair<std::string, std::string>>& inputs,
                const std::vector<std::vector<std::string>>& commands, const std::string& result) {
    std::string description = "programs";
    for (const auto& [name, text] : inputs) description += "\n" + name + ":\n" + text;
    for (const auto& argv : commands) {
        description += "\n$";
        for (const auto& a : argv) description += " " + a;
    }
    description += "\n=> " + result;
    return {pages, base, description, [=](const fs::path& out) {
                testing::TempDir dir("qz-fixture");
                const auto inDir = [&dir](std::string text) {
                    for (size_t at; (at = text.find("{dir}")) != std::string::npos;)
                        text.replace(at, 5, dir.Path().string());
                    return text;
                };
                for (const auto& [name, text] : inputs) dir.Write(name, inDir(text));
                if (!base.empty()) fs::copy_file(GetFixture(base).path, dir.File("base.pdf"));
                for (auto argv : commands) {
                    for (auto& a : argv) a = inDir(a);
                    const testing::RunResult r = testing::RunProgram(argv);
                    if (!r.Succeeded())
                        throw testing::ToolError(argv.front() + " failed: " + r.Describe());
                }
                fs::copy_file(dir.File(result), out);
            }};
}

// pdfLaTeX or LuaLaTeX over the content document, which includes a PNG
// made by ImageMagick and the base fixture as a form.
Recipe Latex(const std::string& engine) {
    return Programs(2, "content-gs", {{"doc.tex", ContentLatex("{dir}/img.png", "{dir}/base.pdf")}},
                    {{"convert", "-size", "40x30", "gradient:red-blue", "{dir}/img.png"},
                     {engine, "-interaction=nonstopmode", "-halt-on-error",
                      "-output-directory={dir}", "{dir}/doc.tex"}},
                    "doc.pdf");
}

// One TeX document run through `engine` in a folder of its own.
Recipe Tex(int32_t pages, const std::string& engine, const std::string& source) {
    return Programs(pages, "", {{"doc.tex", source}},
                    {{engine, "-interaction=nonstopmode", "-halt-on-error", "-output-directory={dir}",
                      "{dir}/doc.tex"}},
                    "doc.pdf");
}

// The number after the last "startxref" replaced by `value`.
std::string WithStartxref(std::string bytes, int64_t value) {
    const size_t keyword = bytes.rfind("startxref");
    if (keyword == std::string::npos) throw std::runtime_error("no startxref to damage");
    size_t first = keyword + 9;
    while (first < bytes.size() &&
           (bytes[first] == '\r' || bytes[first] == '\n' || bytes[first] == ' '))
        ++first;
    size_t last = first;
    while (last < bytes.size() && bytes[last] >= '0' && bytes[last] <= '9') ++last;
    return bytes.replace(first, last - first, std::to_string(value));
}

// `padding` inserted at the start of the line of the first "N G obj", after
// `cut` bytes there are removed: every offset the cross-reference data gives
// is then wrong by the difference.
std::string ShiftedObjects(std::string bytes, const std::string& padding, size_t cut = 0) {
    const size_t obj = bytes.find(" obj");
    if (obj == std::string::npos) throw std::runtime_error("no object to shift");
    const size_t lineStart = bytes.find_last_of("\r\n", obj);
    if (lineStart == std::string::npos) throw std::runtime_error("first object on the header line");
    return bytes.replace(lineStart + 1, cut, padding);
}

const std::map<std::string, Recipe>& Recipes() {
    using testing::QpdfEncryption;
    static const std::map<std::string, Recipe> recipes = [] {
        std::map<std::string, Recipe> r;
        // Ghostscript sources: text with an embedded font subset, vector
        // graphics, a smooth colour image, an incompressible grey image, and
        // a rotated landscape page.
        r["text"] = Ghostscript(3, testing::PsTextPages(3, "TEXT"));
        r["vector"] = Ghostscript(2, testing::PsVectorPages(2, "VECTOR"));
        r["image"] = Ghostscript(1, testing::PsImagePage(96, 64, true, false, "IMAGE"));
        r["noise"] = Ghostscript(1, testing::PsImagePage(48, 48, false, true, "NOISE"));
        r["rotated"] = Ghostscript(1, testing::PsSizedPage(842, 595, 90, "ROTATED"));

        // Pages whose content an interpreter must read whole, written by
        // the producers most files come from. Debian's ImageMagick policy
        // refuses to write through the "PDF" coder; its PDF/A coder writes
        // the same pages.
        r["content-gs"] = Ghostscript(2, ContentPostScript());
        r["content-pdftex"] = Latex("pdflatex");
        r["content-luatex"] = Latex("lualatex");
        r["content-cairo"] = Programs(2, "content-pdftex", {},
                                      {{"pdftocairo", "-pdf", "{dir}/base.pdf", "{dir}/out.pdf"}},
                                      "out.pdf");
        r["content-svg"] = Programs(1, "", {{"in.svg", ContentSvg()}},
                                    {{"rsvg-convert", "-f", "pdf", "-o", "{dir}/out.pdf",
                                      "{dir}/in.svg"}},
                                    "out.pdf");
        r["content-magick"] = Programs(
            2, "", {},
            {{"convert", "-size", "64x48", "gradient:red-blue", "(", "-size", "30x20", "xc:none",
              "-fill", "green", "-draw", "circle 15,10 15,2", ")", "-adjoin",
              "PDFA:{dir}/out.pdf"}},
            "out.pdf");

        // Fonts of every kind the font models read, as their producers write them.
        r["fonts-pdftex"] = Tex(1, "pdflatex", FontsLatexTimes());
        r["fonts-lmodern"] = Tex(1, "pdflatex", FontsLatexModern());
        r["fonts-type3"] = Tex(1, "pdflatex", FontsLatexBitmap());
        r["fonts-luatex"] = Tex(1, "lualatex", FontsLuatex());
        r["fonts-gs"] = Ghostscript(2, FontsPostScript());
        r["fonts-cairo-luatex"] = Programs(1, "fonts-luatex", {},
                                           {{"pdftocairo", "-pdf", "{dir}/base.pdf", "{dir}/out.pdf"}},
                                           "out.pdf");
        r["fonts-cairo-gs"] = Programs(2, "fonts-gs", {},
                                       {{"pdftocairo", "-pdf", "{dir}/base.pdf", "{dir}/out.pdf"}},
                                       "out.pdf");
        r["fonts-cjk"] = Programs(1, "", {{"in.svg", FontsCjkSvg()}},
                                  {{"rsvg-convert", "-f", "pdf", "-o", "{dir}/out.pdf", "{dir}/in.svg"}},
                                  "out.pdf");
        // The file's bytes are their own description.
        r["fonts-cmaps"] = Bytes(1, FontsPredefinedCMaps(), FontsPredefinedCMaps);

        // The same pages in other structures and encryptions.
        r["text-objstm"] = Qpdf(3, "text", {"--object-streams=generate"});
        r["text-xref"] = Qpdf(3, "text-objstm", {"--object-streams=disable"});
        r["text-linear"] = Qpdf(3, "text", {"--linearize"});
        r["vector-linear-objstm"] = Qpdf(2, "vector", {"--linearize", "--object-streams=generate"});
        r["vector-rc4-40"] = Qpdf(2, "vector", Encrypt("", QpdfEncryption::Rc4_40));
        r["image-rc4-128"] = Qpdf(1, "image", Encrypt("", QpdfEncryption::Rc4_128));
        r["text-aes128"] = Qpdf(3, "text", Encrypt("", QpdfEncryption::Aes128));
        r["rotated-aes128-objstm"] =
            Qpdf(1, "rotated", Encrypt("", QpdfEncryption::Aes128, {"--object-streams=generate"}));

        // Damaged files that readers still take, by repairing them.
        r["text-bad-startxref"] =
            Rewrite(3, "text", "startxref at the middle of the file", [](std::string b) {
                const auto middle = static_cast<int64_t>(b.size() / 2);
                return WithStartxref(std::move(b), middle);
            });
        r["vector-shifted"] =
            Rewrite(2, "vector", "37 bytes before the first object", [](std::string b) {
                return ShiftedObjects(std::move(b), "% thirty-seven bytes of padding ...\n");
            });
        r["text-header-lost"] =
            Rewrite(3, "text", "the first 20 bytes of the first object cut",
                    [](std::string b) { return ShiftedObjects(std::move(b), "", 20); });
        r["builder-bad-startxref"] = Bytes(2, "builder: 2 pages BSX, startxref past the end", [] {
            testing::WriteOptions options;
            options.damage.startxref = 1'000'000;
            return testing::MinimalDocument(2, "BSX").Write(options);
        });
        r["builder-shifted"] = Bytes(3, "builder: 3 pages BSH compressed, shift 7", [] {
            testing::WriteOptions options;
            options.damage.shiftOffsets = 7;
            return testing::MinimalDocument(3, "BSH", true).Write(options);
        });
        r["builder-updated"] = Bytes(2, "builder: 2 pages BUP, page 2 replaced by an update", [] {
            testing::PdfBuilder b = testing::MinimalDocument(2, "BUP");
            b.NewRevision();
            b.SetStream(7, "<< >>", testing::MarkerPageContent("UPDATED", 2), true);
            return b.Write();
        });
        r["builder-hybrid"] = Bytes(3, "builder: 3 pages BHY compressed, hybrid", [] {
            return testing::MinimalDocument(3, "BHY", true)
                .Write({.form = testing::XrefForm::Hybrid});
        });
        r["builder-objstm"] = Bytes(3, "builder: 3 pages BOS compressed, object streams", [] {
            return testing::MinimalDocument(3, "BOS", true)
                .Write({.form = testing::XrefForm::ObjectStreams});
        });
        // pdftoppm cannot rebuild a cross-reference stream whose offsets are
        // wrong (qpdf can): its pages are those of the undamaged file.
        r["builder-objstm-shifted"] =
            Bytes(3, "builder: 3 pages BOS compressed, object streams, shift 7", [] {
                testing::WriteOptions options;
                options.form = testing::XrefForm::ObjectStreams;
                options.damage.shiftOffsets = 7;
                return testing::MinimalDocument(3, "BOS", true).Write(options);
            });
        r["builder-objstm-shifted"].rendersOf = "builder-objstm";

        // Document-level data a merge must carry: links, named
        // destinations and fields under the same names in both documents;
        // layers, page labels and named graphics states.
        r["links-a"] = Bytes(30, "links: 30 pages LA, nine links a page", [] { return LinkDocument("LA", 30, false); });
        r["links-b"] = Bytes(40, "links: 40 pages LB, nine links a page, object streams",
                             [] { return LinkDocument("LB", 40, true); });
        r["features-a"] = Bytes(3, "features: FA, base state on, labels A-",
                                [] { return FeatureDocument("FA", false, "A-"); });
        r["features-b"] = Bytes(3, "features: FB, base state off, labels B-",
                                [] { return FeatureDocument("FB", true, "B-"); });

        // Inputs no merge may take.
        r["not-a-pdf"] = Bytes(0, "plain text", [] {
            return std::string("This is a letter, not a PDF file.\nIt merely ends in .pdf.\n");
        });
        r["empty"] = Bytes(0, "no bytes", [] { return std::string(); });
        r["truncated"] = Rewrite(0, "text", "the first third of the file", [](std::string b) {
            b.resize(b.size() / 3);
            return b;
        });
        r["truncated-in-xref"] =
            Rewrite(0, "text", "cut inside the cross-reference table", [](std::string b) {
                const size_t table = b.rfind("\nxref");
                if (table == std::string::npos) throw std::runtime_error("no xref table to cut");
                b.resize(table + 60);
                return b;
            });
        r["user-password"] = Qpdf(0, "text", Encrypt("secret", QpdfEncryption::Aes128));
        r["aes256"] = Qpdf(0, "text", Encrypt("", QpdfEncryption::Aes256));
        return r;
    }();
    return recipes;
}

// ---- the cache -------------------------------------------------------------

const fs::path& CacheFolder() {
    static const fs::path folder = [] {
        fs::path f = QZ_INTEGRATION_CACHE_DIR;
        fs::create_directories(f);
        return f;
    }();
    return folder;
}

// The cache name of fixture `name`: its name and a hash of its recipe chain.
std::string CacheKey(const std::string& name) {
    const Recipe& recipe = Recipes().at(name);
    std::string chain = std::string(kFixtureFormat) + "\n" + recipe.description;
    if (!recipe.base.empty()) chain += "\nof " + CacheKey(recipe.base);
    return name + "-" + Hex(Fnv1a(chain));
}

// Holds an exclusive lock on a file for the life of the object.
class FileLock {
  public:
    explicit FileLock(const fs::path& path)
        : fd_(::open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0666)) {
        if (fd_ < 0) throw platform::Exception("cannot open lock file " + path.string());
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                throw platform::Exception("cannot lock " + path.string());
            }
        }
    }
    ~FileLock() { ::close(fd_); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    int fd_;
};

// `fileName` in the cache folder, made by `make` unless there already. While
// one process makes a file, others that want it wait for it instead of
// making it again; the file appears whole (written under a temporary name,
// then renamed) or not at all.
fs::path Cached(const std::string& fileName, const std::function<void(const fs::path&)>& make) {
    const fs::path path = CacheFolder() / fileName;
    if (fs::exists(path)) return path;
    FileLock lock(CacheFolder() / (fileName + ".lock"));
    if (fs::exists(path)) return path;
    const fs::path temporary =
        CacheFolder() / (fileName + "." + std::to_string(::getpid()) + ".tmp");
    try {
        make(temporary);
        fs::rename(temporary, path);
    } catch (...) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw;
    }
    return path;
}

std::string ToPgm(const std::vector<testing::GrayImage>& images) {
    std::string bytes;
    for (const auto& image : images) {
        bytes +=
            "P5\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
        bytes.append(image.pixels.begin(), image.pixels.end());
    }
    return bytes;
}

}  // namespace

const Fixture& GetFixture(const std::string& name) {
    static std::map<std::string, Fixture> made;
    if (const auto found = made.find(name); found != made.end()) return found->second;
    const Recipe& recipe = Recipes().at(name);
    const fs::path path = Cached(CacheKey(name) + ".pdf", recipe.make);
    return made.emplace(name, Fixture{name, path, recipe.pages}).first->second;
}

const std::vector<testing::GrayImage>& FixtureRenders(const std::string& name) {
    static std::map<std::string, std::vector<testing::GrayImage>> rendered;
    if (const auto found = rendered.find(name); found != rendered.end()) return found->second;
    const Fixture& fixture = GetFixture(name);
    if (const std::string& other = Recipes().at(name).rendersOf; !other.empty()) {
        const auto& renders = FixtureRenders(other);
        if (static_cast<int32_t>(renders.size()) != fixture.pages) {
            throw testing::ToolError("fixture " + name + " has " + std::to_string(fixture.pages) +
                                     " pages, " + other + " " + std::to_string(renders.size()));
        }
        return rendered.emplace(name, renders).first->second;
    }
    const std::string fileName =
        CacheKey(name) + ".r" + std::to_string(testing::kDefaultRenderDpi) + ".pgm";
    const fs::path path = Cached(fileName, [&](const fs::path& out) {
        const auto images = testing::RenderPagesGray(fixture.path);
        if (static_cast<int32_t>(images.size()) != fixture.pages) {
            throw testing::ToolError("pdftoppm rendered " + std::to_string(images.size()) +
                                     " pages of fixture " + name + ", which has " +
                                     std::to_string(fixture.pages));
        }
        platform::WriteFileBytes(out, ToPgm(images));
    });
    return rendered.emplace(name, testing::ParsePgm(platform::ReadFileBytes(path))).first->second;
}

::testing::AssertionResult RendersLikeItsSources(const fs::path& merged,
                                                 const std::vector<std::string>& sources) {
    try {
        const auto pages = testing::RenderPagesGray(merged);
        std::ostringstream differing;
        size_t index = 0;
        for (const auto& source : sources) {
            const auto& expected = FixtureRenders(source);
            for (size_t page = 0; page < expected.size(); ++page, ++index) {
                if (index >= pages.size()) {
                    return ::testing::AssertionFailure()
                           << "the merged file has only " << pages.size() << " pages";
                }
                const double difference = testing::MeanGreyDifference(pages[index], expected[page]);
                if (difference > testing::kRenderTolerance) {
                    differing << "page " << index + 1 << " differs from page " << page + 1 << " of "
                              << source << ": mean grey difference " << difference << " > "
                              << testing::kRenderTolerance << "\n";
                }
            }
        }
        if (index != pages.size()) {
            return ::testing::AssertionFailure()
                   << "the merged file has " << pages.size() << " pages, the sources " << index;
        }
        // Every page that differs is named, not only the first.
        if (!differing.str().empty()) return ::testing::AssertionFailure() << differing.str();
        return ::testing::AssertionSuccess();
    } catch (const std::exception& e) {
        return ::testing::AssertionFailure() << e.what();
    }
}

void MergeLikeTheWindow(const std::vector<fs::path>& inputs, const fs::path& output) {
    std::vector<std::string> list;
    list.reserve(inputs.size());
    for (const auto& input : inputs) list.push_back(input.string());

    component::TqzPDFDocument document;
    document.MergeDocs(list);
    try {
        document.SaveToFile(output, false, false);
    } catch (const component::EFileOpenError& e) {
        throw platform::Exception(std::string(e.what()) + ": " + output.string());
    }
}

std::vector<std::string> FolderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace qz::integration
