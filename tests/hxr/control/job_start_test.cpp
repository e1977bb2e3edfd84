// Job start over the default model: every output flag, image mode and
// document type, the refusals of the two-to-one reduction, and what a
// started job answers (colour order, buffer sizes, double gammas, packages).
#include "hxr/control/hxr_packages.h"
#include "hxr_job_fixture.h"
#include "support/model_index.h"

#include <cstring>
#include <functional>
#include <string>

namespace hxr_test {
namespace {

class HxrJobStart : public HxrJobTest {};

TEST_F(HxrJobStart, OutputFlags) {
    for (int flags = 0; flags < 8; ++flags) {
        SCOPED_TRACE(flags);
        void* h = create(records(), flags);
        HXRSetErrorInfo(0);
        EXPECT_EQ(HXR_StartJob(h), 0u) << error();
        const HXRInstance* i = inst(h);
        EXPECT_EQ(i->htCtrl != nullptr, (flags & 1) != 0);  // the controller of flag 2 alone goes
        EXPECT_EQ(i->dataSet != nullptr, (flags & 1) != 0);
        EXPECT_EQ(i->slut != nullptr, (flags & 2) != 0);
        EXPECT_EQ(i->rh != nullptr, (flags & 4) != 0);
        drop(h);
    }
}

TEST_F(HxrJobStart, ImageModesAndDocumentTypes) {
    const auto tnmx = mode(7, 3, 2);
    const auto cmyk = mode(0, 3, 2, 1);
    const auto bits1 = mode(0, 3, 1);
    const auto hybrid5 = mode(0, 5, 2);
    const auto hybrid6 = mode(0, 6, 2);
    struct Case {
        const char* name;
        uint32_t inkSet;
        const ovcg_test::ModelPrintMode* mode;
        uint32_t colourMode;
        uint32_t code, error;
    };
    std::vector<Case> cases = {
        {"RGB", 1, nullptr, 3, 0, 0},
        {"RGB one bit", 1, &bits1, 3, 0, 0},
        {"mono", 0, nullptr, 3, 0, 0},
        {"CMYK", 1, &cmyk, 4, 0, 0},
        {"photo", 1, &tnmx, 3, 0, 0},
        {"photo without a mono row", 0, &tnmx, 3, kHxrStartPrintMode, kHxrRecordNoMode},
        {"photo CMYK", 1, &tnmx, 4, kHxrStartController, kHxrColorCvtModeInvalid},
        {"hybrid 5", 1, &hybrid5, 3, 0, 0},
        {"hybrid 6", 1, &hybrid6, 3, 0, 0},
        {"ten components", 1, nullptr, 110, kHxrStartController, kHxrColorCvtDirectCount},
    };
    // Direct ink planes: the plane count must be one the converters take and
    // the ink set's output count.
    for (uint32_t n = 1; n <= 12; ++n) {
        const bool valid = n == 1 || (n >= 4 && n <= 10) || n == 12;
        const uint32_t inkSet = n == 1 ? 0 : 1;
        const bool fits = n == 1 || n == 4;
        cases.push_back({"direct", inkSet, nullptr, 100 + n, valid && fits ? 0u : kHxrStartController,
                         !valid ? uint32_t{kHxrColorCvtModeInvalid} : fits ? 0u : uint32_t{kHxrColorCvtDirectCount}});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.colourMode));
        JobRecords r = records(c.inkSet, c.mode);
        r.image.colorMode = c.colourMode;
        r.image.pixelOffset = c.colourMode > 100 ? 1 : c.colourMode;
        void* h = create(r);
        HXRSetErrorInfo(0);
        EXPECT_EQ(HXR_StartJob(h), c.code);
        EXPECT_EQ(error(), c.code ? c.error : 0u);
        if (c.code == 0) {
            const uint32_t ht = r.halftone.htType;
            EXPECT_EQ(bnrz.world().has("setHybridED"), ht == 5 || ht == 6);
            EXPECT_EQ(bnrz.world().lastData, inst(h)->dataSet);
        }
        bnrz.world().calls.clear();
        drop(h);
    }
}

