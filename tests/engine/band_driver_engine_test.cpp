// The serial band driver inside the job engine: the jobs whose bands the
// halftone engine cannot take are refused at their first page, the model's
// attribute flags lead a CL job into empty-page mode, and a level-2 page from
// the front end's entry points runs through the library's band driver with
// the halftone and head-control engines faked behind their adapters.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/hxr_dll.h"
#include "engine/out_module.h"
#include "engine/plimo.h"
#include "fake_engine_parts.h"
#include "frontend/context.h"
#include "frontend/job_interface.h"
#include "frontend/options.h"
#include "frontend/output_stream.h"
#include "link_fixture.h"
#include "ovcg/ovcg.h"
#include "support/model.h"
#include "support/recording_hxr_engine.h"
#include "support/stream_validator.h"

using namespace ovcg_test;

namespace {

struct Spool {
    std::string bytes;
    static int32_t Send(void* self, const uint8_t* data, int32_t length) {
        static_cast<Spool*>(self)->bytes.append(reinterpret_cast<const char*>(data), size_t(length));
        return length;
    }
};

TEST(BandDriverEngine, TwoSourceRowsAPrintedRowAreRefusedBeforeAnyByte) {
    const struct {
        const char* name;
        uint32_t mw;
        bool dotCounting;
        int want;
    } rows[] = {{"level 2", 0, false, -203},
                {"page language", OVCG_MW_OVC, false, -203},
                {"level 3 without dot counting", OVCG_MW_P3, false, 0},
                {"level 3 counting dots", OVCG_MW_P3, true, -203}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        FakeWorld w;
        w.tweak_info = [&](tagPRTINFOSTRUCT& info) {
            if (r.dotCounting) info.remote_flags3 |= 0x08000000u;
        };
        FakeEngineParts parts(&w);
        Spool spool;
        const char* files[1] = {"/models/test.res"};
        tagOPTION options{};
        options.lppszRsc_File = files;
        options.NumRsc = 1;
        options.lpfuncSpool = &Spool::Send;
        options.hParam = &spool;
        tagPRTSTRUCT3_12 job = PlainJob(r.mw);
        job.src_resolution = {300, 1200};  // 1200 source rows to 600 printed
        ovcg::CPlimo plimo(0, &parts);
        ASSERT_EQ(plimo.InitJob(&job, &options), 0);
        const size_t before = spool.bytes.size();
        const tagHTSTRUCT3_5 ht = PlainHalftone();
        EXPECT_EQ(plimo.InitPage(&ht), r.want);
        if (r.want) {
            EXPECT_EQ(spool.bytes.size(), before);
            EXPECT_FALSE(w.Has("mwcmd.SendStartDocCmd"));
            EXPECT_FALSE(w.Has("halftoner.create"));
            EXPECT_EQ(plimo.LastError(), -203);
            EXPECT_FALSE(plimo.PageOpen());
        }
    }
}

// The library's print mode over the default model; everything else faked.
class ModelPrintModeParts : public FakeEngineParts {
public:
    ModelPrintModeParts(FakeWorld* w, const MemoryLinkStore& store) : FakeEngineParts(w), store_(store) {}
    std::unique_ptr<CLinkRscDLL> CreateLinkResources(const char* const*, int) override { return store_.Adapter(); }
    std::unique_ptr<IPrintMode> CreatePrintMode(const tagPRTSTRUCT3_12* job, CLinkRscDLL* links) override {
        return ovcg::BuiltInEngineParts().CreatePrintMode(job, links);
    }

private:
    const MemoryLinkStore& store_;
};

TEST(BandDriverEngine, ModelAttributeFlagsLeadACLJobIntoEmptyPageMode) {
    const MemoryLinkStore store(build_model(default_model()));
    const struct {
        uint16_t media;
        uint32_t mw;
        uint16_t flags;
        uint32_t clOff;
        int32_t clMode;
        uint32_t empty;
    } rows[] = {{2, OVCG_MW_CL | OVCG_MW_CLFL, 3, 0, 2, 1},
                {2, OVCG_MW_CL | OVCG_MW_CLAT | OVCG_MW_CLFL, 3, 0, 1, 0},
                {0, OVCG_MW_CL | OVCG_MW_CLFL, 1, 1, 0, 0}};
    for (const auto& r : rows) {
        SCOPED_TRACE(std::to_string(r.media) + " mw " + std::to_string(r.mw));
        FakeWorld w;
        ModelPrintModeParts parts(&w, store);
        FrontEndJob fe;
        ASSERT_TRUE(fe.ok());
        tagPRTSTRUCT3_12 job = fe.job();
        job.media_type = r.media;
        job.mw_type |= r.mw;
        Spool spool;
        tagOPTION options{};
        options.lpfuncSpool = &Spool::Send;
        options.hParam = &spool;
        ovcg::CPlimo plimo(0, &parts);
        ASSERT_EQ(plimo.InitJob(&job, &options), 0);
        ASSERT_EQ(plimo.InitPage(&fe.halftone()), 0);
        const ovcg::tagHTINITSTRUCT& init = plimo.HalftoneInit();
        EXPECT_EQ(init.attr_flags, r.flags);
        EXPECT_EQ(init.cl_off, r.clOff);
        EXPECT_EQ(init.cl_mode, r.clMode);
        EXPECT_EQ(init.empty_page, r.empty);
        EXPECT_EQ(plimo.TerminatePage(), 0);
        EXPECT_EQ(plimo.DestroyJob(), 0);
    }
}

// ---------------------------------------------------------------------------
// A level-2 page from the front end's entry points.

// A head-control engine that writes every raster it is given as a plain
// raster command per colour through its send callback.
struct FakeHeadEngine {
    OVF_COMMON ovf{};
    IRACS_PRINTDATA_INFO print{};
    std::vector<uint32_t> firsts;  // first raster of each run
    uint32_t rasters = 0, inked = 0;
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

std::vector<uint8_t> g_out;
int32_t Output(const uint8_t* data, int32_t length) {
    g_out.insert(g_out.end(), data, data + length);
    return length;
}
void* Allocate(size_t n) { return std::malloc(n); }
void Release(void* p) { std::free(p); }

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

TEST(BandDriverEngine, ALevel2PageFromTheEntryPoints) {
    char name[] = "/tmp/ovcg_model_XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_TRUE(build_model(default_model()).write_file(name));
    FakeHeadEngine head;
    g_head = &head;
    RecordingHxrEngine hxr;
    hxr.config.row_bytes = 1 << 20;
    FakeWorld w;
    LibraryParts parts(&w, &hxr);
    ScopedDefaultParts scoped(&parts);
    g_out.clear();
    ovcg::frontend::stream_error_clear_for_tests();
    ovcg::frontend::ww_clear_choices_for_tests();
    ovcg::frontend::set_job_interface(nullptr);
    ovcg_callbacks cb{};
    cb.allocate = &Allocate;
    cb.release = &Release;
    for (void*& r : cb.reserved) r = &cb;
    ASSERT_EQ(ovcgInitialize("", &cb), OVCG_OK);
    ASSERT_EQ(ovcgSetResource(OVCG_RESOURCE_FILE, name), OVCG_OK);
    ASSERT_EQ(ovcgSetPrintOption("MediaType", "Media1_Q4"), OVCG_OK);
    ASSERT_EQ(ovcgSetPrintOption("PageSize", "A4_Roll"), OVCG_OK);
    ASSERT_EQ(ovcgStartJob(&Output, "26"), OVCG_OK);
    ASSERT_EQ(ovcgStartPage(), OVCG_OK);
    uint32_t width = 0;
    ASSERT_EQ(ovcgGetPageAttribute(OVCG_PAGE_WIDTH, &width), OVCG_OK);
    const auto* engine = reinterpret_cast<const ovcg::CPlimo*>(ovcg::frontend::context()->job);
    ASSERT_NE(engine, nullptr);
    const uint32_t ratio = uint32_t(engine->HalftoneInit().prt_resolution.y / engine->HalftoneInit().src_resolution.y);
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
    EXPECT_EQ(ovcgRelease(), OVCG_OK);
    ovcg::frontend::ww_clear_choices_for_tests();
    unlink(name);
    g_head = nullptr;

    // The engine halftoned the page's lines in two-line calls from row 0.
    const auto calls = hxr.CallsOf(HxrCall::kHalftone);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].first_row, 0);
    EXPECT_EQ(calls[0].pixels, int(width));
    for (const auto& c : calls) EXPECT_LE(c.lines, 2);
    // Every printed row reached the head-control engine with its dots, in
    // order; the stream is well formed around them.
    ASSERT_GE(head.rasters, lines * ratio);
    EXPECT_EQ(head.inked, lines * ratio);
    EXPECT_EQ(head.firsts.front(), 0u);
    EXPECT_TRUE(std::is_sorted(head.firsts.begin(), head.firsts.end()));
    const StreamCheck check = ValidateStream(g_out);
    EXPECT_TRUE(check.ok) << check.error;
    EXPECT_EQ(check.count("ESC i"), size_t{head.rasters} * head.print.color_count);
    EXPECT_EQ(check.count("FF"), 1u);
    EXPECT_EQ(hxr.LiveInstances(), 0);
}

}  // namespace
