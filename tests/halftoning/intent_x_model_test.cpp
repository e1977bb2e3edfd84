// The band driver against a slow, literal model of a whole page: random
// pages cut into random bands (heights 1-70, clips, frames, gaps, overlapping
// bands, every source format) give the engine calls, the output module's runs
// and the printed page that the model derives row by row.
//
// L = 2: each band's rows follow the three repeat cases as separate, literal
// rules (groups of L with R = 1; R / 2 two-line calls of a row with R even;
// held odd repeats with R odd). L = 4: the page is one sequence of rows
// (blank, white, band rows) cut into consecutive groups of 4, white-padded.
#include <random>

#include "intent_x_fixture.h"

namespace ovcg_test {
namespace {

struct Page {
    SourceKind s;
    unsigned W = 0, P = 0;
    int srcX = 720, srcY = 720, prtY = 720;
    unsigned t = 1;
    bool flip = false, emptyPage = false, defer = false;
    unsigned layout = 0;
};

struct Band {
    tagRECT band{}, clip{};
    bool hasDesc = false;
    tagOSDEP3 desc{};
    unsigned pb = 0;
    std::vector<Bytes> v;  // v[row][pixel] of the whole band, frame included
    TestBand bits;
};

struct Call {
    int first, x0, pixels;
    std::vector<Bytes> lines;
};
struct OutRun {
    bool empty;
    unsigned count, position;
    bool operator==(const OutRun&) const = default;
};

// The model of one page.
class Model {
public:
    Model(const Page& p, unsigned R, unsigned L, uint8_t white) : p_(p), R_(R), L_(L), white_(white) {}

    std::vector<Call> calls;
    std::vector<OutRun> runs;
    std::vector<size_t> runCall;  // for each raster run, its call
    uint64_t n = 0;

    void Start() { Empty(uint64_t{p_.layout} * R_); }