TEST_F(HxrJobStart, OutputBits66HaveNoColourManager) {
    ovcg_test::IndexTextSpec index = ovcg_test::model_index(model);
    for (auto& row : index.rows)
        if (row["OUT_BIT"] == "2") row["OUT_BIT"] = "66";
    file.replace(ovcg_test::kResTypeHalftone, ovcg_test::kModelIndexId + 100,
                 ovcg_test::text_bytes(ovcg_test::write_index_text(index)));
    JobRecords r = records();
    r.halftone.outputBits = 66;
    void* h = create(r);
    EXPECT_EQ(HXR_StartJob(h), kHxrStartPrintMode);
    EXPECT_EQ(error(), kHxrRecordColourManager);
}

TEST_F(HxrJobStart, HalfScaleRefusals) {
    const auto tnmx = mode(7, 3, 2);
    const auto cmyk = mode(0, 3, 2, 1);
    const unsigned char user[8] = {4, 0, 1, 0, 10, 20, 30, 40};
    const uint32_t one = 1;
    struct Case {
        const char* name;
        const ovcg_test::ModelPrintMode* mode;
        std::function<void(JobRecords&)> records;
        std::function<void(void*)> values;
        int flags;
        uint32_t code;
    };
    const Case cases[] = {
        {"RGB", nullptr, {}, {}, 1, 0},
        {"CMYK", &cmyk, {}, {}, 1, 0},
        {"user colours", nullptr, [&](JobRecords& r) { r.option.userColor = user; }, {}, 1, kHxrStartHalfScale},
        {"white print", nullptr, {},
         [&](void* h) { ASSERT_EQ(HXR_SetValue(h, HXR_KEY_WPRINT_OUTPUT, &one), 0u); }, 0, kHxrStartHalfScale},
        {"under-white", &cmyk, {}, [&](void* h) { ASSERT_EQ(HXR_SetValue(h, HXR_KEY_UNDER_WHITE, &one), 0u); }, 1,
         kHxrStartHalfScale},
        // With a controller its converter refuses the scale first.
        {"monochrome photo", &tnmx, {}, {}, 1, kHxrStartController},
        {"monochrome photo, no controller", &tnmx, {}, {}, 0, kHxrStartHalfScale},
        {"direct planes", nullptr, [](JobRecords& r) { r.image.colorMode = 104, r.image.pixelOffset = 1; }, {}, 1,
         kHxrStartController},
        {"direct planes, no controller", nullptr,
         [](JobRecords& r) { r.image.colorMode = 104, r.image.pixelOffset = 1; }, {}, 0, kHxrStartHalfScale},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        JobRecords r = records(1, c.mode);
        r.halftone.scale = kHxrOutputScaleHalf;
        if (c.records) c.records(r);
        void* h = create(r, c.flags);
        if (c.values) c.values(h);
        EXPECT_EQ(HXR_StartJob(h), c.code) << error();
        drop(h);
    }
}

