// The command encoder (OVC): formats the level-2 positioning and raster
// commands, run-length codes raster lines and hands every command piece to
// the send callback of the internal callback table. It owns the page's
// current vertical position, the pending vertical correction, the coder and
// the coded-line buffers; it never decides what to print.
//
// Calling order: OVC_Constructor at job start (after the band buffer, whose
// plane line bytes B it takes as width) or OVC_Constructor_for_STM on the
// band path; per page OVC_StartPage (OVC_StartPage_for_STM); the commands;
// OVC_Destructor (OVC_Destructor_for_STM) at job end. The context borrows
// the callback table and the encoder block (ESCResourceData) of the model
// resource reader, which must outlive it.
//
// Wire format (little-endian numbers; one send call per row, flag 0 unless
// said):
//   feed          1B 28 76 04 00 i32                   335
//   zero feed     1B 28 76 04 00 00 00 00 00           346
//   deferred feed a feed, then 1B 28 64 01 00 00 (flag 1)  335, 342
//   unit          1B 28 44 04 00 u16 base, u8 base/v, u8 base/h   331
//                 (v and h the vertical and horizontal resolution; a step
//                 that is not a whole number from 1 to 255 is refused
//                 with 306 before anything is sent)
//   page format   1B 28 6D 04 00 u32, or 1B 28 6D 01 00 u8 (encoder flag 0x8)  332
//   extra record  1B 28 66 u16 (n + 1) 01, then the n bytes  333, 334
//   dot size      1B 28 65 02 00 00 u8                 341
//   h position    1B 28 24 04 00 u32                   336
//   raster head   1B 69 colour coded bits u16 bytes u16 lines      337
//   multi head    1B 69 colour form bits u16 bytes u16 lines u8 block u32 length  344
//   data          the line, plain or coded             338, 345
//   CR            0D (flag 1)                          339
//   colour/mono   1B 28 4B 02 00 00 u8                 343
//   direction     1B 55 u8                             340
// A colour found in the encoder block's remap pairs (encoder flag 0x1; the
// last matching pair wins) is replaced and its bits field becomes 3.
//
// Sizes: a coded line of n bytes never exceeds worst_case_code_size(n, m)
// (ovc_run_length.h). The code and null-line buffers are sized, in 64 bits,
// for the widest line sent: the width given plus one (the byte an odd width
// is rounded up by). Every coder writes through a bounded writer: a line
// that does not fit is refused (303), never written past the buffer.
//
// Errors (codes.h): 301, 302, 303 no room, 304 announced length differs
// from the coded data, 305 a size or value out of range, 306 a resolution
// the unit command cannot carry, 317-319, 331-346.
// A refused send leaves the command partly sent; nothing is retried.
#pragma once

#include "common/byte_writer.h"
#include "headcontrol/callbacks.h"
#include "headcontrol/model_resource.h"

#include <cstdint>

