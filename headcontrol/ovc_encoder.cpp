#include "headcontrol/ovc_encoder.h"

#include "headcontrol/codes.h"
#include "headcontrol/ovc_run_length.h"
#include "headcontrol/resource_stream.h"

#include <cstdlib>

namespace ovcg::irac {

namespace {

constexpr uint32_t kSingleHeadLimit = 32767;
constexpr uint32_t kMultiHeadLimit = 65535;
constexpr uint8_t kFormPlain = 4;  // multi-line header form; +1 when coded

uint32_t minimum_run(const ESCResourceData& e) { return static_cast<uint32_t>(std::abs(int{e.value2})); }

template <LiteralStart Start>
int64_t code_line(const CallbackTable& cb, const uint8_t* src, uint8_t* dst, uint64_t capacity, uint64_t n,
                  uint32_t m) {
    ByteWriter out(dst, capacity);
    RleWriteSink sink{cb, out};
    if (n && !rle_walk<Start>(src, n, m, sink)) return kRleNoRoom;
    return static_cast<int64_t>(out.size());
}

// Sends one command piece; `code` when the callback refuses it.
uint32_t send_piece(const OvcContext* ctx, const void* bytes, uint32_t length, int flag, uint32_t code) {
    return send(*ctx->cb, bytes, length, flag) ? 0 : code;
}

// 1B 28 <letter> <u16 length> then the parameter bytes.
template <size_t N>
uint32_t send_paren(const OvcContext* ctx, uint8_t letter, const uint8_t (&param)[N], uint32_t code) {
    uint8_t cmd[5 + N] = {0x1B, 0x28, letter, uint8_t(N), uint8_t(N >> 8)};
    for (size_t i = 0; i < N; ++i) cmd[5 + i] = param[i];
    return send_piece(ctx, cmd, sizeof cmd, 0, code);
}

void put_u16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void put_u32(uint8_t* p, uint32_t v) {
    put_u16(p, v);
    put_u16(p + 2, v >> 16);
}

// The header's colour and bits: a colour among the remap pairs takes the
// last matching pair's replacement and bits 3.
void header_colour(const ESCResourceData& e, uint32_t colour, uint8_t bits, uint8_t& outColour, uint8_t& outBits) {
    outColour = uint8_t(colour);
    outBits = bits;
    if (!(e.encoderFlags & kEncRemap) || !e.remapFrom || !e.remapTo) return;
    for (int32_t k = 0; k < e.colorRemapNum; ++k) {
        if (e.remapFrom[k] == uint8_t(colour)) {
            outColour = e.remapTo[k];
            outBits = 3;
        }
    }
}

uint32_t send_head9(OvcContext* ctx, uint32_t colour, uint8_t bits, uint32_t bytesPerLine, uint32_t lines,
                    uint32_t code) {
    uint8_t cmd[9] = {0x1B, 0x69};
    header_colour(*ctx->esc, colour, bits, cmd[2], cmd[4]);
    cmd[3] = ctx->coded;
    put_u16(cmd + 5, bytesPerLine);
    put_u16(cmd + 7, lines);
    return send_piece(ctx, cmd, sizeof cmd, 0, code);
}

uint32_t send_head14(OvcContext* ctx, uint32_t block, uint32_t colour, uint8_t bits, uint32_t bytesPerLine,
                     uint32_t lines, uint32_t length) {
    uint8_t cmd[14] = {0x1B, 0x69};
    header_colour(*ctx->esc, colour, bits, cmd[2], cmd[4]);
    cmd[3] = uint8_t(kFormPlain + ctx->coded);
    put_u16(cmd + 5, bytesPerLine);
    put_u16(cmd + 7, lines);
    cmd[9] = uint8_t(block);
    put_u32(cmd + 10, length);
    return send_piece(ctx, cmd, sizeof cmd, 0, kOvcSendMultiHead);
}

// The code and blank-line buffers for `lines` coded lines of up to width + 1
// bytes (the odd-width byte), sized in 64 bits. Nothing is needed with
// coding off.
uint32_t make_buffers(OvcContext* ctx, uint64_t width, uint64_t lines, bool withNullLine, uint32_t allocCode) {
    const uint32_t m = minimum_run(*ctx->esc);
    if (m == 0) return 0;
    const uint64_t perLine = worst_case_code_size(width + 1, m);
    const uint64_t total = perLine * lines;
    if (total > UINT32_MAX) return kOvcBadSize;
    ctx->codedLineSize = perLine;
    ctx->codeLines = static_cast<uint16_t>(lines > UINT16_MAX ? UINT16_MAX : lines);
    if (alloc_array(*ctx->cb, total, allocCode, ctx->codeBuffer)) return allocCode;
    ctx->codeCapacity = static_cast<uint32_t>(total);
    if (withNullLine) {
        if (alloc_array(*ctx->cb, perLine, allocCode, ctx->nullLine)) return allocCode;
        ctx->nullLineCapacity = static_cast<uint32_t>(perLine);
    }
    return 0;
}

void install_coder(OvcContext* ctx) {
    ctx->coder = ctx->esc->value2 > 0 ? OVC_RunLengthEncoding_Plus : OVC_RunLengthEncoding_Minus;
}

void destroy(OvcContext* ctx) {
    if (!ctx) return;
    const CallbackTable& cb = *ctx->cb;
    release_ptr(cb, ctx->codeBuffer);
    release_ptr(cb, ctx->nullLine);
    for (void*& p : ctx->spare) release_ptr(cb, p);
    release_ptr(cb, ctx->ownEsc);
    release(cb, ctx);
}

bool coding_on(const OvcContext* ctx) { return ctx->esc->value2 != 0; }

// Codes n bytes of `line` (zeros when null) into `out`.
bool code_into(const OvcContext* ctx, ByteWriter& out, const uint8_t* line, uint64_t n) {
    const uint32_t m = minimum_run(*ctx->esc);
    if (!line) return OVC_WriteNullCode(*ctx->cb, out, n, m);
    const int64_t len = ctx->coder(*ctx->cb, line, out.data() + out.size(), out.remaining(), n, m);
    if (len < 0) return false;
    out.take(static_cast<size_t>(len));
    return true;
}

int32_t append_code(OvcContext* ctx, const uint8_t* line, uint32_t n) {
    if (!ctx || !coding_on(ctx)) return kOvcCodingOff;
    ByteWriter out(ctx->codeBuffer ? ctx->codeBuffer + ctx->codeFill : nullptr, ctx->codeCapacity - ctx->codeFill);
    if (!code_into(ctx, out, line, n) || out.size() > INT32_MAX) return kOvcNoRoom;
    ctx->codeFill += static_cast<uint32_t>(out.size());
    return static_cast<int32_t>(out.size());
}

}  // namespace

int64_t OVC_RunLengthEncoding_Plus(const CallbackTable& cb, const uint8_t* src, uint8_t* dst, uint64_t capacity,
                                   uint64_t n, uint32_t m) {
    return code_line<LiteralStart::MinimumRun>(cb, src, dst, capacity, n, m);
}

int64_t OVC_RunLengthEncoding_Minus(const CallbackTable& cb, const uint8_t* src, uint8_t* dst, uint64_t capacity,
                                    uint64_t n, uint32_t m) {
    return code_line<LiteralStart::ShortRun>(cb, src, dst, capacity, n, m);
}

bool OVC_WriteNullCode(const CallbackTable& cb, ByteWriter& out, uint64_t n, uint32_t m) {
    if (m == 0) m = 1;
    for (; n >= kRleMaxRepeat; n -= kRleMaxRepeat)
        if (!(out.u8(0x81) && out.u8(0))) return false;
    if (n == 0) return true;
    if (n >= m) return out.u8(uint8_t(1 - int(n))) && out.u8(0);
    uint8_t* p = out.take(n + 1);
    if (!p) return false;
    p[0] = uint8_t(n - 1);
    cb.fill(p + 1, 0, static_cast<uint32_t>(n));
    return true;
}

uint32_t OVC_Constructor(OvcContext** out, const CallbackTable* cb, RscObject* rsc, int32_t width, int32_t lines) {
    if (!out) return kOvcNoContext;
    *out = nullptr;
    OvcContext* ctx = nullptr;
    if (uint32_t rc = allocate_owned(&ctx, cb, kOvcNoContext)) return rc;
    ESCResourceData* esc = nullptr;
    uint32_t rc = RSC_GetESCResourceData(rsc, &esc);
    if (!rc) {
        ctx->esc = esc;
        install_coder(ctx);
        if (width > 0)
            rc = make_buffers(ctx, uint64_t(width), uint64_t(lines < 1 ? 1 : lines),
                              !(esc->encoderFlags & kEncMultiLine), kOvcNoBuffers);
    }
    if (rc) {
        destroy(ctx);
        return rc;
    }
    *out = ctx;
    return 0;
}

void OVC_Destructor(OvcContext* ctx) { destroy(ctx); }

uint32_t OVC_Constructor_for_STM(OvcContext** out, const CallbackTable* cb, int32_t mode) {
    if (!out) return kOvcNoContext;
    *out = nullptr;
    if (mode < INT8_MIN || mode > INT8_MAX) return kOvcBadSize;
    OvcContext* ctx = nullptr;
    if (uint32_t rc = allocate_owned(&ctx, cb, kOvcNoContext)) return rc;
    if (alloc_record(*cb, kOvcNoContext, ctx->ownEsc)) {
        destroy(ctx);
        return kOvcNoContext;
    }
    ctx->ownEsc->value2 = static_cast<int8_t>(mode);
    ctx->esc = ctx->ownEsc;
    install_coder(ctx);
    *out = ctx;
    return 0;
}

void OVC_Destructor_for_STM(OvcContext* ctx) { destroy(ctx); }

uint32_t OVC_StartPage(OvcContext* ctx, uint32_t position) {
    if (!ctx) return kOvcNoContext;
    ctx->vpos = position;
    return 0;
}

uint32_t OVC_StartPage_for_STM(OvcContext* ctx, uint32_t width, uint32_t lines) {
    if (!ctx) return kOvcNoContext;
    ctx->vpos = 0;
    if (ctx->codeBuffer || !coding_on(ctx)) return 0;
    const uint32_t rc = make_buffers(ctx, width, lines < 1 ? 1 : lines, true, kOvcNoContext);
    if (rc) {
        release_ptr(*ctx->cb, ctx->codeBuffer);
        release_ptr(*ctx->cb, ctx->nullLine);
        ctx->codeCapacity = ctx->nullLineCapacity = 0;
    }
    return rc;
}

uint32_t OVC_SendVPos(OvcContext* ctx, uint32_t target) {
    if (!ctx) return kOvcNoContext;
    const bool pending = ctx->pendingCorrection != 0;
    const int32_t feed = pending ? ctx->pendingCorrection : static_cast<int32_t>(target - ctx->vpos);
    if (feed == 0) return 0;
    uint8_t param[4];
    put_u32(param, static_cast<uint32_t>(feed));
    if (uint32_t rc = send_paren(ctx, 0x76, param, kOvcSendFeed)) return rc;
    if (pending) ctx->pendingCorrection = 0;
    ctx->vpos = target;
    return 0;
}

uint32_t OVC_SendVPosZero(OvcContext* ctx) {
    if (!ctx) return kOvcNoContext;
    const uint8_t zero[4] = {};
    return send_paren(ctx, 0x76, zero, kOvcSendZeroFeed);
}

int32_t OVC_SetVPos(OvcContext* ctx, uint32_t target) {
    if (!ctx) return 0;
    const int32_t feed =
        ctx->pendingCorrection != 0 ? ctx->pendingCorrection : static_cast<int32_t>(target - ctx->vpos);
    ctx->pendingCorrection = 0;
    ctx->vpos = target;
    return feed;
}

uint32_t OVC_SendTCCommand(OvcContext* ctx, uint32_t target) {
    if (uint32_t rc = OVC_SendVPos(ctx, target)) return rc;
    const uint8_t cmd[6] = {0x1B, 0x28, 0x64, 0x01, 0x00, 0x00};
    return send_piece(ctx, cmd, sizeof cmd, 1, kOvcSendDeferredFeed);
}

uint32_t OVC_SendInitializeCommand(OvcContext* ctx, uint32_t pageStart, uint8_t sendDeferredFeed) {
    if (!ctx) return kOvcNoContext;
    const ESCResourceData& e = *ctx->esc;
    uint8_t vStep = 0, hStep = 0;
    if (!RSC_ResolutionSteps(e, vStep, hStep)) return kOvcBadResolution;
    const uint8_t unit[4] = {uint8_t(e.value3), uint8_t(e.value3 >> 8), vStep, hStep};
    if (uint32_t rc = send_paren(ctx, 0x44, unit, kOvcSendUnit)) return rc;
    if (e.encoderFlags & kEncShortPageFormat) {
        const uint8_t format[1] = {uint8_t(e.value1)};
        if (uint32_t rc = send_paren(ctx, 0x6D, format, kOvcSendPageFormat)) return rc;
    } else {
        uint8_t format[4];
        put_u32(format, e.value1);
        if (uint32_t rc = send_paren(ctx, 0x6D, format, kOvcSendPageFormat)) return rc;
    }
    if (e.colorCodeNum > 0) {
        const uint32_t n = e.colorCodeNum + 1u;
        const uint8_t head[6] = {0x1B, 0x28, 0x66, uint8_t(n), uint8_t(n >> 8), 0x01};
        if (uint32_t rc = send_piece(ctx, head, sizeof head, 0, kOvcSendExtraHeader)) return rc;
        if (uint32_t rc = send_piece(ctx, e.colorCodes, e.colorCodeNum, 0, kOvcSendExtraData)) return rc;
    }
    const uint8_t dot[2] = {0, e.value0};
    if (uint32_t rc = send_paren(ctx, 0x65, dot, kOvcSendDotSize)) return rc;
    return sendDeferredFeed ? OVC_SendTCCommand(ctx, pageStart) : 0;
}

uint32_t OVC_SendHPos(OvcContext* ctx, int32_t position) {
    if (!ctx) return kOvcNoContext;
    if (position < 0) return kOvcNegativeHPos;
    if (position == 0) return 0;
    uint8_t param[4];
    put_u32(param, static_cast<uint32_t>(position));
    return send_paren(ctx, 0x24, param, kOvcSendHPos);
}

uint32_t OVC_SendCR(OvcContext* ctx) {
    if (!ctx) return kOvcNoContext;
    const uint8_t cr = 0x0D;
    return send_piece(ctx, &cr, 1, 1, kOvcSendCR);
}

uint32_t OVC_SendColorMonoSelection(OvcContext* ctx, uint8_t selection) {
    if (!ctx) return kOvcNoContext;
    const uint8_t param[2] = {0, selection};
    return send_paren(ctx, 0x4B, param, kOvcSendColorMono);
}

uint32_t OVC_SendDirection(OvcContext* ctx, uint8_t direction) {
    if (!ctx) return kOvcNoContext;
    const uint8_t cmd[3] = {0x1B, 0x55, direction};
    return send_piece(ctx, cmd, sizeof cmd, 0, kOvcSendDirection);
}

uint32_t OVC_SendRasterImage_head(OvcContext* ctx, uint32_t colour, uint32_t bytesPerLine, int32_t lines,
                                  uint8_t code, const uint8_t* blankLine) {
    if (!ctx) return kOvcNoContext;
    if (bytesPerLine > kSingleHeadLimit || lines < 0 || uint32_t(lines) > kSingleHeadLimit) return kOvcHeadTooLarge;
    const bool coded = code && coding_on(ctx);
    if (coded) {
        ByteWriter out(ctx->nullLine, ctx->nullLineCapacity);
        if (!code_into(ctx, out, blankLine, bytesPerLine)) return kOvcCodeNoRoom;
        ctx->nullLineLength = static_cast<uint32_t>(out.size());
    }
    ctx->coded = coded ? 1 : 0;
    ctx->lineLength = bytesPerLine;
    return send_head9(ctx, colour, ctx->esc->modeByte, bytesPerLine, uint32_t(lines), kOvcSendHead);
}

uint32_t OVC_SendRasterImage_data(OvcContext* ctx, const uint8_t* line, uint8_t blank) {
    if (!ctx) return kOvcNoContext;
    if (ctx->coded && blank) return send_piece(ctx, ctx->nullLine, ctx->nullLineLength, 0, kOvcSendData);
    if (!line) return kOvcSendData;
    if (!ctx->coded) return send_piece(ctx, line, ctx->lineLength, 0, kOvcSendData);
    ByteWriter out(ctx->codeBuffer, ctx->codeCapacity);
    if (!code_into(ctx, out, line, ctx->lineLength)) return kOvcCodeNoRoom;
    return send_piece(ctx, ctx->codeBuffer, static_cast<uint32_t>(out.size()), 0, kOvcSendData);
}

uint32_t OVC_SendRasterImage_head_multi(OvcContext* ctx, uint32_t block, uint32_t colour, uint32_t bytesPerLine,
                                        uint32_t dataLength, uint32_t lines, uint8_t code) {
    if (!ctx) return kOvcNoContext;
    if (bytesPerLine > kMultiHeadLimit || lines > kMultiHeadLimit || block > UINT8_MAX) return kOvcMultiHeadTooLarge;
    ctx->lineLength = bytesPerLine;
    ctx->announcedLength = dataLength;
    ctx->coded = (code && coding_on(ctx)) ? 1 : 0;
    return send_head14(ctx, block, colour, ctx->esc->modeByte, bytesPerLine, lines, dataLength);
}

uint32_t OVC_SendRasterImage_data_multi(OvcContext* ctx, const uint8_t* line) {
    if (!ctx) return kOvcNoContext;
    const uint32_t fill = ctx->codeFill;
    ctx->codeFill = 0;
    if (ctx->coded) {
        if (ctx->announcedLength != fill) return kOvcLengthMismatch;
        return send_piece(ctx, ctx->codeBuffer, fill, 0, kOvcSendMultiData);
    }
    if (!line) return kOvcSendMultiData;
    return send_piece(ctx, line, ctx->lineLength, 0, kOvcSendMultiData);
}

uint32_t OVC_SendRasterImage_head_stm(OvcContext* ctx, uint32_t block, uint32_t colour, uint32_t bytesPerLine,
                                      uint32_t dataLength, uint32_t lines, uint8_t code, uint8_t bits, uint8_t form) {
    if (!ctx) return kOvcNoContext;
    if (bytesPerLine > kSingleHeadLimit || lines > kSingleHeadLimit || block > UINT8_MAX) return kOvcMultiHeadTooLarge;
    ctx->coded = (code && coding_on(ctx)) ? 1 : 0;
    ctx->lineLength = ctx->coded ? lines * bytesPerLine : bytesPerLine;
    ctx->announcedLength = dataLength;
    if (form == 0) return send_head9(ctx, colour, bits, bytesPerLine, lines, kOvcSendMultiHead);
    return send_head14(ctx, block, colour, bits, bytesPerLine, lines, dataLength);
}

int32_t OVC_EncodeRastergraphics(OvcContext* ctx, const uint8_t* line, uint32_t n) {
    if (!line && n) return kOvcNoRoom;
    return append_code(ctx, line ? line : reinterpret_cast<const uint8_t*>(""), n);
}

int32_t OVC_EncodeNullRastergraphics(OvcContext* ctx, uint32_t n) { return append_code(ctx, nullptr, n); }

int32_t OVC_ClacRunLengthEncodingSize(OvcContext* ctx, const uint8_t* line, uint32_t n) {
    if (!ctx || !coding_on(ctx) || (!line && n)) return INT32_MAX;
    RleCountSink sink;
    const uint32_t m = minimum_run(*ctx->esc);
    if (ctx->esc->value2 > 0) {
        rle_walk<LiteralStart::MinimumRun>(line, n, m, sink);
    } else {
        rle_walk<LiteralStart::ShortRun>(line, n, m, sink);
    }
    return sink.size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(sink.size);
}

bool OVC_CheckCompress(const OvcContext* ctx) { return ctx && coding_on(ctx); }

void OVC_Set_arc_vpos(OvcContext* ctx, int32_t value) {
    if (ctx) ctx->pendingCorrection = static_cast<int32_t>(uint32_t(ctx->pendingCorrection) + uint32_t(value));
}

void OVC_ChangeCurrentHeadPos(OvcContext* ctx, int32_t value) {
    if (ctx) ctx->vpos += static_cast<uint32_t>(value);
}

uint8_t OVC_GetDotSize(const OvcContext* ctx) { return ctx ? ctx->esc->value0 : 0; }

uint8_t* OVC_GetNozzleType(OvcContext* ctx) { return ctx ? ctx->nozzleType : nullptr; }

uint32_t OVC_SumAllocateMemorySize(const OvcContext* ctx) {
    if (!ctx) return 0;
    uint64_t size = ctx->codedLineSize * ctx->codeLines + 968;
    if (!(ctx->esc->encoderFlags & kEncMultiLine)) size += ctx->codedLineSize;
    return size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(size);
}

uint32_t OVC_SetNozzleAreaInfo(OvcContext*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) { return 0; }
void OVC_SetNozzlePitch(OvcContext*, uint32_t) {}
void OVC_SetNozzleAreaNum(OvcContext*, uint32_t) {}

}  // namespace ovcg::irac
