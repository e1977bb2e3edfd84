// A job driven from the front end's entry points through the engine core,
// with the default synthetic model: the print mode is resolved from the
// model's link tables, the level-2 generator writes the document and page
// commands, and the head-control output and the halftoning object are fakes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/calib_request.h"
#include "engine/hxr_dll.h"
#include "engine/out_module.h"
#include "engine/plimo.h"
#include "fake_engine_parts.h"
#include "frontend/context.h"
#include "frontend/job_interface.h"
#include "frontend/options.h"
#include "frontend/output_stream.h"
#include "halftoning/intent_x.h"
#include "ovcg/ovcg.h"
#include "support/model.h"
#include "support/process_threads.h"
#include "support/recording_hxr_engine.h"
#include "support/stream_validator.h"

using namespace ovcg_test;

namespace {

std::vector<uint8_t> g_out;
int32_t Output(const uint8_t* data, int32_t length) {
    g_out.insert(g_out.end(), data, data + length);
    return length;
}
void* Allocate(size_t n) { return std::malloc(n); }
void Release(void* p) { std::free(p); }

// The fakes, except the print mode, the link tables and the pixel expander
// of the library.
class ModelParts : public FakeEngineParts {
public:
    using FakeEngineParts::FakeEngineParts;
    std::unique_ptr<CLinkRscDLL> CreateLinkResources(const char* const* files, int count) override {
        return ovcg::BuiltInEngineParts().CreateLinkResources(files, count);
    }
    std::unique_ptr<IPixelConverter> CreatePixelConverter() override {
        return ovcg::BuiltInEngineParts().CreatePixelConverter();
    }
    std::unique_ptr<IPrintMode> CreatePrintMode(const tagPRTSTRUCT3_12* job, CLinkRscDLL* links) override {
        print_mode_job = *job;
        return ovcg::BuiltInEngineParts().CreatePrintMode(job, links);
    }
    std::unique_ptr<IMWCmd> CreateMWCmd(const MWCmdArgs& args) override {
        generator_created = true;
        return ovcg::BuiltInEngineParts().CreateMWCmd(args);
    }
    // With real_calibration the library's own calibration sessions run.
    std::unique_ptr<ICalibTool> CreateCalibTool() override {
        return real_calibration ? ovcg::BuiltInEngineParts().CreateCalibTool()
                                : FakeEngineParts::CreateCalibTool();
    }
    std::unique_ptr<IBrsSession> CreateBrsSession(const CalibRecord& record, const int32_t* mode,
                                                  uint32_t length) override {
        return real_calibration ? ovcg::BuiltInEngineParts().CreateBrsSession(record, mode, length)
                                : FakeEngineParts::CreateBrsSession(record, mode, length);
    }
    std::unique_ptr<ICdgSession> CreateCdgSession(IHxrAdapter* hxr) override {
        return real_calibration ? ovcg::BuiltInEngineParts().CreateCdgSession(nullptr)
                                : FakeEngineParts::CreateCdgSession(hxr);
    }
    tagPRTSTRUCT3_12 print_mode_job{};
    bool generator_created = false;
    bool real_calibration = false;
};

class FrontendEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_out.clear();
        char name[] = "/tmp/ovcg_model_XXXXXX";
        const int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        model = name;
        ASSERT_TRUE(build_model(default_model()).write_file(model));
        ovcg::frontend::stream_error_clear_for_tests();
        ovcg::frontend::ww_clear_choices_for_tests();
        ovcg::frontend::set_job_interface(nullptr);  // the engine's own calls
        ovcg_callbacks cb{};
        cb.allocate = &Allocate;
        cb.release = &Release;
        for (void*& r : cb.reserved) r = &cb;
        ASSERT_EQ(ovcgInitialize("", &cb), OVCG_OK);
        ASSERT_EQ(ovcgSetResource(OVCG_RESOURCE_FILE, model.c_str()), OVCG_OK);
    }
    void TearDown() override {
        EXPECT_EQ(ovcgRelease(), OVCG_OK);
        ovcg::frontend::ww_clear_choices_for_tests();
        unlink(model.c_str());
    }

    std::string model;
    FakeWorld w;
    ModelParts parts{&w};
    ScopedDefaultParts scoped{&parts};
};

