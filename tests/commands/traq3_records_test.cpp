#include "commands/traq3_records.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/stream_validator.h"

namespace ovcg {
namespace {

using ovcg_test::bytes_of;
using ovcg_test::hex_of;
using P = CTRAQ3V1::Point;

// Development 720x1440, resolution 360x720, sheet 1000x2000, area 900x1800,
// margins 11 (left) and 22 (top).
template <class T>
std::unique_ptr<T> make_holder() {
    const P margin{11, 22};
    return std::make_unique<T>(P{720, 1440}, P{360, 720}, P{1000, 2000}, P{900, 1800}, margin);
}

enum Rec { kQlty, kSlut, kMake, kProc, kEndp, kTerm, kMkim, kDsnd, kRecs };
const char* const kRecNames[kRecs] = {"qlty", "slut", "make", "proc", "endp", "term", "mkim", "dsnd"};

std::vector<uint8_t> record(const CTRAQ3V1& h, int r) {
    const void* p = nullptr;
    unsigned n = 0;
    switch (r) {
        case kQlty: p = h.pvGet_SetPrintingQuality(), n = h.uiGetLength_SetPrintingQuality(); break;
        case kSlut: p = h.pvGet_SetUserDefinedLUT(), n = h.uiGetLength_SetUserDefinedLUT(); break;
        case kMake: p = h.pvGet_MakePage(), n = h.uiGetLength_MakePage(); break;
        case kProc: p = h.pvGet_Proceed(), n = h.uiGetLength_Proceed(); break;
        case kEndp: p = h.pvGet_EndOfPage(), n = h.uiGetLength_EndOfPage(); break;
        case kTerm: p = h.pvGet_TerminatePage(), n = h.uiGetLength_TerminatePage(); break;
        case kMkim: p = h.pvGet_MakeImageObject(), n = h.uiGetLength_MakeImageObject(); break;
        case kDsnd: p = h.pvGet_SendData(), n = h.uiGetLength_SendData(); break;
    }
    if (!p) return {};
    const uint8_t* b = static_cast<const uint8_t*>(p);
    return std::vector<uint8_t>(b, b + n);
}

std::array<std::vector<uint8_t>, kRecs> all_records(const CTRAQ3V1& h) {
    std::array<std::vector<uint8_t>, kRecs> out;
    for (int r = 0; r < kRecs; ++r) out[r] = record(h, r);
    return out;
}

const char* const kMakeImage =
    "1B 'p' 00 2B 'make' 'D:' 05 A0 'M:' 00 00 03 E8 'N:' 00 00 07 D0 'T:' 00 00 00 16 'L:' 00 00 00 0B "
    "'W:' 00 00 03 84 'H:' 00 00 07 08 'A:' 02";
const char* const kProcImage = "1B 'p' 00 00 'proc'";
const char* const kEndpImage = "1B 'p' 00 03 'endp' 'E:' 01";
const char* const kTermImage = "1B 'p' 00 03 'term' 'E:' 01";
const char* const kDsndImage = "1B 'd' 00 0E 'dsnd' '#:' 00 00 'S:' 00 01 '+:' 00 00 00 00";

// The record images of both versions right after construction; version 2
// has no slut and starts with an empty photo block (count 0, 69 bytes sent).
TEST(Traq3Records, ImagesAfterConstruction) {
    struct Version {
        std::unique_ptr<CTRAQ3V1> holder;
        const char* want[kRecs];
        unsigned sizes[kRecs];
    } versions[] = {
        {make_holder<CTRAQ3V1_1>(),
         {"1B 'm' 00 29 'qlty' 'B:' 00 'W:' 00 'D:' 00 'Z:' 00 'H:' 01 68 'V:' 02 D0 'F:' 01 'S:' 00 "
          "'L:' 00 00 'X:' 05 A0 'E:' 00 00 'J:' 01",
          "1B 'm' 00 0A 'slut' 'I:' 00 00 '+:' 00 00 00 00", kMakeImage, kProcImage, kEndpImage, kTermImage,
          "1B 'o' 00 26 'mkim' '#:' 00 00 'D:' 05 A0 'X:' 00 00 00 00 'Y:' 00 00 00 00 'W:' 00 00 00 00 "
          "'H:' 00 00 00 00 'J:' 00 00 00 00",
          kDsndImage},
         {49, 18, 51, 8, 11, 11, 46, 22}},
        {make_holder<CTRAQ3V1_2>(),
         {"1B 'm' 00 3D 'qlty' 'B:' 00 'W:' 00 'D:' 00 'Z:' 00 'H:' 01 68 'V:' 02 D0 'F:' 01 'L:' FF FF "
          "'X:' 05 A0 'I:' 00 00 00 00 'G:' 00 00 00 00 'U:' 00 00 00 00 'P:' 00 00 00 00 00 00 00 00 00 00",
          "", kMakeImage, kProcImage, kEndpImage, kTermImage,
          "1B 'o' 00 29 'mkim' '#:' 00 00 'D:' 05 A0 'X:' 00 00 00 00 'Y:' 00 00 00 00 'W:' 00 00 00 00 "
          "'H:' 00 00 00 00 'J:' 00 00 00 00 'F:' 01",
          kDsndImage},
         {69, 0, 51, 8, 11, 11, 49, 22}},
    };
    for (const Version& v : versions) {
        for (int r = 0; r < kRecs; ++r) {
            SCOPED_TRACE(kRecNames[r]);
            const auto got = record(*v.holder, r);
            EXPECT_EQ(got.size(), v.sizes[r]);
            EXPECT_EQ(hex_of(got), hex_of(bytes_of(v.want[r])));
        }
    }
    EXPECT_EQ(versions[1].holder->pvGet_SetUserDefinedLUT(), nullptr);
}

// The geometry goes where it belongs: the larger development value feeds X and
// both denominators, whichever axis it is on; negative inputs wrap as the
// unsigned fields they land in.
TEST(Traq3Records, ConstructorGeometry) {
    CTRAQ3V1_1 h(P{2880, 720}, P{1440, 360}, P{-1, 7}, P{0, 65536}, P{3, 4});
    EXPECT_EQ(h.usGetqltyHorizontalDevelopmentResolution(), 2880);
    EXPECT_EQ(h.usGetmakeDenominator(), 2880);
    EXPECT_EQ(h.usGetmkimDenominator(), 2880);
    EXPECT_EQ(h.usGetqltyHorizontalResolution(), 1440);
    EXPECT_EQ(h.usGetqltyVerticalResolution(), 360);
    EXPECT_EQ(h.ulGetmakeSheetWidth(), 0xFFFFFFFFu);
    EXPECT_EQ(h.ulGetmakeSheetHeight(), 7u);
    EXPECT_EQ(h.ulGetmakePrintAreaWidth(), 0u);
    EXPECT_EQ(h.ulGetmakePrintAreaHeight(), 65536u);
    EXPECT_EQ(h.ulGetmakeLeftMargin(), 3u);
    EXPECT_EQ(h.ulGetmakeTopMargin(), 4u);
}

struct FieldCase {
    const char* name;
    std::function<void(CTRAQ3V1&, uint32_t)> set;
    std::function<uint32_t(const CTRAQ3V1&)> get;
    int rec;
    size_t offset;
    size_t size;  // 0: the version has no such field
};

#define FIELD(rec, field, pfx, r, off, sz)                                                  \
    FieldCase {                                                                            \
        #rec #field,                                                                       \
            [](CTRAQ3V1& h, uint32_t v) {                                                  \
                h.vSet##rec##field(static_cast<decltype(h.pfx##Get##rec##field())>(v));    \
            },                                                                             \
            [](const CTRAQ3V1& h) { return static_cast<uint32_t>(h.pfx##Get##rec##field()); }, \
            r, off, sz                                                                     \
    }

// The fields that sit at the same place in both versions.
std::vector<FieldCase> common_fields() {
    return {
        FIELD(qlty, BlackAndWhitePrinting, uc, kQlty, 10, 1),
        FIELD(qlty, MicroWeave, uc, kQlty, 13, 1),
        FIELD(qlty, PrintingDirectionControl, uc, kQlty, 16, 1),
        FIELD(qlty, DotSize, uc, kQlty, 19, 1),
        FIELD(qlty, HorizontalResolution, us, kQlty, 22, 2),
        FIELD(qlty, VerticalResolution, us, kQlty, 26, 2),
        FIELD(qlty, Halftone, uc, kQlty, 30, 1),
        FIELD(make, Denominator, us, kMake, 10, 2),
        FIELD(make, SheetWidth, ul, kMake, 14, 4),
        FIELD(make, SheetHeight, ul, kMake, 20, 4),
        FIELD(make, TopMargin, ul, kMake, 26, 4),
        FIELD(make, LeftMargin, ul, kMake, 32, 4),
        FIELD(make, PrintAreaWidth, ul, kMake, 38, 4),
        FIELD(make, PrintAreaHeight, ul, kMake, 44, 4),
        FIELD(make, Arrangement, uc, kMake, 50, 1),
        FIELD(endp, Eject, uc, kEndp, 10, 1),
        FIELD(term, Eject, uc, kTerm, 10, 1),
        FIELD(mkim, ObjectNumber, us, kMkim, 10, 2),
        FIELD(mkim, Denominator, us, kMkim, 14, 2),
        FIELD(mkim, HorizontalPosition, ul, kMkim, 18, 4),
        FIELD(mkim, VerticalPosition, ul, kMkim, 24, 4),
        FIELD(mkim, PrintingAreaWidth, ul, kMkim, 30, 4),
        FIELD(mkim, PrintingAreaHeight, ul, kMkim, 36, 4),
        FIELD(mkim, VerticalJpegPosition, ul, kMkim, 42, 4),
        FIELD(dsnd, ObjectNumber, us, kDsnd, 10, 2),
        FIELD(dsnd, Status, us, kDsnd, 14, 2),
        FIELD(dsnd, DataLength, ul, kDsnd, 18, 4),
    };
}

std::vector<FieldCase> v1_fields() {
    auto f = common_fields();
    const FieldCase more[] = {
        FIELD(qlty, HtSubType, uc, kQlty, 33, 1),
        FIELD(qlty, IdOfUserDefinedLUT, us, kQlty, 36, 2),
        FIELD(qlty, HorizontalDevelopmentResolution, us, kQlty, 40, 2),
        FIELD(qlty, Overprint, us, kQlty, 44, 2),
        FIELD(qlty, UpperSkip, uc, kQlty, 48, 1),
        FIELD(slut, Id, us, kSlut, 10, 2),
        FIELD(slut, DataLength, ul, kSlut, 14, 4),
        FIELD(qlty, Intent, ul, kQlty, 0, 0),
        FIELD(qlty, UnitNumber, ul, kQlty, 0, 0),
        FIELD(qlty, CmSubType, ul, kQlty, 0, 0),
        FIELD(mkim, Format, uc, kMkim, 0, 0),
    };
    f.insert(f.end(), std::begin(more), std::end(more));
    return f;
}

std::vector<FieldCase> v2_fields() {
    auto f = common_fields();
    const FieldCase more[] = {
        FIELD(qlty, IdOfUserDefinedLUT, us, kQlty, 33, 2),
        FIELD(qlty, HorizontalDevelopmentResolution, us, kQlty, 37, 2),
        FIELD(qlty, Intent, ul, kQlty, 41, 4),
        FIELD(qlty, UnitNumber, ul, kQlty, 47, 4),
        FIELD(qlty, CmSubType, ul, kQlty, 53, 4),
        FIELD(mkim, Format, uc, kMkim, 48, 1),
        FIELD(qlty, HtSubType, uc, kQlty, 0, 0),
        FIELD(qlty, Overprint, us, kQlty, 0, 0),
        FIELD(qlty, UpperSkip, uc, kQlty, 0, 0),
        FIELD(slut, Id, us, kSlut, 0, 0),
        FIELD(slut, DataLength, ul, kSlut, 0, 0),
    };
    f.insert(f.end(), std::begin(more), std::end(more));
    return f;
}

// Each setter writes its value big-endian at its offset and nowhere else, and
// the getter returns it; a field the version lacks changes nothing and reads 0.
void check_fields(const std::function<std::unique_ptr<CTRAQ3V1>()>& make, const std::vector<FieldCase>& fields) {
    const uint32_t pattern = 0xA1B2C3D4u;
    for (const FieldCase& t : fields) {
        SCOPED_TRACE(t.name);
        auto h = make();
        const auto before = all_records(*h);
        t.set(*h, pattern);
        auto want = before;
        uint32_t v = 0;
        if (t.size) {
            v = t.size == 4 ? pattern : pattern & ((1u << (8 * t.size)) - 1);
            auto& rec = want[t.rec];
            ASSERT_LE(t.offset + t.size, rec.size());
            EXPECT_EQ(rec[t.offset - 1], ':');
            for (size_t i = 0; i < t.size; ++i) rec[t.offset + i] = static_cast<uint8_t>(v >> (8 * (t.size - 1 - i)));
        }
        const auto after = all_records(*h);
        for (int r = 0; r < kRecs; ++r) EXPECT_EQ(hex_of(after[r]), hex_of(want[r])) << kRecNames[r];
        EXPECT_EQ(t.get(*h), v);
    }
}

TEST(Traq3Records, Version1FieldsAtTheirOffsets) {
    check_fields([] { return std::unique_ptr<CTRAQ3V1>(make_holder<CTRAQ3V1_1>()); }, v1_fields());
}

TEST(Traq3Records, Version2FieldsAtTheirOffsets) {
    check_fields([] { return std::unique_ptr<CTRAQ3V1>(make_holder<CTRAQ3V1_2>()); }, v2_fields());
}

TEST(Traq3Records, CommandHeaderSizeIsTheQltyLengthField) {
    std::unique_ptr<CTRAQ3V1> holders[] = {make_holder<CTRAQ3V1_1>(), make_holder<CTRAQ3V1_2>()};
    for (auto& h : holders) {
        EXPECT_EQ(h->ucGetqltyCommandHeaderSize(), record(*h, kQlty).size() - 8);
        h->vSetqltyCommandHeaderSize(0x1234);
        const auto q = record(*h, kQlty);
        EXPECT_EQ(q[2], 0x12);
        EXPECT_EQ(q[3], 0x34);
        EXPECT_EQ(h->ucGetqltyCommandHeaderSize(), 0x1234);
    }
}

uint16_t be16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>((b[at] << 8) | b[at + 1]); }

// Every record's length field covers exactly what is sent after its header,
// including version 2's qlty at every photo count.
TEST(Traq3Records, LengthFieldsMatchTheBytesSent) {
    auto check = [](const CTRAQ3V1& h) {
        for (int r = 0; r < kRecs; ++r) {
            const auto b = record(h, r);
            if (b.empty()) continue;
            EXPECT_EQ(be16(b, 2) + 8u, b.size()) << kRecNames[r];
        }
    };
    check(*make_holder<CTRAQ3V1_1>());
    auto h = make_holder<CTRAQ3V1_2>();
    check(*h);
    const int values[16] = {};
    for (int n = -2; n <= 18; ++n) {
        SCOPED_TRACE(n);
        h->vSetqltyPhoto(200, 0, 0, 0, 0, 0, 0, n, values);
        check(*h);
    }
}

TEST(Traq3Records, PhotoCountSetsTheQltySize) {
    auto h = make_holder<CTRAQ3V1_2>();
    std::vector<int> values(16, 2048);
    struct {
        int n;
        unsigned size;
        uint16_t length, count;
    } cases[] = {{0, 69, 0x3D, 0}, {16, 101, 0x5D, 16}, {1, 71, 0x3F, 1}, {17, 101, 0x5D, 16}, {-1, 69, 0x3D, 0}};
    for (const auto& t : cases) {
        SCOPED_TRACE(t.n);
        h->vSetqltyPhoto(100, 0, 0, 0, 0, 0, 0, t.n, values.data());
        const auto q = record(*h, kQlty);
        EXPECT_EQ(h->uiGetLength_SetPrintingQuality(), t.size);
        EXPECT_EQ(q.size(), t.size);
        EXPECT_EQ(be16(q, 2), t.length);
        EXPECT_EQ(h->ucGetqltyCommandHeaderSize(), t.length);
        EXPECT_EQ(be16(q, 67), t.count);
    }
}

TEST(Traq3Records, PhotoClampsEveryValue) {
    auto h = make_holder<CTRAQ3V1_2>();
    const int values[16] = {-5, 0, 4096, 5000, 1, 4095, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    struct {
        int a, adj;
        uint16_t gamma;
        uint8_t adj_byte;
    } cases[] = {
        {50, -80, 100, 0xCE}, {1000, 80, 300, 0x32}, {200, -7, 200, 0xF9},
        {100, -50, 100, 0xCE}, {300, 50, 300, 0x32}, {-1, 0, 100, 0x00},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.a);
        h->vSetqltyPhoto(t.a, t.adj, t.adj, t.adj, t.adj, t.adj, t.adj, 16, values);
        const auto q = record(*h, kQlty);
        ASSERT_EQ(q.size(), 101u);
        EXPECT_EQ(be16(q, 59), t.gamma);
        for (size_t i = 61; i <= 66; ++i) EXPECT_EQ(q[i], t.adj_byte) << i;
    }
    const auto q = record(*h, kQlty);
    const uint16_t want[16] = {0, 0, 4096, 4096, 1, 4095, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    for (size_t i = 0; i < 16; ++i) EXPECT_EQ(be16(q, 69 + 2 * i), want[i]) << i;

    // The adjustments are clamped one by one.
    h->vSetqltyPhoto(150, -51, -50, 0, 49, 50, 51, 0, nullptr);
    const auto a = record(*h, kQlty);
    EXPECT_EQ(hex_of(a.data() + 59, 8), "00 96 CE CE 00 31 32 32");
}

// A smaller count resets the values beyond it to 1024 (still in the record
// image, though not sent); no values at all leave every value at 1024.
TEST(Traq3Records, PhotoValuesBeyondTheCountReturnTo1024) {
    auto h = make_holder<CTRAQ3V1_2>();
    const int sevens[16] = {7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
    h->vSetqltyPhoto(100, 0, 0, 0, 0, 0, 0, 16, sevens);
    h->vSetqltyPhoto(100, 0, 0, 0, 0, 0, 0, 2, sevens);
    const uint8_t* q = static_cast<const uint8_t*>(h->pvGet_SetPrintingQuality());
    for (size_t i = 0; i < 16; ++i) {
        const unsigned v = (q[69 + 2 * i] << 8) | q[70 + 2 * i];
        EXPECT_EQ(v, i < 2 ? 7u : 1024u) << i;
    }
    h->vSetqltyPhoto(100, 0, 0, 0, 0, 0, 0, 3, nullptr);
    EXPECT_EQ(h->uiGetLength_SetPrintingQuality(), 75u);
    for (size_t i = 0; i < 16; ++i) EXPECT_EQ((q[69 + 2 * i] << 8) | q[70 + 2 * i], 1024) << i;
}

TEST(Traq3Records, PhotoIsAVersion2Feature) {
    auto h = make_holder<CTRAQ3V1_1>();
    const auto before = all_records(*h);
    const int values[16] = {1};
    h->vSetqltyPhoto(200, 1, 2, 3, 4, 5, 6, 16, values);
    EXPECT_EQ(all_records(*h), before);
}

struct HalftoneCase {
    int kind, method;
    bool ok;
    unsigned char value;
};

TEST(Traq3Records, SelectHalftone) {
    const HalftoneCase v1[] = {
        {4, 1, true, 5}, {4, 3, true, 2}, {0, 1, true, 4}, {0, 3, true, 0}, {7, 1, true, 4},
        {4, 2, false, 0}, {0, 0, false, 0}, {4, -1, false, 0},
    };
    const HalftoneCase v2[] = {
        {4, 3, true, 0}, {0, 3, true, 0}, {4, 1, false, 0}, {0, 2, false, 0}, {0, 0, false, 0},
    };
    auto run = [](const CTRAQ3V1& h, const HalftoneCase* cases, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            const auto& t = cases[i];
            SCOPED_TRACE(std::to_string(t.kind) + "/" + std::to_string(t.method));
            unsigned char out = 0xEE;
            EXPECT_EQ(h.bSelectHalftone(t.kind, t.method, &out), t.ok);
            EXPECT_EQ(out, t.ok ? t.value : 0xEE);  // untouched when there is no value
            EXPECT_EQ(h.bSelectHalftone(t.kind, t.method, nullptr), t.ok);
        }
    };
    run(*make_holder<CTRAQ3V1_1>(), v1, std::size(v1));
    run(*make_holder<CTRAQ3V1_2>(), v2, std::size(v2));
}

struct BwCase {
    int format, override_, mono;
    unsigned char value;
};

TEST(Traq3Records, SelectBlackAndWhitePrinting) {
    const BwCase v1[] = {
        {0, 0, 0, 1}, {0, 0, 1, 1}, {1, 1, 0, 1}, {1, 1, 1, 1}, {1, 0, 1, 2}, {1, 0, 0, 0}, {2, 2, 5, 2}, {3, 2, 0, 0},
    };
    const BwCase v2[] = {
        {0, 1, 0, 1}, {1, 1, 1, 1}, {1, 0, 1, 2}, {0, 0, 1, 2}, {1, 0, 0, 0}, {0, 0, 0, 3}, {0, 2, 0, 3},
    };
    auto run = [](const CTRAQ3V1& h, const BwCase* cases, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            const auto& t = cases[i];
            SCOPED_TRACE(std::to_string(t.format) + "/" + std::to_string(t.override_) + "/" + std::to_string(t.mono));
            unsigned char out = 0xEE;
            EXPECT_TRUE(h.bSelectBlackAndWhitePrinting(t.format, t.override_, t.mono, &out));
            EXPECT_EQ(out, t.value);
            EXPECT_TRUE(h.bSelectBlackAndWhitePrinting(t.format, t.override_, t.mono, nullptr));
        }
    };
    run(*make_holder<CTRAQ3V1_1>(), v1, std::size(v1));
    run(*make_holder<CTRAQ3V1_2>(), v2, std::size(v2));
}

TEST(Traq3Records, BaseAnswersNothing) {
    CTRAQ3V1 base;
    for (int r = 0; r < kRecs; ++r) EXPECT_TRUE(record(base, r).empty()) << kRecNames[r];
    unsigned char out = 0xEE;
    EXPECT_FALSE(base.bSelectHalftone(4, 1, &out));
    EXPECT_EQ(out, 0);
    out = 0xEE;
    EXPECT_FALSE(base.bSelectBlackAndWhitePrinting(0, 1, 0, &out));
    EXPECT_EQ(out, 0);
    base.vSetmkimVerticalPosition(5);
    EXPECT_EQ(base.ulGetmkimVerticalPosition(), 0u);
    base.vSetOffsetSetted(true);
    EXPECT_FALSE(base.bGetOffsetSetted());
    EXPECT_EQ(base.ucGetqltyCommandHeaderSize(), 0);
    // A holder keeps the offset flag.
    auto h = make_holder<CTRAQ3V1_2>();
    EXPECT_FALSE(h->bGetOffsetSetted());
    h->vSetOffsetSetted(true);
    EXPECT_TRUE(h->bGetOffsetSetted());
}

// Whole records after the fill sequences their users run, written out from
// the record layouts: every field, the length field and the sent size at once.
TEST(Traq3Records, FilledRecordsByteExact) {
    struct Case {
        const char* name;
        int version;
        int rec;
        std::function<void(CTRAQ3V1&)> fill;
        const char* want;
    } cases[] = {
        {"v1 qlty", 1, kQlty,
         [](CTRAQ3V1& h) {
             h.vSetqltyBlackAndWhitePrinting(2), h.vSetqltyMicroWeave(1), h.vSetqltyPrintingDirectionControl(1);
             h.vSetqltyDotSize(0x10), h.vSetqltyHalftone(5), h.vSetqltyHtSubType(3);
             h.vSetqltyIdOfUserDefinedLUT(0x0102), h.vSetqltyOverprint(1), h.vSetqltyUpperSkip(0);
         },
         "1B 'm' 00 29 'qlty' 'B:' 02 'W:' 01 'D:' 01 'Z:' 10 'H:' 01 68 'V:' 02 D0 'F:' 05 'S:' 03 "
         "'L:' 01 02 'X:' 05 A0 'E:' 00 01 'J:' 00"},
        {"v2 qlty, two photo values", 2, kQlty,
         [](CTRAQ3V1& h) {
             h.vSetqltyIntent(0x01020304), h.vSetqltyUnitNumber(1), h.vSetqltyCmSubType(0x0A);
             const int values[2] = {0x0123, 4097};
             h.vSetqltyPhoto(180, 1, -1, 50, -50, 0, 7, 2, values);
         },
         "1B 'm' 00 41 'qlty' 'B:' 00 'W:' 00 'D:' 00 'Z:' 00 'H:' 01 68 'V:' 02 D0 'F:' 01 'L:' FF FF "
         "'X:' 05 A0 'I:' 01 02 03 04 'G:' 00 00 00 01 'U:' 00 00 00 0A "
         "'P:' 00 B4 01 FF 32 CE 00 07 00 02 01 23 10 00"},
        {"v1 slut", 1, kSlut, [](CTRAQ3V1& h) { h.vSetslutId(7), h.vSetslutDataLength(0x10000); },
         "1B 'm' 00 0A 'slut' 'I:' 00 07 '+:' 00 01 00 00"},
        {"v1 mkim", 1, kMkim,
         [](CTRAQ3V1& h) {
             h.vSetmkimObjectNumber(3), h.vSetmkimHorizontalPosition(0x100), h.vSetmkimVerticalPosition(0x20000);
             h.vSetmkimPrintingAreaWidth(640), h.vSetmkimPrintingAreaHeight(16), h.vSetmkimVerticalJpegPosition(16);
             h.vSetmkimFormat(2);  // version 1 has no format
         },
         "1B 'o' 00 26 'mkim' '#:' 00 03 'D:' 05 A0 'X:' 00 00 01 00 'Y:' 00 02 00 00 'W:' 00 00 02 80 "
         "'H:' 00 00 00 10 'J:' 00 00 00 10"},
        {"v2 mkim", 2, kMkim,
         [](CTRAQ3V1& h) {
             h.vSetmkimObjectNumber(3), h.vSetmkimHorizontalPosition(0x100), h.vSetmkimVerticalPosition(0x20000);
             h.vSetmkimPrintingAreaWidth(640), h.vSetmkimPrintingAreaHeight(16), h.vSetmkimVerticalJpegPosition(16);
             h.vSetmkimFormat(2);
         },
         "1B 'o' 00 29 'mkim' '#:' 00 03 'D:' 05 A0 'X:' 00 00 01 00 'Y:' 00 02 00 00 'W:' 00 00 02 80 "
         "'H:' 00 00 00 10 'J:' 00 00 00 10 'F:' 02"},
        {"v2 dsnd, a middle chunk", 2, kDsnd,
         [](CTRAQ3V1& h) { h.vSetdsndObjectNumber(3), h.vSetdsndStatus(0), h.vSetdsndDataLength(0x1234); },
         "1B 'd' 00 0E 'dsnd' '#:' 00 03 'S:' 00 00 '+:' 00 00 12 34"},
        {"v1 make", 1, kMake, [](CTRAQ3V1& h) { h.vSetmakeArrangement(1); },
         "1B 'p' 00 2B 'make' 'D:' 05 A0 'M:' 00 00 03 E8 'N:' 00 00 07 D0 'T:' 00 00 00 16 'L:' 00 00 00 0B "
         "'W:' 00 00 03 84 'H:' 00 00 07 08 'A:' 01"},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        std::unique_ptr<CTRAQ3V1> h;
        if (t.version == 1)
            h = make_holder<CTRAQ3V1_1>();
        else
            h = make_holder<CTRAQ3V1_2>();
        t.fill(*h);
        EXPECT_EQ(hex_of(record(*h, t.rec)), hex_of(bytes_of(t.want)));
    }
}

// The records of both versions, with the data behind dsnd, form a stream that
// the stream validator accepts.
TEST(Traq3Records, RecordsOfBothVersionsPassTheStreamValidator) {
    std::unique_ptr<CTRAQ3V1> holders[] = {make_holder<CTRAQ3V1_1>(), make_holder<CTRAQ3V1_2>()};
    holders[1]->vSetqltyPhoto(150, 1, 2, 3, 4, 5, 6, 3, nullptr);
    for (auto& h : holders) {
        h->vSetdsndDataLength(4);
        std::vector<uint8_t> s;
        for (int r : {int{kQlty}, int{kMake}, int{kMkim}, int{kDsnd}, -1, int{kProc}, int{kEndp}, int{kTerm}}) {
            const auto b = r < 0 ? std::vector<uint8_t>{1, 2, 3, 4} : record(*h, r);
            s.insert(s.end(), b.begin(), b.end());
        }
        const ovcg_test::StreamCheck c = ovcg_test::ValidateStream(s);
        EXPECT_TRUE(c.ok) << c.error;
        EXPECT_EQ(c.names(ovcg_test::StreamItemKind::kLevel3Record),
                  (std::vector<std::string>{"qlty", "make", "mkim", "dsnd", "proc", "endp", "term"}));
    }
}

}  // namespace
}  // namespace ovcg