namespace ovcg::irac {

// The coder's result for no room in the destination.
inline constexpr int64_t kRleNoRoom = -1;

// Codes n bytes of src into dst (at most capacity bytes) with minimum repeat
// run m: the bytes written, or kRleNoRoom. Literal bytes are copied through
// the callback table.
using RunLengthCoder = int64_t (*)(const CallbackTable& cb, const uint8_t* src, uint8_t* dst, uint64_t capacity,
                                   uint64_t n, uint32_t m);
int64_t OVC_RunLengthEncoding_Plus(const CallbackTable& cb, const uint8_t* src, uint8_t* dst, uint64_t capacity,
                                   uint64_t n, uint32_t m);
int64_t OVC_RunLengthEncoding_Minus(const CallbackTable& cb, const uint8_t* src, uint8_t* dst, uint64_t capacity,
                                    uint64_t n, uint32_t m);

struct OvcContext {
    const CallbackTable* cb;
    uint32_t vpos;             // current vertical position, in the page's vertical unit
    uint32_t lineLength;       // bytes per line of the current raster command, uncoded
    RunLengthCoder coder;
    uint8_t* codeBuffer;
    uint64_t codedLineSize;    // worst case of one coded line of the widest width
    uint16_t codeLines;
    uint32_t codeCapacity;     // bytes of codeBuffer
    uint32_t codeFill;         // bytes used by the current multi-line command
    uint32_t announcedLength;  // data length of the last multi-line header
    uint8_t coded;             // the current raster command's data is coded
    uint8_t* nullLine;         // the coded blank line of the current header
    uint32_t nullLineCapacity;
    uint32_t nullLineLength;
    uint8_t nozzleType[16];
    void* spare[3];            // released at destruction when set; nothing sets them
    const ESCResourceData* esc;
    ESCResourceData* ownEsc;   // the band path's own encoder block
    int32_t pendingCorrection; // replaces the next feed when not 0
};

// Pass path. width: bytes per band-buffer raster (B); lines: the coded lines
// one command holds (1 in the single-line form; below 1 counts as 1). The
// code of the reader (RSC_GetESCResourceData) passes through.
uint32_t OVC_Constructor(OvcContext** out, const CallbackTable* cb, RscObject* rsc, int32_t width, int32_t lines);
void OVC_Destructor(OvcContext* ctx);

// Band path: the context and its own encoder block with run-length mode
// `mode` (-128 to 127; else 305). Buffers come with the first page.
uint32_t OVC_Constructor_for_STM(OvcContext** out, const CallbackTable* cb, int32_t mode);
void OVC_Destructor_for_STM(OvcContext* ctx);

uint32_t OVC_StartPage(OvcContext* ctx, uint32_t position);
// Position 0; on the first page the code buffer for `lines` lines of width
// bytes and the blank-line buffer (301; 305 beyond 32-bit sizes).
uint32_t OVC_StartPage_for_STM(OvcContext* ctx, uint32_t width, uint32_t lines);

uint32_t OVC_SendVPos(OvcContext* ctx, uint32_t target);
uint32_t OVC_SendVPosZero(OvcContext* ctx);
int32_t OVC_SetVPos(OvcContext* ctx, uint32_t target);
uint32_t OVC_SendTCCommand(OvcContext* ctx, uint32_t target);
uint32_t OVC_SendInitializeCommand(OvcContext* ctx, uint32_t pageStart, uint8_t sendDeferredFeed);
uint32_t OVC_SendHPos(OvcContext* ctx, int32_t position);
uint32_t OVC_SendCR(OvcContext* ctx);
uint32_t OVC_SendColorMonoSelection(OvcContext* ctx, uint8_t selection);
uint32_t OVC_SendDirection(OvcContext* ctx, uint8_t direction);

// Single-line form: the header; with coding asked (and the encoder's mode
// not 0) the blank line (zeros when null) is coded into the null-line buffer
// first (303 when it does not fit; nothing sent).
uint32_t OVC_SendRasterImage_head(OvcContext* ctx, uint32_t colour, uint32_t bytesPerLine, int32_t lines,
                                  uint8_t code, const uint8_t* blankLine);
// One line of the current command: coded lines are coded alone and sent.
uint32_t OVC_SendRasterImage_data(OvcContext* ctx, const uint8_t* line, uint8_t blank);
uint32_t OVC_SendRasterImage_head_multi(OvcContext* ctx, uint32_t block, uint32_t colour, uint32_t bytesPerLine,
                                        uint32_t dataLength, uint32_t lines, uint8_t code);
// Coded: sends the code buffer when the announced length equals the code
// fill (else 304 and nothing sent); plain: the line. The code fill is reset.
uint32_t OVC_SendRasterImage_data_multi(OvcContext* ctx, const uint8_t* line);
// form 0: the 9-byte header (coded byte 0 or 1); else the 14-byte one.
uint32_t OVC_SendRasterImage_head_stm(OvcContext* ctx, uint32_t block, uint32_t colour, uint32_t bytesPerLine,
                                      uint32_t dataLength, uint32_t lines, uint8_t code, uint8_t bits, uint8_t form);

// Appends a coded line (n bytes of line, or n zero bytes) at the code fill
// and returns its length: -1 with coding off, -2 when it does not fit (the
// fill is left).
inline constexpr int32_t kOvcCodingOff = -1;
inline constexpr int32_t kOvcNoRoom = -2;
int32_t OVC_EncodeRastergraphics(OvcContext* ctx, const uint8_t* line, uint32_t n);
int32_t OVC_EncodeNullRastergraphics(OvcContext* ctx, uint32_t n);
// The coded length without writing (2147483647 with coding off or beyond).
int32_t OVC_ClacRunLengthEncodingSize(OvcContext* ctx, const uint8_t* line, uint32_t n);
// The code of n zero bytes with minimum run m into a bounded writer.
bool OVC_WriteNullCode(const CallbackTable& cb, ByteWriter& out, uint64_t n, uint32_t m);

bool OVC_CheckCompress(const OvcContext* ctx);
void OVC_Set_arc_vpos(OvcContext* ctx, int32_t value);
void OVC_ChangeCurrentHeadPos(OvcContext* ctx, int32_t value);
uint8_t OVC_GetDotSize(const OvcContext* ctx);
uint8_t* OVC_GetNozzleType(OvcContext* ctx);
uint32_t OVC_SumAllocateMemorySize(const OvcContext* ctx);
uint32_t OVC_SetNozzleAreaInfo(OvcContext* ctx, uint32_t first, uint32_t raster, uint32_t n1, uint32_t n2, uint32_t n3);
void OVC_SetNozzlePitch(OvcContext* ctx, uint32_t pitch);
void OVC_SetNozzleAreaNum(OvcContext* ctx, uint32_t count);

}  // namespace ovcg::irac
