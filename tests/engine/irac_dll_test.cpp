#include "engine/irac_dll.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/debug_export.h"
#include "engine/out_module.h"
#include "engine/plimo_buffer.h"
#include "engine/spooler.h"
#include "ovcg/ovs_resource.h"
#include "support/irac_packer.h"
#include "support/model.h"
#include "support/virtual_printer.h"

namespace {

using Bytes = std::vector<uint8_t>;

template <size_t N>
Bytes AsBytes(const std::array<uint8_t, N>& a) {
    return Bytes(a.begin(), a.end());
}

// ---------------------------------------------------------------------------
// A fake head-control engine: records every call, answers as configured.

struct FakeIrac {
    IRAC_INSTANCE_DEF* handle = reinterpret_cast<IRAC_INSTANCE_DEF*>(0x1000);
    uint32_t start_result = 0;
    uint32_t page_result = 0;      // StartPage
    uint32_t end_page_result = 0;  // EndPage with a live handle
    uint32_t draw_result = 0;
    uint32_t set_result = 0;
    std::map<int32_t, uint32_t> get_result;
    int32_t minimum_length = 1234;
    std::vector<uint32_t> switching{100, 200};
    int32_t switching_count = 2;
    IRACS_USE_HEAD use_head{};
    bool use_head_given = true;

    int start_calls = 0, end_calls = 0, abort_calls = 0, draw_calls = 0, end_page_calls = 0;
    IRACS_IDENTIFIER identifier{};
    IRACS_PRINTDATA_INFO print_data{};
    IRACS_OPTION option{};
    OVF_COMMON ovf{};
    int32_t left_offset = -1;
    Bytes order;
    IRAC_INSTANCE_DEF* last_handle = nullptr;
    IRACS_RASTERDATA last_draw{};
    std::vector<std::pair<int32_t, uint32_t>> set_values;
    std::vector<int32_t> get_codes;
};
FakeIrac* g_fake = nullptr;

uint32_t FakeStartJob(IRAC_INSTANCE_DEF** instance, const IRACS_IDENTIFIER* id, const IRACS_PRINTDATA_INFO* pd,
                      const IRACS_OPTION* option, IRACS_VALUE* value, const OVF_COMMON* ovf) {
    ++g_fake->start_calls;
    g_fake->identifier = *id;
    g_fake->print_data = *pd;
    g_fake->option = *option;
    g_fake->ovf = *ovf;
    value->value = 0;
    if (g_fake->start_result) return g_fake->start_result;
    *instance = g_fake->handle;
    return 0;
}
void FakeEndJob(IRAC_INSTANCE_DEF* h) {
    g_fake->last_handle = h;
    ++g_fake->end_calls;
}
uint32_t FakeStartPage(IRAC_INSTANCE_DEF* h, int32_t left, const uint8_t* order) {
    if (!h) return 1;
    g_fake->left_offset = left;
    g_fake->order.assign(order, order + 32);
    return g_fake->page_result;
}
uint32_t FakeEndPage(IRAC_INSTANCE_DEF* h) {
    ++g_fake->end_page_calls;
    if (!h) return 2;
    return g_fake->end_page_result;
}
uint32_t FakeDrawData(IRAC_INSTANCE_DEF* h, const IRACS_RASTERDATA* data) {
    ++g_fake->draw_calls;
    if (!h) return 3;
    g_fake->last_draw = *data;
    return g_fake->draw_result;
}
void FakeAbortJob(IRAC_INSTANCE_DEF* h) {
    g_fake->last_handle = h;
    ++g_fake->abort_calls;
}
uint32_t FakeGetValue(IRAC_INSTANCE_DEF* h, int32_t code, void* out) {
    g_fake->get_codes.push_back(code);
    if (!h || !out) return 22;
    auto it = g_fake->get_result.find(code);
    if (it != g_fake->get_result.end() && it->second) return it->second;
    switch (code) {
        case 6: *static_cast<int32_t*>(out) = g_fake->minimum_length; return 0;
        case 7: {
            auto* list = static_cast<IracSwitchingPositions*>(out);
            list->count = g_fake->switching_count;
            list->positions = g_fake->switching.empty() ? nullptr : g_fake->switching.data();
            return 0;
        }
        case 8:
            if (!g_fake->use_head_given) return 93;
            *static_cast<IRACS_USE_HEAD**>(out) = &g_fake->use_head;
            return 0;
        default: return 22;
    }
}
uint32_t FakeSetValue(IRAC_INSTANCE_DEF* h, int32_t code, const void* in) {
    if (!h || !in) return 20;
    g_fake->set_values.emplace_back(code, *static_cast<const uint32_t*>(in));
    return g_fake->set_result;
}

// The fake job functions with the library's real unpacker.
IracEngineTable FakeTable() {
    IracEngineTable t = DefaultIracEngineTable();
    t.StartJob = &FakeStartJob;
    t.EndJob = &FakeEndJob;
    t.StartPage = &FakeStartPage;
    t.EndPage = &FakeEndPage;
    t.DrawData = &FakeDrawData;
    t.AbortJob = &FakeAbortJob;
    t.GetValue = &FakeGetValue;
    t.SetValue = &FakeSetValue;
    return t;
}

// Debug export capture.
std::map<int32_t, Bytes>* g_exports = nullptr;
int32_t CaptureExport(int32_t id, int32_t size, void* data) {
    const auto* p = static_cast<const uint8_t*>(data);
    (*g_exports)[id] = Bytes(p, p + size);
    return 0;
}

int SendNothing(void*, const void*, unsigned int, int) { return 1; }

class IracTest : public ::testing::Test {
protected:
    IracTest()
        : buffer(4, 2, 10, 1000, tagPOINT{360, 360}, tagPOINT{720, 720}, 0, 0),
          dll("head.so", FakeTable()) {
        g_fake = &fake;
        g_exports = &exports;
        ovcg::SetDebugExportHook(&CaptureExport);
        init.width = 1000;
        init.height = 500;
        init.spooler = reinterpret_cast<CPlimoSpooler*>(0x2000);
        init.send = &SendNothing;
        init.irac_dll = &dll;
        init.links = &links;
        init.buffer = &buffer;
        init.pixel_shift = -3;
        init.pixel_shift_text = "PSX0102";
        init.left_offset_addend = 5;
        init.identifier = 0x04030201;
        init.engine_ptr = reinterpret_cast<void*>(0x3000);
        init.ink_info = reinterpret_cast<void*>(0x4000);
        init.bit_length = 2;
    }
    ~IracTest() override {
        ovcg::SetDebugExportHook(nullptr);
        g_exports = nullptr;
        g_fake = nullptr;
    }

