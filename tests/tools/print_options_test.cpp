// Every print option through the exported entry points, each job's stream
// read back by the virtual printer: for every page, the raster commands
// placed by their feeds and positions give exactly the dot planes the
// halftoning handed to the head-control engine (the OR of all passes equals
// the planes, no dot twice, nothing outside them), framed by the job-start
// and job-end bytes.
//
// The dot planes are recorded on their way from the halftoning to the
// head-control engine by an output module that passes every call on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine_interfaces.h"
#include "engine/out_module.h"
#include "commands/traq3_records.h"
#include "engine/plimo_buffer.h"
#include "ovcg/ovcg.h"
#include "support/front_end_tables.h"
#include "support/job_framing.h"
#include "support/model.h"
#include "support/model_head_control.h"
#include "support/option_choices.h"
#include "support/sanitized.h"
#include "support/virtual_printer.h"

namespace {

using namespace ovcg_test;
using Bytes = std::vector<uint8_t>;

// ---- Recording the dot rows on their way to the head-control engine -----------

struct RecordedPage {
    unsigned colours = 0, rowBytes = 0, bits = 0;
    std::map<unsigned, Bytes> rasters;  // position -> colours x rowBytes
    size_t repeated = 0;                // positions handed on twice
};

class TeeOutModule : public COutModule {
public:
    TeeOutModule(COutModule* inner, std::vector<RecordedPage>* pages) : inner_(inner), pages_(pages) {}

    int RasterOut(unsigned int count, unsigned int position, unsigned char** lines, unsigned int width) override {
        RecordedPage& p = pages_->back();
        for (unsigned i = 0; i < count && lines; ++i) {
            Bytes raster;
            for (unsigned c = 0; c < p.colours; ++c)
                raster.insert(raster.end(), lines[i] + size_t{c} * width, lines[i] + size_t{c} * width + p.rowBytes);
            if (!p.rasters.emplace(position + i, std::move(raster)).second) ++p.repeated;
        }
        return inner_->RasterOut(count, position, lines, width);
    }
    int EmptyRasterOut(unsigned int count, unsigned int position) override {
        return inner_->EmptyRasterOut(count, position);
    }
    int GetSwitchingPosition(int* out, int capacity) override { return inner_->GetSwitchingPosition(out, capacity); }
    int GetMinimumLength(int* out) override { return inner_->GetMinimumLength(out); }
    int SetSkipLength(int skipped) override { return inner_->SetSkipLength(skipped); }

private:
    COutModule* inner_;
    std::vector<RecordedPage>* pages_;
};

class TeeHeadControl : public ovcg::IHeadControl {
public:
    TeeHeadControl(std::unique_ptr<ovcg::IHeadControl> inner, const CPlimoBuffer* buffer,
                   std::vector<RecordedPage>* pages)
        : inner_(std::move(inner)),
          buffer_(buffer),
          pages_(pages),
          tee_(static_cast<COutModule*>(inner_->OutModule()), pages) {}

    int StartJob() override { return inner_->StartJob(); }
    int StartPage(ovcg::IHalftoner* h) override {
        RecordedPage p;
        p.colours = unsigned(buffer_->Planes());
        p.rowBytes = buffer_->LineBytes();
        p.bits = unsigned(buffer_->BitsPerDot());
        pages_->push_back(p);
        return inner_->StartPage(h);
    }
    int EndPage(int abort) override { return inner_->EndPage(abort); }
    int EndJob() override { return inner_->EndJob(); }
    int GetUseHead(int* count, const uint8_t** heads) override { return inner_->GetUseHead(count, heads); }
    uint32_t FirstRaster() const override { return inner_->FirstRaster(); }
    uint32_t NextRaster() const override { return inner_->NextRaster(); }
    uint32_t SkippedRasters() const override { return inner_->SkippedRasters(); }
    void* OutModule() override { return static_cast<COutModule*>(&tee_); }

private:
    std::unique_ptr<ovcg::IHeadControl> inner_;
    const CPlimoBuffer* buffer_;
    std::vector<RecordedPage>* pages_;
    TeeOutModule tee_;
};

// The library's own parts, the head control wrapped.
class TeeParts : public ovcg::EngineParts {
public:
    ovcg::EngineParts& b = ovcg::BuiltInEngineParts();
    std::vector<RecordedPage> pages;

