// The command encoder: every command byte for byte (and refused at each of
// its pieces), the coders against a slow coder written step by step from
// the walk's description, libtiff as an independent decoder, and the
// worst-case buffer sizes at guard pages.
#include "headcontrol/ovc_encoder.h"

#include "headcontrol/codes.h"
#include "headcontrol/ovc_run_length.h"
#include "support/fake_ovf.h"
#include "support/guard_page.h"
#include "support/model.h"
#include "support/model_head_control.h"
#include "parsed_model.h"
#include "tiff_packbits.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace ovcg::irac {
namespace {

using ovcg_test::Bytes;
using ovcg_test::FakeOvf;

const Bytes& encoder_modes() {
    static const Bytes res = ovcg_test::head_control_variant_resource(ovcg_test::HcVariant::EncoderModes);
    return res;
}

// Encoder case indexes of HcVariant::EncoderModes.
enum : size_t { kPlain, kPlus1, kMinus1, kPlus2, kMinus2, kPlus3, kMinus128, kRemap, kMulti, kShortFormat };

// An encoder of one encoder case.
struct Encoder : ParsedModel {
    OvcContext* ctx = nullptr;
    uint32_t code = 0;

    explicit Encoder(size_t encoderCase, int32_t width = 64, int32_t lines = 1, size_t failAlloc = 0)
        : ParsedModel(encoder_modes(), ovcg_test::hc_encoder_mode_id(encoderCase)) {
        if (failAlloc) ovf.fail_alloc_from(ovf.alloc_calls() + failAlloc);
        code = OVC_Constructor(&ctx, &cb, rsc, width, lines);
    }
    ~Encoder() { OVC_Destructor(ctx); }
};

const Bytes kLine = {1, 1, 1, 1, 5, 6};
const Bytes kZeros(64, 0);

// ---- Commands -----------------------------------------------------------------------------------

struct CommandCase {
    const char* name;
    size_t encoder;
    std::function<uint32_t(OvcContext*)> call;
    std::vector<Bytes> pieces;
    std::vector<int> flags;
    std::vector<uint32_t> codes;  // the result when piece k is refused
};

// Runs `steps` in order, stopping at the first code.
uint32_t chain(std::initializer_list<std::function<uint32_t()>> steps) {
    for (const auto& s : steps)
        if (uint32_t rc = s()) return rc;
    return 0;
}

// Base 1440 at 120 dpi vertically and 180 dpi horizontally: steps 12 and 8.
const Bytes kUnit = {0x1B, 0x28, 0x44, 0x04, 0x00, 0xA0, 0x05, 0x0C, 0x08};
const Bytes kDeferred = {0x1B, 0x28, 0x64, 0x01, 0x00, 0x00};
Bytes feed(uint32_t v) {
    return {0x1B, 0x28, 0x76, 0x04, 0x00, uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

std::vector<CommandCase> command_cases() {
    return {
        {"feed", kPlus2, [](OvcContext* c) { return OVC_SendVPos(c, 100); }, {feed(100)}, {0}, {kOvcSendFeed}},
        {"feed back", kPlus2,
         [](OvcContext* c) { return chain({[&] { return OVC_StartPage(c, 100); }, [&] { return OVC_SendVPos(c, 40); }}); },
         {feed(uint32_t(-60))}, {0}, {kOvcSendFeed}},
        {"feed to the current position", kPlus2,
         [](OvcContext* c) { return chain({[&] { return OVC_StartPage(c, 7); }, [&] { return OVC_SendVPos(c, 7); }}); },
         {}, {}, {}},
        {"pending correction replaces the feed once", kPlus2,
         [](OvcContext* c) {
             OVC_StartPage(c, 7);
             OVC_Set_arc_vpos(c, 2);
             OVC_Set_arc_vpos(c, 3);
             return chain({[&] { return OVC_SendVPos(c, 7); }, [&] { return OVC_SendVPos(c, 7); }});
         },
         {feed(5)}, {0}, {kOvcSendFeed}},
        {"zero feed", kPlus2, [](OvcContext* c) { return OVC_SendVPosZero(c); }, {feed(0)}, {0}, {kOvcSendZeroFeed}},
        {"deferred feed", kPlus2, [](OvcContext* c) { return OVC_SendTCCommand(c, 9); }, {feed(9), kDeferred}, {0, 1},
         {kOvcSendFeed, kOvcSendDeferredFeed}},
        {"initialise", kPlus2, [](OvcContext* c) { return OVC_SendInitializeCommand(c, 0, 0); },
         {kUnit, {0x1B, 0x28, 0x6D, 0x04, 0x00, 0x03, 0x0C, 0x0B, 0x0A}, {0x1B, 0x28, 0x65, 0x02, 0x00, 0x00, 0x23}},
         {0, 0, 0}, {kOvcSendUnit, kOvcSendPageFormat, kOvcSendDotSize}},
        {"initialise: short page format, extra record, deferred feed", kShortFormat,
         [](OvcContext* c) { return OVC_SendInitializeCommand(c, 5, 1); },
         {kUnit, {0x1B, 0x28, 0x6D, 0x01, 0x00, 0x09}, {0x1B, 0x28, 0x66, 0x04, 0x00, 0x01}, {0xE1, 0xE2, 0xE3},
          {0x1B, 0x28, 0x65, 0x02, 0x00, 0x00, 0x29}, feed(5), kDeferred},
         {0, 0, 0, 0, 0, 0, 1},
         {kOvcSendUnit, kOvcSendPageFormat, kOvcSendExtraHeader, kOvcSendExtraData, kOvcSendDotSize, kOvcSendFeed,
          kOvcSendDeferredFeed}},
        {"horizontal position", kPlus2, [](OvcContext* c) { return OVC_SendHPos(c, 0x1234); },
         {{0x1B, 0x28, 0x24, 0x04, 0x00, 0x34, 0x12, 0x00, 0x00}}, {0}, {kOvcSendHPos}},
        {"horizontal position 0", kPlus2, [](OvcContext* c) { return OVC_SendHPos(c, 0); }, {}, {}, {}},
        {"carriage return", kPlus2, [](OvcContext* c) { return OVC_SendCR(c); }, {{0x0D}}, {1}, {kOvcSendCR}},
        {"colour/mono", kPlus2, [](OvcContext* c) { return OVC_SendColorMonoSelection(c, 2); },
         {{0x1B, 0x28, 0x4B, 0x02, 0x00, 0x00, 0x02}}, {0}, {kOvcSendColorMono}},
        {"direction", kPlus2, [](OvcContext* c) { return OVC_SendDirection(c, 1); }, {{0x1B, 0x55, 0x01}}, {0},
         {kOvcSendDirection}},
        // 1 1 1 1 5 6 with m = 2: a repeat of 4 (FD 01), then the two bytes
        // left as one literal; six zeros: a repeat of 6 (FB 00).
        {"coded single-line raster", kPlus2,
         [](OvcContext* c) {
             return chain({[&] { return OVC_SendRasterImage_head(c, 0x12, 6, 2, 1, kZeros.data()); },
                           [&] { return OVC_SendRasterImage_data(c, kLine.data(), 0); },
                           [&] { return OVC_SendRasterImage_data(c, nullptr, 1); }});
         },
         {{0x1B, 0x69, 0x12, 0x01, 0x02, 0x06, 0x00, 0x02, 0x00}, {0xFD, 0x01, 0x01, 0x05, 0x06}, {0xFB, 0x00}},
         {0, 0, 0}, {kOvcSendHead, kOvcSendData, kOvcSendData}},
        {"plain single-line raster", kPlus2,
         [](OvcContext* c) {
             return chain({[&] { return OVC_SendRasterImage_head(c, 0x12, 6, 1, 0, kZeros.data()); },
                           [&] { return OVC_SendRasterImage_data(c, kLine.data(), 0); }});
         },
         {{0x1B, 0x69, 0x12, 0x00, 0x02, 0x06, 0x00, 0x01, 0x00}, kLine}, {0, 0}, {kOvcSendHead, kOvcSendData}},
        {"remapped colour takes bits 3, the last pair wins", kRemap,
         [](OvcContext* c) {
             return chain({[&] { return OVC_SendRasterImage_head(c, 0x10, 6, 1, 0, nullptr); },
                           [&] { return OVC_SendRasterImage_head(c, 0x11, 6, 1, 0, nullptr); },
                           [&] { return OVC_SendRasterImage_head(c, 0x12, 6, 1, 0, nullptr); }});
         },
         {{0x1B, 0x69, 0x50, 0x00, 0x03, 0x06, 0x00, 0x01, 0x00},
          {0x1B, 0x69, 0x41, 0x00, 0x03, 0x06, 0x00, 0x01, 0x00},
          {0x1B, 0x69, 0x12, 0x00, 0x02, 0x06, 0x00, 0x01, 0x00}},
         {0, 0, 0}, {kOvcSendHead, kOvcSendHead, kOvcSendHead}},
        {"coding off: plain headers and data", kPlain,
         [](OvcContext* c) {
             return chain({[&] { return OVC_SendRasterImage_head(c, 0x12, 6, 1, 1, kZeros.data()); },
                           [&] { return OVC_SendRasterImage_data(c, kLine.data(), 0); },
                           [&] { return OVC_SendRasterImage_head_multi(c, 0, 0x12, 6, 6, 1, 1); },
                           [&] { return OVC_SendRasterImage_data_multi(c, kLine.data()); }});
         },
         {{0x1B, 0x69, 0x12, 0x00, 0x02, 0x06, 0x00, 0x01, 0x00}, kLine,
          {0x1B, 0x69, 0x12, 0x04, 0x02, 0x06, 0x00, 0x01, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00}, kLine},
         {0, 0, 0, 0}, {kOvcSendHead, kOvcSendData, kOvcSendMultiHead, kOvcSendMultiData}},
        // Minus coder, m = 2: the same 5 bytes for the line; the code fill 7.
        {"coded multi-line block", kMulti,
         [](OvcContext* c) {
             EXPECT_EQ(OVC_EncodeRastergraphics(c, kLine.data(), 6), 5);
             EXPECT_EQ(OVC_EncodeNullRastergraphics(c, 6), 2);
             return chain({[&] { return OVC_SendRasterImage_head_multi(c, 2, 0x11, 6, 7, 2, 1); },
                           [&] { return OVC_SendRasterImage_data_multi(c, nullptr); }});
         },
         {{0x1B, 0x69, 0x11, 0x05, 0x02, 0x06, 0x00, 0x02, 0x00, 0x02, 0x07, 0x00, 0x00, 0x00},
          {0xFD, 0x01, 0x01, 0x05, 0x06, 0xFB, 0x00}},
         {0, 0}, {kOvcSendMultiHead, kOvcSendMultiData}},
        {"band-path headers, both forms", kPlus2,
         [](OvcContext* c) {
             return chain({[&] { return OVC_SendRasterImage_head_stm(c, 1, 0x13, 50, 999, 4, 1, 1, 1); },
                           [&] { return OVC_SendRasterImage_head_stm(c, 1, 0x13, 50, 999, 4, 0, 1, 0); }});
         },
         {{0x1B, 0x69, 0x13, 0x05, 0x01, 0x32, 0x00, 0x04, 0x00, 0x01, 0xE7, 0x03, 0x00, 0x00},
          {0x1B, 0x69, 0x13, 0x00, 0x01, 0x32, 0x00, 0x04, 0x00}},
         {0, 0}, {kOvcSendMultiHead, kOvcSendMultiHead}},
    };
}

TEST(HeadRasterCommands, EveryCommandByteForByteAndRefusedAtEachPiece) {
    for (const CommandCase& t : command_cases()) {
        SCOPED_TRACE(t.name);
        {
            Encoder e(t.encoder);
            ASSERT_EQ(e.code, 0u);
            EXPECT_EQ(t.call(e.ctx), 0u);
            const auto& sent = e.ovf.sent();
            ASSERT_EQ(sent.size(), t.pieces.size());
            for (size_t k = 0; k < sent.size(); ++k) {
                EXPECT_EQ(sent[k].bytes, t.pieces[k]) << "piece " << k;
                EXPECT_EQ(sent[k].flag, t.flags[k]) << "piece " << k;
            }
        }
        for (size_t k = 0; k < t.codes.size(); ++k) {
            Encoder e(t.encoder);
            e.ovf.fail_send_from(k + 1);
            EXPECT_EQ(t.call(e.ctx), t.codes[k]) << "refused piece " << k;
            EXPECT_EQ(e.ovf.sent().size(), k + 1) << "nothing goes out after a refused piece";
        }
    }
}

// The unit command's two bytes are the base's steps per dot: every
// resolution that divides the base into 1 to 255 steps is sent, anything
// else is refused before a byte goes out (a wrapped step would print at
// another resolution).
TEST(HeadRasterCommands, UnitStepsOrRefusal) {
    const struct {
        uint16_t base, vres, hres;
        int vStep, hStep;  // -1: refused
    } cases[] = {
        {2400, 600, 300, 4, 8},      {2400, 1200, 2400, 2, 1},  {2400, 2400, 2400, 1, 1},
        {1440, 120, 180, 12, 8},     {5760, 720, 360, 8, 16},   {255, 1, 1, 255, 255},
        {65535, 257, 65535, 255, 1},  // 65535 = 255 x 257
        {2400, 0, 300, -1, -1},      {2400, 600, 0, -1, -1},    // no resolution
        {2400, 700, 300, -1, -1},    {2400, 600, 360, -1, -1},  // not a divisor of the base
        {2400, 9, 300, -1, -1},      {256, 1, 2, -1, -1},       // 266 and 256 steps
        {0, 600, 300, -1, -1},                                  // 0 steps
        {1200, 2400, 600, -1, -1},                              // a resolution above the base
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.base << " " << c.vres << " x " << c.hres);
        Encoder e(kPlus2);
        ASSERT_EQ(e.code, 0u);
        e.rsc->esc->value3 = c.base;
        e.rsc->esc->value5 = c.vres;
        e.rsc->esc->value4 = c.hres;
        uint8_t v = 0, h = 0;
        const bool fits = RSC_ResolutionSteps(*e.rsc->esc, v, h);
        EXPECT_EQ(fits, c.vStep >= 0);
        if (c.vStep < 0) {
            EXPECT_EQ(OVC_SendInitializeCommand(e.ctx, 0, 1), kOvcBadResolution);
            EXPECT_TRUE(e.ovf.sent().empty());
            continue;
        }
        EXPECT_EQ(OVC_SendInitializeCommand(e.ctx, 0, 0), 0u);
        ASSERT_FALSE(e.ovf.sent().empty());
        const Bytes want = {0x1B, 0x28, 0x44, 0x04, 0x00, uint8_t(c.base), uint8_t(c.base >> 8), uint8_t(c.vStep),
                            uint8_t(c.hStep)};
        EXPECT_EQ(e.ovf.sent()[0].bytes, want);
        // Read back: the base over each byte is the resolution.
        EXPECT_EQ(c.base / want[7], c.vres);
        EXPECT_EQ(c.base / want[8], c.hres);
    }
}

TEST(HeadRasterCommands, PositionBookkeeping) {
    Encoder e(kPlus2);
    ASSERT_EQ(e.code, 0u);
    OvcContext* c = e.ctx;
    OVC_StartPage(c, 10);
    e.ovf.fail_send_from(1);
    EXPECT_EQ(OVC_SendVPos(c, 30), kOvcSendFeed);
    EXPECT_EQ(c->vpos, 10u) << "a refused feed leaves the position";
    EXPECT_EQ(OVC_SetVPos(c, 30), 20);
    EXPECT_EQ(c->vpos, 30u);
    OVC_Set_arc_vpos(c, -4);
    EXPECT_EQ(OVC_SetVPos(c, 50), -4) << "the pending correction replaces the feed, once";
    EXPECT_EQ(OVC_SetVPos(c, 50), 0);
    OVC_ChangeCurrentHeadPos(c, -8);
    EXPECT_EQ(c->vpos, 42u);
    OVC_SendVPosZero(c);
    EXPECT_EQ(c->vpos, 42u);
    EXPECT_EQ(OVC_GetDotSize(c), 0x23);
    EXPECT_TRUE(OVC_CheckCompress(c));
    EXPECT_NE(OVC_GetNozzleType(c), nullptr);
    EXPECT_EQ(OVC_SetNozzleAreaInfo(c, 1, 2, 3, 4, 5), 0u);
}

TEST(HeadRasterCommands, RefusalsSendNothing) {
    const std::vector<std::pair<uint32_t, std::function<uint32_t(OvcContext*)>>> cases = {
        {kOvcNegativeHPos, [](OvcContext* c) { return OVC_SendHPos(c, -1); }},
        {kOvcHeadTooLarge, [](OvcContext* c) { return OVC_SendRasterImage_head(c, 1, 32768, 1, 1, nullptr); }},
        {kOvcHeadTooLarge, [](OvcContext* c) { return OVC_SendRasterImage_head(c, 1, 1, 32768, 1, nullptr); }},
        {kOvcHeadTooLarge, [](OvcContext* c) { return OVC_SendRasterImage_head(c, 1, 1, -1, 1, nullptr); }},
        {kOvcMultiHeadTooLarge, [](OvcContext* c) { return OVC_SendRasterImage_head_multi(c, 0, 1, 65536, 0, 1, 1); }},
        {kOvcMultiHeadTooLarge, [](OvcContext* c) { return OVC_SendRasterImage_head_multi(c, 0, 1, 1, 0, 65536, 1); }},
        {kOvcMultiHeadTooLarge, [](OvcContext* c) { return OVC_SendRasterImage_head_multi(c, 256, 1, 1, 0, 1, 1); }},
        {kOvcMultiHeadTooLarge,
         [](OvcContext* c) { return OVC_SendRasterImage_head_stm(c, 0, 1, 32768, 0, 1, 1, 1, 1); }},
        {kOvcMultiHeadTooLarge,
         [](OvcContext* c) { return OVC_SendRasterImage_head_stm(c, 0, 1, 1, 0, 32768, 1, 1, 0); }},
        // The blank line of a header wider than the buffers does not fit.
        {kOvcCodeNoRoom, [](OvcContext* c) { return OVC_SendRasterImage_head(c, 1, 32767, 1, 1, nullptr); }},
        // An announced length that is not the code fill.
        {kOvcLengthMismatch,
         [](OvcContext* c) {
             OVC_EncodeRastergraphics(c, kLine.data(), 6);
             c->coded = 1;
             c->announcedLength = 6;
             return OVC_SendRasterImage_data_multi(c, nullptr);
         }},
        {kOvcSendData, [](OvcContext* c) { return OVC_SendRasterImage_data(c, nullptr, 0); }},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        Encoder e(kPlus2, 64);
        ASSERT_EQ(e.code, 0u);
        EXPECT_EQ(cases[i].second(e.ctx), cases[i].first) << "case " << i;
        EXPECT_TRUE(e.ovf.sent().empty()) << "case " << i;
    }
}

TEST(HeadRasterCommands, CodingOffAnswers) {
    Encoder e(kPlain);
    ASSERT_EQ(e.code, 0u);
    EXPECT_FALSE(OVC_CheckCompress(e.ctx));
    EXPECT_EQ(OVC_ClacRunLengthEncodingSize(e.ctx, kLine.data(), 6), 2147483647);
    EXPECT_EQ(OVC_EncodeRastergraphics(e.ctx, kLine.data(), 6), -1);
    EXPECT_EQ(OVC_EncodeNullRastergraphics(e.ctx, 6), -1);
    EXPECT_EQ(e.ctx->codeBuffer, nullptr) << "no coding, no buffers";
}

// ---- Construction and buffer sizes ----------------------------------------------------------------

TEST(HeadRasterEncoderSizes, BuffersHoldTheWorstCaseOfTheWidestLine) {
    // Per minimum run: 40,000 bytes + the odd-width byte.
    EXPECT_EQ(worst_case_code_size(40000, 3), 40315u);
    EXPECT_EQ(worst_case_code_size(40000, 128), 40315u);
    EXPECT_EQ(worst_case_code_size(40000, 1), 80000u);
    EXPECT_EQ(worst_case_code_size(0, 1), 0u);
    const struct {
        size_t encoder;
        uint32_t m;
        bool nullLine;
    } cases[] = {{kPlus1, 1, true}, {kMinus2, 2, true}, {kPlus3, 3, true}, {kMinus128, 128, true}, {kMulti, 2, false}};
    for (const auto& c : cases) {
        Encoder e(c.encoder, 40000, 3);
        ASSERT_EQ(e.code, 0u);
        const uint64_t per = worst_case_code_size(40001, c.m);
        EXPECT_EQ(e.ctx->codedLineSize, per);
        EXPECT_EQ(e.ctx->codeCapacity, 3 * per);
        EXPECT_EQ(e.ctx->nullLine != nullptr, c.nullLine);
        EXPECT_EQ(OVC_SumAllocateMemorySize(e.ctx), 3 * per + 968 + (c.nullLine ? per : 0));
    }
}

TEST(HeadRasterEncoderSizes, ConstructionFailures) {
    for (size_t nth : {1, 2, 3}) {
        Encoder e(kPlus2, 100, 2, nth);
        EXPECT_EQ(e.code, nth == 1 ? kOvcNoContext : kOvcNoBuffers) << nth;
        EXPECT_EQ(e.ctx, nullptr);
    }
    {
        Encoder e(kPlus2, 0x7FFFFFFF, 4);  // 8 GiB of code
        EXPECT_EQ(e.code, kOvcBadSize);
    }
    FakeOvf ovf;
    const CallbackTable cb = relay_callbacks(ovf.table());
    OvcContext* ctx = reinterpret_cast<OvcContext*>(&ovf);
    EXPECT_EQ(OVC_Constructor(&ctx, &cb, nullptr, 10, 1), kRscNotAvailable) << "the reader's code passes through";
    EXPECT_EQ(ctx, nullptr);
    EXPECT_EQ(OVC_Constructor(&ctx, nullptr, nullptr, 10, 1), kOvcNoContext);
    EXPECT_EQ(OVC_Constructor_for_STM(&ctx, &cb, 128), kOvcBadSize);
    EXPECT_EQ(OVC_Constructor_for_STM(&ctx, &cb, -129), kOvcBadSize);
    ovf.fail_alloc_from(ovf.alloc_calls() + 2);
    EXPECT_EQ(OVC_Constructor_for_STM(&ctx, &cb, -2), kOvcNoContext);
    EXPECT_EQ(ovf.live_blocks(), 0u);
}

TEST(HeadRasterEncoderSizes, BandPathBuffersComeWithTheFirstPage) {
    FakeOvf ovf;
    const CallbackTable cb = relay_callbacks(ovf.table());
    OvcContext* ctx = nullptr;
    ASSERT_EQ(OVC_Constructor_for_STM(&ctx, &cb, -2), 0u);
    EXPECT_EQ(OVC_StartPage_for_STM(ctx, 0xFFFFFFFFu, 8), kOvcBadSize);
    ovf.fail_alloc_from(ovf.alloc_calls() + 1);
    EXPECT_EQ(OVC_StartPage_for_STM(ctx, 100, 8), kOvcNoContext);
    ovf.fail_alloc_from(0);
    ASSERT_EQ(OVC_StartPage_for_STM(ctx, 100, 8), 0u);
    EXPECT_EQ(ctx->codeCapacity, 8 * worst_case_code_size(101, 2));
    uint8_t* first = ctx->codeBuffer;
    OVC_ChangeCurrentHeadPos(ctx, 5);
    ASSERT_EQ(OVC_StartPage_for_STM(ctx, 100, 8), 0u);
    EXPECT_EQ(ctx->codeBuffer, first) << "made once per job";
    EXPECT_EQ(ctx->vpos, 0u);
    // Eight worst-case lines fit; a ninth is refused and leaves the fill.
    Bytes worst(101);
    for (size_t i = 0; i < worst.size(); ++i) worst[i] = uint8_t(i / 3 * 2 + (i % 3 == 2));  // a a b c c d ...
    for (int i = 0; i < 8; ++i) EXPECT_GT(OVC_EncodeRastergraphics(ctx, worst.data(), 101), 0);
    const uint32_t fill = ctx->codeFill;
    EXPECT_EQ(OVC_EncodeRastergraphics(ctx, worst.data(), 101), kOvcNoRoom);
    EXPECT_EQ(ctx->codeFill, fill);
    OVC_Destructor_for_STM(ctx);
    EXPECT_EQ(ovf.live_blocks(), 0u);
}

// ---- The coders ------------------------------------------------------------------------------

// The walk as the description gives it, step by step: the carried run of a
// cut literal is taken as the next measured run.
Bytes slow_code(const Bytes& s, size_t m, bool plus) {
    Bytes out;
    size_t i = 0;
    bool hasCarry = false;
    size_t carry = 0;
    auto runAt = [&](size_t at, size_t max) {
        size_t k = 0;
        while (k < max && s[at + k] == s[at]) ++k;
        return k;
    };
    auto literal = [&](size_t len) {
        out.push_back(uint8_t(len - 1));
        out.insert(out.end(), s.begin() + long(i), s.begin() + long(i + len));
        i += len;
    };
    for (;;) {
        const size_t r = s.size() - i;
        size_t run;
        if (hasCarry) {  // step 2 with the carried run
            run = carry;
            hasCarry = false;
        } else {
            if (r < m) {  // step 1
                if (r > 0) literal(r);
                return out;
            }
            run = runAt(i, std::min<size_t>(r, 128));  // step 2
        }
        if (run >= m) {  // step 3
            out.push_back(uint8_t(1 - int(run)));
            out.push_back(s[i]);
            i += run;
            continue;
        }
        size_t len = std::min(plus ? m : run, r);  // step 4
        if (len >= 128) {
            literal(127);
            continue;
        }
        for (;;) {
            if (len == r) break;
            const size_t next = runAt(i + len, std::min<size_t>(r - len, 128));
            if (next >= m) break;
            len += next;
            if (len >= 128) {
                hasCarry = true;
                carry = len - 127;
                len = 127;
                break;
            }
        }
        literal(len);  // step 5
        if (i == s.size()) return out;
    }
}

// Lines of every texture: random bytes, halftone-like bytes, runs of every
// length, zeros.
Bytes random_line(std::mt19937& rng, size_t n) {
    Bytes line(n);
    const int texture = int(rng() % 4);
    const uint8_t alphabet[] = {0, 0x55, 0xAA, 0xFF, 0x11, 0x40};
    size_t i = 0;
    while (i < n) {
        size_t run = 1;
        uint8_t b = uint8_t(rng());
        switch (texture) {
            case 0: break;
            case 1: b = alphabet[rng() % 6]; break;
            case 2:
                run = 1 + rng() % (rng() % 2 ? 4 : 300);
                b = alphabet[rng() % 3];
                break;
            default: run = rng() % 8 == 0 ? 1 + rng() % 200 : 1; break;
        }
        for (size_t k = 0; k < run && i < n; ++k) line[i++] = b;
    }
    return line;
}

TEST(HeadRasterCoder, FastCodersMatchTheStepByStepCoder) {
    FakeOvf ovf;
    const CallbackTable cb = relay_callbacks(ovf.table());
    std::mt19937 rng(29);
    const uint32_t minimums[] = {1, 2, 3, 4, 5, 127, 128};
    std::vector<ovcg_test::CodedRow> rows;
    OvcContext* sizers[2][129] = {};
    for (int plus = 0; plus < 2; ++plus)
        for (uint32_t m : minimums)
            if (m < 128 || !plus) {
                ASSERT_EQ(OVC_Constructor_for_STM(&sizers[plus][m], &cb, plus ? int(m) : -int(m)), 0u);
            }
    for (int line = 0; line < 10000; ++line) {
        size_t n = rng() % 601;
        if (line % 2000 == 7) n = 16383;
        if (line % 2000 == 8) n = 40000;
        const Bytes plain = random_line(rng, n);
        const uint32_t m = minimums[line % 7];
        for (int plus = 0; plus < 2; ++plus) {
            const Bytes expected = slow_code(plain, m, plus);
            Bytes code(worst_case_code_size(n, m) + 1, 0xEE);
            const RunLengthCoder coder = plus ? OVC_RunLengthEncoding_Plus : OVC_RunLengthEncoding_Minus;
            const int64_t len = coder(cb, plain.data(), code.data(), code.size() - 1, n, m);
            ASSERT_GE(len, 0);
            code.resize(size_t(len));
            ASSERT_EQ(code, expected) << "line " << line << " n " << n << " m " << m << " plus " << plus;
            if (OvcContext* sizer = sizers[plus][m]) {
                ASSERT_EQ(OVC_ClacRunLengthEncodingSize(sizer, plain.data(), uint32_t(n)), len);
            }
            if (n && (line % 5 == 0 || n > 600)) rows.push_back({plain, code});
        }
    }
    EXPECT_EQ(ovcg_test::tiff_packbits_mismatch(rows), "");
    for (auto& s : sizers)
        for (OvcContext* c : s) OVC_Destructor_for_STM(c);
    EXPECT_EQ(ovf.live_blocks(), 0u);
}

TEST(HeadRasterCoder, DescribedExamples) {
    FakeOvf ovf;
    const CallbackTable cb = relay_callbacks(ovf.table());
    const auto code = [&](const Bytes& s, uint32_t m, RunLengthCoder coder) {
        Bytes out(worst_case_code_size(s.size(), m));
        out.resize(size_t(coder(cb, s.data(), out.data(), out.size(), s.size(), m)));
        return out;
    };
    for (RunLengthCoder coder : {OVC_RunLengthEncoding_Plus, OVC_RunLengthEncoding_Minus}) {
        EXPECT_EQ(code(Bytes(200, 7), 72, coder), (Bytes{0x81, 7, 0xB9, 7}));
        EXPECT_EQ(code({4, 5, 6}, 4, coder), (Bytes{2, 4, 5, 6}));
        EXPECT_EQ(code(Bytes(300, 0), 2, coder), (Bytes{0x81, 0, 0x81, 0, 0xD5, 0}));
        EXPECT_EQ(code({9}, 1, coder), (Bytes{0, 9}));
        EXPECT_EQ(code({}, 2, coder), Bytes{});
    }
    // Where the coders differ: the Plus literal starts with m bytes.
    EXPECT_EQ(code({1, 2, 2, 2, 3}, 3, OVC_RunLengthEncoding_Plus), (Bytes{4, 1, 2, 2, 2, 3}));
    EXPECT_EQ(code({1, 2, 2, 2, 3}, 3, OVC_RunLengthEncoding_Minus), (Bytes{0, 1, 0xFE, 2, 0, 3}));
}

TEST(HeadRasterCoder, BlankLineCodeIsTheCoderOnZeros) {
    FakeOvf ovf;
    const CallbackTable cb = relay_callbacks(ovf.table());
    for (int mode : {1, -1, 2, -2, 3, 5, -127, 127, -128}) {
        OvcContext* ctx = nullptr;
        ASSERT_EQ(OVC_Constructor_for_STM(&ctx, &cb, mode), 0u);
        ASSERT_EQ(OVC_StartPage_for_STM(ctx, 1000, 2), 0u);
        const Bytes zeros(1000, 0);
        for (uint32_t n : {0u, 1u, 2u, 3u, 4u, 126u, 127u, 128u, 129u, 255u, 256u, 300u, 1000u}) {
            ctx->codeFill = 0;
            const int32_t a = OVC_EncodeRastergraphics(ctx, zeros.data(), n);
            const Bytes coded(ctx->codeBuffer, ctx->codeBuffer + a);
            const int32_t b = OVC_EncodeNullRastergraphics(ctx, n);
            ASSERT_EQ(a, b) << mode << " " << n;
            EXPECT_TRUE(std::equal(coded.begin(), coded.end(), ctx->codeBuffer + a)) << mode << " " << n;
        }
        OVC_Destructor_for_STM(ctx);
    }
    EXPECT_EQ(ovf.live_blocks(), 0u);
}

// The lines that reach the worst case, coded into a buffer of exactly the
// bound that ends at an inaccessible page, the source ending at one too;
// one byte less is refused without a write past it.
TEST(HeadRasterCoder, WorstCaseLinesAtGuardPages) {
    FakeOvf ovf;
    const CallbackTable cb = relay_callbacks(ovf.table());
    const size_t n = 40000;
    struct Case {
        uint32_t m;
        RunLengthCoder coder;
        uint64_t worst;
        std::function<uint8_t(size_t)> byte;
    };
    const Case cases[] = {
        {1, OVC_RunLengthEncoding_Plus, 80000, [](size_t i) { return uint8_t(i & 1); }},
        // b a a c d d ... b: a literal of one byte before every repeat of two.
        {2, OVC_RunLengthEncoding_Minus, 53334, [](size_t i) { return uint8_t(i / 3 * 2 + (i % 3 != 0)); }},
        {3, OVC_RunLengthEncoding_Plus, 40315, [](size_t i) { return uint8_t(i); }},
        {128, OVC_RunLengthEncoding_Minus, 40315, [](size_t i) { return uint8_t(i % 7 == 0 ? 1 : 0); }},
    };
    for (const Case& c : cases) {
        ovcg_test::GuardedBytes src(n);
        for (size_t i = 0; i < n; ++i) src.data()[i] = c.byte(i);
        ASSERT_LE(c.worst, worst_case_code_size(n, c.m));
        ovcg_test::GuardedBytes exact(c.worst);
        EXPECT_EQ(c.coder(cb, src.data(), exact.data(), c.worst, n, c.m), int64_t(c.worst)) << c.m;
        ovcg_test::GuardedBytes shortBuffer(c.worst - 1);
        EXPECT_EQ(c.coder(cb, src.data(), shortBuffer.data(), c.worst - 1, n, c.m), kRleNoRoom) << c.m;
    }
}

}  // namespace
}  // namespace ovcg::irac
