// The band buffer (RBM): a ring of the most recent rasters of the page, each
// colour line shifted to the page's left offset and split into the mode's
// planes by table look-up (the masking expansion), with the first non-zero
// byte and the trailing zero count of every plane line noted. The output
// loop reads plane lines through pointers into the ring, never copies.
//
// Calling order: RBM_Constructor at job start (after the model resource
// reader, whose RBMResourceData it borrows); RBM_StartPage at every page
// start (tables for the page's left offset, every store cleared); per raster
// RBM_SetRasterdata or RBM_SetBlankRasterdata; the queries; RBM_Destructor.
//
// Geometry: b bits per dot, P planes, repeat number r = mode value 0 /
// encoder word 3; a group is r input bytes; the left offset is rounded down
// to a whole group width G0 = b x b x r bytes (D = 8 G0 / b dots), and the
// rest is placed by a byte offset inside the plane line and group and a
// shift s of 0 to 8/b - 1 dots. Plane p of a group takes the group's dots
// p', p' + P, ... (p' = (p - s) mod P, dots counted from the most
// significant bit of the group's first byte), k-th dot at dot slot k x P / r
// of its output byte, the whole moved right by (s / r + (s mod r > p)) dots.
// A plane line holds B = ceil((G0 + line bytes - 1) / r) + 2 bytes; its data
// ends at byte B - 2 at the latest, and every line is followed by one more
// byte that is never written, so a width rounded up by one byte past the
// line still reads a zero of the same raster.
//
// Each slot records the raster it holds: asking for a raster that was
// overwritten or never stored is refused (407), never answered with another
// raster's bytes.
//
// Results: 0 or a code (codes.h): 401-405 allocation, 406 repeat number and
// plane count do not match, 407 raster not held, 408 an argument out of
// range, 409 slot count 0, bits per dot not 1 or 2, or a size beyond the
// int counts of the zero searches or the 32-bit allocator. The two queries
// answer 1 (data) or 0 (no data) when they succeed.
#pragma once

#include "headcontrol/callbacks.h"
#include "headcontrol/model_resource.h"

#include <cstddef>
#include <cstdint>