    // 0, or -203 for a band that starts below the page and its frame.
    int AddBand(const Band& b) {
        uint64_t f = 0, x = 0, y = 0;
        if (b.hasDesc) {
            f = b.desc.ImageFrameSize;
            x = y = f;
            if (b.desc.wCMD == 64) x += b.desc.dwFrameOffsetX, y += b.desc.dwFrameOffsetY;
        }
        const int64_t top = b.band.top, bottom = b.band.bottom;
        if (int64_t(p_.P) < top - int64_t(y)) return -203;
        // The placement, as the band driver's rules say it, in signed numbers.
        const int64_t w = int64_t(b.band.right) - b.band.left, h = bottom - top;
        int64_t l = b.clip.left, t = b.clip.top, r = b.clip.right, bt = b.clip.bottom, H = h, drop = 0;
        if (p_.emptyPage) l = 0, t = 0, r = w, bt = h;
        if (x == 0) {
            r = std::min(r, w), bt = std::min(bt, h);
        } else {
            l = std::max<int64_t>(0, l - int64_t(x));
            r = r >= w ? w - 2 * int64_t(x) : r - int64_t(x);
            if (r < 0) r = 0;
            if (top != 0) {
                if (int64_t(p_.P) < bottom - int64_t(y)) H = int64_t(p_.P) - (top - int64_t(y));
            } else {
                t = std::max<int64_t>(0, t - int64_t(y));
                bt = std::max<int64_t>(0, bt - int64_t(y));
                drop = std::min<int64_t>(int64_t(y), h);
                H = h - drop;
            }
        }
        r = std::min<int64_t>(r, p_.W);
        if (p_.srcX == 1440) l &= ~int64_t{1};
        left_ = l, right_ = r, first_ = t, end_ = std::min(bt, H);
        const bool window = l < r && t < end_;

        // The gap before the band.
        int64_t gap = top - int64_t(prevEnd_);
        if (!bandSeen_) gap -= int64_t(y);
        if (gap > 0) Gap(uint64_t(gap));
        prevEnd_ = uint64_t(bottom);
        bandSeen_ = true;
        lastY_ = y;

        // The used rows, in walk order.
        std::vector<int64_t> used;
        for (int64_t i = 0; i < H; i += p_.t) used.push_back(p_.flip ? H - 1 - i : i);
        auto in = [&](int64_t row) { return window && row >= t && row < end_; };
        // The engine reads the window's every t-th pixel.
        const Span sp = SpanOf(l, r);
        auto line = [&](int64_t row) {
            Bytes out(size_t(sp.count));
            for (size_t i = 0; i < out.size(); ++i)
                out[i] = b.v[size_t(drop + row)][size_t(int64_t(x) + (sp.first + int64_t(i)) * p_.t)];
            return out;
        };
        if (L_ == 4) {
            for (int64_t row : used) {
                // A band whose window has no rows or pixels gives white rows.
                Row pr{true, in(row), window ? l : 0, window ? r : 0, Bytes(p_.W + 1, white_)};
                for (int64_t px = pr.l; px < pr.r; ++px) pr.values[size_t(px)] = b.v[size_t(drop + row)][size_t(int64_t(x) + px)];
                rows_.push_back(pr);
            }
            return 0;
        }
        if (R_ < 2) {
            for (size_t g = 0; g < used.size(); g += L_) {
                const size_t e = std::min(used.size(), g + L_);
                bool any = false;
                for (size_t i = g; i < e; ++i) any |= in(used[i]);
                if (!any) {
                    EmptyRows(e - g);
                    continue;
                }
                std::vector<Bytes> ls;
                for (size_t i = g; i < e; ++i) ls.push_back(line(used[i]));
                Halftone(ls, e - g);
            }
        } else if (R_ % 2 == 0) {
            for (int64_t row : used) {
                if (!in(row)) {
                    EmptyRows(R_);
                    continue;
                }
                for (unsigned k = 0; k < R_ / 2; ++k) Halftone({line(row), line(row)}, 2);
            }
        } else {
            bool held = false;
            Bytes heldLine;
            for (int64_t row : used) {
                if (!in(row)) {
                    if (held) Halftone({heldLine}, 1), held = false;
                    EmptyRows(R_);
                    continue;
                }
                unsigned reps = R_;
                if (held) Halftone({heldLine, line(row)}, 2), held = false, --reps;
                for (; reps >= 2; reps -= 2) Halftone({line(row), line(row)}, 2);
                if (reps == 1) held = true, heldLine = line(row);
            }
            if (held) Halftone({heldLine}, 1);
        }
        return 0;
    }

    void End() {
        // EmptyPageEndOut(1), in empty-page mode EmptyPageEndFlush(0), EndPage.
        uint64_t count = 0;
        if (int64_t(prevEnd_) < int64_t(p_.P)) count = bandSeen_ ? p_.P + lastY_ - prevEnd_ : p_.P;
        Gap(count);
        if (L_ == 4) Groups();
    }

private:
    struct Row {
        bool band, inClip;
        int64_t l, r;  // pixels in [l, r); white rows: l = r = 0 for blank
        Bytes values;  // W + 1 values, white outside [l, r)
    };

    void Empty(uint64_t k) {
        if (k == 0) return;
        runs.push_back({true, unsigned(k), unsigned(n)});
        n += k;
    }
    void EmptyRows(uint64_t k) {
        if (p_.defer && runs.empty()) return;
        Empty(k);
    }
    // The engine's pixels of a window [l, r): the source pixels p x t of it,
    // from the first (on an even p with pairs when t is above 1), as many as
    // (r - l) / t and none at or past r.
    struct Span {
        int64_t first, count;
    };
    Span SpanOf(int64_t l, int64_t r) const {
        const int64_t t = p_.t;
        if (r <= l) return {0, 0};
        if (t == 1) return {l, r - l};
        int64_t first = (l + t - 1) / t;
        if (p_.srcX == 1440) first += first & 1;
        return {first, std::min((r - l) / t, std::max<int64_t>(0, (r + t - 1) / t - first))};
    }

