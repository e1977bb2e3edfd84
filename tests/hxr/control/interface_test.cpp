// The engine's entry points against every state of an instance, creation
// and its refusals, the option defaults and duty-factor record, the rough
// colour order, dot counts and the bridge entries.
#include "hxr/control/hxr_lut_build.h"
#include "hxr_job_fixture.h"
#include "support/model_printer_id.h"

#include <array>
#include <cstring>
#include <functional>
#include <string>

namespace hxr_test {
namespace {

class HxrInterface : public HxrJobTest {
public:
    using HxrJobTest::bnrz;

protected:
    enum State { kNone, kCreated, kValuesSet, kStarted, kByCreate, kFailed, kStates };

    void* make(State s) {
        JobRecords r = records();
        if (s == kNone) return nullptr;
        if (s == kByCreate) {
            void* h = nullptr;
            EXPECT_EQ(create_started(r, &h), 0u);
            return h;
        }
        if (s == kFailed) r.halftone.media = 999;  // no print mode
        void* h = create(r);
        const uint32_t zero = 0;
        if (s == kValuesSet) {
            EXPECT_EQ(HXR_SetValue(h, HXR_KEY_UNDER_WHITE, &zero), 0u);
        } else if (s == kStarted) {
            EXPECT_EQ(HXR_StartJob(h), 0u);
        } else if (s == kFailed) {
            EXPECT_EQ(HXR_StartJob(h), kHxrStartPrintMode);
        }
        return h;
    }
};

TEST_F(HxrInterface, EveryFunctionInEveryState) {
    bnrz.world().counts.assign(12, 7);
    const int switching[6] = {1, 10, 0, 0, 0, 0};
    const uint32_t zero = 0;
    std::vector<uint8_t> rgb(3 * 101, 90), planes(4 * 26), inks(4 * 104);
    const void* in[3] = {&rgb[0], &rgb[1], &rgb[2]};
    unsigned char* out[4] = {&planes[0], &planes[26], &planes[52], &planes[78]};
    unsigned char* inkRows[4] = {&inks[0], &inks[104], &inks[208], &inks[312]};
    signed char codes[12];
    int sizes[12], size = 0, anyDot = 0, start = 0, length = 0;
    unsigned int counts[36], g0 = 0, g255 = 0, c0[12], c255[12];
    unsigned long long counts64[36];
    unsigned char* data = nullptr;
    void* rh = nullptr;
    unsigned int rhSize = 0;

    using Call = std::function<uint32_t(void*)>;
    const struct {
        const char* name;
        Call call;
        std::array<uint32_t, kStates> expect;  // none, created, values set, started, by CreateInstance, failed
    } rows[] = {
        {"SetValue", [&](void* h) { return HXR_SetValue(h, HXR_KEY_UNDER_WHITE, &zero); },
         {20101, 0, 0, 20105, 20103, 20105}},
        {"StartJob", [&](void* h) { return HXR_StartJob(h); }, {20201, 0, 0, 20204, 20202, 20204}},
        {"EndJob", [&](void* h) { return HXR_EndJob(h); }, {20301, 0, 0, 0, 0, 0}},
        {"SetBRSFunc", [&](void* h) { return HXR_SetBRSFunc(h, &zero); }, {301, 303, 303, 0, 0, 303}},
        {"SetDataShiftFunc", [&](void* h) { return HXR_SetDataShiftFunc(h, &zero); }, {401, 403, 403, 0, 0, 403}},
        {"SetABRFunc", [&](void* h) { return HXR_SetABRFunc(h); }, {1601, 1603, 1603, 0, 0, 1603}},
        {"ResetSwitchingPos", [&](void* h) { return HXR_ResetSwitchingPos(h, switching); }, {501, 502, 502, 0, 0, 502}},
        {"StartPage", [&](void* h) { return HXR_StartPage(h, switching); }, {601, 603, 603, 0, 0, 603}},
        {"Halftone", [&](void* h) { return HXR_Halftone(h, out, &anyDot, in, nullptr, 101, 0, 1, 0); },
         {701, 702, 702, 0, 0, 702}},
        {"ConvertColor", [&](void* h) { return HXR_ConvertColor(h, inkRows, &start, &length, in, nullptr, 101, 0, 1, 0); },
         {801, 802, 802, 0, 0, 802}},
        {"EndPage", [&](void* h) { return HXR_EndPage(h); }, {901, 0, 0, 0, 0, 0}},
        {"GetOutputColorOrder (count)", [&](void* h) { return HXR_GetOutputColorOrder(h, codes); }, {0, 0, 0, 4, 4, 0}},
        {"GetOutputBufferSize", [&](void* h) { return HXR_GetOutputBufferSize(h, sizes); },
         {1001, 1004, 1004, 0, 0, 1004}},
        {"GetInkBufferSize", [&](void* h) { return HXR_GetInkBufferSize(h, &size); }, {1101, 1103, 1103, 0, 0, 1103}},
        {"GetDotCount", [&](void* h) { return HXR_GetDotCount(h, counts, 0); }, {1201, 1202, 1202, 0, 0, 1202}},
        {"GetDotCount64", [&](void* h) { return HXR_GetDotCount64(h, counts64); }, {1301, 1302, 1302, 0, 0, 1302}},
        {"GetSlut", [&](void* h) { return HXR_GetSlut(h, &data, &size); }, {1401, 1403, 1403, 1402, 1402, 1403}},
        {"GetDoubleGamma", [&](void* h) { return HXR_GetDoubleGamma(h, &g0, &g255, c0, c255); },
         {1501, 1508, 1508, 0, 0, 1508}},
        {"GetRHData", [&](void* h) { return HXR_GetRHData(h, &rh, &rhSize); }, {1701, 1703, 1703, 1702, 1702, 1703}},
        {"GetRHCommonData", [&](void* h) { return HXR_GetRHCommonData(h, &rh, &rhSize, 0); },
         {1801, 1803, 1803, 1802, 1802, 1803}},
        {"GetRHLutData", [&](void* h) { return HXR_GetRHLutData(h, &rh, &rhSize, 0); },
         {1901, 1903, 1903, 1902, 1902, 1903}},
        {"GetRHDitherData", [&](void* h) { return HXR_GetRHDitherData(h, &rh, &rhSize, 0); },
         {2001, 2003, 2003, 2002, 2002, 2003}},
        {"GetRHUBECData", [&](void* h) { return HXR_GetRHUBECData(h, &rh, &rhSize, 0); },
         {2101, 2103, 2103, 2102, 2102, 2103}},
        {"GetColorConvertData", [&](void* h) { return HXR_GetColorConvertData(h); },
         {2305, 2305, 2305, 2305, 2305, 2305}},
    };
    static const char* const kStateNames[kStates] = {"none", "created", "values set", "started", "by CreateInstance",
                                                     "failed start"};
    for (const auto& row : rows)
        for (int s = 0; s < kStates; ++s) {
            void* h = make(static_cast<State>(s));
            EXPECT_EQ(row.call(h), row.expect[size_t(s)]) << row.name << " / " << kStateNames[s];
            drop(h);
        }
}

TEST_F(HxrInterface, CreationRefusals) {
    const JobRecords r = records();
    serve();
    void* h = &h;
    EXPECT_EQ(HXR_CreateInstanceEx(nullptr, &r.image, &r.halftone, &r.option, svc.table(), 1), kHxrCreateNull);
    EXPECT_EQ(HXR_CreateInstanceEx(&h, nullptr, &r.halftone, &r.option, svc.table(), 1), kHxrCreateNull);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(HXR_CreateInstanceEx(&h, &r.image, nullptr, &r.option, svc.table(), 1), kHxrCreateNull);
    EXPECT_EQ(HXR_CreateInstanceEx(&h, &r.image, &r.halftone, &r.option, nullptr, 1), kHxrCreateNull);
    // Every string and memory service from slot 6 on is needed.
    for (size_t slot = 5; slot < 13; ++slot) {
        HXRServiceTable t = *svc.table();
        void** entries = reinterpret_cast<void**>(&t);
        entries[slot] = nullptr;
        EXPECT_EQ(HXR_CreateInstanceEx(&h, &r.image, &r.halftone, &r.option, &t, 1), kHxrCreateServices) << slot;
        EXPECT_EQ(error(), kHxrRecordServices);
    }
    HXRServiceTable noAlloc = *svc.table();
    noAlloc.Alloc = nullptr;
    EXPECT_EQ(HXR_CreateInstanceEx(&h, &r.image, &r.halftone, &r.option, &noAlloc, 1), kHxrCreateNoMemMgr);
    EXPECT_EQ(error(), kHxrRecordMemMgr);
    svc.fail_allocation_after(1);  // the manager's record, then the instance
    EXPECT_EQ(HXR_CreateInstanceEx(&h, &r.image, &r.halftone, &r.option, svc.table(), 1), kHxrCreateNoInstance);
    svc.fail_allocation_after(-1);
    EXPECT_EQ(error(), 0u);  // each creation clears the record
    EXPECT_EQ(svc.live_blocks(), 0u);

    // Blobs: an unknown printer-identifier form, or a copy that cannot be made.
    JobRecords b = r;
    const unsigned char badId[4] = {'X', 1, 0, 0};
    b.option.printerId = badId;
    EXPECT_EQ(HXR_CreateInstanceEx(&h, &b.image, &b.halftone, &b.option, svc.table(), 1), kHxrCreateBlob);
    const unsigned char user[8] = {1, 0, 2, 0, 9, 9};
    const unsigned char calib[8] = {8, 0, 0, 0, 5, 6, 7, 8};
    b.option.printerId = nullptr;
    b.option.calibration = calib;
    b.option.userColor = user;
    svc.fail_allocation_after(3);  // the calibration copy made, the user colour's refused
    EXPECT_EQ(HXR_CreateInstanceEx(&h, &b.image, &b.halftone, &b.option, svc.table(), 1), kHxrCreateBlob);
    svc.fail_allocation_after(-1);
    EXPECT_EQ(svc.live_blocks(), 0u);
    const unsigned char shortCalib[4] = {3, 0, 0, 0};
    b.option.calibration = shortCalib;
    EXPECT_EQ(HXR_CreateInstanceEx(&h, &b.image, &b.halftone, &b.option, svc.table(), 1), kHxrCreateBlob);

    // HXR_CreateInstance: 201, and 202 leaves no instance behind.
    EXPECT_EQ(HXR_CreateInstance(&h, nullptr, &r.halftone, &r.option, svc.table(), 1), kHxrCreateFailed);
    JobRecords lost = r;
    lost.halftone.media = 999;
    h = &h;
    EXPECT_EQ(HXR_CreateInstance(&h, &lost.image, &lost.halftone, &lost.option, svc.table(), 1), kHxrStartFailed);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(svc.live_blocks(), 0u);
    char* message = nullptr;
    EXPECT_EQ(HXR_GetErrorInfo(&message), kHxrRecordNoMode);
    EXPECT_STREQ(message, "");
    // The next job's creation clears it: each job keeps its own first failure.
    void* next = create(r);
    EXPECT_EQ(error(), 0u);
    drop(next);
}

TEST_F(HxrInterface, BlobsAreCopiedAtTheirOwnLengthsAndFreedByTheStart) {
    JobRecords r = records();
    const unsigned char blank[6] = {' ', 3, 'A', 'B', 'C', 0xEE};   // 5 bytes
    const unsigned char zero[8] = {'0', 2, 0, 0x11, 0x22, 0xEE};    // 5 bytes
    const unsigned char calib[9] = {8, 0, 0, 0, 1, 2, 3, 4, 0xEE};  // 8 bytes
    const unsigned char user[16] = {4, 0, 2, 0, 1, 2, 3, 4, 5, 6, 7, 8, 0xEE};  // 12 bytes
    for (const unsigned char* id : {blank, zero}) {
        r.option.printerId = id;
        r.option.calibration = calib;
        r.option.userColor = user;
        void* h = create(r);
        const HXRInstance* i = inst(h);
        ASSERT_NE(i->option.printerId, id);
        EXPECT_EQ(i->blobSize[kHxrBlobPrinterId], 5u);
        EXPECT_EQ(std::memcmp(i->option.printerId, id, 5), 0);
        EXPECT_EQ(i->blobSize[kHxrBlobCalibration], 8u);
        EXPECT_EQ(std::memcmp(i->option.calibration, calib, 8), 0);
        EXPECT_EQ(i->blobSize[kHxrBlobUserColor], 12u);
        EXPECT_EQ(std::memcmp(i->option.userColor, user, 12), 0);
        drop(h);
    }
    // The start frees the copies once the data set holds what it needs.
    r.option.printerId = r.option.calibration = r.option.userColor = nullptr;
    const ovcg_test::Bytes id = ovcg_test::write_printer_id(ovcg_test::model_printer_ids(200), true);
    r.option.printerId = id.data();
    void* h = create(r);
    const uint32_t blocks = HXRGetMemBlockCount(inst(h)->memory);
    ASSERT_EQ(HXR_StartJob(h), 0u) << error();
    EXPECT_EQ(inst(h)->option.printerId, nullptr);
    EXPECT_EQ(inst(h)->blobSize[kHxrBlobPrinterId], 0u);
    EXPECT_GT(HXRGetMemBlockCount(inst(h)->memory), blocks);
}

TEST_F(HxrInterface, NullOptionIsTheDefaults) {
    JobRecords r = records();
    serve();
    void* a = nullptr;
    ASSERT_EQ(HXR_CreateInstanceEx(&a, &r.image, &r.halftone, nullptr, svc.table(), 1), 0u);
    keep(a);
    void* b = create(r);
    EXPECT_EQ(std::memcmp(&inst(a)->option, &inst(b)->option, sizeof(_HXR_OPTION_INFO)), 0);
    EXPECT_EQ(std::memcmp(inst(a)->colorTable, inst(b)->colorTable, sizeof inst(a)->colorTable), 0);
    EXPECT_EQ(inst(a)->values.reductionMethod, 0xFFFFFFFFu);
    EXPECT_EQ(inst(a)->values.wprint.outputMode, -1);
    EXPECT_EQ(inst(a)->state, kHxrStateCreated);
    EXPECT_EQ(HXR_StartJob(a), 0u) << error();
}

TEST_F(HxrInterface, OptionDefaultsAndDutyFactorRecord) {
    _HXR_OPTION_INFO o;
    std::memset(&o, 0xAB, sizeof o);
    EXPECT_EQ(HXR_GetDefaultValue(nullptr), kHxrDefaultNull);
    ASSERT_EQ(HXR_GetDefaultValue(&o), 0u);
    EXPECT_EQ(o.tone[0], -1);
    EXPECT_EQ(o.tone[9], 220);
    for (int i : {1, 8, 10, 15}) EXPECT_EQ(o.tone[i], 0);
    for (unsigned v : o.colorValue) EXPECT_EQ(v, 1024u);
    EXPECT_EQ(o.printerId, nullptr);
    EXPECT_EQ(o.inkSelectionMode, 0u);
    EXPECT_EQ(o.secondDocType, 0xFFFFFFFFu);
    EXPECT_EQ(o.channelMode1, 0xFFFFFFFFu);

    const struct {
        uint32_t factor, code;
    } cases[] = {{128, 0}, {8192, 0}, {1024, 0}, {127, kHxrDutyRange}, {8193, kHxrDutyRange}};
    for (const auto& c : cases) {
        HXRSetErrorInfo(0);
        HXR_GetDefaultValue(&o);
        EXPECT_EQ(HXR_SetDutyFactorValue(&o, c.factor), c.code) << c.factor;
        EXPECT_EQ(error(), c.code);
        if (c.code == 0) {
            EXPECT_EQ(std::memcmp(o.colorValue, "DUTY_FACTOR_MODE", 16), 0);
            EXPECT_EQ(o.colorValue[4], c.factor);
            for (int w = 5; w < 12; ++w) EXPECT_EQ(o.colorValue[w], 0xFFFFFFFFu);
            EXPECT_EQ(HXRCheckTRAQ2LutSlcDutyFactorParam(o.colorValue, kHxrDutyFactorModeId), 0u);
        } else {
            EXPECT_EQ(o.colorValue[0], 1024u);
        }
    }
    HXRSetErrorInfo(0);
    EXPECT_EQ(HXR_SetDutyFactorValue(nullptr, 1024), kHxrDutyNull);
    EXPECT_EQ(error(), kHxrDutyNull);
}

TEST_F(HxrInterface, RoughColourOrderWithoutAnInstance) {
    const struct {
        int inkSet;
        std::vector<signed char> codes;
    } cases[] = {{1, {1, 2, 3, 0}}, {0, {0}}, {3, {1, 2, 3, 0, 4, 5}}, {99, {}}, {-1, {}}};
    for (const auto& c : cases) {
        signed char codes[12];
        std::memset(codes, 0x7F, sizeof codes);
        const uint32_t n = HXR_GetOutputColorOrderRough(c.inkSet, codes, svc.table());
        EXPECT_EQ(std::vector<signed char>(codes, codes + n), c.codes) << c.inkSet;
        EXPECT_EQ(svc.live_blocks(), 0u);
    }
    signed char codes[12];
    EXPECT_EQ(HXR_GetOutputColorOrderRough(1, nullptr, svc.table()), 0u);
    EXPECT_EQ(HXR_GetOutputColorOrderRough(1, codes, nullptr), 0u);
    svc.fail_allocation_after(0);
    EXPECT_EQ(HXR_GetOutputColorOrderRough(1, codes, svc.table()), 0u);
    svc.fail_allocation_after(-1);
}

TEST_F(HxrInterface, DotCountsRoundHalfUpAndSaturate) {
    void* h = nullptr;
    ASSERT_EQ(create_started(records(), &h), 0u);
    const struct {
        std::vector<uint64_t> raw;
        int shift;
        uint32_t code;
        std::vector<unsigned> expect;
    } cases[] = {
        {{1499, 1500, 0, 499, 500, 2500000000ull}, 3, 0, {1, 2, 0, 0, 1, 2500000}},
        {{7, 0xFFFFFFFFull, 0x100000000ull}, 0, 1204, {7, 0xFFFFFFFFu, 0xFFFFFFFFu}},
        {{0x100000000ull * 10 - 5, 0x100000000ull * 10 - 6}, 1, 1204, {0xFFFFFFFFu, 0xFFFFFFFFu}},
        {{19999999999ull, 9}, 9, 0, {20, 0}},
        {{4, 5, 6}, 10, 1203, {}},
        {{4, 5, 6}, -1, 1203, {}},
        {{}, 0, 1202, {}},
    };
    for (const auto& c : cases) {
        bnrz.world().counts = c.raw;
        unsigned int counts[36] = {};
        EXPECT_EQ(HXR_GetDotCount(h, counts, c.shift), c.code) << c.shift;
        for (size_t i = 0; i < c.expect.size(); ++i) EXPECT_EQ(counts[i], c.expect[i]) << i;
    }
    bnrz.world().counts = {1, 2, 0x123456789ull};
    unsigned long long c64[36] = {};
    EXPECT_EQ(HXR_GetDotCount64(h, c64), 0u);
    EXPECT_EQ(c64[2], 0x123456789ull);
    EXPECT_EQ(HXR_GetDotCount(h, nullptr, 0), 1201u);
    EXPECT_EQ(HXR_GetDotCount64(h, nullptr), 1301u);
}

// A binariser reporting a bit count without a row layout (0, 3, 4 or more
// bits per colour) gives no row size: the caller gets 1003, never a size
// computed by a division by zero.
TEST_F(HxrInterface, OutputRowsOfUnknownBitCountsAreRefused) {
    static HXRBinarizeOps ops;
    for (uint32_t bits : {0u, 3u, 4u, 8u, 1u}) {
        SCOPED_TRACE(bits);
        ops = *FakeBinarizeOps();
        static uint32_t g_bits;
        g_bits = bits;
        ops.bitPerColor = [](const HXRBinarizeController* c) -> uint32_t { return c ? g_bits : 0; };
        HXRSetBinarizeOps(&ops);
        void* h = nullptr;
        ASSERT_EQ(create_started(records(), &h), 0u) << error();
        int sizes[12] = {};
        EXPECT_EQ(HXR_GetOutputBufferSize(h, sizes), bits == 1 ? 0u : 1003u);
        EXPECT_EQ(sizes[0], bits == 1 ? 13 : 0);
        drop(h);
        HXRSetBinarizeOps(FakeBinarizeOps());
    }
}

// The bridge entries are the adapter's way in: each gives the entry's answer.
TEST_F(HxrInterface, BridgeEntriesForwardUnchanged) {
    void* h = nullptr;
    ASSERT_EQ(create_started(records(), &h), 0u);
    signed char a[12] = {}, b[12] = {};
    int sa[12] = {}, sb[12] = {};
    unsigned counts[36];
    EXPECT_EQ(A_OvhtHXR_GetOutputColorOrderRough(1, a, svc.table()), HXR_GetOutputColorOrderRough(1, b, svc.table()));
    EXPECT_EQ(A_OvhtHXR_GetOutputColorOrder(h, a), 4u);
    EXPECT_EQ(A_OvhtHXR_GetOutputBufferSize(h, sa), HXR_GetOutputBufferSize(h, sb));
    EXPECT_EQ(std::memcmp(sa, sb, sizeof sa), 0);
    EXPECT_EQ(A_OvhtHXR_GetDotCount(h, counts, 10), 1203u);
    EXPECT_EQ(A_OvhtHXR_ResetSwitchingPos(nullptr, nullptr), 501u);
    void* made = nullptr;
    const JobRecords r = records();
    ASSERT_EQ(A_OvhtHXR_CreateInstance(&made, &r.image, &r.halftone, &r.option, svc.table(), 1), 0u);
    A_OvhtHXR_DeleteInstance(made);
}

// A page of two-line bands: rows of the reported sizes, nothing written past
// them, the dot counts of the page, and the parallel path's ink rows.
// `real`: the library's binariser, else the fake (whose counts are set).
void page_of_bands(HxrInterface* t, void* h, bool real) {
    int sizes[12] = {};
    ASSERT_EQ(HXR_GetOutputBufferSize(h, sizes), 0u);
    int inkBytes = 0;
    ASSERT_EQ(HXR_GetInkBufferSize(h, &inkBytes), 0u);
    const int switching[6] = {0, 1, 0, 0, 0, 0};
    ASSERT_EQ(HXR_StartPage(h, switching), 0u) << HXR_GetErrorInfo(nullptr);
    constexpr size_t kGuard = 16, kPlanes = 2 * 2 * 4;  // heads x lines x colours
    constexpr uint8_t kFill = 0xA5;
    uint64_t codes[4][4] = {};  // per colour, per 2-bit code
    size_t dotted = 0;
    for (int row = 0; row < 10; row += 2) {
        // Two lines of RGB, dark to light across the line.
        std::vector<uint8_t> rgb(2 * 3 * 101);
        for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = uint8_t((i / 3 % 101) * 2 + row * (1 + i % 3));
        const void* in[6] = {&rgb[0], &rgb[1], &rgb[2], &rgb[303], &rgb[304], &rgb[305]};
        std::vector<std::vector<uint8_t>> planes(kPlanes);
        unsigned char* out[kPlanes];
        for (size_t p = 0; p < kPlanes; ++p) {
            planes[p].assign(size_t(sizes[p % 4]) + kGuard, 0);
            std::fill(planes[p].end() - kGuard, planes[p].end(), kFill);
            out[p] = planes[p].data();
        }
        int anyDot = -1;
        ASSERT_EQ(HXR_Halftone(h, out, &anyDot, in, nullptr, 101, 0, 2, row), 0u) << HXR_GetErrorInfo(nullptr);
        bool any = false;
        for (size_t p = 0; p < kPlanes; ++p) {
            const auto& plane = planes[p];
            for (size_t i = plane.size() - kGuard; i < plane.size(); ++i) ASSERT_EQ(plane[i], kFill);
            for (size_t i = 0; i < plane.size() - kGuard; ++i) {
                any |= plane[i] != 0;
                for (int q = 0; q < 4; ++q) ++codes[p % 4][(plane[i] >> (6 - 2 * q)) & 3];
            }
        }
        EXPECT_EQ(anyDot, any ? 1 : 0);
        dotted += any;

        std::vector<std::vector<uint8_t>> inks(8, std::vector<uint8_t>(size_t(inkBytes) + kGuard, kFill));
        unsigned char* inkRows[8];
        for (size_t p = 0; p < 8; ++p) inkRows[p] = inks[p].data();
        int start = -1, length = -1;
        ASSERT_EQ(HXR_ConvertColor(h, inkRows, &start, &length, in, nullptr, 101, 0, 2, row), 0u);
        EXPECT_EQ(start, 0);
        EXPECT_EQ(length, 101);
        for (const auto& p : inks)
            for (size_t i = size_t(length); i < p.size(); ++i) ASSERT_EQ(p[i], kFill);
    }
    EXPECT_GT(dotted, 0u);
    EXPECT_EQ(HXR_EndPage(h), 0u);
    if (!real) t->bnrz.world().counts = {5, 6, 7};
    unsigned counts[36] = {};
    ASSERT_EQ(HXR_GetDotCount(h, counts, 0), 0u);
    if (!real) {
        EXPECT_EQ(counts[2], 7u);
        return;
    }
    // The binariser's counts are the dots it placed, by colour and size.
    for (uint32_t k = 0; k < 4; ++k)
        for (uint32_t d = 1; d <= 3; ++d) EXPECT_EQ(counts[3 * k + d - 1], codes[k][d]) << k << " " << d;
}

TEST_F(HxrInterface, APageOfBandsGivesRowsOfTheReportedSizes) {
    void* h = nullptr;
    ASSERT_EQ(create_started(records(), &h), 0u) << error();
    page_of_bands(this, h, false);
}

TEST_F(HxrInterface, APageThroughTheLibrarysBinariser) {
    HXRSetBinarizeOps(nullptr);
    for (uint32_t ht : {3u, 6u}) {
        SCOPED_TRACE(ht);
        const auto m = mode(0, ht, 2);
        void* h = nullptr;
        ASSERT_EQ(create_started(records(1, &m), &h), 0u) << error();
        page_of_bands(this, h, true);
        drop(h);
    }
}

}  // namespace
}  // namespace hxr_test