TEST_F(FrontendEngineTest, OnePageThroughTheEngineCore) {
    ASSERT_EQ(ovcgSetPrintOption("MediaType", "Media1_Q4"), OVCG_OK);
    ASSERT_EQ(ovcgSetPrintOption("PageSize", "A4_Roll"), OVCG_OK);
    ASSERT_EQ(ovcgStartJob(&Output, "42"), OVCG_OK);
    const size_t jobStart = g_out.size();
    ASSERT_GT(jobStart, 0u);

    // The print mode was resolved from the model for the front end's record.
    EXPECT_TRUE(w.Has("irac.StartJob"));
    const auto* engine = reinterpret_cast<const ovcg::CPlimo*>(ovcg::frontend::context()->job);
    ASSERT_NE(engine, nullptr);
    const tagPRTINFOSTRUCT& info = engine->PrintMode()->Info();
    EXPECT_EQ(info.num_planes, 4);
    EXPECT_NE(info.head_id_bytes[0], 0xFFFF);
    EXPECT_EQ(w.irac_init.identifier & 0xFF, info.head_id_bytes[0] & 0xFFu);

    ASSERT_EQ(ovcgStartPage(), OVCG_OK);
    EXPECT_TRUE(parts.generator_created);
    EXPECT_GT(g_out.size(), jobStart);  // the document start went out through the spooler
    uint32_t width = 0, height = 0;
    ASSERT_EQ(ovcgGetPageAttribute(OVCG_PAGE_WIDTH, &width), OVCG_OK);
    ASSERT_EQ(ovcgGetPageAttribute(OVCG_PAGE_HEIGHT, &height), OVCG_OK);
    ASSERT_GT(width, 0u);
    const uint32_t lines = 9;
    std::vector<uint8_t> line(static_cast<size_t>(width) * 3);
    for (uint32_t y = 0; y < lines; ++y) {
        for (size_t i = 0; i < line.size(); ++i) line[i] = static_cast<uint8_t>(y * 7 + i);
        ASSERT_EQ(ovcgRasterOut(line.data(), static_cast<int32_t>(line.size()), 0), OVCG_OK);
    }
    ASSERT_EQ(ovcgEndPage(0), OVCG_OK);

    // Bands of two lines, converted to four bytes a pixel.
    ASSERT_GE(w.bands.size(), 4u);
    const FakeBandCall& b = w.bands[0];
    EXPECT_EQ(b.band.bottom - b.band.top, 2u);
    EXPECT_EQ(b.width_bytes, (b.band.right - b.band.left) * 4);
    ASSERT_GE(b.first_line.size(), 8u);
    EXPECT_EQ(b.first_line[0], 0);
    EXPECT_EQ(b.first_line[1], 1);
    EXPECT_EQ(b.first_line[2], 2);
    EXPECT_EQ(b.first_line[3], 0);
    EXPECT_EQ(b.first_line[4], 3);
    EXPECT_TRUE(w.Has("halftoner.EndPage"));
    ASSERT_EQ(w.irac_end_page_aborts, std::vector<int>{0});

    const size_t beforeEnd = g_out.size();
    ASSERT_EQ(ovcgEndJob(), OVCG_OK);
    EXPECT_GT(g_out.size(), beforeEnd);
    EXPECT_TRUE(w.Has("irac.EndJob"));
    EXPECT_TRUE(w.Has("halftoner.delete"));

    // The whole stream is well formed: the job framing, the document start,
    // the page end and the document end.
    const StreamCheck check = ValidateStream(g_out);
    EXPECT_TRUE(check.ok) << check.error;
    EXPECT_GE(check.count("FF"), 1u);
    EXPECT_GE(check.count("REMOTE1"), 1u);
}

