#include "testing/Jbig2Encoder.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <numeric>
#include <queue>
#include <stdexcept>

#include "platform/Streams.h"
#include "testing/Jbig2Coders.h"
#include "testing/TempDir.h"
#include "testing/Tools.h"

namespace qz::testing {

using jbig2::BitWriter;
using jbig2::HuffmanTable;
using jbig2::IntegerEncoder;
using jbig2::MqContexts;
using jbig2::MqEncoder;
using jbig2::SymbolIdEncoder;

namespace {

enum SegmentType : uint8_t {
    kSymbolDictionary = 0,
    kIntermediateText = 4,
    kImmediateText = 6,
    kImmediateLosslessText = 7,
    kPatternDictionary = 16,
    kIntermediateHalftone = 20,
    kImmediateHalftone = 22,
    kImmediateLosslessHalftone = 23,
    kIntermediateGeneric = 36,
    kImmediateGeneric = 38,
    kImmediateLosslessGeneric = 39,
    kIntermediateRefinement = 40,
    kImmediateRefinement = 42,
    kImmediateLosslessRefinement = 43,
    kPageInformation = 48,
    kEndOfPage = 49,
    kEndOfStripe = 50,
    kEndOfFile = 51,
    kTables = 53,
};

// Region segment types come in threes: intermediate, immediate, lossless.
uint8_t RegionType(uint8_t intermediate, Jbig2RegionUse use) {
    switch (use) {
        case Jbig2RegionUse::Intermediate: return intermediate;
        case Jbig2RegionUse::Immediate: return static_cast<uint8_t>(intermediate + 2);
        case Jbig2RegionUse::ImmediateLossless: return static_cast<uint8_t>(intermediate + 3);
    }
    return intermediate;
}

void Put8(std::string& s, uint32_t v) { s.push_back(static_cast<char>(v & 0xFFu)); }
void Put16(std::string& s, uint32_t v) {
    Put8(s, v >> 8);
    Put8(s, v);
}
void Put32(std::string& s, uint32_t v) {
    Put16(s, v >> 16);
    Put16(s, v);
}
void PutSigned8(std::string& s, int32_t v) {
    if (v < -128 || v > 127) throw std::invalid_argument("AT offset outside -128..127");
    Put8(s, static_cast<uint32_t>(v));
}

uint32_t Unsigned(int32_t v) { return static_cast<uint32_t>(v); }

// Region segment information: size, position, external operator.
std::string RegionInfo(const Jbig2Bitmap& b, const Jbig2Placement& p) {
    std::string s;
    Put32(s, Unsigned(b.Width()));
    Put32(s, Unsigned(b.Height()));
    Put32(s, Unsigned(p.x));
    Put32(s, Unsigned(p.y));
    Put8(s, static_cast<uint32_t>(p.op));
    return s;
}

int32_t FloorDiv(int32_t a, int32_t b) {
    int32_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

int32_t CeilLog2(uint64_t n) {
    int32_t bits = 0;
    while ((uint64_t{1} << bits) < n) ++bits;
    return bits;
}

std::vector<Jbig2At> NominalGenericAt(int32_t gbTemplate) {
    if (gbTemplate == 0) return {{3, -1}, {-3, -1}, {2, -2}, {-2, -2}};
    if (gbTemplate == 1) return {{3, -1}};
    return {{2, -1}};
}

void CheckCausal(const Jbig2At& a) {
    if (a.y > 0 || (a.y == 0 && a.x >= 0)) {
        throw std::invalid_argument("an AT pixel must point at a pixel coded before");
    }
}

std::vector<Jbig2At> GenericAt(int32_t gbTemplate, const std::vector<Jbig2At>& given) {
    if (gbTemplate < 0 || gbTemplate > 3) throw std::invalid_argument("generic template 0 to 3");
    std::vector<Jbig2At> at = given.empty() ? NominalGenericAt(gbTemplate) : given;
    if (at.size() != NominalGenericAt(gbTemplate).size()) {
        throw std::invalid_argument("template 0 takes 4 AT pixels, the others 1");
    }
    for (const Jbig2At& a : at) CheckCausal(a);
    return at;
}

void PutAt(std::string& s, const std::vector<Jbig2At>& at) {
    for (const Jbig2At& a : at) {
        PutSigned8(s, a.x);
        PutSigned8(s, a.y);
    }
}

uint32_t GenericContext(const Jbig2Bitmap& b, int32_t x, int32_t y, int32_t t,
                        const std::vector<Jbig2At>& at) {
    auto p = [&](int32_t dx, int32_t dy) -> uint32_t { return b.Get(x + dx, y + dy); };
    auto a = [&](size_t i) -> uint32_t { return b.Get(x + at[i].x, y + at[i].y); };
    switch (t) {
        case 0:
            return p(-1, 0) | p(-2, 0) << 1 | p(-3, 0) << 2 | p(-4, 0) << 3 | a(0) << 4 |
                   p(2, -1) << 5 | p(1, -1) << 6 | p(0, -1) << 7 | p(-1, -1) << 8 |
                   p(-2, -1) << 9 | a(1) << 10 | a(2) << 11 | p(1, -2) << 12 | p(0, -2) << 13 |
                   p(-1, -2) << 14 | a(3) << 15;
        case 1:
            return p(-1, 0) | p(-2, 0) << 1 | p(-3, 0) << 2 | a(0) << 3 | p(2, -1) << 4 |
                   p(1, -1) << 5 | p(0, -1) << 6 | p(-1, -1) << 7 | p(-2, -1) << 8 |
                   p(2, -2) << 9 | p(1, -2) << 10 | p(0, -2) << 11 | p(-1, -2) << 12;
        case 2:
            return p(-1, 0) | p(-2, 0) << 1 | a(0) << 2 | p(1, -1) << 3 | p(0, -1) << 4 |
                   p(-1, -1) << 5 | p(-2, -1) << 6 | p(1, -2) << 7 | p(0, -2) << 8 |
                   p(-1, -2) << 9;
        default:
            return p(-1, 0) | p(-2, 0) << 1 | p(-3, 0) << 2 | p(-4, 0) << 3 | a(0) << 4 |
                   p(1, -1) << 5 | p(0, -1) << 6 | p(-1, -1) << 7 | p(-2, -1) << 8 |
                   p(-3, -1) << 9;
    }
}

bool SameRowAsAbove(const Jbig2Bitmap& b, int32_t y) {
    for (int32_t x = 0; x < b.Width(); ++x) {
        if (b.Get(x, y) != b.Get(x, y - 1)) return false;
    }
    return true;
}

// Pixels set in `skip` (when given) are not coded; the decoder takes them as 0.
void EncodeGeneric(MqEncoder& mq, MqContexts& cx, const Jbig2Bitmap& b, int32_t t, bool tpgdon,
                   const std::vector<Jbig2At>& at, const Jbig2Bitmap* skip = nullptr) {
    static constexpr std::array<uint32_t, 4> kTypicalContext{0x9B25, 0x0795, 0x00E5, 0x0195};
    uint32_t ltp = 0;
    for (int32_t y = 0; y < b.Height(); ++y) {
        if (tpgdon) {
            const uint32_t typical = SameRowAsAbove(b, y) ? 1 : 0;
            mq.Encode(cx[kTypicalContext[static_cast<size_t>(t)]], typical ^ ltp);
            ltp = typical;
            if (ltp) continue;
        }
        for (int32_t x = 0; x < b.Width(); ++x) {
            if (skip != nullptr && skip->Get(x, y) != 0) continue;
            mq.Encode(cx[GenericContext(b, x, y, t, at)], b.Get(x, y));
        }
    }
}

struct RefinementGeometry {
    const Jbig2Bitmap* target;
    const Jbig2Bitmap* reference;
    int32_t dx;
    int32_t dy;
    int32_t grTemplate;
    std::array<Jbig2At, 2> at;
};

uint32_t RefinementContext(const RefinementGeometry& g, int32_t x, int32_t y) {
    const int32_t xr = x - g.dx, yr = y - g.dy;
    auto t = [&](int32_t dx, int32_t dy) -> uint32_t { return g.target->Get(x + dx, y + dy); };
    auto r = [&](int32_t dx, int32_t dy) -> uint32_t {
        return g.reference->Get(xr + dx, yr + dy);
    };
    if (g.grTemplate == 0) {
        return t(-1, 0) | t(1, -1) << 1 | t(0, -1) << 2 | t(g.at[0].x, g.at[0].y) << 3 |
               r(1, 1) << 4 | r(0, 1) << 5 | r(-1, 1) << 6 | r(1, 0) << 7 | r(0, 0) << 8 |
               r(-1, 0) << 9 | r(1, -1) << 10 | r(0, -1) << 11 | r(g.at[1].x, g.at[1].y) << 12;
    }
    return t(-1, 0) | t(1, -1) << 1 | t(0, -1) << 2 | t(-1, -1) << 3 | r(1, 1) << 4 |
           r(0, 1) << 5 | r(1, 0) << 6 | r(0, 0) << 7 | r(-1, 0) << 8 | r(0, -1) << 9;
}

// The value of the 3 x 3 reference neighbourhood when it is uniform, else -1.
int32_t UniformNeighbourhood(const RefinementGeometry& g, int32_t x, int32_t y) {
    const int32_t xr = x - g.dx, yr = y - g.dy;
    const uint8_t v = g.reference->Get(xr, yr);
    for (int32_t j = -1; j <= 1; ++j) {
        for (int32_t i = -1; i <= 1; ++i) {
            if (g.reference->Get(xr + i, yr + j) != v) return -1;
        }
    }
    return v;
}

// Contexts of the typical-prediction bit: template 0 shares the context of
// "only the reference pixel under the new one is black"; for template 1
// jbig2dec uses the one of "only its right neighbour is black" (0x040), not
// the centre (0x080), and its reading is what the fixtures must follow.
constexpr uint32_t kTypicalContext0 = 0x100;
constexpr uint32_t kTypicalContext1 = 0x040;

void EncodeRefinement(MqEncoder& mq, MqContexts& cx, const RefinementGeometry& g, bool tpgron) {
    if (g.grTemplate < 0 || g.grTemplate > 1) throw std::invalid_argument("refinement template 0 or 1");
    if (g.grTemplate == 0) CheckCausal(g.at[0]);
    const Jbig2Bitmap& b = *g.target;
    uint32_t ltp = 0;
    for (int32_t y = 0; y < b.Height(); ++y) {
        if (tpgron) {
            uint32_t typical = 1;
            for (int32_t x = 0; x < b.Width() && typical; ++x) {
                const int32_t u = UniformNeighbourhood(g, x, y);
                if (u >= 0 && b.Get(x, y) != u) typical = 0;
            }
            mq.Encode(cx[g.grTemplate == 0 ? kTypicalContext0 : kTypicalContext1], typical ^ ltp);
            ltp = typical;
        }
        for (int32_t x = 0; x < b.Width(); ++x) {
            if (ltp && UniformNeighbourhood(g, x, y) >= 0) continue;
            mq.Encode(cx[RefinementContext(g, x, y)], b.Get(x, y));
        }
    }
}

// Every arithmetic context of one dictionary or region, shared by all the
// symbols and instances it codes.
struct ArithState {
    explicit ArithState(int32_t symbolCodeLength) : iaid(symbolCodeLength) {}
    MqEncoder mq;
    IntegerEncoder iadh, iadw, iaex, iaai, iadt, iafs, iads, iait, iari, iardw, iardh, iardx, iardy;
    SymbolIdEncoder iaid;
    MqContexts gb = MqContexts(65536);
    MqContexts gr = MqContexts(8192);
};

// How a text region (or an aggregate symbol) codes its instances.
struct TextCoding {
    bool huffman = false;
    bool refine = false;
    int32_t logStrips = 0;
    Jbig2Corner corner = Jbig2Corner::TopLeft;
    bool transposed = false;
    int32_t dsOffset = 0;
    int32_t refineTemplate = 0;
    std::array<Jbig2At, 2> refineAt{{{-1, -1}, {-1, -1}}};
    const HuffmanTable* fs = nullptr;
    const HuffmanTable* ds = nullptr;
    const HuffmanTable* dt = nullptr;
    const HuffmanTable* rdw = nullptr;
    const HuffmanTable* rdh = nullptr;
    const HuffmanTable* rdx = nullptr;
    const HuffmanTable* rdy = nullptr;
    const HuffmanTable* rsize = nullptr;
    int32_t symbolCodeLength = 0;       // plain symbol-ID bits (Huffman without a code table)
    std::vector<int32_t> symbolLengths;  // Huffman symbol-ID code, when not empty
    std::vector<uint32_t> symbolCodes;
};

const Jbig2Bitmap& InstanceBitmap(const Jbig2TextInstance& in,
                                  const std::vector<Jbig2Bitmap>& symbols) {
    if (in.symbol < 0 || static_cast<size_t>(in.symbol) >= symbols.size()) {
        throw std::invalid_argument("instance symbol " + std::to_string(in.symbol) +
                                    " beyond the symbols the region sees");
    }
    return in.refine ? in.refined : symbols[static_cast<size_t>(in.symbol)];
}

// Codes a refined instance or symbol: arithmetic into the shared coder, or
// with Huffman as its own arithmetic-coded block preceded by its size.
void CodeRefinementData(ArithState& st, BitWriter* bits, const HuffmanTable* sizeTable,
                        const RefinementGeometry& g) {
    if (bits == nullptr) {
        EncodeRefinement(st.mq, st.gr, g, false);
        return;
    }
    MqEncoder own;
    EncodeRefinement(own, st.gr, g, false);
    const std::string data = own.Finish();
    sizeTable->Encode(*bits, static_cast<int64_t>(data.size()));
    bits->Align();
    bits->PutBytes(data);
}

void EncodeTextInstances(const std::vector<Jbig2TextInstance>& instances,
                         const std::vector<Jbig2Bitmap>& symbols, const TextCoding& c,
                         ArithState& st, BitWriter* bits) {
    const bool huff = bits != nullptr;
    const int32_t strips = 1 << c.logStrips;
    const bool topCorner = c.corner == Jbig2Corner::TopLeft || c.corner == Jbig2Corner::TopRight;
    const bool leftCorner =
        c.corner == Jbig2Corner::TopLeft || c.corner == Jbig2Corner::BottomLeft;
    struct Placed {
        size_t index;
        int32_t lead, trail, t, strip;
    };
    std::vector<Placed> placed;
    for (size_t i = 0; i < instances.size(); ++i) {
        const Jbig2TextInstance& in = instances[i];
        if (in.refine && !c.refine) throw std::invalid_argument("refined instance without SBREFINE");
        const Jbig2Bitmap& ib = InstanceBitmap(in, symbols);
        Placed p{};
        p.index = i;
        if (!c.transposed) {
            p.lead = in.x;
            p.trail = in.x + ib.Width() - 1;
            p.t = topCorner ? in.y : in.y + ib.Height() - 1;
        } else {
            p.lead = in.y;
            p.trail = in.y + ib.Height() - 1;
            p.t = leftCorner ? in.x : in.x + ib.Width() - 1;
        }
        p.strip = FloorDiv(p.t, strips);
        placed.push_back(p);
    }
    std::stable_sort(placed.begin(), placed.end(),
                     [](const Placed& a, const Placed& b) { return a.strip < b.strip; });

    auto codeInt = [&](IntegerEncoder& ia, const HuffmanTable* table, int64_t v) {
        if (huff) {
            table->Encode(*bits, v);
        } else {
            ia.Encode(st.mq, v);
        }
    };

    const int32_t firstStrip = placed.empty() ? 0 : placed.front().strip;
    const int32_t initialDt = std::max(1, 1 - firstStrip);
    codeInt(st.iadt, c.dt, initialDt);
    int32_t stripT = -initialDt;
    int32_t firstS = 0;
    size_t i = 0;
    while (i < placed.size()) {
        const int32_t strip = placed[i].strip;
        codeInt(st.iadt, c.dt, strip - stripT);
        stripT = strip;
        int32_t curS = 0;
        bool first = true;
        for (; i < placed.size() && placed[i].strip == strip; ++i) {
            const Placed& p = placed[i];
            const Jbig2TextInstance& in = instances[p.index];
            if (first) {
                codeInt(st.iafs, c.fs, p.lead - firstS);
                firstS = p.lead;
                first = false;
            } else {
                codeInt(st.iads, c.ds, p.lead - curS - c.dsOffset);
            }
            if (strips > 1) {
                const int32_t curT = p.t - strip * strips;
                if (huff) {
                    bits->Put(Unsigned(curT), c.logStrips);
                } else {
                    st.iait.Encode(st.mq, curT);
                }
            }
            const auto id = Unsigned(in.symbol);
            if (!huff) {
                st.iaid.Encode(st.mq, id);
            } else if (!c.symbolLengths.empty()) {
                const int32_t len = c.symbolLengths[id];
                if (len == 0) throw std::logic_error("instance of a symbol without a code");
                bits->Put(c.symbolCodes[id], len);
            } else {
                bits->Put(id, c.symbolCodeLength);
            }
            if (c.refine) {
                if (huff) {
                    bits->Put(in.refine ? 1 : 0, 1);
                } else {
                    st.iari.Encode(st.mq, in.refine ? 1 : 0);
                }
            }
            if (in.refine) {
                const Jbig2Bitmap& sym = symbols[id];
                const int32_t rdw = in.refined.Width() - sym.Width();
                const int32_t rdh = in.refined.Height() - sym.Height();
                codeInt(st.iardw, c.rdw, rdw);
                codeInt(st.iardh, c.rdh, rdh);
                codeInt(st.iardx, c.rdx, in.rdx);
                codeInt(st.iardy, c.rdy, in.rdy);
                const RefinementGeometry g{&in.refined, &sym, FloorDiv(rdw, 2) + in.rdx,
                                           FloorDiv(rdh, 2) + in.rdy, c.refineTemplate,
                                           c.refineAt};
                CodeRefinementData(st, bits, c.rsize, g);
            }
            curS = p.trail;
        }
        if (huff) {
            c.ds->EncodeOob(*bits);
        } else {
            st.iads.EncodeOob(st.mq);
        }
    }
}

// The region a text region decodes to.
Jbig2Bitmap RenderText(int32_t width, int32_t height, bool defaultPixel, Jbig2Combine op,
                       const std::vector<Jbig2TextInstance>& instances,
                       const std::vector<Jbig2Bitmap>& symbols) {
    Jbig2Bitmap region(width, height, defaultPixel ? 1 : 0);
    for (const Jbig2TextInstance& in : instances) {
        region.Combine(InstanceBitmap(in, symbols), in.x, in.y, op);
    }
    return region;
}

// Code lengths for the used symbols by frequency (Huffman's construction);
// unused ones get none when asked.
std::vector<int32_t> SymbolCodeLengths(const std::vector<Jbig2TextInstance>& instances,
                                       size_t symbolCount, bool omitUnused) {
    std::vector<int64_t> weight(symbolCount, 0);
    for (const Jbig2TextInstance& in : instances) weight[static_cast<size_t>(in.symbol)] += 3;
    std::vector<size_t> coded;
    for (size_t s = 0; s < symbolCount; ++s) {
        if (weight[s] > 0 || !omitUnused) {
            weight[s] += 1;
            coded.push_back(s);
        }
    }
    std::vector<int32_t> lengths(symbolCount, 0);
    if (coded.size() == 1) {
        lengths[coded[0]] = 1;
        return lengths;
    }
    // Merge the two lightest trees until one is left; each merge deepens
    // every symbol of both trees by one.
    using Tree = std::pair<int64_t, std::vector<size_t>>;
    auto heavier = [](const Tree& a, const Tree& b) { return a.first > b.first; };
    std::priority_queue<Tree, std::vector<Tree>, decltype(heavier)> queue(heavier);
    for (size_t s : coded) queue.push({weight[s], {s}});
    while (queue.size() > 1) {
        Tree a = queue.top();
        queue.pop();
        Tree b = queue.top();
        queue.pop();
        for (size_t s : a.second) ++lengths[s];
        for (size_t s : b.second) ++lengths[s];
        a.second.insert(a.second.end(), b.second.begin(), b.second.end());
        queue.push({a.first + b.first, std::move(a.second)});
    }
    constexpr int32_t kMaxLength = 31;  // the longest a run code can state
    if (*std::max_element(lengths.begin(), lengths.end()) > kMaxLength) {
        const int32_t uniform = std::max(1, CeilLog2(coded.size()));
        for (size_t s : coded) lengths[s] = uniform;
    }
    return lengths;
}

// The symbol-ID code table: run-code lengths, then the symbols' code
// lengths in run codes (32 repeats, 33 and 34 runs of zeros).
void WriteSymbolCodeTable(BitWriter& w, const std::vector<int32_t>& lengths) {
    struct Run {
        int32_t code;
        int32_t extraBits;
        uint32_t extra;
    };
    std::vector<Run> runs;
    for (size_t i = 0; i < lengths.size();) {
        const int32_t len = lengths[i];
        size_t same = 1;
        while (i + same < lengths.size() && lengths[i + same] == len) ++same;
        if (len == 0 && same >= 11) {
            const size_t k = std::min<size_t>(same, 138);
            runs.push_back({34, 7, static_cast<uint32_t>(k - 11)});
            i += k;
        } else if (len == 0 && same >= 3) {
            const size_t k = std::min<size_t>(same, 10);
            runs.push_back({33, 3, static_cast<uint32_t>(k - 3)});
            i += k;
        } else if (len != 0 && i > 0 && lengths[i - 1] == len && same >= 3) {
            const size_t k = std::min<size_t>(same, 6);
            runs.push_back({32, 2, static_cast<uint32_t>(k - 3)});
            i += k;
        } else {
            runs.push_back({len, 0, 0});
            ++i;
        }
    }
    constexpr size_t kRunCodes = 35;
    std::vector<int32_t> frequency(kRunCodes, 0);
    for (const Run& r : runs) ++frequency[static_cast<size_t>(r.code)];
    size_t used = 0;
    for (int32_t f : frequency) used += f > 0 ? 1 : 0;
    // A uniform code over the run codes used: every length fits 4 bits.
    const int32_t len = std::max(1, CeilLog2(used));
    std::vector<int32_t> runLengths(kRunCodes, 0);
    for (size_t c = 0; c < kRunCodes; ++c) runLengths[c] = frequency[c] > 0 ? len : 0;
    const std::vector<uint32_t> runCodes = jbig2::AssignPrefixCodes(runLengths);
    for (int32_t l : runLengths) w.Put(Unsigned(l), 4);
    for (const Run& r : runs) {
        w.Put(runCodes[static_cast<size_t>(r.code)], len);
        w.Put(r.extra, r.extraBits);
    }
}

const HuffmanTable& Table(int32_t n) { return HuffmanTable::Standard(n); }

int64_t TableHigh(const Jbig2HuffmanTableSpec& t) {
    int64_t high = t.low;
    for (const auto& [prefix, range] : t.lines) high += int64_t{1} << range;
    return high;
}

HuffmanTable BuildUserTable(const Jbig2HuffmanTableSpec& t) {
    using K = jbig2::HuffmanLine::Kind;
    std::vector<jbig2::HuffmanLine> lines;
    int64_t low = t.low;
    for (const auto& [prefix, range] : t.lines) {
        lines.push_back({prefix, range, static_cast<int32_t>(low), K::Normal});
        low += int64_t{1} << range;
    }
    lines.push_back({t.lowerLength, 32, t.low - 1, K::Lower});
    lines.push_back({t.upperLength, 32, static_cast<int32_t>(low), K::Upper});
    if (t.oob) lines.push_back({t.oobLength, 0, 0, K::Oob});
    return HuffmanTable(std::move(lines));
}

}  // namespace

uint32_t Jbig2Writer::AddSegment(uint8_t type, const std::vector<uint32_t>& referredTo,
                                 const std::string& data) {
    const uint32_t number = next_++;
    const uint32_t page = global_ ? 0 : page_;
    const bool longPage = longPageAssociation_ || page > 255;
    std::string h;
    Put32(h, number);
    Put8(h, type | (longPage ? 0x40u : 0u));
    if (referredTo.size() <= 4) {
        Put8(h, static_cast<uint32_t>(referredTo.size()) << 5);
    } else {
        Put32(h, 0xE0000000u | static_cast<uint32_t>(referredTo.size()));
        h.append((referredTo.size() + 8) / 8, '\0');  // retention bits
    }
    for (uint32_t r : referredTo) {
        if (number <= 256) {
            Put8(h, r);
        } else if (number <= 65536) {
            Put16(h, r);
        } else {
            Put32(h, r);
        }
    }
    if (longPage) {
        Put32(h, page);
    } else {
        Put8(h, page);
    }
    Put32(h, static_cast<uint32_t>(data.size()));
    (global_ ? globals_ : page_stream_) += h + data;
    return number;
}

uint32_t Jbig2Writer::RawSegment(uint8_t type, const std::vector<uint32_t>& referredTo,
                                 const std::string& data) {
    return AddSegment(type, referredTo, data);
}

uint32_t Jbig2Writer::PageInformation(const Jbig2PageInfo& info) {
    std::string s;
    Put32(s, info.width);
    Put32(s, info.height);
    Put32(s, info.xResolution);
    Put32(s, info.yResolution);
    const auto op = static_cast<uint32_t>(info.defaultOperator);
    if (op > 3) throw std::invalid_argument("page default operator Or to Xnor");
    Put8(s, (info.lossless ? 1u : 0u) | (info.mightContainRefinements ? 2u : 0u) |
                (info.defaultPixel ? 4u : 0u) | op << 3 | (info.auxiliaryBuffers ? 0x20u : 0u) |
                (info.operatorOverrideAllowed ? 0x40u : 0u));
    Put16(s, (info.striped ? 0x8000u : 0u) | (info.maxStripeSize & 0x7FFFu));
    return AddSegment(kPageInformation, {}, s);
}

uint32_t Jbig2Writer::GenericRegion(const Jbig2Bitmap& bitmap, const Jbig2Placement& placement,
                                    const Jbig2GenericOptions& o) {
    std::string s = RegionInfo(bitmap, placement);
    const std::vector<Jbig2At> at = GenericAt(o.gbTemplate, o.at);
    Put8(s, (o.mmr ? 1u : 0u) | Unsigned(o.gbTemplate) << 1 | (o.tpgdon ? 8u : 0u));
    if (o.mmr) {
        s += jbig2::EncodeMmr(bitmap, o.mmrEndOfBlock);
    } else {
        PutAt(s, at);
        MqEncoder mq;
        MqContexts cx(65536);
        EncodeGeneric(mq, cx, bitmap, o.gbTemplate, o.tpgdon, at);
        s += mq.Finish();
    }
    const uint32_t n = AddSegment(RegionType(kIntermediateGeneric, placement.use), {}, s);
    regions_[n] = bitmap;
    return n;
}

uint32_t Jbig2Writer::Refinement(const Jbig2Bitmap& target, const Jbig2Bitmap& reference,
                                 const std::vector<uint32_t>& referredTo,
                                 const Jbig2Placement& placement,
                                 const Jbig2RefinementOptions& o) {
    std::string s = RegionInfo(target, placement);
    Put8(s, Unsigned(o.grTemplate) | (o.tpgron ? 2u : 0u));
    if (o.grTemplate == 0) PutAt(s, {o.at[0], o.at[1]});
    MqEncoder mq;
    MqContexts cx(8192);
    EncodeRefinement(mq, cx, {&target, &reference, 0, 0, o.grTemplate, o.at}, o.tpgron);
    s += mq.Finish();
    const uint32_t n = AddSegment(RegionType(kIntermediateRefinement, placement.use), referredTo, s);
    regions_[n] = target;
    return n;
}

uint32_t Jbig2Writer::RefinementRegion(const Jbig2Bitmap& target, uint32_t reference,
                                       const Jbig2Placement& placement,
                                       const Jbig2RefinementOptions& options) {
    return Refinement(target, RegionBitmap(reference), {reference}, placement, options);
}

uint32_t Jbig2Writer::PageRefinementRegion(const Jbig2Bitmap& target, const Jbig2Bitmap& pageArea,
                                           const Jbig2Placement& placement,
                                           const Jbig2RefinementOptions& options) {
    return Refinement(target, pageArea, {}, placement, options);
}

uint32_t Jbig2Writer::SymbolDictionary(const std::vector<Jbig2Bitmap>& symbols,
                                       const Jbig2SymbolDictOptions& options) {
    std::vector<Jbig2NewSymbol> news;
    for (const Jbig2Bitmap& b : symbols) news.push_back({b, {}});
    return SymbolDictionary(news, options);
}

uint32_t Jbig2Writer::SymbolDictionary(const std::vector<Jbig2NewSymbol>& symbols,
                                       const Jbig2SymbolDictOptions& o) {
    std::vector<Jbig2Bitmap> all;  // imported, then new as they are coded
    for (uint32_t d : o.imports) {
        const std::vector<Jbig2Bitmap>& e = Exported(d);
        all.insert(all.end(), e.begin(), e.end());
    }
    const size_t imported = all.size();
    const size_t total = imported + symbols.size();
    std::vector<bool> exportFlags = o.exportFlags;
    if (exportFlags.empty()) {
        exportFlags.assign(total, true);
        std::fill(exportFlags.begin(), exportFlags.begin() + static_cast<std::ptrdiff_t>(imported),
                  false);
    }
    if (exportFlags.size() != total) throw std::invalid_argument("one export flag per symbol");
    const std::vector<Jbig2At> at =
        o.huffman ? std::vector<Jbig2At>{} : GenericAt(o.sdTemplate, o.at);
    if (o.huffman && o.sdTemplate != 0) throw std::invalid_argument("Huffman dictionaries use template 0");

    std::string s;
    // The Huffman selections must be 0 in arithmetic dictionaries, the
    // refinement template without refinement/aggregate coding.
    const uint32_t huffmanSelections =
        o.huffman ? Unsigned(o.huffmanDh) << 2 | Unsigned(o.huffmanDw) << 4 |
                        (o.userBmSize ? 0x40u : 0u)
                  : 0u;
    Put16(s, (o.huffman ? 1u : 0u) | (o.refineAggregate ? 2u : 0u) | huffmanSelections |
                 Unsigned(o.sdTemplate) << 10 |
                 (o.refineAggregate ? Unsigned(o.refineTemplate) << 12 : 0u));
    if (!o.huffman) PutAt(s, at);
    if (o.refineAggregate && o.refineTemplate == 0) PutAt(s, {o.refineAt[0], o.refineAt[1]});
    Put32(s, static_cast<uint32_t>(std::count(exportFlags.begin(), exportFlags.end(), true)));
    Put32(s, static_cast<uint32_t>(symbols.size()));

    int32_t codeLength = CeilLog2(total);
    if (o.huffman) codeLength = std::max(codeLength, 1);
    ArithState st(o.refineAggregate ? codeLength : 0);
    BitWriter bits;
    BitWriter* huff = o.huffman ? &bits : nullptr;
    std::vector<uint32_t> refs = o.imports;
    auto pick = [&](int32_t selection, int32_t first, uint32_t user) {
        if (selection != 3) return Table(first + selection);
        refs.push_back(user);
        return BuildUserTable(Spec(user));
    };
    const HuffmanTable dh = pick(o.huffman ? o.huffmanDh : 0, 4, o.dhTable);
    const HuffmanTable dw = pick(o.huffman ? o.huffmanDw : 0, 2, o.dwTable);
    const HuffmanTable bmSize = pick(o.huffman && o.userBmSize ? 3 : 0, 1, o.bmSizeTable);
    auto codeInt = [&](IntegerEncoder& ia, const HuffmanTable& table, int64_t v) {
        if (huff) {
            table.Encode(bits, v);
        } else {
            ia.Encode(st.mq, v);
        }
    };
    // Aggregates code their instances as a one-strip text region with fixed
    // tables and plain symbol-ID bits.
    TextCoding agg;
    agg.huffman = o.huffman;
    agg.refine = true;
    agg.refineTemplate = o.refineTemplate;
    agg.refineAt = o.refineAt;
    agg.fs = &Table(6);
    agg.ds = &Table(8);
    agg.dt = &Table(11);
    agg.rdw = agg.rdh = agg.rdx = agg.rdy = &Table(15);
    agg.rsize = &Table(1);
    agg.symbolCodeLength = codeLength;

    int32_t height = 0;
    for (size_t i = 0; i < symbols.size();) {
        const int32_t classHeight = symbols[i].bitmap.Height();
        size_t end = i;
        while (end < symbols.size() && symbols[end].bitmap.Height() == classHeight) ++end;
        codeInt(st.iadh, dh, classHeight - height);
        height = classHeight;
        int32_t width = 0;
        int32_t totalWidth = 0;
        for (size_t k = i; k < end; ++k) {
            const Jbig2NewSymbol& sym = symbols[k];
            codeInt(st.iadw, dw, sym.bitmap.Width() - width);
            width = sym.bitmap.Width();
            totalWidth += width;
            if (!o.refineAggregate) {
                if (!huff) EncodeGeneric(st.mq, st.gb, sym.bitmap, o.sdTemplate, false, at);
            } else if (sym.parts.size() == 1) {
                const Jbig2TextInstance& p = sym.parts[0];
                if (p.symbol < 0 || static_cast<size_t>(p.symbol) >= all.size()) {
                    throw std::invalid_argument("refinement of an unknown symbol");
                }
                codeInt(st.iaai, Table(1), 1);
                const RefinementGeometry g{&sym.bitmap, &all[static_cast<size_t>(p.symbol)],
                                           p.rdx, p.rdy, o.refineTemplate, o.refineAt};
                if (huff) {
                    bits.Put(Unsigned(p.symbol), codeLength);
                    Table(15).Encode(bits, p.rdx);
                    Table(15).Encode(bits, p.rdy);
                    CodeRefinementData(st, huff, &Table(1), g);
                } else {
                    st.iaid.Encode(st.mq, Unsigned(p.symbol));
                    st.iardx.Encode(st.mq, p.rdx);
                    st.iardy.Encode(st.mq, p.rdy);
                    EncodeRefinement(st.mq, st.gr, g, false);
                }
            } else if (sym.parts.size() > 1) {
                const Jbig2Bitmap made = RenderText(width, height, false, Jbig2Combine::Or,
                                                    sym.parts, all);
                if (!(made == sym.bitmap)) {
                    throw std::invalid_argument("aggregate parts do not make the symbol: " +
                                                Jbig2Bitmap::Describe(sym.bitmap, made));
                }
                codeInt(st.iaai, Table(1), static_cast<int64_t>(sym.parts.size()));
                EncodeTextInstances(sym.parts, all, agg, st, huff);
            } else {
                throw std::invalid_argument("refinement/aggregate symbols need parts");
            }
            all.push_back(sym.bitmap);
        }
        if (huff) {
            dw.EncodeOob(bits);
        } else {
            st.iadw.EncodeOob(st.mq);
        }
        if (huff && !o.refineAggregate) {
            Jbig2Bitmap collective(totalWidth, height);
            int32_t x = 0;
            for (size_t k = i; k < end; ++k) {
                collective.Combine(symbols[k].bitmap, x, 0, Jbig2Combine::Replace);
                x += symbols[k].bitmap.Width();
            }
            const std::string data =
                o.mmrCollective ? jbig2::EncodeMmr(collective, false) : collective.PackedRows();
            bmSize.Encode(bits, o.mmrCollective ? static_cast<int64_t>(data.size()) : 0);
            bits.Align();
            bits.PutBytes(data);
        }
        i = end;
    }
    // Export flags as alternating run lengths, starting with "not exported".
    bool flag = false;
    for (size_t k = 0; k < total; flag = !flag) {
        size_t run = 0;
        while (k + run < total && exportFlags[k + run] == flag) ++run;
        codeInt(st.iaex, Table(1), static_cast<int64_t>(run));
        k += run;
    }
    s += huff ? bits.Bytes() : st.mq.Finish();

    const uint32_t n = AddSegment(kSymbolDictionary, refs, s);
    std::vector<Jbig2Bitmap>& out = exported_[n];
    for (size_t k = 0; k < total; ++k) {
        if (exportFlags[k]) out.push_back(all[k]);
    }
    return n;
}

uint32_t Jbig2Writer::TextRegion(const std::vector<uint32_t>& dictionaries, int32_t width,
                                 int32_t height, const std::vector<Jbig2TextInstance>& instances,
                                 const Jbig2Placement& placement, const Jbig2TextOptions& o) {
    std::vector<Jbig2Bitmap> symbols;
    for (uint32_t d : dictionaries) {
        const std::vector<Jbig2Bitmap>& e = Exported(d);
        symbols.insert(symbols.end(), e.begin(), e.end());
    }
    const Jbig2Bitmap region = RenderText(width, height, o.defaultPixel, o.op, instances, symbols);
    if (static_cast<uint32_t>(o.op) > 3) throw std::invalid_argument("text operator Or to Xnor");
    if (o.dsOffset < -16 || o.dsOffset > 15) throw std::invalid_argument("DS offset -16 to 15");
    if (o.logStrips < 0 || o.logStrips > 3) throw std::invalid_argument("log strips 0 to 3");

    std::string s = RegionInfo(region, placement);
    Put16(s, (o.huffman ? 1u : 0u) | (o.refine ? 2u : 0u) | Unsigned(o.logStrips) << 2 |
                 static_cast<uint32_t>(o.corner) << 4 | (o.transposed ? 0x40u : 0u) |
                 static_cast<uint32_t>(o.op) << 7 | (o.defaultPixel ? 0x200u : 0u) |
                 (Unsigned(o.dsOffset) & 31u) << 10 | Unsigned(o.refineTemplate) << 15);
    if (o.huffman) {
        Put16(s, Unsigned(o.huffmanFs) | Unsigned(o.huffmanDs) << 2 | Unsigned(o.huffmanDt) << 4 |
                     Unsigned(o.huffmanRdw) << 6 | Unsigned(o.huffmanRdh) << 8 |
                     Unsigned(o.huffmanRdx) << 10 | Unsigned(o.huffmanRdy) << 12);
    }
    if (o.refine && o.refineTemplate == 0) PutAt(s, {o.refineAt[0], o.refineAt[1]});
    Put32(s, static_cast<uint32_t>(instances.size()));

    TextCoding c;
    c.huffman = o.huffman;
    c.refine = o.refine;
    c.logStrips = o.logStrips;
    c.corner = o.corner;
    c.transposed = o.transposed;
    c.dsOffset = o.dsOffset;
    c.refineTemplate = o.refineTemplate;
    c.refineAt = o.refineAt;
    std::vector<uint32_t> refs = dictionaries;
    std::vector<HuffmanTable> user;  // the user tables, in reference order
    user.reserve(3);
    auto pick = [&](int32_t selection, int32_t first, uint32_t table) -> const HuffmanTable* {
        if (selection != 3) return &Table(first + selection);
        refs.push_back(table);
        user.push_back(BuildUserTable(Spec(table)));
        return &user.back();
    };
    c.fs = pick(o.huffman ? o.huffmanFs : 0, 6, o.fsTable);
    c.ds = pick(o.huffman ? o.huffmanDs : 0, 8, o.dsTable);
    c.dt = pick(o.huffman ? o.huffmanDt : 0, 11, o.dtTable);
    c.rdw = &Table(o.huffmanRdw == 0 ? 14 : 15);
    c.rdh = &Table(o.huffmanRdh == 0 ? 14 : 15);
    c.rdx = &Table(o.huffmanRdx == 0 ? 14 : 15);
    c.rdy = &Table(o.huffmanRdy == 0 ? 14 : 15);
    c.rsize = &Table(1);
    ArithState st(CeilLog2(symbols.size()));
    if (o.huffman) {
        BitWriter bits;
        c.symbolLengths = SymbolCodeLengths(instances, symbols.size(), o.omitUnusedSymbolCodes);
        c.symbolCodes = jbig2::AssignPrefixCodes(c.symbolLengths);
        WriteSymbolCodeTable(bits, c.symbolLengths);
        bits.Align();
        EncodeTextInstances(instances, symbols, c, st, &bits);
        s += bits.Bytes();
    } else {
        EncodeTextInstances(instances, symbols, c, st, nullptr);
        s += st.mq.Finish();
    }
    const uint32_t n = AddSegment(RegionType(kIntermediateText, placement.use), refs, s);
    regions_[n] = region;
    return n;
}

uint32_t Jbig2Writer::PatternDictionary(const std::vector<Jbig2Bitmap>& patterns,
                                        const Jbig2PatternOptions& o) {
    if (patterns.empty()) throw std::invalid_argument("a pattern dictionary needs patterns");
    const int32_t pw = patterns[0].Width(), ph = patterns[0].Height();
    if (pw < 1 || pw > 128 || ph < 1 || ph > 255) throw std::invalid_argument("pattern size");
    Jbig2Bitmap collective(pw * static_cast<int32_t>(patterns.size()), ph);
    for (size_t g = 0; g < patterns.size(); ++g) {
        if (patterns[g].Width() != pw || patterns[g].Height() != ph) {
            throw std::invalid_argument("patterns differ in size");
        }
        collective.Combine(patterns[g], static_cast<int32_t>(g) * pw, 0, Jbig2Combine::Replace);
    }
    std::string s;
    Put8(s, (o.mmr ? 1u : 0u) | Unsigned(o.hdTemplate) << 1);
    Put8(s, Unsigned(pw));
    Put8(s, Unsigned(ph));
    Put32(s, static_cast<uint32_t>(patterns.size() - 1));
    if (o.mmr) {
        s += jbig2::EncodeMmr(collective, false);
    } else {
        std::vector<Jbig2At> at{{-pw, 0}};
        if (o.hdTemplate == 0) at.insert(at.end(), {{-3, -1}, {2, -2}, {-2, -2}});
        MqEncoder mq;
        MqContexts cx(65536);
        EncodeGeneric(mq, cx, collective, o.hdTemplate, false, at);
        s += mq.Finish();
    }
    const uint32_t n = AddSegment(kPatternDictionary, {}, s);
    exported_[n] = patterns;
    return n;
}

uint32_t Jbig2Writer::HalftoneRegion(uint32_t patternDictionary, int32_t width, int32_t height,
                                     uint32_t gridWidth, uint32_t gridHeight,
                                     const std::vector<uint32_t>& grayValues,
                                     const Jbig2Placement& placement,
                                     const Jbig2HalftoneOptions& o) {
    const std::vector<Jbig2Bitmap>& patterns = Exported(patternDictionary);
    if (grayValues.size() != static_cast<size_t>(gridWidth) * gridHeight) {
        throw std::invalid_argument("one gray value per grid cell");
    }
    for (uint32_t v : grayValues) {
        if (v >= patterns.size()) throw std::invalid_argument("gray value without a pattern");
    }
    if (o.enableSkip && o.mmr) throw std::invalid_argument("skipping needs arithmetic coding");
    // The region as it decodes, for later refinements.
    Jbig2Bitmap region(width, height, o.defaultPixel ? 1 : 0);
    for (uint32_t m = 0; m < gridHeight; ++m) {
        for (uint32_t n = 0; n < gridWidth; ++n) {
            const int64_t x = (o.gridX + int64_t{m} * o.vectorY + int64_t{n} * o.vectorX) >> 8;
            const int64_t y = (o.gridY + int64_t{m} * o.vectorX - int64_t{n} * o.vectorY) >> 8;
            region.Combine(patterns[grayValues[m * gridWidth + n]], static_cast<int32_t>(x),
                           static_cast<int32_t>(y), o.op);
        }
    }
    std::string s = RegionInfo(region, placement);
    Put8(s, (o.mmr ? 1u : 0u) | Unsigned(o.hTemplate) << 1 | (o.enableSkip ? 0x08u : 0u) |
                static_cast<uint32_t>(o.op) << 4 | (o.defaultPixel ? 0x80u : 0u));
    Put32(s, gridWidth);
    Put32(s, gridHeight);
    Put32(s, Unsigned(o.gridX));
    Put32(s, Unsigned(o.gridY));
    Put16(s, o.vectorX);
    Put16(s, o.vectorY);
    const int32_t bpp = CeilLog2(patterns.size());
    std::vector<Jbig2At> at{{o.hTemplate <= 1 ? 3 : 2, -1}};
    if (o.hTemplate == 0) at.insert(at.end(), {{-3, -1}, {2, -2}, {-2, -2}});
    MqEncoder mq;
    MqContexts cx(65536);
    const auto gw = static_cast<int32_t>(gridWidth), gh = static_cast<int32_t>(gridHeight);
    Jbig2Bitmap skip(gw, gh);
    for (int32_t m = 0; o.enableSkip && m < gh; ++m) {
        for (int32_t n = 0; n < gw; ++n) {
            const int64_t x = (o.gridX + int64_t{m} * o.vectorY + int64_t{n} * o.vectorX) >> 8;
            const int64_t y = (o.gridY + int64_t{m} * o.vectorX - int64_t{n} * o.vectorY) >> 8;
            if (x + patterns[0].Width() <= 0 || x >= width || y + patterns[0].Height() <= 0 || y >= height) {
                skip.Set(n, m, 1);
            }
        }
    }
    for (int32_t j = bpp - 1; j >= 0; --j) {
        Jbig2Bitmap plane(gw, gh);
        for (int32_t m = 0; m < gh; ++m) {
            for (int32_t n = 0; n < gw; ++n) {
                const uint32_t g = grayValues[static_cast<size_t>(m) * gridWidth + static_cast<size_t>(n)];
                // Skipped cells decode as 0, and their neighbours' contexts see that.
                if (skip.Get(n, m) == 0) plane.Set(n, m, static_cast<uint8_t>(((g ^ (g >> 1)) >> j) & 1u));
            }
        }
        if (o.mmr) {
            s += jbig2::EncodeMmr(plane, true);
        } else {
            EncodeGeneric(mq, cx, plane, o.hTemplate, false, at, o.enableSkip ? &skip : nullptr);
        }
    }
    if (!o.mmr) s += mq.Finish();
    const uint32_t n =
        AddSegment(RegionType(kIntermediateHalftone, placement.use), {patternDictionary}, s);
    regions_[n] = region;
    return n;
}

uint32_t Jbig2Writer::UserTable(const Jbig2HuffmanTableSpec& t) {
    int32_t maxPrefix = std::max({t.lowerLength, t.upperLength, t.oob ? t.oobLength : 0});
    int32_t maxRange = 0;
    for (const auto& [prefix, range] : t.lines) {
        maxPrefix = std::max(maxPrefix, prefix);
        maxRange = std::max(maxRange, range);
    }
    const int32_t prefixBits = std::max(1, CeilLog2(static_cast<uint64_t>(maxPrefix) + 1));
    const int32_t rangeBits = std::max(1, CeilLog2(static_cast<uint64_t>(maxRange) + 1));
    const int64_t high = TableHigh(t);
    if (t.lines.empty() || prefixBits > 8 || rangeBits > 8 || high > std::numeric_limits<int32_t>::max()) {
        throw std::invalid_argument("user Huffman table out of range");
    }
    std::string s;
    Put8(s, (t.oob ? 1u : 0u) | Unsigned(prefixBits - 1) << 1 | Unsigned(rangeBits - 1) << 4);
    Put32(s, Unsigned(t.low));
    Put32(s, static_cast<uint32_t>(high));
    BitWriter bits;
    for (const auto& [prefix, range] : t.lines) {
        bits.Put(Unsigned(prefix), prefixBits);
        bits.Put(Unsigned(range), rangeBits);
    }
    bits.Put(Unsigned(t.lowerLength), prefixBits);
    bits.Put(Unsigned(t.upperLength), prefixBits);
    if (t.oob) bits.Put(Unsigned(t.oobLength), prefixBits);
    // One byte more than the lines need: jbig2dec 0.19 reports a table
    // segment that ends right after its lines as too short.
    s += bits.Bytes() + std::string(1, '\0');
    const uint32_t n = AddSegment(kTables, {}, s);
    tables_[n] = t;
    return n;
}

uint32_t Jbig2Writer::EndOfStripe(uint32_t lastRow) {
    std::string s;
    Put32(s, lastRow);
    return AddSegment(kEndOfStripe, {}, s);
}

uint32_t Jbig2Writer::EndOfPage() { return AddSegment(kEndOfPage, {}, {}); }

uint32_t Jbig2Writer::EndOfFile() { return AddSegment(kEndOfFile, {}, {}); }

namespace {

// What this writer keeps for a segment it made, or std::invalid_argument.
template <typename T>
const T& Kept(const std::map<uint32_t, T>& kept, uint32_t segment, const char* what) {
    const auto it = kept.find(segment);
    if (it == kept.end()) {
        throw std::invalid_argument("segment " + std::to_string(segment) + " is no " + what +
                                    " made by this writer");
    }
    return it->second;
}

}  // namespace

const Jbig2HuffmanTableSpec& Jbig2Writer::Spec(uint32_t table) const {
    return Kept(tables_, table, "table");
}

const std::vector<Jbig2Bitmap>& Jbig2Writer::Exported(uint32_t dictionary) const {
    return Kept(exported_, dictionary, "dictionary");
}

const Jbig2Bitmap& Jbig2Writer::RegionBitmap(uint32_t region) const {
    return Kept(regions_, region, "region");
}

Jbig2decResult DecodeWithJbig2dec(const std::string& page, const std::string& globals) {
    TempDir dir("qz-jbig2");
    const std::filesystem::path out = dir.File("out.pbm");
    std::vector<std::string> argv{"jbig2dec", "-e", "-t", "pbm", "-o", out.string()};
    if (!globals.empty()) argv.push_back(dir.Write("globals.jb2", globals).string());
    argv.push_back(dir.Write("page.jb2", page).string());
    const RunResult r = RunProgram(argv);
    Jbig2decResult result;
    result.messages = r.out + r.err;
    if (!r.Succeeded() || !std::filesystem::exists(out)) {
        result.messages = r.Describe();
        return result;
    }
    try {
        result.page = Jbig2Bitmap::FromPbm(platform::ReadFileBytes(out));
        result.ok = true;
    } catch (const std::invalid_argument& e) {
        result.messages += std::string("\nunreadable PBM: ") + e.what();
    }
    return result;
}

}  // namespace qz::testing
