#include "engine/hxr_dll.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ovcg/ovs_resource.h"
#include "support/res_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------
// A counting allocator behind the block services.

struct Counting {
    size_t allocations = 0;
    size_t releases = 0;
    size_t last_bytes = 0;
    bool fail = false;
};
Counting g_count;

void* CountingAllocate(size_t bytes) {
    if (g_count.fail) return nullptr;
    ++g_count.allocations;
    g_count.last_bytes = bytes;
    void* p = std::malloc(bytes);
    if (p) std::memset(p, 0xCD, bytes);  // the service must zero it
    return p;
}
void CountingRelease(void* p) {
    ++g_count.releases;
    std::free(p);
}

class HxrServiceTest : public ::testing::Test {
protected:
    HxrServiceTest() {
        g_count = Counting{};
        ovcg::SetHxrHostAllocator({&CountingAllocate, &CountingRelease});
    }
    ~HxrServiceTest() override { ovcg::SetHxrHostAllocator({nullptr, nullptr}); }
};

TEST_F(HxrServiceTest, SlotsInOrder) {
    HXRServiceTable t{};
    int context = 0;
    FillHxrServiceTable(&t, &context);
    EXPECT_EQ(t.Alloc, &HxrFn_calloc);
    EXPECT_EQ(t.Free, &HxrFn_free);
    EXPECT_EQ(t.GetResource, &HxrFn_GetResource);
    EXPECT_EQ(t.FreeResource, &HxrFn_FreeResource);
    EXPECT_EQ(t.Context, &context);
    EXPECT_EQ(t.MemCpy, &HxrFn_memcpy);
    EXPECT_EQ(t.MemSet, &HxrFn_memset);
    EXPECT_EQ(t.MemCmp, &HxrFn_memcmp);
    EXPECT_EQ(t.StrCpy, &HxrFn_strcpy);
    EXPECT_EQ(t.StrCmp, &HxrFn_strcmp);
    EXPECT_EQ(t.StrNCmp, &HxrFn_strncmp);
    EXPECT_EQ(t.StrLen, &HxrFn_strlen);
    EXPECT_EQ(t.AtoI, &HxrFn_atoi);
    static_assert(sizeof(HXRServiceTable) == 13 * sizeof(void*));
    // The engine reaches the services by position, not by name.
    const size_t offsets[] = {
        offsetof(HXRServiceTable, Alloc),   offsetof(HXRServiceTable, Free),
        offsetof(HXRServiceTable, GetResource), offsetof(HXRServiceTable, FreeResource),
        offsetof(HXRServiceTable, Context), offsetof(HXRServiceTable, MemCpy),
        offsetof(HXRServiceTable, MemSet),  offsetof(HXRServiceTable, MemCmp),
        offsetof(HXRServiceTable, StrCpy),  offsetof(HXRServiceTable, StrCmp),
        offsetof(HXRServiceTable, StrNCmp), offsetof(HXRServiceTable, StrLen),
        offsetof(HXRServiceTable, AtoI)};
    for (size_t i = 0; i < 13; ++i) EXPECT_EQ(offsets[i], i * sizeof(void*)) << "slot " << i + 1;
}

TEST_F(HxrServiceTest, CallocAgainstTheCountingAllocator) {
    struct Case {
        size_t count, size;
        bool allocates;
    };
    const Case cases[] = {
        {0, 8, false},
        {8, 0, false},
        {0, 0, false},
        {SIZE_MAX / 2 + 1, 2, false},  // the product overflows
        {SIZE_MAX, SIZE_MAX, false},
        {3, 5, true},
        {1, 1, true},
    };
    for (const Case& c : cases) {
        g_count = Counting{};
        void* p = HxrFn_calloc(c.count, c.size);
        EXPECT_EQ(p != nullptr, c.allocates) << c.count << " x " << c.size;
        EXPECT_EQ(g_count.allocations, c.allocates ? 1u : 0u) << c.count << " x " << c.size;
        if (p) {
            EXPECT_EQ(g_count.last_bytes, c.count * c.size);
            const auto* b = static_cast<const uint8_t*>(p);
            for (size_t i = 0; i < c.count * c.size; ++i) ASSERT_EQ(b[i], 0) << i;
            HxrFn_free(p);
            EXPECT_EQ(g_count.releases, 1u);
        }
    }
    g_count = Counting{};
    HxrFn_free(nullptr);
    EXPECT_EQ(g_count.releases, 0u);
    g_count.fail = true;
    EXPECT_EQ(HxrFn_calloc(4, 4), nullptr);
}