TEST_F(FrontendEngineTest, CalibrationFilesWithoutGeneratedCorrectionDoNotStopThePage) {
    // The model asks for the correction session and the calibration tool finds
    // raster calibration data, but the library's generation core makes no
    // correction of it: the page runs without a correction session.
    char dir[] = "/tmp/ovcg_calib_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string raster = std::string(dir) + "/PRN.BZ1";
    FILE* f = std::fopen(raster.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("raster calibration", f);
    std::fclose(f);
    ovcg::SetKeptCalibTarget("PRN", dir);
    parts.real_calibration = true;

    ASSERT_EQ(ovcgSetPrintOption("MediaType", "Media1_Q4"), OVCG_OK);
    ASSERT_EQ(ovcgSetPrintOption("PageSize", "A4_Roll"), OVCG_OK);
    ASSERT_EQ(ovcgStartJob(&Output, "7"), OVCG_OK);
    const auto* engine = reinterpret_cast<const ovcg::CPlimo*>(ovcg::frontend::context()->job);
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(engine->PrintMode()->Info().key10103_on, 1u);
    EXPECT_EQ(ovcgStartPage(), OVCG_OK);
    EXPECT_EQ(engine->HalftoneInit().brs, nullptr);
    EXPECT_EQ(ovcgEndPage(0), OVCG_OK);
    EXPECT_EQ(ovcgEndJob(), OVCG_OK);

    ovcg::SetKeptCalibTarget(nullptr, nullptr);
    unlink(raster.c_str());
    rmdir(dir);
}

TEST_F(FrontendEngineTest, EngineFailureBecomesTheFrontEndsCode) {
    w.results["irac.StartJob"] = -2001;
    ASSERT_EQ(ovcgSetPrintOption("MediaType", "Media1_Q4"), OVCG_OK);
    ASSERT_EQ(ovcgSetPrintOption("PageSize", "A4_Roll"), OVCG_OK);
    EXPECT_EQ(ovcgStartJob(&Output, "1"), OVCG_ERR_ENGINE);
    EXPECT_EQ(ovcgStartPage(), OVCG_ERR_ARGUMENT);
    w.results.clear();
    ASSERT_EQ(ovcgStartJob(&Output, "2"), OVCG_OK);
    w.results["halftoner.StartPage"] = -3001;
    EXPECT_EQ(ovcgStartPage(), OVCG_ERR_ENGINE);
    w.results.clear();
    ASSERT_EQ(ovcgStartPage(), OVCG_OK);
    ASSERT_EQ(ovcgEndPage(1), OVCG_OK);
    EXPECT_EQ(w.irac_end_page_aborts, std::vector<int>{1});
    ASSERT_EQ(ovcgEndJob(), OVCG_OK);
}

// ---------------------------------------------------------------------------
// A level-2 page through the library's band driver, with the halftone and
// head-control engines faked behind their adapters.

// A head-control engine that writes every raster it is given as a plain
// raster command per colour through its send callback.
struct FakeHeadEngine {
    OVF_COMMON ovf{};
    IRACS_PRINTDATA_INFO print{};
    std::vector<uint32_t> firsts;  // first raster of each run
    uint32_t rasters = 0, inked = 0;
    std::vector<std::vector<uint8_t>> rows;  // every raster's colour rows
};
FakeHeadEngine* g_head = nullptr;

uint32_t HeadStartJob(IRAC_INSTANCE_DEF** instance, const IRACS_IDENTIFIER*, const IRACS_PRINTDATA_INFO* print,
                      const IRACS_OPTION*, IRACS_VALUE* value, const OVF_COMMON* ovf) {
    g_head->ovf = *ovf;
    g_head->print = *print;
    value->value = 0;
    *instance = reinterpret_cast<IRAC_INSTANCE_DEF*>(g_head);
    return 0;
}
void HeadEndJob(IRAC_INSTANCE_DEF*) {}
uint32_t HeadStartPage(IRAC_INSTANCE_DEF*, int32_t, const uint8_t*) { return 0; }
uint32_t HeadEndPage(IRAC_INSTANCE_DEF*) { return 0; }
void HeadAbort(IRAC_INSTANCE_DEF*) {}
uint32_t HeadDraw(IRAC_INSTANCE_DEF*, const IRACS_RASTERDATA* d) {
    g_head->firsts.push_back(d->first_raster);
    const uint32_t bytes = g_head->print.raster_width;
    for (uint32_t j = 0; j < d->raster_count; ++j) {
        bool ink = false;
        for (uint32_t k = 0; k < g_head->print.color_count; ++k) {
            const uint8_t* row = d->lines[j] + size_t{k} * d->line_width;
            const uint8_t head[9] = {0x1B, 'i', uint8_t(k), 0, 1, uint8_t(bytes), uint8_t(bytes >> 8), 1, 0};
            g_head->ovf.send_data(g_head->ovf.send_context, head, 9, 0);
            g_head->ovf.send_data(g_head->ovf.send_context, row, bytes, 0);
            for (uint32_t b = 0; b < bytes; ++b) ink |= row[b] != 0;
            if (k == 0) g_head->rows.emplace_back();
            g_head->rows.back().insert(g_head->rows.back().end(), row, row + bytes);
        }
        const uint8_t cr = 0x0D;
        g_head->ovf.send_data(g_head->ovf.send_context, &cr, 1, 0);
        ++g_head->rasters;
        g_head->inked += ink;
    }
    return 0;
}
uint32_t HeadGetValue(IRAC_INSTANCE_DEF*, int32_t code, void* out) {
    if (code == 6) *static_cast<int32_t*>(out) = 0x7FFFFFFF;  // no minimum length
    if (code == 7) *static_cast<IracSwitchingPositions*>(out) = IracSwitchingPositions{0, nullptr};
    return code == 6 || code == 7 ? 0u : 93u;
}
uint32_t HeadSetValue(IRAC_INSTANCE_DEF*, int32_t, const void*) { return 0; }

IracEngineTable HeadTable() {
    IracEngineTable t = DefaultIracEngineTable();
    t.StartJob = &HeadStartJob;
    t.EndJob = &HeadEndJob;
    t.StartPage = &HeadStartPage;
    t.EndPage = &HeadEndPage;
    t.DrawData = &HeadDraw;
    t.AbortJob = &HeadAbort;
    t.GetValue = &HeadGetValue;
    t.SetValue = &HeadSetValue;
    return t;
}

// The library's parts, the two engines faked behind their adapters, the
// calibration sessions faked.
class LibraryParts : public FakeEngineParts {
public:
    LibraryParts(FakeWorld* w, RecordingHxrEngine* hxr) : FakeEngineParts(w), hxr_(hxr) {}
    std::unique_ptr<IHxrAdapter> CreateHxrAdapter(const char* path) override {
        return std::make_unique<ovcg::HxrAdapter>(path, hxr_->Table());
    }
    std::unique_ptr<CLinkRscDLL> CreateLinkResources(const char* const* files, int count) override {
        return ovcg::BuiltInEngineParts().CreateLinkResources(files, count);
    }
    std::unique_ptr<IPixelConverter> CreatePixelConverter() override {
        return ovcg::BuiltInEngineParts().CreatePixelConverter();
    }
    std::unique_ptr<IPrintMode> CreatePrintMode(const tagPRTSTRUCT3_12* job, CLinkRscDLL* links) override {
        return ovcg::BuiltInEngineParts().CreatePrintMode(job, links);
    }
    std::unique_ptr<IMWCmd> CreateMWCmd(const MWCmdArgs& args) override {
        return ovcg::BuiltInEngineParts().CreateMWCmd(args);
    }
    std::unique_ptr<IHeadControl> CreateHeadControl(const tagIRACINITSTRUCT* init, const char* path) override {
        return std::make_unique<ovcg::HeadControl>(init, path, HeadTable());
    }
    std::unique_ptr<IHalftoner> CreateHalftoner(bool level3, const tagHTINITSTRUCT* init, int rotation,
                                                int overprint) override {
        return ovcg::BuiltInEngineParts().CreateHalftoner(level3, init, rotation, overprint);
    }

private:
    RecordingHxrEngine* hxr_;
};

TEST_F(FrontendEngineTest, ALevel2PageThroughTheBandDriver) {
    FakeHeadEngine head;
    g_head = &head;
    RecordingHxrEngine hxr;
    hxr.config.row_bytes = 1 << 20;
    LibraryParts library(&w, &hxr);
    ScopedDefaultParts scopedLibrary(&library);
    ASSERT_EQ(ovcgSetPrintOption("MediaType", "Media1_Q4"), OVCG_OK);
    ASSERT_EQ(ovcgSetPrintOption("PageSize", "A4_Roll"), OVCG_OK);
    ASSERT_EQ(ovcgStartJob(&Output, "26"), OVCG_OK);
    ASSERT_EQ(ovcgStartPage(), OVCG_OK);
    uint32_t width = 0;
    ASSERT_EQ(ovcgGetPageAttribute(OVCG_PAGE_WIDTH, &width), OVCG_OK);
    const auto* engine = reinterpret_cast<const ovcg::CPlimo*>(ovcg::frontend::context()->job);
    ASSERT_NE(engine, nullptr);
    const tagPOINT src = engine->HalftoneInit().src_resolution, prt = engine->HalftoneInit().prt_resolution;
    const uint32_t ratio = uint32_t(prt.y / src.y);
    // Eleven lines, each with one black pixel: every printed row has a dot.
    const uint32_t lines = 11;
    std::vector<uint8_t> line(size_t{width} * 3);
    for (uint32_t y = 0; y < lines; ++y) {
        std::fill(line.begin(), line.end(), 255);
        std::fill_n(line.begin() + (y * 5 % width) * 3, 3, 0);
        ASSERT_EQ(ovcgRasterOut(line.data(), int32_t(line.size()), 0), OVCG_OK);
    }
    ASSERT_EQ(ovcgEndPage(0), OVCG_OK);
    ASSERT_EQ(ovcgEndJob(), OVCG_OK);
    g_head = nullptr;

    // The engine halftoned the page's lines in two-line calls from row 0.
    const auto calls = hxr.CallsOf(HxrCall::kHalftone);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].first_row, 0);
    EXPECT_EQ(calls[0].pixels, int(width));
    for (const auto& c : calls) EXPECT_LE(c.lines, 2);
    // Every printed row reached the head-control engine with its dots, in
    // order; the stream is well formed around them.
    EXPECT_EQ(head.rasters, lines * ratio);
    EXPECT_EQ(head.inked, lines * ratio);
    EXPECT_EQ(head.firsts.front(), 0u);
    EXPECT_TRUE(std::is_sorted(head.firsts.begin(), head.firsts.end()));
    const StreamCheck check = ValidateStream(g_out);
    EXPECT_TRUE(check.ok) << check.error;
    EXPECT_EQ(check.count("ESC i"), size_t{head.rasters} * head.print.color_count);
    EXPECT_EQ(check.count("FF"), 1u);
    EXPECT_EQ(hxr.LiveInstances(), 0);
}

