#include "level3_harness.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>
#include <utility>

#include "engine/hxr_dll.h"
#include "engine/plimo.h"
#include "support/model.h"
#include "support/model_links.h"
#include "support/res_writer.h"

namespace ovcg_test::l3 {
namespace {

// The library's parts with the halftone engine faked behind its adapter.
class Parts final : public ovcg::EngineParts {
public:
    explicit Parts(RecordingHxrEngine* hxr) : hxr_(hxr) {}
    ovcg::EngineParts& lib() { return ovcg::BuiltInEngineParts(); }
    std::unique_ptr<ovcg::IHxrAdapter> CreateHxrAdapter(const char* path) override {
        return std::make_unique<ovcg::HxrAdapter>(path, hxr_->Table());
    }
    std::unique_ptr<ovcg::CLinkRscDLL> CreateLinkResources(const char* const* files, int count) override {
        return lib().CreateLinkResources(files, count);
    }
    std::unique_ptr<ovcg::IPixelConverter> CreatePixelConverter() override { return lib().CreatePixelConverter(); }
    std::unique_ptr<ovcg::IPrintMode> CreatePrintMode(const tagPRTSTRUCT3_12* job,
                                                      ovcg::CLinkRscDLL* links) override {
        return lib().CreatePrintMode(job, links);
    }
    std::unique_ptr<ovcg::IMWCmd> CreateMWCmd(const ovcg::MWCmdArgs& args) override { return lib().CreateMWCmd(args); }
    std::unique_ptr<ovcg::IHeadControl> CreateHeadControl(const ovcg::tagIRACINITSTRUCT* init,
                                                          const char* path) override {
        return lib().CreateHeadControl(init, path);
    }
    std::unique_ptr<ovcg::IHalftoner> CreateHalftoner(bool level3, const ovcg::tagHTINITSTRUCT* init, int rotation,
                                                      int overprint) override {
        return lib().CreateHalftoner(level3, init, rotation, overprint);
    }
    std::unique_ptr<ovcg::CTRAQ3V1> CreateLevel3Records(uint16_t version, const tagPRTSTRUCT3_12& job) override {
        return lib().CreateLevel3Records(version, job);
    }
    std::unique_ptr<ovcg::IEncodeBuffer> CreateEncodeBuffer(uint16_t selector, CPlimoSpooler* spooler,
                                                            ovcg::CTRAQ3V1* records, uint32_t height) override {
        return lib().CreateEncodeBuffer(selector, spooler, records, height);
    }
    std::unique_ptr<ovcg::ICalibTool> CreateCalibTool() override { return lib().CreateCalibTool(); }
    std::unique_ptr<ovcg::IBrsSession> CreateBrsSession(const ovcg::CalibRecord& record, const int32_t* mode,
                                                        uint32_t length) override {
        return lib().CreateBrsSession(record, mode, length);
    }
    std::unique_ptr<ovcg::ICdgSession> CreateCdgSession(ovcg::IHxrAdapter* hxr) override {
        return lib().CreateCdgSession(hxr);
    }

private:
    RecordingHxrEngine* hxr_;
};

class ScopedParts {
public:
    explicit ScopedParts(ovcg::EngineParts* p) { ovcg::SetDefaultEngineParts(p); }
    ~ScopedParts() { ovcg::SetDefaultEngineParts(nullptr); }
};

// The spool callback: keeps the bytes it answers for; fails (-1) once
// `fail_after` bytes have been taken (never when negative).
struct Sink {
    std::vector<uint8_t>* out;
    int64_t fail_after;
    int32_t (*accept)(int32_t);
    bool failing = false;
};

int32_t Collect(void* param, const uint8_t* data, int32_t length) {
    auto* sink = static_cast<Sink*>(param);
    if (sink->failing) return -1;
    if (sink->fail_after >= 0 && int64_t(sink->out->size()) + length > sink->fail_after) return -1;
    const int32_t n = sink->accept ? sink->accept(length) : length;
    sink->out->insert(sink->out->end(), data, data + std::clamp(n, 0, length));
    return n;
}

constexpr uint32_t kEx2TopMarginOffset = 0x40;

tagPRTSTRUCT3_12 JobRecord(const JobSpec& s) {
    tagPRTSTRUCT3_12 j{};
    j.version = OVCG_PRTSTRUCT3_VERSION;
    j.src_format = s.src_format;
    j.prt_format = s.prt_format;
    j.src_resolution = s.src_resolution;
    j.prt_resolution = s.prt_resolution;
    j.src_paper_size = {int32_t(s.width) + 20, int32_t(s.length) + 20};
    j.src_print_area = {int32_t(s.width), int32_t(s.length)};
    j.src_print_area_ex = j.src_print_area;
    j.src_margin = {10, 10};
    j.media_type = s.media;
    j.bit_p_color = s.bits;
    j.num_copy = 1;
    const uint32_t level = s.level2 ? 0u : s.page_language ? OVCG_MW_OVC : OVCG_MW_P3;
    j.mw_type = level | (s.empty_page ? OVCG_MW_CL | OVCG_MW_CLFL : 0u);
    j.ex_option = OVCG_EXO_DM | (s.header ? OVCG_EXO_PK : 0u) | (s.flip_h ? OVCG_EXO_FH : 0u) |
                  (s.flip_v ? OVCG_EXO_FV : 0u) | (s.composite ? OVCG_EXO_CB : 0u) | (s.cut_after ? OVCG_EXO_SP : 0u) |
                  (s.roll ? OVCG_EXO_BR : 0u);
    j.ex_option2 = s.continuous ? kEx2TopMarginOffset : 0u;
    j.lut_format = 1;
    j.quality_type = 1;
    return j;
}

// The 16-bit reduction, literally: per pixel r = seed's top byte, each
// sample v becomes (v - v / 256 + r) / 256, then the seed steps.
struct Reducer {
    uint32_t seed = 0;
    void Band(const Band& b, unsigned components, std::vector<uint8_t>& out) {
        const uint32_t rows = b.band.bottom - b.band.top, width = b.band.right - b.band.left;
        out.assign(size_t{rows} * width * components, 0);
        for (uint32_t y = 0; y < rows; ++y)
            for (uint32_t x = 0; x < width; ++x) {
                const uint32_t r = seed >> 24;
                for (unsigned k = 0; k < components; ++k) {
                    const uint8_t* p = &b.bits[size_t{y} * b.stride + (size_t{x} * components + k) * 2];
                    const uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8;
                    out[(size_t{y} * width + x) * components + k] = uint8_t((v - (v >> 8) + r) >> 8);
                }
                seed = seed * 48828125u + 1u;
            }
    }
};

uint8_t GrayOf(unsigned r, unsigned g, unsigned b) { return uint8_t((30 * r + 59 * g + 11 * b) / 100); }

}  // namespace

const std::string& ModelPath() {
    static const std::string path = OVCG_DEFAULT_MODEL_FILE;
    return path;
}

unsigned SourceBytes(int format) {
    switch (format) {
        case kGray: return 1;
        case kRgb: return 3;
        case kRgbx16: return 8;
        default: return 4;
    }
}

uint16_t EncoderOf(uint16_t media) { return model_level3_modes(media).encoder; }

JobResult RunJob(const JobSpec& recipe, const std::vector<Page>& pages, RecordingHxrEngine& hxr,
                 tagHTSTRUCT3_5* halftone) {
    JobResult res;
    Parts parts(&hxr);
    ScopedParts scoped(recipe.library_engine ? nullptr : &parts);
    tagPRTSTRUCT3_12 job = JobRecord(recipe);
    const char* files[] = {ModelPath().c_str()};
    Sink sink{&res.spool, recipe.fail_after, recipe.accept};
    tagOPTION opt{nullptr, nullptr, files, 1, &Collect, &sink};
    HPLIMO3 h = nullptr;
    res.init_job = InitJob(&h, &job, &opt);
    if (res.init_job != 0) return res;
    const ovcg::tagPRTINFOSTRUCT& info = reinterpret_cast<const ovcg::CPlimo*>(h)->PrintMode()->Info();
    res.page_length_extra = info.page_length_extra;
    res.page_gap = info.page_gap;
    tagHTSTRUCT3_5 ht{};
    ht.version = OVCG_HTSTRUCT3_VERSION;
    ht.color_correction = 2;
    ht.halftone_type = recipe.halftone_type;
    ht.doRotation = recipe.rotate ? 1 : 0;
    ht.gamma = 180;
    if (halftone) ht = *halftone;
    using Step = JobSpec::Step;
    const auto in = [&](Step step) { sink.failing = recipe.fail_in == step; };
    for (const Page& page : pages) {
        in(Step::kPageStart);
        res.init_page.push_back(InitPage(h, &ht));
        in(Step::kBand);
        for (const Band& b : page.bands) {
            std::vector<uint8_t> bits = b.bits;  // the library may convert a band in place
            tagBANDBMP bmp{b.stride, bits.data()};
            tagOSDEP3 desc = b.desc;
            res.band_out.push_back(BandOut(h, &b.clip, &bmp, nullptr, &b.band, b.frame ? &desc : nullptr));
        }
        in(Step::kPageEnd);
        tagTPINFOSTRUCT tp{1, page.abort ? 1 : 0};
        res.end_page.push_back(TerminatePageEx(h, &tp));
    }
    in(Step::kJobEnd);
    res.destroy = DestroyJob(h);
    res.check = recipe.header ? ValidateSpool(res.spool) : SpoolCheck{};
    if (!recipe.header) {
        res.check.stream = ValidateStream(res.spool);
        res.check.ok = res.check.stream.ok;
        res.check.spool.data = res.spool;
    }
    return res;
}

std::vector<Expected> ExpectedPages(const JobSpec& s, const std::vector<Page>& pages, int32_t extra, int32_t gap) {
    const uint16_t encoder = EncoderOf(s.media);
    const bool jpeg = encoder != 1;
    const bool grayJob = s.prt_format == 0;
    const bool composite = grayJob || s.composite;
    const int srcBytes = s.src_format == kGray ? 1 : 4;
    // The channels the encode buffer takes.
    int channels = 3;
    if (!jpeg) channels = (grayJob || s.src_format == kGray) ? 1 : 3;
    const uint32_t W = s.width;
    std::vector<Expected> out;
    Reducer reducer;
    int64_t base = 0;
    for (size_t pn = 0; pn < pages.size(); ++pn) {
        const Page& page = pages[pn];
        // A roll's page k: below the pages before it, its bands lowered.
        const int64_t offset = !s.continuous ? 0 : pn == 0 ? extra : gap;
        const uint32_t L = s.length + uint32_t(s.continuous ? extra + (pn > 0 ? gap : 0) : 0);
        if (!s.continuous || pn == 0) {
            Expected e;
            e.width = s.rotate ? L : W;
            e.height = s.rotate ? W : L;
            if (s.continuous) e.height = uint32_t(s.length + extra) * uint32_t(pages.size()) + gap * uint32_t(pages.size() - 1);
            e.channels = channels;
            e.check = !page.abort;
            e.pixels.assign(size_t{e.width} * e.height * size_t(channels), 255);
            e.written.assign(size_t{e.width} * e.height, 0);
            out.push_back(std::move(e));
        }
        Expected& e = out.back();
        int64_t firstRow = -1;
        for (const Band& b : page.bands) {
            const int64_t f = b.frame ? b.desc.ImageFrameSize : 0;
            const int64_t w = b.band.right - b.band.left, h = b.band.bottom - b.band.top;
            std::vector<uint8_t> reduced;
            const uint8_t* bits = b.bits.data();
            size_t stride = b.stride;
            if (s.src_format == kRgbx16) {
                reducer.Band(b, 4, reduced);
                bits = reduced.data();
                stride = size_t(w) * 4;
            }
            const unsigned bpp = s.src_format == kRgb ? 3 : unsigned(srcBytes);
            struct Px {
                int64_t row, col;
                uint8_t v[3];
            };
            std::vector<Px> px;
            for (int64_t r = 0; r < h; ++r)
                for (int64_t c = 0; c < w; ++c) {
                    if (!s.empty_page &&
                        !(c >= b.clip.left && c < b.clip.right && r >= b.clip.top && r < b.clip.bottom))
                        continue;
                    // Page column: the frame off, a window reaching the band's
                    // right edge losing it on that side too.
                    const int64_t right = s.empty_page || b.clip.right >= w ? w - f : int64_t(b.clip.right);
                    if (c < f || c >= right) continue;
                    int64_t x = c - f, y = b.band.top + offset - f + r;
                    if (x >= W || y < 0 || y >= L) continue;
                    const uint8_t* p = bits + size_t(r) * stride + size_t(c) * bpp;
                    unsigned R, G, B;
                    if (s.src_format == kGray) {
                        R = G = B = p[0];
                    } else if (s.src_format == kBgrx) {
                        R = p[2], G = p[1], B = p[0];
                    } else {
                        R = p[0], G = p[1], B = p[2];
                    }
                    Px q{};
                    if (composite || channels == 1) R = G = B = (s.src_format == kGray ? R : GrayOf(R, G, B));
                    q.v[0] = uint8_t(R), q.v[1] = uint8_t(G), q.v[2] = uint8_t(B);
                    if (s.flip_h) x = W - 1 - x;
                    if (s.flip_v) y = L - 1 - y;
                    if (s.rotate) std::tie(y, x) = std::pair<int64_t, int64_t>{x, L - 1 - y};
                    q.row = y, q.col = x;
                    px.push_back(q);
                }
            if (px.empty()) continue;
            int64_t top = px.front().row;
            for (const Px& q : px) top = std::min(top, q.row);
            int64_t shift = 0;
            if (s.cut_after && !s.roll) {
                if (firstRow < 0) firstRow = top;
                shift = firstRow;
            }
            for (const Px& q : px) {
                if (q.row < shift) continue;
                const size_t at = size_t(base + q.row - shift) * e.width + size_t(q.col);
                for (int k = 0; k < channels; ++k) e.pixels[at * size_t(channels) + size_t(k)] = q.v[k];
                e.written[at] = 1;
            }
        }
        if (s.continuous) base += L;
    }
    return out;
}

std::string CompareWithObjects(const Level3Job& job, const std::vector<Expected>& expected, int tolerance,
                               double* meanError) {
    if (!job.ok) return "stream: " + job.error;
    if (job.pages.size() != expected.size())
        return std::to_string(job.pages.size()) + " pages for " + std::to_string(expected.size());
    double sum = 0;
    size_t count = 0;
    for (size_t p = 0; p < expected.size(); ++p) {
        const Expected& e = expected[p];
        if (!e.check) continue;
        Level3Canvas canvas(e.width, e.height, e.channels, e.white);
        for (size_t i = 0; i < job.pages[p].objects.size(); ++i) {
            const Level3Object& o = job.pages[p].objects[i];
            DecodedObject d;
            std::string why;
            if (!DecodeLevel3Object(o, d, &why))
                return "page " + std::to_string(p) + " object " + std::to_string(i) + ": " + why;
            if (!canvas.Paint(o, d))
                return "page " + std::to_string(p) + " object " + std::to_string(i) + " at " + std::to_string(o.x) +
                       "," + std::to_string(o.y) + " size " + std::to_string(o.width) + "x" +
                       std::to_string(o.height) + " channels " + std::to_string(d.channels) + " off the page";
        }
        for (uint32_t y = 0; y < e.height; ++y)
            for (uint32_t x = 0; x < e.width; ++x) {
                const size_t at = size_t{y} * e.width + x;
                if (e.written[at] && !canvas.painted[at])
                    return "page " + std::to_string(p) + " pixel " + std::to_string(x) + "," + std::to_string(y) +
                           " not painted";
                if (!canvas.painted[at]) continue;
                for (int k = 0; k < e.channels; ++k) {
                    const int want = e.written[at] ? e.pixels[at * size_t(e.channels) + size_t(k)] : e.white;
                    const int got = canvas.at(x, y)[k];
                    const int err = std::abs(got - want);
                    sum += err;
                    ++count;
                    if (err > tolerance)
                        return "page " + std::to_string(p) + " pixel " + std::to_string(x) + "," + std::to_string(y) +
                               " sample " + std::to_string(k) + ": " + std::to_string(got) + " for " +
                               std::to_string(want) + (e.written[at] ? "" : " (white)");
                }
            }
    }
    if (meanError) *meanError = count ? sum / double(count) : 0;
    return "";
}

}  // namespace ovcg_test::l3