TEST_F(HxrServiceTest, ResourcesOfTypeTwoThousandOffsetByOneHundred) {
    ovcg_test::ResWriter writer;
    writer.add(2000, 105, Bytes{1, 2, 3, 4, 5});
    writer.add(2000, 5, Bytes{9, 9});      // the engine's id without the offset: never fetched
    writer.add(3000, 105, Bytes{7, 7, 7});  // other type
    writer.add(2000, 100, Bytes{});         // engine id 0, empty
    ovcg_test::TempFile file("hxr_rsc");
    ASSERT_TRUE(writer.write_file(file.path()));
    ASSERT_EQ(ovs_resLoadFile(file.path().c_str()), 0);

    unsigned int size = 77;
    void* data = HxrFn_GetResource(nullptr, &size, 5, 3);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(Bytes(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size), (Bytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(HxrFn_FreeResource(nullptr, data), 0);

    size = 77;
    data = HxrFn_GetResource(nullptr, &size, 0, 0);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(size, 0u);
    HxrFn_FreeResource(nullptr, data);

    size = 77;
    EXPECT_EQ(HxrFn_GetResource(nullptr, &size, 6, 0), nullptr);
    EXPECT_EQ(size, 0u);
    // The offset identifier is taken as 16 bits: 5 - 65536 names 105 too.
    data = HxrFn_GetResource(nullptr, &size, 5 - 65536, 0);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(size, 5u);
    HxrFn_FreeResource(nullptr, data);
    EXPECT_EQ(HxrFn_GetResource(nullptr, &size, INT_MAX, 0), nullptr);  // no overflow on the way
    data = HxrFn_GetResource(nullptr, nullptr, 5, 0);
    EXPECT_NE(data, nullptr);
    HxrFn_FreeResource(nullptr, data);
    EXPECT_EQ(HxrFn_FreeResource(nullptr, nullptr), 0);
    ovs_resUnLoadFile();
}

TEST_F(HxrServiceTest, DecimalTextToInteger) {
    struct Case {
        const char* text;
        int value;
    };
    const Case cases[] = {{"0", 0},       {"42", 42},        {"-17", -17},       {"  9x", 9},
                          {"+5", 5},      {"", 0},           {"abc", 0},         {"0012", 12},
                          {"2147483647", INT_MAX},           {"99999999999", INT_MAX},
                          {"-99999999999", INT_MIN},         {"0x10", 0}};
    for (const Case& c : cases) EXPECT_EQ(HxrFn_atoi(c.text), c.value) << c.text;
    EXPECT_EQ(HxrFn_atoi(nullptr), 0);
}

// ---------------------------------------------------------------------------
// A fake halftone engine.

struct FakeHxr {
    const HXRServiceTable* services = nullptr;
    void* context_seen = reinterpret_cast<void*>(1);
    signed char* order_seen = nullptr;
    bool order_zeroed = false;
    int ink_set = -1;
    int flags = -1;
    const void* records[3] = {};
    uint32_t size_result = 0;
    int calls = 0;
    const void* passed[3] = {};  // out rows, input planes, attribute planes of the last band call
    std::vector<std::string> log;
};
FakeHxr* g_hxr = nullptr;
void* const kHandle = reinterpret_cast<void*>(0x5000);

bool Zeroed(const signed char* p, int n) {
    for (int i = 0; i < n; ++i)
        if (p[i] != 0) return false;
    return true;
}

uint32_t FGetDefaultValue(void* option) {
    g_hxr->log.push_back("GetDefaultValue");
    g_hxr->records[2] = option;
    return 101;
}
uint32_t FRough(int inkSet, signed char* order, const HXRServiceTable* s) {
    g_hxr->log.push_back("Rough");
    g_hxr->ink_set = inkSet;
    g_hxr->order_seen = order;
    g_hxr->order_zeroed = order && Zeroed(order, 12);
    g_hxr->services = s;
    g_hxr->context_seen = s->Context;
    if (order) order[11] = 9;  // the engine may write all twelve entries
    return 4;
}
uint32_t FCreate(void** handle, const void* image, const void* halftone, const void* option,
                 const HXRServiceTable* s, int flags) {
    g_hxr->log.push_back("Create");
    g_hxr->records[0] = image;
    g_hxr->records[1] = halftone;
    g_hxr->records[2] = option;
    g_hxr->services = s;
    g_hxr->context_seen = s->Context;
    g_hxr->flags = flags;
    *handle = reinterpret_cast<void*>(0x5000);
    return 0;
}
void FDelete(void* h) {
    EXPECT_EQ(h, kHandle);
    g_hxr->log.push_back("Delete");
}
uint32_t FSetBRS(void* h, const void*) {
    EXPECT_EQ(h, kHandle);
    g_hxr->log.push_back("SetBRS");
    return 301;
}
uint32_t FStartPage(void* h, const int* sw) {
    EXPECT_EQ(h, kHandle);
    g_hxr->log.push_back("StartPage" + std::to_string(sw ? sw[0] : -1));
    return 0;
}
uint32_t FHalftone(void* h, unsigned char** out, int* anyDot, const void** planes, const unsigned char** attributes,
                   int pixels, int x, int lines, int first) {
    EXPECT_EQ(h, kHandle);
    g_hxr->passed[0] = out;
    g_hxr->passed[1] = planes;
    g_hxr->passed[2] = attributes;
    g_hxr->log.push_back("Halftone" + std::to_string(pixels) + "," + std::to_string(x) + "," +
                         std::to_string(lines) + "," + std::to_string(first));
    if (anyDot) *anyDot = 1;
    return 701;
}
uint32_t FConvert(void* h, unsigned char** out, int* start, int* length, const void** planes,
                  const unsigned char** attributes, int pixels, int, int, int) {
    EXPECT_EQ(h, kHandle);
    g_hxr->passed[0] = out;
    g_hxr->passed[1] = planes;
    g_hxr->passed[2] = attributes;
    g_hxr->log.push_back("Convert" + std::to_string(pixels));
    *start = 3;
    *length = 4;
    return 0;
}
uint32_t FEndPage(void* h) {
    EXPECT_EQ(h, kHandle);
    g_hxr->log.push_back("EndPage");
    return 902;
}
uint32_t FOrder(void* h, signed char* order) {
    EXPECT_EQ(h, kHandle);
    g_hxr->log.push_back("Order");
    g_hxr->order_seen = order;
    g_hxr->order_zeroed = order && Zeroed(order, 12);
    if (order) order[0] = 7;
    return 1;
}
uint32_t FBufferSize(void* h, int* sizes) {
    EXPECT_EQ(h, kHandle);
    g_hxr->log.push_back("BufferSize");
    for (int i = 0; i < 12; ++i) sizes[i] = 1000 + i;
    return g_hxr->size_result;
}
uint32_t FDotCount(void* h, unsigned int* counts, int shift) {
    EXPECT_EQ(h, kHandle);
    g_hxr->log.push_back("DotCount" + std::to_string(shift));
    counts[0] = 25;
    return 0;
}
uint32_t FSlut(void* h, unsigned char** data, int* size) {
    EXPECT_EQ(h, kHandle);
    g_hxr->log.push_back("Slut");
    static unsigned char slut[3] = {1, 2, 3};
    *data = slut;
    *size = 3;
    return 0;
}
uint32_t FResetSw(void* h, const int* sw) {
    EXPECT_EQ(h, kHandle);
    g_hxr->log.push_back("ResetSw" + std::to_string(sw[0]));
    return 502;
}

HxrEngineTable FakeTable() {
    return HxrEngineTable{&FGetDefaultValue, &FRough,      &FCreate,     &FDelete,     &FSetBRS,
                          &FStartPage,       &FHalftone,   &FConvert,    &FEndPage,    &FOrder,
                          &FBufferSize,      &FDotCount,   &FSlut,       &FResetSw,    nullptr};
}

class HxrDllTest : public ::testing::Test {
protected:
    HxrDllTest() { g_hxr = &fake; }
    ~HxrDllTest() override { g_hxr = nullptr; }
    FakeHxr fake;
};

TEST_F(HxrDllTest, EveryMissingEntryRefusesTheBinding) {
    // The fourteen required entries; the last, cutting runs, is optional.
    static_assert(sizeof(HxrEngineTable) == 15 * sizeof(void*));
    for (int missing = 0; missing < 14; ++missing) {
        HxrEngineTable t = FakeTable();
        reinterpret_cast<void**>(&t)[missing] = nullptr;
        try {
            CHXRDLL dll("ht.so", t);
            ADD_FAILURE() << "entry " << missing << " missing but bound";
        } catch (int code) {
            EXPECT_EQ(code, -206) << missing;
        }
    }
    CHXRDLL dll("ht.so", FakeTable());
    EXPECT_EQ(dll.NameCount(), 1);
    EXPECT_STREQ(dll.Names()[0], "ht.so");
    EXPECT_EQ(dll.Context(), nullptr);
    EXPECT_EQ(dll.ServiceTable()->Alloc, &HxrFn_calloc);
    // Without the optional entry the engine walks its runs itself.
    HXRHybridEDTailSlot* slot = reinterpret_cast<HXRHybridEDTailSlot*>(&dll);
    EXPECT_EQ(dll.HXR_CutRuns(reinterpret_cast<void*>(0x5000), &slot), 1u);
    EXPECT_EQ(slot, nullptr);
}

TEST_F(HxrDllTest, CreateInstanceAddsServicesAndContext) {
    CHXRDLL dll(nullptr, FakeTable());
    int image = 0, halftone = 0, option = 0, ctx = 0;
    void* handle = nullptr;
    EXPECT_EQ(dll.HXR_CreateInstance(&handle, &image, &halftone, &option, &ctx, 3), 0u);
    EXPECT_EQ(handle, reinterpret_cast<void*>(0x5000));
    EXPECT_EQ(fake.services, dll.ServiceTable());
    EXPECT_EQ(fake.context_seen, &ctx);
    EXPECT_EQ(dll.Context(), &ctx);
    EXPECT_EQ(fake.records[0], &image);
    EXPECT_EQ(fake.records[1], &halftone);
    EXPECT_EQ(fake.records[2], &option);
    EXPECT_EQ(fake.flags, 3);

    // The last context stays until the next call that sets one.
    int ctx2 = 0;
    signed char order[12] = {};
    EXPECT_EQ(dll.HXR_GetOutputColorOrderRough(6, order, &ctx2), 4u);
    EXPECT_EQ(fake.ink_set, 6);
    EXPECT_EQ(fake.order_seen, order);
    EXPECT_EQ(fake.context_seen, &ctx2);
    EXPECT_EQ(dll.Context(), &ctx2);
    EXPECT_EQ(dll.HXR_StartPage(handle, nullptr), 0u);
    EXPECT_EQ(dll.Context(), &ctx2);
}

TEST_F(HxrDllTest, NullOrderListsGetAScratchList) {
    CHXRDLL dll(nullptr, FakeTable());
    EXPECT_EQ(dll.HXR_GetOutputColorOrderRough(1, nullptr, nullptr), 4u);
    EXPECT_NE(fake.order_seen, nullptr);
    EXPECT_TRUE(fake.order_zeroed);
    fake.order_seen = nullptr;
    EXPECT_EQ(dll.HXR_GetOutputColorOrder(reinterpret_cast<void*>(0x5000), nullptr), 1u);
    EXPECT_NE(fake.order_seen, nullptr);
    EXPECT_TRUE(fake.order_zeroed);
    signed char order[12] = {};
    EXPECT_EQ(dll.HXR_GetOutputColorOrder(reinterpret_cast<void*>(0x5000), order), 1u);
    EXPECT_EQ(order[0], 7);
}

TEST_F(HxrDllTest, OutputBufferSizeKeepsTheEnginesSizes) {
    CHXRDLL dll(nullptr, FakeTable());
    void* h = reinterpret_cast<void*>(0x5000);
    int one = -1;
    EXPECT_EQ(dll.HXR_GetOutputBufferSize(h, &one), 0u);
    EXPECT_EQ(one, 1000);

    int list[14];
    std::fill(std::begin(list), std::end(list), -1);
    EXPECT_EQ(dll.HXR_GetOutputBufferSize(h, list, 14), 0u);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(list[i], 1000 + i);
    EXPECT_EQ(list[12], -1);  // beyond the engine's list: untouched
    EXPECT_EQ(list[13], -1);

    fake.size_result = 1003;
    EXPECT_EQ(dll.HXR_GetOutputBufferSize(h, list, 3), 1003u);
    EXPECT_EQ(list[0], 0);
    EXPECT_EQ(list[2], 0);
    EXPECT_EQ(list[3], 1003);
    EXPECT_EQ(dll.HXR_GetOutputBufferSize(h, nullptr, 5), 1003u);
}

TEST_F(HxrDllTest, PlainForwardersPassArgumentsAndResults) {
    CHXRDLL dll(nullptr, FakeTable());
    void* h = reinterpret_cast<void*>(0x5000);
    int option = 0;
    EXPECT_EQ(dll.HXR_GetDefaultValue(&option), 101u);
    EXPECT_EQ(fake.records[2], &option);
    EXPECT_EQ(dll.HXR_SetBRSFunc(h, nullptr), 301u);
    const int sw[6] = {2, 10, 20, 0, 0, 0};
    EXPECT_EQ(dll.HXR_StartPage(h, sw), 0u);
    unsigned char* rows[2] = {};
    const void* planes[3] = {};
    const unsigned char* attributes[1] = {};
    const void* const passed[3] = {rows, planes, attributes};
    int anyDot = 0;
    EXPECT_EQ(dll.HXR_Halftone(h, rows, &anyDot, planes, attributes, 640, 8, 2, 44), 701u);
    EXPECT_EQ(anyDot, 1);
    EXPECT_TRUE(std::equal(std::begin(passed), std::end(passed), fake.passed));
    fake.passed[0] = fake.passed[1] = fake.passed[2] = nullptr;
    int start = 0, length = 0;
    EXPECT_EQ(dll.HXR_ConvertColor(h, rows, &start, &length, planes, attributes, 320, 0, 1, 0), 0u);
    EXPECT_EQ(start, 3);
    EXPECT_EQ(length, 4);
    EXPECT_TRUE(std::equal(std::begin(passed), std::end(passed), fake.passed));
    EXPECT_EQ(dll.HXR_EndPage(h), 902u);
    unsigned int counts[3] = {};
    EXPECT_EQ(dll.HXR_GetDotCount(h, counts, 3), 0u);
    EXPECT_EQ(counts[0], 25u);
    unsigned char* slut = nullptr;
    int slutSize = 0;
    EXPECT_EQ(dll.HXR_GetSlut(h, &slut, &slutSize), 0u);
    EXPECT_EQ(slutSize, 3);
    EXPECT_EQ(dll.HXR_ResetSwitchingPos(h, sw), 502u);
    dll.HXR_DeleteInstance(h);
    const std::vector<std::string> want = {"GetDefaultValue", "SetBRS",  "StartPage2", "Halftone640,8,2,44",
                                           "Convert320",      "EndPage", "DotCount3",  "Slut",
                                           "ResetSw2",        "Delete"};
    EXPECT_EQ(fake.log, want);
}

// The library's own engine behind the adapter's default table.
TEST(HxrDllEngine, DefaultTableBindsTheLinkedEngine) {
    ASSERT_TRUE(AllBound(DefaultHxrEngineTable()));
    CHXRDLL dll("ht.so");
    _HXR_OPTION_INFO option{};
    ASSERT_EQ(dll.HXR_GetDefaultValue(&option), 0u);
    EXPECT_EQ(option.tone[9], 220);
    EXPECT_EQ(option.colorValue[11], 1024u);
    signed char order[12] = {};
    EXPECT_EQ(dll.HXR_GetOutputColorOrderRough(1, order, nullptr), 4u);
    EXPECT_EQ(order[3], 0);
    // Without a resource file no print mode is found: the failed start leaves
    // no handle (and nothing to delete).
    const _HXR_IMAGE_INFO image = {3, 1, 3, 0, 16};
    const _HXR_HALFTONE_INFO halftone = {1, 0, 0, 0, 3, 600, 600, 2, 0, 1, 1};
    void* handle = &handle;
    EXPECT_EQ(dll.HXR_CreateInstance(&handle, &image, &halftone, &option, nullptr, 1), 202u);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(dll.HXR_EndPage(nullptr), 901u);
    int sizes[4] = {7, 7, 7, 7};
    EXPECT_EQ(dll.HXR_GetOutputBufferSize(nullptr, sizes, 4), 1001u);
    EXPECT_EQ(sizes[0], 0);
}

}  // namespace