    FakeIrac fake;
    std::map<int32_t, Bytes> exports;
    CPlimoBuffer buffer;
    CIRACDLL dll;
    CRscDLL links{nullptr, 0, RscFetchFunctions{nullptr, nullptr}};
    ovcg::tagIRACINITSTRUCT init{};
};

// ---------------------------------------------------------------------------
// Binding

TEST(IracDllTest, EveryMissingEntryRefusesTheBinding) {
    for (int missing = 0; missing < 10; ++missing) {
        IracEngineTable t = FakeTable();
        void** words = reinterpret_cast<void**>(&t);
        static_assert(sizeof(IracEngineTable) == 10 * sizeof(void*));
        words[missing] = nullptr;
        try {
            CIRACDLL dll("x", t);
            ADD_FAILURE() << "entry " << missing << " missing but bound";
        } catch (int code) {
            EXPECT_EQ(code, -401) << missing;
        }
    }
    EXPECT_NO_THROW(CIRACDLL("x", FakeTable()));
}

TEST(IracDllTest, CodeMapping) {
    struct Case {
        uint32_t engine;
        int32_t reported;
    };
    const Case cases[] = {{0, 0},           {1, -2001},        {2, -2002},       {5, -2005},
                          {801, -2801},     {0xFFFFFFFFu, -1}, {0x80000000u, INT32_MIN},
                          {0x7FFFFFFFu, INT32_MIN}, {0x7FFFF831u, INT32_MIN}, {0x7FFFF830u, INT32_MIN},
                          {0x7FFFF82Fu, INT32_MIN + 1}};
    for (const Case& c : cases) EXPECT_EQ(ConvertIracError(c.engine), c.reported) << c.engine;
}

// ---------------------------------------------------------------------------
// Records

TEST_F(IracTest, StartRecordsByteForByte) {
    CIRAC irac(&init);
    ASSERT_EQ(irac.StartJob(), 0);

    const uint32_t lineBytes = buffer.LineBytes();
    const Bytes identifier = {0x01, 0, 0, 0, 1, 0, 0, 0, 1, 0, 4, 0, 0x01, 0x02, 0x03, 0x04};
    const Bytes printData = {uint8_t(lineBytes), uint8_t(lineBytes >> 8), uint8_t(lineBytes >> 16),
                             uint8_t(lineBytes >> 24), 0xE8, 0x03, 0, 0, 4, 0, 0, 0};
    Bytes option(24, 0);
    option[0] = 0xFD;
    option[1] = 0xFF;
    const uintptr_t shifts = reinterpret_cast<uintptr_t>(irac.PixelShifts());
    for (int i = 0; i < 8; ++i) option[8 + i] = uint8_t(uint64_t(shifts) >> (8 * i));
    option[16] = 0x10;

    EXPECT_EQ(exports[2201], identifier);
    EXPECT_EQ(exports[2202], printData);
    EXPECT_EQ(exports[2203], option);

    // What the engine received matches what was exported.
    EXPECT_EQ(AsBytes(IracIdentifierBytes(fake.identifier)), identifier);
    EXPECT_EQ(AsBytes(IracPrintDataBytes(fake.print_data)), printData);
    EXPECT_EQ(AsBytes(IracOptionBytes(fake.option)), option);
    EXPECT_EQ(fake.option.pixel_shift[0], 1);
    EXPECT_EQ(fake.option.pixel_shift[1], 2);
    EXPECT_EQ(fake.option.pixel_shift[2], 0);
    EXPECT_EQ(irac.LeftOffset(), 30u);  // (10 + 5) × 2
    EXPECT_EQ(irac.InkInfo(), init.ink_info);
    EXPECT_EQ(irac.EnginePtr(), init.engine_ptr);
}

// Hand-derived exports for the boundary values of the init record: the
// identifier's low byte, a sign-extended direction, roll length, flag 0x11.
TEST_F(IracTest, StartRecordBytesAtTheBoundaries) {
    struct Case {
        uint32_t identifier, selector, roll, head;
        int8_t shift;
        Bytes id;              // 16 bytes
        Bytes length;          // print-data bytes 4-7
        Bytes direction;       // option bytes 0-1
        uint8_t flags;         // option byte 16
    };
    const Case cases[] = {
        {0xA1B2C3FFu, 1, 1, 1, -128,
         {0xFF, 0, 0, 0, 3, 0, 0, 0, 1, 0, 4, 0, 0xFF, 0xC3, 0xB2, 0xA1},
         {0x8F, 0xB9, 0x48, 0x01}, {0x80, 0xFF}, 0x11},
        {0x00000100u, 2, 0, 0, 127,
         {0x00, 0, 0, 0, 1, 0, 0, 0, 1, 0, 4, 0, 0x00, 0x01, 0x00, 0x00},
         {0xE8, 0x03, 0, 0}, {0x7F, 0x00}, 0x10},
    };
    for (const Case& c : cases) {
        init.identifier = c.identifier;
        init.paper_source_selector = c.selector;
        init.paper_source[1] = c.roll;
        init.head_selection = c.head;
        init.pixel_shift = c.shift;
        exports.clear();
        CIRAC irac(&init);
        ASSERT_EQ(irac.StartJob(), 0);
        EXPECT_EQ(exports[2201], c.id) << c.identifier;
        ASSERT_EQ(exports[2202].size(), 12u);
        EXPECT_EQ(Bytes(exports[2202].begin() + 4, exports[2202].begin() + 8), c.length) << c.identifier;
        EXPECT_EQ(Bytes(exports[2202].begin() + 8, exports[2202].end()), (Bytes{4, 0, 0, 0})) << c.identifier;
        ASSERT_EQ(exports[2203].size(), 24u);
        EXPECT_EQ(Bytes(exports[2203].begin(), exports[2203].begin() + 2), c.direction) << c.identifier;
        EXPECT_EQ(Bytes(exports[2203].begin() + 2, exports[2203].begin() + 8), Bytes(6, 0)) << c.identifier;
        EXPECT_EQ(Bytes(exports[2203].begin() + 16, exports[2203].end()), (Bytes{c.flags, 0, 0, 0, 0, 0, 0, 0}))
            << c.identifier;
    }
}

TEST_F(IracTest, PaperSourceRollAndHeadSelection) {
    struct Case {
        uint32_t selector, roll, head;
        uint32_t sub_mode, page_length, flags;
    };
    const Case cases[] = {
        {0, 0, 0, 1, 1000, 0x10},
        {1, 0, 0, 3, 1000, 0x10},
        {2, 0, 1, 1, 1000, 0x11},
        {1, 1, 0, 3, 21543311, 0x10},
        {0, 7, 9, 1, 21543311, 0x11},
    };
    for (const Case& c : cases) {
        init.paper_source_selector = c.selector;
        init.paper_source[1] = c.roll;
        init.head_selection = c.head;
        CIRAC irac(&init);
        EXPECT_EQ(irac.Identifier().sub_mode, c.sub_mode);
        EXPECT_EQ(irac.GetPaperSource(), c.sub_mode);
        EXPECT_EQ(irac.PrintData().page_length, c.page_length);
        EXPECT_EQ(irac.Option().flags, c.flags);
    }
}

TEST_F(IracTest, CallbackTableWords) {
    CIRAC irac(&init);
    const OVF_COMMON& t = irac.Callbacks();
    EXPECT_EQ(t.realloc, &Mem_Realloc);
    EXPECT_EQ(t.move, &Mem_Move);
    EXPECT_EQ(t.fill, &Mem_Set);
    EXPECT_EQ(t.lead_zero_search, &OVF_memsearch);
    EXPECT_EQ(t.trail_zero_search, &OVF_memrsearch);
    EXPECT_EQ(t.send_data, &SendNothing);
    EXPECT_EQ(t.send_context, init.spooler);
    EXPECT_EQ(t.get_resource, &IRAC_OVF_GetResource);
    EXPECT_EQ(t.resource_context, &links);
    EXPECT_EQ(t.free_resource, &OVF_FreeResource);
    EXPECT_EQ(t.debug_log, &OVF_DebugLog);
    for (void* w : t.unused) EXPECT_EQ(w, nullptr);
    EXPECT_EQ(t.resource_context2, &links);

    // The memory words: zeroed blocks, sizes an int cannot carry refused.
    ASSERT_NE(t.alloc, nullptr);
    EXPECT_EQ(t.alloc(0), nullptr);
    EXPECT_EQ(t.alloc(0x80000000u), nullptr);
    auto* block = static_cast<uint8_t*>(t.alloc(16));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(block[i], 0);
    const uint8_t src[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(t.copy(block, src, 16), block);
    EXPECT_EQ(std::memcmp(block, src, 16), 0);
    t.free(block);
    t.free(nullptr);
}

TEST(IracPixelShiftTest, Texts) {
    struct Case {
        const char* text;
        std::vector<int> shifts;  // the rest 0
    };
    const Case cases[] = {
        {nullptr, {}},
        {"", {}},
        {"ABC", {}},
        {"ABC0", {}},
        {"ABC01", {1}},
        {"ABC0102", {1, 2}},
        {"ABC01029", {1, 2}},
        {"ABC9950", {99, 50}},
        {"ABC01x203", {1}},  // stops at the first pair that is not two digits
    };
    for (const Case& c : cases) {
        signed char out[32];
        std::memset(out, 0x55, sizeof out);
        CIRAC::SetPixelShift(out, c.text);
        for (int i = 0; i < 32; ++i) {
            const int want = i < static_cast<int>(c.shifts.size()) ? c.shifts[i] : 0;
            EXPECT_EQ(out[i], want) << (c.text ? c.text : "(null)") << " at " << i;
        }
    }
    // At most 32 numbers, however long the text.
    std::string longText = "ABC";
    for (int i = 0; i < 40; ++i) longText += "07";
    signed char out[33];
    out[32] = 0x55;
    CIRAC::SetPixelShift(out, longText.c_str());
    for (int i = 0; i < 32; ++i) EXPECT_EQ(out[i], 7);
    EXPECT_EQ(out[32], 0x55);
}

TEST_F(IracTest, ConstructionFailures) {
    ovcg::tagIRACINITSTRUCT noDll = init;
    noDll.irac_dll = nullptr;
    try {
        CIRAC irac(&noDll);
        FAIL();
    } catch (int code) {
        EXPECT_EQ(code, -401);
    }
    // The output module passes the code on unchanged.
    try {
        CMWOutput out(&noDll);
        FAIL();
    } catch (int code) {
        EXPECT_EQ(code, -401);
    }
    ovcg::tagIRACINITSTRUCT noBuffer = init;
    noBuffer.buffer = nullptr;
    EXPECT_THROW(CIRAC{&noBuffer}, const char*);
    EXPECT_THROW(CIRAC{nullptr}, const char*);
}

// ---------------------------------------------------------------------------
// Job and page

TEST_F(IracTest, StartJobAndTheUseHeadRecord) {
    const uint8_t heads[2] = {3, 5};
    fake.use_head = IRACS_USE_HEAD{2, heads};
    {
        CIRAC irac(&init);
        ASSERT_EQ(irac.StartJob(), 0);
        EXPECT_EQ(irac.Instance(), fake.handle);
        EXPECT_EQ(irac.UseHead(), &fake.use_head);
        EXPECT_TRUE(fake.set_values.empty());  // no band path: no bit length
    }
    // A print mode without the record still starts.
    fake.use_head_given = false;
    {
        CIRAC irac(&init);
        EXPECT_EQ(irac.StartJob(), 0);
        EXPECT_EQ(irac.UseHead(), nullptr);
        IRACS_USE_HEAD* record = nullptr;
        EXPECT_EQ(irac.GetUseHead(&record), -2093);
    }
    // A refused start is mapped, and nothing is asked of the engine.
    fake.start_result = 807;
    fake.get_codes.clear();
    CIRAC irac(&init);
    EXPECT_EQ(irac.StartJob(), -2807);
    EXPECT_EQ(irac.Instance(), nullptr);
    EXPECT_TRUE(fake.get_codes.empty());
}

struct FakeHalftoner : ovcg::IHalftoner {
    int result = 0;
    std::vector<uint8_t> inks{10, 11, 12, 13};  // the page's output colour order
    int ResetPage(const ovcg::tagHTINITSTRUCT*) override { return 1; }
    int StartPage() override { return 0; }
    int BandOut(const tagRECT*, tagBANDBMP*, tagBANDBMP*, const tagRECT*, tagOSDEP3*) override { return 0; }
    int EndPage() override { return 0; }
    int EmptyPageEndOut(int) override { return 0; }
    int EmptyPageEndFlush(int) override { return 0; }
    int GetDotCount(uint64_t*, int) override { return 0; }
    int GetFlipHBand(tagBANDBMP*, tagBANDBMP*, const tagRECT*, tagRECT*) override { return 0; }
    int ResetPageLength(int) override { return 0; }
    int GetHalftoneColor(uint8_t* order) override {
        for (size_t i = 0; i < 32; ++i) order[i] = i < inks.size() ? inks[i] : 0;
        return result;
    }
};

int Collect(void* context, char* data, unsigned int length) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    out->insert(out->end(), data, data + length);
    return static_cast<int>(length);
}

// A level-2 page from the job object through the adapter's default table
// (the engine linked into the library), the real spooler and the default
// model file: the virtual printer reads it back.
TEST(HeadDriverEngine, APageThroughTheJobObjectReadsBack) {
    ovcg_test::TempFile file("head_driver");
    ASSERT_TRUE(ovcg_test::build_model(ovcg_test::default_model()).write_file(file.path()));
    ASSERT_EQ(ovs_resLoadFile(file.path().c_str()), 0);
    std::string path = file.path();
    char* names[] = {path.data()};
    {
        CRscDLL resources(names, 1);
        CIRACDLL dll("head");
        std::vector<uint8_t> out;
        CPlimoSpooler spooler(0, &Collect, &out);
        constexpr unsigned kWidth = 333, kHeight = 500;
        CPlimoBuffer buffer(4, 2, 0, kWidth, tagPOINT{600, 600}, tagPOINT{600, 600}, 0, 0);
        ovcg::tagIRACINITSTRUCT init{};
        init.width = kWidth;
        init.height = kHeight;
        init.spooler = &spooler;
        init.send = &SLSpoolerSendDataIRAC;
        init.irac_dll = &dll;
        init.links = &resources;
        init.buffer = &buffer;
        init.identifier = ovcg_test::model_head_mode_id();
        CIRAC irac(&init);
        ASSERT_EQ(irac.StartJob(), 0);
        ASSERT_NE(irac.UseHead(), nullptr);
        FakeHalftoner order;
        order.inks = {1, 2, 3, 0};  // C M Y K
        ASSERT_EQ(irac.StartPage(&order), 0);

        // Four planes of random two-bit dots, sent a raster at a time.
        const unsigned bytes = buffer.LineBytes();
        std::mt19937 rng(31);
        std::vector<std::vector<std::vector<uint8_t>>> planes(4, std::vector<std::vector<uint8_t>>(kHeight));
        std::vector<uint8_t> raster(4 * bytes);
        for (unsigned r = 0; r < kHeight; ++r) {
            for (unsigned c = 0; c < 4; ++c) {
                planes[c][r].resize(bytes);
                for (unsigned i = 0; i < bytes; ++i) planes[c][r][i] = (rng() % 4 == 0) ? uint8_t(rng()) : 0;
                std::copy(planes[c][r].begin(), planes[c][r].end(), raster.begin() + c * bytes);
            }
            unsigned char* lines[1] = {raster.data()};
            ASSERT_EQ(irac.RasterOut(1, r, lines, bytes), 0) << r;
        }
        ASSERT_EQ(irac.EndPage(0), 0);
        ASSERT_EQ(irac.EndJob(), 0);
        spooler.Flush();

        ovcg_test::VpModel printer;
        printer.bits = 2;
        const char letters[4] = {'C', 'M', 'Y', 'K'};
        for (int c = 0; c < 4; ++c) printer.add(ovcg_test::model_color_code(letters[c]), {c, 0, 1});
        const auto read = ovcg_test::RunVirtualPrinter(printer, out);
        ASSERT_TRUE(read.ok) << read.error;
        ASSERT_EQ(read.pages.size(), 1u);
        EXPECT_EQ(read.pages[0].twice, 0u);
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(ovcg_test::plane_difference(read.pages[0].planes.at(c), ovcg_test::plane_of(planes[c], 0, 0, 2)),
                      "")
                << letters[c];
    }
    ovs_resUnLoadFile();
}

TEST_F(IracTest, StartPageTakesTheHalftonersOrder) {
    CIRAC irac(&init);
    ASSERT_EQ(irac.StartJob(), 0);
    FakeHalftoner ht;
    ASSERT_EQ(irac.StartPage(&ht), 0);
    EXPECT_EQ(fake.left_offset, 30);
    Bytes want(32, 0);
    for (int i = 0; i < 4; ++i) want[i] = uint8_t(10 + i);
    EXPECT_EQ(fake.order, want);

    ht.result = -205;
    fake.left_offset = -1;
    EXPECT_EQ(irac.StartPage(&ht), -205);
    EXPECT_EQ(fake.left_offset, -1);  // the engine was not asked

    ht.result = 0;
    fake.page_result = 12;
    EXPECT_EQ(irac.StartPage(&ht), -2012);
}

TEST_F(IracTest, RunsTrackFirstAndNextRaster) {
    CIRAC irac(&init);
    ASSERT_EQ(irac.StartJob(), 0);
    FakeHalftoner ht;
    ASSERT_EQ(irac.StartPage(&ht), 0);
    EXPECT_EQ(irac.FirstRaster(), 0xFFFFFFFFu);
    EXPECT_EQ(irac.NextRaster(), 0u);

    unsigned char row[8] = {};
    unsigned char* lines[8] = {row, row, row, row, row, row, row, row};
    ASSERT_EQ(irac.RasterOut(8, 100, lines, 64), 0);
    EXPECT_EQ(fake.last_draw.lines, lines);
    EXPECT_EQ(fake.last_draw.line_width, 64u);
    EXPECT_EQ(fake.last_draw.raster_count, 8u);
    EXPECT_EQ(fake.last_draw.first_raster, 100u);
    ASSERT_EQ(irac.RasterOut(4, 40, lines, 64), 0);
    EXPECT_EQ(irac.NextRaster(), 44u);
    EXPECT_EQ(irac.FirstRaster(), 40u);

    // A refused run changes nothing.
    fake.draw_result = 14;
    EXPECT_EQ(irac.RasterOut(2, 10, lines, 64), -2014);
    EXPECT_EQ(irac.NextRaster(), 44u);
    EXPECT_EQ(irac.FirstRaster(), 40u);

    // The next page starts afresh.
    ASSERT_EQ(irac.StartPage(&ht), 0);
    EXPECT_EQ(irac.FirstRaster(), 0xFFFFFFFFu);
    EXPECT_EQ(irac.NextRaster(), 0u);
}

TEST_F(IracTest, EndPageErrorAndAbort) {
    CIRAC irac(&init);
    ASSERT_EQ(irac.StartJob(), 0);
    fake.end_page_result = 5;
    EXPECT_EQ(irac.EndPage(0), -2005);
    fake.end_page_result = 0;
    EXPECT_EQ(irac.EndPage(0), 0);

    EXPECT_EQ(irac.EndPage(1), 0);
    EXPECT_EQ(fake.abort_calls, 1);
    EXPECT_EQ(fake.last_handle, fake.handle);
    EXPECT_EQ(irac.Instance(), nullptr);

    // After the abort the engine sees a null handle.
    FakeHalftoner ht;
    unsigned char* lines[1] = {nullptr};
    EXPECT_EQ(irac.StartPage(&ht), -2001);
    EXPECT_EQ(irac.RasterOut(1, 0, lines, 8), -2003);
    EXPECT_EQ(irac.EndPage(0), -2002);
    EXPECT_EQ(irac.EndJob(), 0);
    EXPECT_EQ(fake.end_calls, 0);  // nothing left to end
}

TEST_F(IracTest, EndJobOnceAndOnDestruction) {
    {
        CIRAC irac(&init);
        ASSERT_EQ(irac.StartJob(), 0);
        EXPECT_EQ(irac.EndJob(), 0);
        EXPECT_EQ(irac.EndJob(), 0);
        EXPECT_EQ(fake.end_calls, 1);
        ASSERT_EQ(irac.StartJob(), 0);
    }
    EXPECT_EQ(fake.end_calls, 2);
}

TEST_F(IracTest, Queries) {
    CIRAC irac(&init);
    ASSERT_EQ(irac.StartJob(), 0);

    int minimum = 0;
    EXPECT_EQ(irac.GetMinimumLength(&minimum), 0);
    EXPECT_EQ(minimum, 1234);
    fake.get_result[6] = 55;
    EXPECT_EQ(irac.GetMinimumLength(&minimum), -2055);
    EXPECT_EQ(minimum, 0x7FFFFFFF);

    int record[6] = {0, 1, 0, 0, 0, 0};
    EXPECT_EQ(irac.GetSwitchingPosition(record, 6), 0);
    EXPECT_EQ(record[0], 2);
    EXPECT_EQ(record[1], 100);
    EXPECT_EQ(record[2], 200);

    // More positions than the record holds: only what fits is written.
    fake.switching = {1, 2, 3, 4, 5, 6, 7};
    fake.switching_count = 7;
    int big[7] = {-1, -1, -1, -1, -1, -1, -1};
    EXPECT_EQ(irac.GetSwitchingPosition(big, 6), 0);
    EXPECT_EQ(big[0], 5);
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(big[i], i);
    EXPECT_EQ(big[6], -1);

    // No list: nothing written.
    fake.switching.clear();
    int none[3] = {9, 9, 9};
    EXPECT_EQ(irac.GetSwitchingPosition(none, 3), 0);
    EXPECT_EQ(none[0], 9);

    fake.get_result[7] = 631;
    EXPECT_EQ(irac.GetSwitchingPosition(none, 3), -2631);
}

TEST_F(IracTest, SkipLengthNeverWraps) {
    CIRAC irac(&init);
    ASSERT_EQ(irac.StartJob(), 0);
    struct Case {
        int skipped;
        uint32_t length;
        uint32_t remembered;
    };
    const Case cases[] = {{0, 1000, 0}, {200, 800, 200}, {999, 1, 999}, {1000, 0, 1000}, {1500, 0, 1500},
                          {-7, 1000, 0}};
    for (const Case& c : cases) {
        fake.set_values.clear();
        EXPECT_EQ(irac.SetSkipLength(c.skipped), 0);
        ASSERT_EQ(fake.set_values.size(), 1u);
        EXPECT_EQ(fake.set_values[0].first, 1);
        EXPECT_EQ(fake.set_values[0].second, c.length) << c.skipped;
        EXPECT_EQ(irac.SkippedRasters(), c.remembered);
    }
    fake.set_result = 82;
    EXPECT_EQ(irac.SetSkipLength(10), -2082);
    EXPECT_EQ(irac.SkippedRasters(), 0u);  // the last successful skip was 0 (-7)

    // A page start clears the skip of the page before.
    fake.set_result = 0;
    ASSERT_EQ(irac.SetSkipLength(10), 0);
    FakeHalftoner ht;
    ASSERT_EQ(irac.StartPage(&ht), 0);
    EXPECT_EQ(irac.SkippedRasters(), 0u);

    // A continuous roll skips from the open length.
    init.paper_source[1] = 1;
    CIRAC roll(&init);
    ASSERT_EQ(roll.StartJob(), 0);
    ASSERT_EQ(roll.SetSkipLength(11), 0);
    EXPECT_EQ(fake.set_values.back().second, 21543300u);
}

// ---------------------------------------------------------------------------
// The engine's copies of resources

Bytes PlainResource() {
    // Every head-control resource body opens with its three-byte signature.
    Bytes body = {0xAB, 0xB0, 0xA0};
    for (int i = 0; i < 300; ++i) body.push_back(static_cast<uint8_t>(i % 7 == 0 ? i : 0x41));
    return ovcg_test::irac_plain_resource({0x10, 0x20, 0x30, 0x40}, body);
}

TEST_F(IracTest, ResourceCopies) {
    CIRAC irac(&init);
    const Bytes plain = PlainResource();
    const Bytes packed = ovcg_test::irac_pack(plain);
    ASSERT_GT(packed.size(), 9u);
    Bytes corrupt = packed;
    corrupt.resize(corrupt.size() / 2);  // the stream ends early
    Bytes badFlag = packed;
    badFlag[4] = 2;

    struct Case {
        const char* name;
        Bytes input;
        int unpack;
        bool found;
        Bytes output;
    };
    const Case cases[] = {
        {"plain, unpack", plain, 1, true, plain},
        {"plain, copy", plain, 0, true, plain},
        {"packed, unpack", packed, 1, true, plain},
        {"packed, copy", packed, 0, true, packed},
        {"truncated stream", corrupt, 1, false, {}},
        {"unknown pack flag", badFlag, 1, true, badFlag},
        // Too short to be packed, whatever byte 4 says: the stored bytes.
        {"shorter than a header", Bytes{1, 2, 3, 4, 1, 0, 0, 0}, 1, true, Bytes{1, 2, 3, 4, 1, 0, 0, 0}},
        {"short, unpack", Bytes{1, 2, 3}, 1, true, Bytes{1, 2, 3}},
        {"short, copy", Bytes{1, 2, 3}, 0, true, Bytes{1, 2, 3}},
        // Unpacked size 0x7F000000 (byte 7 holds bits 24-31): packed, but
        // beyond what is ever unpacked, so missing.
        {"packed, too large", Bytes{1, 2, 3, 4, 1, 0, 0, 0x7F, 0, 0}, 1, false, {}},
        {"packed, too large, copy", Bytes{1, 2, 3, 4, 1, 0, 0, 0x7F, 0, 0}, 0, true,
         Bytes{1, 2, 3, 4, 1, 0, 0, 0x7F, 0, 0}},
    };
    for (const Case& c : cases) {
        unsigned int size = 12345;
        Bytes input = c.input;
        void* copy = irac.GetIracResource(input.data(), static_cast<unsigned int>(input.size()), &size, c.unpack);
        if (!c.found) {
            EXPECT_EQ(copy, nullptr) << c.name;
            EXPECT_EQ(size, 0u) << c.name;
            continue;
        }
        ASSERT_NE(copy, nullptr) << c.name;
        ASSERT_EQ(size, c.output.size()) << c.name;
        if (c.name == std::string("packed, unpack")) {
            // The header's size bytes say "unpacked"; the body is the original.
            EXPECT_EQ(Bytes(static_cast<uint8_t*>(copy) + 9, static_cast<uint8_t*>(copy) + size),
                      Bytes(plain.begin() + 9, plain.end()));
            EXPECT_EQ(Bytes(static_cast<uint8_t*>(copy), static_cast<uint8_t*>(copy) + 4),
                      Bytes(plain.begin(), plain.begin() + 4));
        } else {
            EXPECT_EQ(Bytes(static_cast<uint8_t*>(copy), static_cast<uint8_t*>(copy) + size), c.output) << c.name;
        }
        irac.FreeIracResource(copy);
    }
    unsigned int size = 7;
    EXPECT_EQ(irac.GetIracResource(nullptr, 10, &size, 1), nullptr);
    EXPECT_EQ(size, 0u);
}

// Mutated packed resources are unpacked or reported missing, never more.
TEST_F(IracTest, MutatedPackedResources) {
    CIRAC irac(&init);
    const Bytes packed = ovcg_test::irac_pack(PlainResource());
    uint32_t seed = 12345;
    for (int round = 0; round < 300; ++round) {
        Bytes m = packed;
        for (int k = 0; k < 3; ++k) {
            seed = seed * 1103515245u + 12345u;
            const size_t at = 9 + (seed >> 8) % (m.size() - 9);
            m[at] ^= static_cast<uint8_t>(seed >> 24 | 1);
        }
        unsigned int size = 0;
        void* copy = irac.GetIracResource(m.data(), static_cast<unsigned int>(m.size()), &size, 1);
        if (copy) EXPECT_GT(size, 9u);
        else EXPECT_EQ(size, 0u);
        irac.FreeIracResource(copy);
    }
}

// The engine's fetch path: callback word, resource adapter, CIRAC.
Bytes* g_stored = nullptr;
int g_lastId = 0, g_lastType = 0;
void* FetchStored(int id, int type, uint32_t* size) {
    g_lastId = id;
    g_lastType = type;
    *size = static_cast<uint32_t>(g_stored->size());
    void* p = std::malloc(g_stored->size());
    std::memcpy(p, g_stored->data(), g_stored->size());
    return p;
}
int ReleaseStored(void* p) {
    std::free(p);
    return 1;
}

TEST_F(IracTest, EngineFetchesUnpackedThroughItsCallbackTable) {
    Bytes stored = ovcg_test::irac_pack(PlainResource());
    g_stored = &stored;
    CRscDLL rsc(nullptr, 0, RscFetchFunctions{&FetchStored, &ReleaseStored});
    init.links = &rsc;
    {
        CIRAC irac(&init);
        EXPECT_EQ(rsc.IracHandler(), &irac);
        const OVF_COMMON& t = irac.Callbacks();
        uint32_t size = 0;
        void* res = t.get_resource(t.resource_context, 0, &size);
        ASSERT_NE(res, nullptr);
        EXPECT_EQ(g_lastId, 16384);
        EXPECT_EQ(g_lastType, 4000);
        EXPECT_EQ(size, PlainResource().size());
        t.free_resource(t.resource_context, res);
    }
    // The adapter is gone: the resource adapter no longer points at it.
    EXPECT_EQ(rsc.IracHandler(), nullptr);
    unsigned int size = 5;
    EXPECT_EQ(rsc.GetIracResource(1, 4000, &size, 1), nullptr);
    g_stored = nullptr;
}

// ---------------------------------------------------------------------------
// Output module and the head-control holder

TEST_F(IracTest, OutputModuleForwardsRunsOnly) {
    CMWOutput out(&init);
    ASSERT_EQ(out.Irac()->StartJob(), 0);
    COutModule& module = out;
    unsigned char row[4] = {};
    unsigned char* lines[2] = {row, row};
    EXPECT_EQ(module.RasterOut(2, 7, lines, 4), 0);
    EXPECT_EQ(fake.draw_calls, 1);
    EXPECT_EQ(fake.last_draw.first_raster, 7u);
    EXPECT_EQ(module.EmptyRasterOut(50, 9), 0);
    EXPECT_EQ(fake.draw_calls, 1);
    EXPECT_EQ(out.Irac()->NextRaster(), 9u);  // blank rasters move nothing here
    fake.draw_result = 14;
    EXPECT_EQ(module.RasterOut(2, 9, lines, 4), -2014);
}

TEST_F(IracTest, OutputModuleAnswersTheUpperSkipQueries) {
    CMWOutput out(&init);
    COutModule& module = out;
    int record[6] = {0, 1, 0, 0, 0, 0};
    int minimum = 0;
    ASSERT_EQ(out.Irac()->StartJob(), 0);
    fake.switching = {11, 22, 33, 44, 55, 66, 77};
    fake.switching_count = 7;
    EXPECT_EQ(module.GetSwitchingPosition(record, 6), 0);
    EXPECT_EQ(std::vector<int>(record, record + 6), (std::vector<int>{5, 11, 22, 33, 44, 55}));
    EXPECT_EQ(module.GetMinimumLength(&minimum), 0);
    EXPECT_EQ(minimum, 1234);
    EXPECT_EQ(module.SetSkipLength(30), 0);
    EXPECT_EQ(out.Irac()->SkippedRasters(), 30u);
    fake.get_result[6] = 9;
    EXPECT_EQ(module.GetMinimumLength(&minimum), -2009);

    // A module without a head-control engine: no positions, no minimum.
    struct Plain : COutModule {
        int RasterOut(unsigned, unsigned, unsigned char**, unsigned) override { return 0; }
        int EmptyRasterOut(unsigned, unsigned) override { return 0; }
    } plain;
    int untouched[6] = {0, 1, 0, 0, 0, 0};
    EXPECT_EQ(plain.GetSwitchingPosition(untouched, 6), 0);
    EXPECT_EQ(std::vector<int>(untouched, untouched + 6), (std::vector<int>{0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(plain.GetMinimumLength(&minimum), 0);
    EXPECT_EQ(minimum, 0x7FFFFFFF);
    EXPECT_EQ(plain.SetSkipLength(5), 0);
}

TEST_F(IracTest, HeadControlOwnsItsAdapterWhenNoneIsGiven) {
    init.irac_dll = nullptr;
    {
        ovcg::HeadControl hc(&init, "head.so", FakeTable());
        ASSERT_NE(hc.Dll(), nullptr);
        EXPECT_NE(hc.Dll(), &dll);
        ASSERT_EQ(hc.StartJob(), 0);
        EXPECT_EQ(hc.OutModule(), static_cast<COutModule*>(hc.Output()));

        const uint8_t heads[3] = {1, 2, 3};
        fake.use_head = IRACS_USE_HEAD{3, heads};
        int count = 0;
        const uint8_t* list = nullptr;
        EXPECT_EQ(hc.GetUseHead(&count, &list), 0);
        EXPECT_EQ(count, 3);
        EXPECT_EQ(list, heads);
        fake.get_result[8] = 630;
        EXPECT_EQ(hc.GetUseHead(&count, &list), -2630);

        FakeHalftoner ht;
        ASSERT_EQ(hc.StartPage(&ht), 0);
        unsigned char row[4] = {};
        unsigned char* lines[1] = {row};
        auto* module = static_cast<COutModule*>(hc.OutModule());
        ASSERT_EQ(module->RasterOut(1, 12, lines, 4), 0);
        EXPECT_EQ(hc.FirstRaster(), 12u);
        EXPECT_EQ(hc.NextRaster(), 13u);
        ASSERT_EQ(hc.Irac()->SetSkipLength(3), 0);
        EXPECT_EQ(hc.SkippedRasters(), 3u);
        EXPECT_EQ(hc.EndPage(0), 0);
    }
    // The job ends before the adapter goes.
    EXPECT_EQ(fake.end_calls, 1);
}

TEST_F(IracTest, HeadControlRefusesAnIncompleteEngine) {
    init.irac_dll = nullptr;
    IracEngineTable t = FakeTable();
    t.DrawData = nullptr;
    try {
        ovcg::HeadControl hc(&init, "head.so", t);
        FAIL();
    } catch (int code) {
        EXPECT_EQ(code, -401);
    }
}

}  // namespace