    std::unique_ptr<ovcg::IHxrAdapter> CreateHxrAdapter(const char* path) override { return b.CreateHxrAdapter(path); }
    std::unique_ptr<ovcg::CLinkRscDLL> CreateLinkResources(const char* const* files, int count) override {
        return b.CreateLinkResources(files, count);
    }
    std::unique_ptr<ovcg::IPixelConverter> CreatePixelConverter() override { return b.CreatePixelConverter(); }
    std::unique_ptr<ovcg::IPrintMode> CreatePrintMode(const tagPRTSTRUCT3_12* job, ovcg::CLinkRscDLL* links) override {
        return b.CreatePrintMode(job, links);
    }
    std::unique_ptr<ovcg::IMWCmd> CreateMWCmd(const ovcg::MWCmdArgs& args) override { return b.CreateMWCmd(args); }
    std::unique_ptr<ovcg::IHeadControl> CreateHeadControl(const ovcg::tagIRACINITSTRUCT* init,
                                                          const char* path) override {
        auto inner = b.CreateHeadControl(init, path);
        if (!inner) return inner;
        return std::make_unique<TeeHeadControl>(std::move(inner), init->buffer, &pages);
    }
    std::unique_ptr<ovcg::IHalftoner> CreateHalftoner(bool level3, const ovcg::tagHTINITSTRUCT* init, int rotation,
                                                      int overprint) override {
        return b.CreateHalftoner(level3, init, rotation, overprint);
    }
    std::unique_ptr<ovcg::CTRAQ3V1> CreateLevel3Records(uint16_t selector, const tagPRTSTRUCT3_12& job) override {
        return b.CreateLevel3Records(selector, job);
    }
    std::unique_ptr<ovcg::IEncodeBuffer> CreateEncodeBuffer(uint16_t selector, CPlimoSpooler* spooler,
                                                            ovcg::CTRAQ3V1* records, uint32_t height) override {
        return b.CreateEncodeBuffer(selector, spooler, records, height);
    }
    std::unique_ptr<ovcg::ICalibTool> CreateCalibTool() override { return b.CreateCalibTool(); }
    std::unique_ptr<ovcg::IBrsSession> CreateBrsSession(const ovcg::CalibRecord& record, const int32_t* mode,
                                                        uint32_t length) override {
        return b.CreateBrsSession(record, mode, length);
    }
    std::unique_ptr<ovcg::ICdgSession> CreateCdgSession(ovcg::IHxrAdapter* hxr) override {
        return b.CreateCdgSession(hxr);
    }
};

// ---- The jobs -------------------------------------------------------------------

Bytes g_stream;
int32_t Collect(const uint8_t* data, int32_t length) {
    g_stream.insert(g_stream.end(), data, data + length);
    return length;
}
void* Allocate(size_t n) { return std::malloc(n); }
void Release(void* p) { std::free(p); }

enum class Content { Photo, Blank, OneLine, OneColumn, Odd, Full };

struct JobCase {
    std::vector<std::pair<std::string, std::string>> options;
    std::vector<Content> pages;
};

std::string describe(const JobCase& c) {
    std::string s;
    for (const auto& [n, v] : c.options) s += n + "=" + v + " ";
    s += std::to_string(c.pages.size()) + " page(s)";
    return s;
}

std::vector<std::string> choices(const char* option) { return ovcg_test::option_choices(option); }

// Every MediaType once, the other options taken in turn so that each of their
// choices comes up; then the page shapes and sizes.
std::vector<JobCase> job_cases() {
    const std::vector<std::string> media = choices("MediaType"), models = choices("ColorModel"),
                                   modes = choices("Mode"), speeds = choices("HighSpeed"),
                                   cuts = choices("AutoCut"), densities = choices("BlackDensity");
    const std::vector<std::string> sizes = {"A4_Roll",         "A4_Sheet", "A3_SheetC", "A3Plus_RollNMgn",
                                            "A3Plus_SheetNMgn", "Letter",   "custom.4.25x6in",
                                            "custom.4.5x6.5in"};
    const Content kinds[] = {Content::Photo, Content::Odd, Content::OneColumn, Content::Photo, Content::OneLine};
    std::vector<JobCase> cases;
    for (size_t i = 0; i < media.size(); ++i) {
        // Under the sanitizers every third medium; each other choice, and
        // the pages of several kinds, still come round.
        if (ovcg_test::kSanitized && i % 3 != 1) continue;
        JobCase c;
        c.options = {{"MediaType", media[i]},
                     {"ColorModel", models[i % models.size()]},
                     {"Mode", modes[i % modes.size()]},
                     {"HighSpeed", speeds[(i / 3) % speeds.size()]},
                     {"AutoCut", cuts[(i / 2) % cuts.size()]},
                     {"BlackDensity", densities[(i * 5) % densities.size()]},
                     {"ColorDensity", densities[(i * 7 + 3) % densities.size()]},
                     {"PageSize", sizes[i % sizes.size()]}};
        c.pages = {kinds[i % 5]};
        if (i % 9 == 4) c.pages.push_back(Content::Blank);  // several pages, one blank
        if (i % 13 == 6) c.pages = {Content::Photo, Content::OneLine, Content::Photo};
        cases.push_back(c);
    }
    // Whole pages, fed to their last line.
    cases.push_back({{{"MediaType", media.front()}, {"PageSize", "custom.4.25x6in"}}, {Content::Full}});
    return cases;
}

// Lines of a page: the lines fed (at most the page height) and their pixels.
struct PageFeed {
    uint32_t lines, pixels;
};
PageFeed feed_of(Content k, uint32_t width, uint32_t height) {
    switch (k) {
        case Content::OneLine: return {1, width};
        case Content::OneColumn: return {std::min<uint32_t>(height, 45), 1};
        case Content::Odd: return {std::min<uint32_t>(height, 37), std::min<uint32_t>(width, 999)};
        case Content::Full: return {height, width};
        default: return {std::min<uint32_t>(height, 48), width};
    }
}

uint8_t sample(Content k, uint32_t x, uint32_t y, uint32_t c) {
    if (k == Content::Blank) return 255;
    // A photo-like field: smooth ramps, a dark band and a little noise.
    const uint32_t noise = (x * 2654435761u ^ y * 40503u ^ c * 977u) >> 27;
    const uint32_t ramp = (x / 7 + y * 3 + c * 60) % 256;
    if (y % 17 == 3) return uint8_t(ramp / 4);
    return uint8_t(std::min<uint32_t>(255, ramp + noise));
}

class PrintOptions : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/ovcg_options_model_XXXXXX";
        const int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        model_ = name;
        ASSERT_TRUE(build_model(default_model()).write_file(model_));
        ovcg::SetDefaultEngineParts(&parts_);
    }
    void TearDown() override {
        ovcg::SetDefaultEngineParts(nullptr);
        unlink(model_.c_str());
    }

    // Runs one job through the entry points; "" or what went wrong.
    std::string print(const JobCase& c) {
        g_stream.clear();
        parts_.pages.clear();
        ovcg_callbacks cb{};
        cb.allocate = &Allocate;
        cb.release = &Release;
        for (void*& r : cb.reserved) r = &cb;
        if (ovcgInitialize("", &cb) != OVCG_OK) return "ovcgInitialize";
        struct Release {
            ~Release() { ovcgRelease(); }
        } release;
        if (ovcgSetResource(OVCG_RESOURCE_FILE, model_.c_str()) != OVCG_OK) return "ovcgSetResource";
        bool gray = false;
        for (const auto& [n, v] : c.options) {
            if (ovcgSetPrintOption(n.c_str(), v.c_str()) != OVCG_OK) return "ovcgSetPrintOption " + n;
            if (n == "ColorModel") gray = v == "Gray" || v == "Black2";
        }
        if (int32_t r = ovcgStartJob(&Collect, "7"); r != OVCG_OK) return "ovcgStartJob " + std::to_string(r);
        uint32_t width = 0, height = 0;
        ovcgGetPageAttribute(OVCG_PAGE_WIDTH, &width);
        ovcgGetPageAttribute(OVCG_PAGE_HEIGHT, &height);
        const uint32_t channels = gray ? 1 : 3;
        Bytes line;
        for (Content k : c.pages) {
            if (int32_t r = ovcgStartPage(); r != OVCG_OK) return "ovcgStartPage " + std::to_string(r);
            const PageFeed f = feed_of(k, width, height);
            line.assign(size_t{f.pixels} * channels, 0);
            for (uint32_t y = 0; y < f.lines; ++y) {
                for (uint32_t x = 0; x < f.pixels; ++x)
                    for (uint32_t ch = 0; ch < channels; ++ch) line[size_t{x} * channels + ch] = sample(k, x, y, ch);
                if (int32_t r = ovcgRasterOut(line.data(), int32_t(line.size()), 0); r != OVCG_OK)
                    return "ovcgRasterOut " + std::to_string(r);
            }
            if (int32_t r = ovcgEndPage(0); r != OVCG_OK) return "ovcgEndPage " + std::to_string(r);
        }
        if (int32_t r = ovcgEndJob(); r != OVCG_OK) return "ovcgEndJob " + std::to_string(r);
        return "";
    }

    // The virtual printer of the job's print mode: one canvas per colour
    // row of the band buffer, in the ink set's plane order.
    static VpModel printer(const RecordedPage& p) {
        const ModelDescription m = default_model();
        std::vector<char> inks;
        for (const ModelInkSet& s : m.ink_sets)
            if (s.inks.size() == p.colours) inks = s.inks;
        VpModel v;
        v.bits = int(p.bits);
        for (size_t i = 0; i < inks.size(); ++i) v.add(model_color_code(inks[i]), VpLineMap{int(i), 0, 1});
        return v;
    }

    // Colour c of a recorded page as a plane.
    static VpPlane plane(const RecordedPage& p, unsigned c) {
        VpPlane out;
        const unsigned perByte = 8 / p.bits;
        for (const auto& [position, raster] : p.rasters) {
            const uint8_t* row = raster.data() + size_t{c} * p.rowBytes;
            if (std::all_of(row, row + p.rowBytes, [](uint8_t b) { return b == 0; })) continue;
            std::vector<uint8_t>& dots = out.rows[position];
            dots.assign(size_t{p.rowBytes} * perByte, 0);
            for (unsigned i = 0; i < p.rowBytes; ++i)
                for (unsigned d = 0; row[i] && d < perByte; ++d)
                    dots[size_t{i} * perByte + d] = uint8_t((row[i] >> (8 - p.bits * (d + 1))) & ((1u << p.bits) - 1));
        }
        return out;
    }

    std::string model_;
    TeeParts parts_;
};