    void Halftone(const std::vector<Bytes>& lines, unsigned rows) {
        const Span sp = SpanOf(left_, right_);
        calls.push_back({int(n), int(sp.first), int(sp.count), lines});
        runCall.push_back(calls.size() - 1);
        runs.push_back({false, rows, unsigned(n)});
        n += rows;
    }
    void Gap(uint64_t g) {
        if (g == 0) return;
        if (L_ == 4) {
            for (uint64_t i = 0; i < g; ++i) {
                Row r{false, false, 0, 0, Bytes(p_.W + 1, white_)};
                if (p_.emptyPage && left_ < int64_t(p_.W)) r.l = left_, r.r = p_.W;
                rows_.push_back(r);
            }
            return;
        }
        if (!p_.emptyPage) {
            for (unsigned k = 0; k < R_; ++k) EmptyRows(g);
            return;
        }
        if (left_ >= int64_t(p_.W)) return EmptyRows(g * R_);
        const int64_t keep = right_;
        right_ = p_.W;
        const Bytes white(size_t(SpanOf(left_, p_.W).count), white_);
        uint64_t total = g * R_;
        for (; total >= L_; total -= L_) Halftone(std::vector<Bytes>(L_, white), L_);
        if (total) Halftone(std::vector<Bytes>(total, white), unsigned(total));
        right_ = keep;
    }
    // L = 4: consecutive groups of four page rows from the page's first row.
    void Groups() {
        for (size_t g = 0; g < rows_.size(); g += 4) {
            const size_t e = std::min(rows_.size(), g + 4);
            bool printed = false;
            int64_t l = INT64_MAX, r = 0;
            for (size_t i = g; i < e; ++i) {
                const Row& row = rows_[i];
                printed |= row.band ? row.inClip : row.r > row.l;
                if (row.r > row.l) l = std::min(l, row.l), r = std::max(r, row.r);
            }
            if (!printed) continue;
            const Span sp = SpanOf(l, r);
            std::vector<Bytes> lines;
            for (size_t i = g; i < g + 4; ++i) {
                Bytes line(size_t(sp.count), white_);
                if (i < e)
                    for (size_t k = 0; k < line.size(); ++k)
                        line[k] = rows_[i].values[size_t((sp.first + int64_t(k)) * p_.t)];
                lines.push_back(line);
            }
            calls.push_back({int(g), int(sp.first), int(sp.count), lines});
            runCall.push_back(calls.size() - 1);
            runs.push_back({false, unsigned((e - g + 1) / 2), unsigned(g / 2)});
        }
        n = rows_.size();
    }