TEST_F(FrontendEngineTest, AHybridColourJobRunsOnTheChannelPool) {
    // The model's hybrid medium gives halftone type 6: with more than one
    // CPU the main instance (and conversion instances for more workers)
    // converts, one instance per ink halftones on the workers, and the head
    // receives the rasters that the serial path gives a medium of the same
    // resolutions. The workers (one less than the CPUs the thread may use)
    // live from the first band to DestroyJob.
    const int threads = SettledThreadCount();
    const int workers = static_cast<int>(ovcg::CIntentX::DefaultWorkerThreads());
    struct Job {
        std::vector<std::vector<uint8_t>> rows;
        int instances = 0, conversions = 0, mainHalftones = 0, duringJob = 0;
    };
    const auto run = [&](const char* media) {
        Job job;
        FakeHeadEngine head;
        g_head = &head;
        RecordingHxrEngine hxr;
        hxr.config.row_bytes = 1 << 20;
        hxr.config.max_delay_us = 10;
        LibraryParts library(&w, &hxr);
        ScopedDefaultParts scopedLibrary(&library);
        EXPECT_EQ(ovcgSetPrintOption("MediaType", media), OVCG_OK);
        EXPECT_EQ(ovcgSetPrintOption("PageSize", "A4_Roll"), OVCG_OK);
        EXPECT_EQ(ovcgStartJob(&Output, "33"), OVCG_OK);
        for (int page = 0; page < 2; ++page) {
            EXPECT_EQ(ovcgStartPage(), OVCG_OK);
            uint32_t width = 0;
            EXPECT_EQ(ovcgGetPageAttribute(OVCG_PAGE_WIDTH, &width), OVCG_OK);
            std::vector<uint8_t> line(size_t{width} * 3);
            for (uint32_t y = 0; y < 9; ++y) {
                std::fill(line.begin(), line.end(), 255);
                for (uint32_t x = y; x < width; x += 7) std::fill_n(line.begin() + x * 3, 3, uint8_t(y * 20));
                EXPECT_EQ(ovcgRasterOut(line.data(), int32_t(line.size()), 0), OVCG_OK);
            }
            EXPECT_EQ(ovcgEndPage(0), OVCG_OK);
        }
        job.duringJob = ProcessThreadCount();
        EXPECT_EQ(ovcgEndJob(), OVCG_OK);
        const int main = hxr.CallsOf(HxrCall::kCreateInstance).at(0).instance;
        g_head = nullptr;
        for (const auto& c : hxr.CallsOf(HxrCall::kCreateInstance)) job.instances += c.image.colorMode == 104;
        job.conversions = int(hxr.CallsOf(HxrCall::kConvertColor).size());
        for (const auto& c : hxr.CallsOf(HxrCall::kHalftone)) job.mainHalftones += c.instance == main;
        EXPECT_EQ(hxr.LiveInstances(), 0);
        job.rows = head.rows;
        return job;
    };
    const Job serial = run("Media1_Q4");
    EXPECT_EQ(serial.instances, 0);
    EXPECT_EQ(serial.duringJob, threads);  // no worker for the serial path
    const Job hybrid = run("Media274_Q4");
    EXPECT_EQ(hybrid.instances, 4);
    EXPECT_EQ(hybrid.conversions > 0, workers > 0);
    EXPECT_EQ(hybrid.mainHalftones == 0, workers > 0);
    EXPECT_EQ(hybrid.duringJob, threads + workers);
    EXPECT_EQ(SettledThreadCount(threads), threads);
    ASSERT_FALSE(serial.rows.empty());
    EXPECT_EQ(hybrid.rows, serial.rows);
}

}  // namespace