// The media value a job prints with: its MediaType choice's, moved by
// Black2 to the gray modes of a sister media where the option tables say so.
int printed_media_value(const JobCase& c) {
    int value = -1;
    bool black2 = false;
    for (const auto& [n, v] : c.options) {
        if (n == "MediaType") value = media_choice_value(v);
        if (n == "ColorModel") black2 = v == "Black2";
    }
    return black2 ? black2_media_value(value) : value;
}

bool ends_with(const Bytes& s, const Bytes& tail) {
    return s.size() >= tail.size() && std::equal(tail.rbegin(), tail.rend(), s.rbegin());
}

TEST_F(PrintOptions, EveryChoicePrintsPagesTheVirtualPrinterReadsBack) {
    ovcg_callbacks cb{};
    cb.allocate = &Allocate;
    cb.release = &Release;
    for (void*& r : cb.reserved) r = &cb;
    ASSERT_EQ(ovcgInitialize("", &cb), OVCG_OK);
    const std::vector<JobCase> cases = job_cases();
    ovcgRelease();
    ASSERT_GE(cases.size(), ovcg_test::kSanitized ? 25u : 74u);

    const Bytes start = expected_job_start(7), end = expected_job_end();
    size_t dots = 0;
    for (const JobCase& c : cases) {
        SCOPED_TRACE(describe(c));
        ASSERT_EQ(print(c), "");
        ASSERT_GE(g_stream.size(), start.size() + end.size());
        EXPECT_TRUE(std::equal(start.begin(), start.end(), g_stream.begin()));
        EXPECT_TRUE(ends_with(g_stream, end));
        ASSERT_EQ(parts_.pages.size(), c.pages.size());

        const RecordedPage& first = parts_.pages.front();
        const VpResult read = RunVirtualPrinter(printer(first), g_stream);
        ASSERT_TRUE(read.ok) << read.error << " at " << read.errorOffset;
        // Each page ends with a form feed; after the last come the document
        // and job ends, which print nothing.
        ASSERT_EQ(read.pages.size(), c.pages.size() + 1);
        EXPECT_TRUE(read.pages.back().commands.empty());
        // Every unit and raster-resolution command decodes, base over step,
        // to the media's printer resolution on both axes.
        {
            const int value = printed_media_value(c);
            const FrontEndMedia* want = front_end_media(value);
            ASSERT_NE(want, nullptr) << "media value " << value;
            size_t units = 0, resolutions = 0;
            for (const VpPage& p : read.pages) {
                for (const VpUnits& u : p.units) {
                    ++units;
                    ASSERT_NE(u.vertical, 0);
                    ASSERT_NE(u.horizontal, 0);
                    EXPECT_EQ(u.base % u.vertical, 0u);
                    EXPECT_EQ(u.base / u.vertical, uint32_t(want->prt_y)) << "ESC ( U, vertical";
                    EXPECT_EQ(u.base / u.horizontal, uint32_t(want->prt_x)) << "ESC ( U, horizontal";
                }
                for (const VpUnits& u : p.resolutions) {
                    ++resolutions;
                    ASSERT_NE(u.vertical, 0);
                    ASSERT_NE(u.horizontal, 0);
                    EXPECT_EQ(u.base % u.vertical, 0u);
                    EXPECT_EQ(u.base % u.horizontal, 0u);
                    EXPECT_EQ(u.base / u.vertical, uint32_t(want->prt_y)) << "ESC ( D, vertical";
                    EXPECT_EQ(u.base / u.horizontal, uint32_t(want->prt_x)) << "ESC ( D, horizontal";
                }
            }
            EXPECT_EQ(units, 1u);
            EXPECT_GE(resolutions, 1u);
        }
        std::vector<const VpPage*> printed;
        for (size_t n = 0; n < c.pages.size(); ++n) printed.push_back(&read.pages[n]);
        for (size_t n = 0; n < c.pages.size(); ++n) {
            SCOPED_TRACE("page " + std::to_string(n + 1));
            const RecordedPage& rec = parts_.pages[n];
            EXPECT_EQ(rec.repeated, 0u);
            EXPECT_EQ(printed[n]->twice, 0u) << printed[n]->firstTwice;
            for (unsigned col = 0; col < rec.colours; ++col) {
                const VpPlane want = plane(rec, col);
                for (const auto& [r, row] : want.rows) dots += size_t(std::count_if(row.begin(), row.end(), [](uint8_t d) { return d != 0; }));
                const auto got = printed[n]->planes.find(int(col));
                EXPECT_EQ(plane_difference(got == printed[n]->planes.end() ? VpPlane{} : got->second, want), "")
                    << "colour " << col;
            }
            if (c.pages[n] == Content::Blank) {
                EXPECT_TRUE(printed[n]->commands.empty());
            }
        }
        if (HasFailure()) return;
    }
    EXPECT_GT(dots, 0u);
}

}  // namespace