namespace ovcg::irac {

struct RbmObject;

// One masking expansion: n bytes of `in` into the P plane lines at out,
// out + planeStride, ... (each from its start byte), the first group
// beginning at byte startInGroup of a group.
struct RbmExpansion {
    const uint64_t* tables;  // r x 256 entries of ceil(P / 4) words: four 16-bit plane values each
    const uint8_t* in;
    size_t n;
    uint32_t startInGroup;
    uint8_t* out;
    size_t planeStride;
    const CallbackTable* cb;
};
using RbmExpandFn = void (*)(const RbmExpansion& e);

struct RbmObject {
    const CallbackTable* cb;
    uint32_t lineBytes;
    int16_t colorCount;
    uint8_t layerCount;
    uint8_t layeredHT;
    uint32_t** firstByte;      // per colour-layer: P x S (plane-major)
    uint32_t** lastZero;       // per colour-layer: P x S
    uint32_t slotCount;        // S
    int32_t flagBytes;         // F per raster
    uint32_t flagTotal;        // F x S
    uint8_t* flags;
    int64_t* slotRaster;       // the raster each slot holds; -1 none
    uint8_t pageBytes[3];      // kept for the page, not read
    uint32_t pageValue;
    uint32_t planeLineBytes;   // B
    uint32_t planeLineStride;  // B + 1
    uint8_t** stores;          // per colour-layer: P x S lines of the stride
    uint64_t planeStride;      // S x stride
    uint32_t leftOffset;       // rounded down to a whole group
    uint32_t groupWidth;       // G0
    uint16_t repeat;           // r
    uint16_t planes;           // P
    uint16_t bits;             // b
    uint32_t startByte;        // within the plane line
    uint32_t startInGroup;
    uint32_t extraByte;        // 1 when the left offset falls inside a byte
    uint32_t shift;            // s, dots inside a byte
    uint32_t tableBytes;
    uint64_t* tables;
    const RBMResourceData* res;
    RbmExpandFn expand;        // the table expansion of (r, P)
    RbmExpandFn pageExpand;    // this page's: the plain copy when r = P = 1 and s = 0
};

uint32_t RBM_Constructor(RbmObject** out, uint32_t lineBytes, int16_t colorCount, int8_t layerCount,
                         uint32_t slotCount, RscObject* rsc, uint32_t* planeLineBytes, const CallbackTable* cb);
void RBM_Destructor(RbmObject* rbm);

// Left offset in dots (negative: 408). The three bytes and the word are
// kept. *shift receives s.
uint32_t RBM_StartPage(RbmObject* rbm, int32_t leftOffset, uint8_t v0, uint8_t v1, uint8_t v2, uint32_t value,
                       uint32_t* shift);
// Stores raster R in slot R mod S (a negative R does nothing). Colour line c
// is lines[index] + c x lineWidth, or with layered halftoning
// lines[(index x layers + layer) x colours + c]; a null line is skipped.
uint32_t RBM_SetRasterdata(RbmObject* rbm, int32_t raster, int32_t lineWidth, uint8_t* const* lines, int32_t index,
                           uint32_t reserved, uint8_t* hasData);
uint32_t RBM_SetBlankRasterdata(RbmObject* rbm, int32_t raster);
// 1 and the plane line when the colour has data in the raster, 0 and null
// when it has none; 407 or 408 (and null) when the raster is not held or an
// index is out of range.
uint32_t RBM_GetRasterdata(const RbmObject* rbm, int32_t raster, int16_t colour, int16_t layer, int16_t plane,
                           uint8_t** line);
// 1 when the colour has data and its first non-zero byte lies inside the
// plane line; else 0; or 407, 408.
uint32_t RBM_GetSpacesize(const RbmObject* rbm, int32_t raster, int16_t colour, int16_t layer, int16_t plane,
                          uint32_t* firstByte, uint32_t* lastZero);
uint32_t RBM_CalcRasterTop(const RbmObject* rbm, uint32_t byte);
// offset = top / r; width = B - offset - lastZero + extra byte; 408 for a
// negative top or a block outside the plane line.
uint32_t RBM_CalcRasterGraphicsWidth(const RbmObject* rbm, int32_t top, uint32_t lastZero, uint32_t* offset,
                                     uint32_t* width);
uint32_t RBM_GetLeftOffset(const RbmObject* rbm);
uint16_t RBM_GetRepeatNum(const RbmObject* rbm);
int32_t RBM_SearchNextRaster(const RbmObject* rbm, int32_t start, int32_t count);
int32_t RBM_SearchNextColorRaster(const RbmObject* rbm, int32_t start, int32_t count);
int32_t RBM_SearchNextMonoRaster(const RbmObject* rbm, int32_t start, int32_t count);
int32_t RBM_CountBlankRaster(const RbmObject* rbm, int32_t start, int32_t count, int16_t colour);
uint32_t RBM_GetRasterbufferSize(const RbmObject* rbm);
uint32_t RBM_SumAllocateMemorySize(const RbmObject* rbm);
uint32_t RBM_SetOn_Rasterdata_forLayeredHT(RbmObject* rbm);

// The nine expansions by (r, P), and the plain copy.
void RBM_Masking_RasterData_repeat1(const RbmExpansion& e);
void RBM_Masking_RasterData_repeat1_ol2(const RbmExpansion& e);
void RBM_Masking_RasterData_repeat1_ol4(const RbmExpansion& e);
void RBM_Masking_RasterData_repeat2(const RbmExpansion& e);
void RBM_Masking_RasterData_repeat2_ol4(const RbmExpansion& e);
void RBM_Masking_RasterData_repeat2_ol8(const RbmExpansion& e);
void RBM_Masking_RasterData_repeat4(const RbmExpansion& e);
void RBM_Masking_RasterData_repeat8(const RbmExpansion& e);
void RBM_Masking_RasterData_repeat16(const RbmExpansion& e);
void RBM_Copy_RasterData(const RbmExpansion& e);

}  // namespace ovcg::irac