TEST_F(HxrJobStart, ColourOrdersAndBufferSizes) {
    const auto tnmx = mode(7, 3, 2);
    const auto bits1 = mode(0, 3, 1);
    const struct {
        const char* name;
        uint32_t inkSet;
        const ovcg_test::ModelPrintMode* mode;
        uint32_t scale;
        std::vector<signed char> codes;
        int outBytes, inkBytes;
    } cases[] = {
        {"colour", 1, nullptr, 1, {1, 2, 3, 0}, 26, 104},
        {"colour, one half", 1, nullptr, kHxrOutputScaleHalf, {1, 2, 3, 0}, 14, 56},
        {"colour, twice", 1, nullptr, 2, {1, 2, 3, 0}, 52, 208},
        {"one bit", 1, &bits1, 1, {1, 2, 3, 0}, 13, 104},
        {"mono", 0, nullptr, 1, {0}, 26, 104},
        {"monochrome photo", 1, &tnmx, 1, {1, 2, 3, 0}, 26, 208},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        JobRecords r = records(c.inkSet, c.mode);
        r.halftone.scale = c.scale;
        void* h = nullptr;
        ASSERT_EQ(create_started(r, &h), 0u) << error();
        signed char codes[12] = {};
        const uint32_t n = HXR_GetOutputColorOrder(h, codes);
        EXPECT_EQ(std::vector<signed char>(codes, codes + n), c.codes);
        EXPECT_EQ(HXR_GetOutputColorOrder(h, nullptr), 0u);
        int sizes[12] = {};
        ASSERT_EQ(HXR_GetOutputBufferSize(h, sizes), 0u);
        for (uint32_t i = 0; i < 12; ++i) EXPECT_EQ(sizes[i], i < n ? c.outBytes : 0) << i;
        int ink = 0;
        ASSERT_EQ(HXR_GetInkBufferSize(h, &ink), 0u);
        EXPECT_EQ(ink, c.inkBytes);
        drop(h);
    }
    // A job without a host controller has no rows to size.
    void* h = create(records(), 0);
    ASSERT_EQ(HXR_StartJob(h), 0u);
    int sizes[12], ink = 0;
    EXPECT_EQ(HXR_GetOutputBufferSize(h, sizes), 1002u);
    EXPECT_EQ(HXR_GetInkBufferSize(h, &ink), 1102u);
}

TEST_F(HxrJobStart, DoubleGammaPairs) {
    void* h = nullptr;
    ASSERT_EQ(create_started(records(), &h), 0u);
    unsigned g0 = 0, g255 = 0, c0[12] = {}, c255[12] = {};
    const uint32_t first = HXR_GetDoubleGamma(h, &g0, &g255, c0, c255);
    // The default model's colour table carries 120 / 100, which its print
    // mode checks for; the pairs reported are the engine's records.
    EXPECT_EQ(g0, ovcg_test::kModelColourDbg0);
    EXPECT_EQ(g255, ovcg_test::kModelColourDbg255);
    HXRInstance* i = inst(h);
    for (uint32_t k = 0; k < 4; ++k) {
        EXPECT_EQ(c0[k], i->dotGamma[k][0]);
        EXPECT_EQ(c255[k], i->dotGamma[k][1]);
    }
    for (uint32_t k = 4; k < 12; ++k) EXPECT_EQ(i->dotGamma[k][0], 0xFFFFFFFFu);
    EXPECT_TRUE(first == 0 || (first >= 1505 && first <= 1507)) << first;

    const auto set = [&](uint32_t a, uint32_t b, std::vector<std::pair<uint32_t, uint32_t>> colours) {
        i->lutGamma[0] = a, i->lutGamma[1] = b;
        for (uint32_t k = 0; k < 4; ++k) i->dotGamma[k][0] = colours[k].first, i->dotGamma[k][1] = colours[k].second;
    };
    const uint32_t na = 0xFFFFFFFFu;
    const struct {
        uint32_t a, b;
        std::vector<std::pair<uint32_t, uint32_t>> colours;
        uint32_t code;
    } cases[] = {
        {120, 100, {{120, 100}, {120, 100}, {120, 100}, {120, 100}}, 0},
        {na, 100, {{120, 100}, {120, 100}, {120, 100}, {120, 100}}, 1504},
        {120, na, {{120, 100}, {120, 100}, {120, 100}, {120, 100}}, 1504},
        {120, 100, {{120, 100}, {120, 100}, {120, na}, {120, 100}}, 1505},
        {120, 100, {{120, 100}, {120, 100}, {110, 100}, {120, 100}}, 1506},
        {120, 100, {{110, 100}, {110, 100}, {110, 100}, {110, 100}}, 1507},
    };
    for (const auto& c : cases) {
        set(c.a, c.b, c.colours);
        EXPECT_EQ(HXR_GetDoubleGamma(h, &g0, &g255, c0, c255), c.code);
        EXPECT_EQ(c0[2], c.colours[2].first);  // written before the checks
    }
    EXPECT_EQ(HXR_GetDoubleGamma(h, nullptr, &g255, c0, c255), 1502u);
    i->colours = nullptr;
    EXPECT_EQ(HXR_GetDoubleGamma(h, &g0, &g255, c0, c255), 1503u);
}