    const Page& p_;
    unsigned R_, L_;
    uint8_t white_;
    int64_t left_ = 0, right_ = 0, first_ = 0, end_ = 0;
    uint64_t prevEnd_ = 0, lastY_ = 0;
    bool bandSeen_ = false;
    std::vector<Row> rows_;

public:
    void StartRows() {
        for (unsigned i = 0; i < p_.layout; ++i) rows_.push_back({false, false, 0, 0, Bytes(p_.W + 1, white_)});
    }
};

// The engine's colour mode of a colour type, and whether a sample is ink.
unsigned ModeOf(int type) { return type == 4 ? 4 : type == 10 ? 110 : type > 100 ? unsigned(type) : 3; }

// The page the recording engine and output module make of the model's calls
// and raster runs (one bit per dot, every colour alike for colour input).
std::map<unsigned, Bytes> PageOf(const Model& m, unsigned lpr, unsigned mode, unsigned colours,
                                 unsigned rowBytes) {
    std::map<unsigned, Bytes> page;
    size_t call = 0;
    for (const OutRun& run : m.runs) {
        if (run.empty) continue;
        const Call& c = m.calls[m.runCall[call++]];
        for (unsigned j = 0; j < run.count; ++j) {
            Bytes raster(size_t{colours} * rowBytes, 0);
            for (unsigned k = 0; k < colours; ++k) {
                if (mode > 100 && mode != 110 && k >= mode - 100) continue;
                for (int x = 0; x < c.pixels; ++x) {
                    bool dot = false;
                    for (unsigned i = j * lpr; i < std::min<size_t>((j + 1) * lpr, c.lines.size()); ++i)
                        dot |= c.lines[i][size_t(x)] != (mode == 3 ? 255 : 0);
                    const unsigned col = unsigned(c.x0 + x);
                    if (dot && col / 8 < rowBytes) raster[k * rowBytes + col / 8] |= uint8_t(0x80 >> (col % 8));
                }
            }
            page[run.position + j] = raster;
        }
    }
    return page;
}

class IntentXModelTest : public IntentXTest {
protected:
    void RunPages(bool four, int pages, uint32_t seed) {
        std::mt19937 rng(seed);
        auto pick = [&](unsigned n) { return unsigned(rng() % n); };
        const SourceKind withWhite[] = {{0, 0, 1, false}, {1, 1, 1, true},  {2, 2, 1, false}, {2, 1, 1, true},
                                        {3, 3, 1, false}, {7, 7, 1, true},  {7, 3, 1, false}, {7, 0, 0, true},
                                        {8, 7, 1, false}, {8, 3, 1, true}};
        const SourceKind inks[] = {{4, 4, 1, false}, {4, 4, 1, true}, {101, 0, 1, false}, {104, 0, 1, true},
                                   {10, 0, 1, false}};
        int calls = 0, heldGroups = 0, refused = 0, framed = 0, shortCalls = 0, steppedWindows = 0;
        for (int trial = 0; trial < pages; ++trial) {
            Page p;
            p.W = 4 + pick(30);
            p.P = 10 + pick(150);
            p.srcX = pick(5) == 0 ? 1440 : 720;
            if (four) {
                p.srcY = 1440;
            } else {
                p.prtY = 720 * int(1 + pick(4));
                p.defer = pick(3) == 0;
            }
            p.t = pick(3) == 0 ? 2 + pick(3) : 1;
            p.flip = pick(3) == 0;
            p.emptyPage = pick(3) == 0;
            p.layout = pick(4);
            const bool needsWhite = four || p.emptyPage;
            p.s = needsWhite || pick(2) ? withWhite[pick(std::size(withWhite))] : inks[pick(std::size(inks))];
            SCOPED_TRACE("trial " + std::to_string(trial) + " format " + std::to_string(p.s.format) + " R " +
                         std::to_string(p.prtY / p.srcY) + " t " + std::to_string(p.t));

            Build(HtGeometry{2, 1, p.W, {p.srcX, p.srcY}, {720, p.prtY}});
            init.band_lines = four ? 4 : 2;
            engine.config.lines_per_row = four ? 2 : 1;
            UseSource(p.s);
            init.page_length = int32_t(p.P);
            init.flip_v = p.flip;
            init.empty_page = p.emptyPage;
            init.defer_skip = p.defer;
            init.reduce_step = int32_t(p.t);
            init.layout_offset.y = int32_t(p.layout);
            engine.ClearCalls();
            const unsigned R = buffer->VRatio(), L = four ? 4 : 2;
            const uint8_t white = WhiteOf(p.s);
            Model m(p, R, L, white);
            auto x = MakeX();
            ASSERT_EQ(x->StartPage(), 0);
            m.Start();
            if (four) m.StartRows();

            std::vector<Band> bands(1 + pick(6));
            unsigned top = 0;
            for (Band& b : bands) {
                const unsigned h = pick(5) == 0 ? 1 + pick(70) : 1 + pick(12);
                uint32_t hoff = 0;
                if (pick(3) == 0) {
                    b.hasDesc = true;
                    b.desc.ImageFrameSize = pick(4);
                    if (pick(2)) {
                        b.desc.wCMD = OVCG_OSDEP3_CMD_FRAME_OFFSETS;
                        b.desc.dwFrameOffsetX = pick(3);
                        b.desc.dwFrameOffsetY = pick(3);
                    }
                    hoff = b.desc.ImageFrameSize + (b.desc.wCMD == 64 ? b.desc.dwFrameOffsetX : 0);
                }
                const unsigned w = p.W + 2 * hoff + (pick(4) == 0 ? pick(5) : 0);
                const unsigned bandTop = pick(12) == 0 ? p.P + 8 + pick(10) : top;  // below the page: refused
                b.band = {0, bandTop, w, bandTop + h};
                b.clip = {0, 0, w, h};
                if (pick(2)) {
                    const unsigned l = pick(w + 1), t = pick(h + 1);
                    b.clip = {l, t, l + pick(w + 4 - l), t + pick(h + 3 - t)};
                }
                b.pb = PixelBytesOf(p.s);
                b.bits.Make(h, w * b.pb + pick(6));
                b.v.assign(h, Bytes(w, white));
                for (unsigned y = 0; y < h; ++y) {
                    const bool blank = pick(4) == 0;
                    for (unsigned px = 0; px < w; ++px) {
                        const bool frame = px < hoff;
                        uint8_t v = frame ? 0x77 : blank || pick(5) < 3 ? white : uint8_t(1 + pick(254));
                        b.v[y][px] = v;
                        b.bits.Put(p.s, px, y, v);
                    }
                }
                const int want = m.AddBand(b);
                refused += want != 0;
                framed += want == 0 && hoff > 0;
                const tagRECT clip = b.clip, band = b.band;
                ASSERT_EQ(x->BandOut(&clip, &b.bits.bmp, nullptr, &band, b.hasDesc ? &b.desc : nullptr), want);
                const int gap = int(pick(10)) - 3;
                if (want == 0) top = std::max(0, int(band.bottom) + gap);
                heldGroups += four && x->HeldRows() > 0;
            }
            ASSERT_EQ(x->EmptyPageEndOut(1), 0);
            if (p.emptyPage) {
                ASSERT_EQ(x->EmptyPageEndFlush(0), 0);
            }
            ASSERT_EQ(x->EndPage(), 0);
            m.End();

            const auto got = engine.CallsOf(HxrCall::kHalftone);
            ASSERT_EQ(got.size(), m.calls.size());
            const unsigned entries = std::min(10u, p.s.format > 100 ? unsigned(p.s.format - 100)
                                                   : p.s.format == 10 ? 10u
                                                   : p.s.format == 4  ? 4u
                                                                      : 3u);
            for (size_t i = 0; i < got.size(); ++i) {
                const Call& c = m.calls[i];
                ASSERT_EQ(got[i].first_row, c.first) << "call " << i;
                ASSERT_EQ(got[i].x_offset, c.x0) << "call " << i;
                ASSERT_EQ(got[i].pixels, c.pixels) << "call " << i;
                ASSERT_EQ(size_t(got[i].lines), c.lines.size()) << "call " << i;
                for (size_t j = 0; j < c.lines.size(); ++j)
                    for (unsigned e = 0; e < entries; ++e)
                        ASSERT_EQ(got[i].planes.at(j * entries + e), c.lines[j]) << "call " << i << " line " << j;
            }
            std::vector<OutRun> runs;
            for (const auto& r : out->runs())
                if (!four || !r.empty) runs.push_back({r.empty, r.count, r.position});
            std::vector<OutRun> want;
            for (const OutRun& r : m.runs)
                if (!four || !r.empty) want.push_back(r);
            ASSERT_EQ(runs, want);
            EXPECT_EQ(x->RowsPassed(), m.n);
            ASSERT_EQ(out->page(), PageOf(m, four ? 2 : 1, ModeOf(x->ColourType()), 2, buffer->LineBytes()));
            calls += int(got.size());
            for (const auto& c : got) {
                shortCalls += size_t(c.lines) < L;
                steppedWindows += p.t > 1 && c.x_offset > 0;
            }
        }
        // The pages reach the rare paths.
        EXPECT_GT(calls, pages * 2);
        EXPECT_GT(refused, pages / 20);
        EXPECT_GT(framed, pages / 10);
        EXPECT_GT(steppedWindows, pages / 10);
        if (!four) {
            EXPECT_GT(shortCalls, pages / 4);
        }
        if (four) {
            EXPECT_GT(heldGroups, pages / 4);
        }
    }
};

TEST_F(IntentXModelTest, TwoLinesAgainstTheModel) { RunPages(false, 400, 11); }

TEST_F(IntentXModelTest, FourLineGroupsAgainstTheModel) { RunPages(true, 300, 12); }

}  // namespace
}  // namespace ovcg_test