TEST_F(HxrJobStart, PackagesThroughTheirGetters) {
    void* h = create(records(), 7);
    ASSERT_EQ(HXR_StartJob(h), 0u) << error();
    const HXRInstance* i = inst(h);
    unsigned char* data = nullptr;
    int size = 0;
    ASSERT_EQ(HXR_GetSlut(h, &data, &size), 0u);
    const uint8_t* package = nullptr;
    uint32_t packageSize = 0;
    ASSERT_EQ(HXRGetSlut(i->slut, &package, &packageSize), 0u);
    EXPECT_EQ(data, package);
    EXPECT_EQ(uint32_t(size), packageSize);
    EXPECT_EQ(HXR_GetSlut(h, nullptr, &size), 1401u);

    void* rh = nullptr;
    unsigned rhSize = 0;
    const void* image = nullptr;
    uint32_t imageSize = 0;
    ASSERT_EQ(HXRGetRHData(i->rh, &image, &imageSize), 0u);
    ASSERT_EQ(HXR_GetRHData(h, &rh, &rhSize), 0u);
    EXPECT_EQ(rh, image);
    EXPECT_EQ(rhSize, imageSize);
    EXPECT_EQ(HXR_GetRHData(h, &rh, nullptr), 1701u);
    const uint32_t blocks = HXRGetMemBlockCount(i->memory);
    ASSERT_EQ(HXR_GetRHCommonData(h, &rh, &rhSize, 0), 0u);
    EXPECT_EQ(rhSize, 26u);
    EXPECT_EQ(static_cast<const uint8_t*>(rh)[0], 4u);  // K
    EXPECT_EQ(HXR_GetRHLutData(h, &rh, &rhSize, kHxrRhLutGrid), 0u);
    EXPECT_GT(rhSize, 64u * 64 * 64 * 4);
    EXPECT_EQ(HXR_GetRHLutData(h, &rh, &rhSize, 3), 1902u);  // another kind
    EXPECT_EQ(HXR_GetRHDitherData(h, &rh, &rhSize, 1), 2002u);
    EXPECT_EQ(HXRGetMemBlockCount(i->memory), blocks + 2);  // the two descriptors handed out
}

TEST_F(HxrJobStart, AFailedStartRecordsNothingAndCannotRunAgain) {
    const struct {
        const char* fail;
        uint32_t code;
        const ovcg_test::ModelPrintMode m;
    } cases[] = {
        {"setData", kHxrStartResourceData, mode()},
        {"setHybridED", kHxrStartHybridED, mode(0, 6, 2)},
        {"create", kHxrStartController, mode()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fail);
        bnrz.world().fail = {c.fail};
        void* h = create(records(1, &c.m));
        EXPECT_EQ(HXR_StartJob(h), c.code);
        bnrz.world().fail.clear();
        const HXRInstance* i = inst(h);
        EXPECT_EQ(i->htCtrl, nullptr);
        EXPECT_EQ(i->dataSet, nullptr);
        EXPECT_EQ(i->colours, nullptr);
        EXPECT_EQ(i->state, kHxrStateCreated | kHxrStateStartFailed);
        // The band calls find no controller; the start does not run twice.
        std::vector<uint8_t> rgb(303), planes(104);
        const void* in[3] = {&rgb[0], &rgb[1], &rgb[2]};
        unsigned char* out[4] = {&planes[0], &planes[26], &planes[52], &planes[78]};
        EXPECT_EQ(HXR_Halftone(h, out, nullptr, in, nullptr, 101, 0, 1, 0), 702u);
        EXPECT_EQ(HXR_StartJob(h), kHxrStartAgain);
        drop(h);
    }
}

}  // namespace
}  // namespace hxr_test
