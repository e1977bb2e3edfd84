// HybridED binarisation of one halftone colour: the object that holds the
// colour's kernel (chosen once, at creation, by resolution ratio, smallest dot
// size in use and halftone type), its threshold tables A and B, and two error
// lines that carry the diffused error from line to line and from one print
// head to the other. The kernels are in hxr_hybrid_ed_kernel.h.
//
// Calling order per job: HXRCreateBinarizeHybridED once (after the SML data
// are attached); per page HXRSetHybridEDErrorBuffInitialValue(line 0); per
// line and head HXRSwitchHybridEDErrorBuff, HXRGetHybridEDErrorBuffer and
// HXRBinarizeHybridED; after all heads of a line HXRSetHybridEDVPostion.
//
// Error lines. Each holds P + 60 signed 32-bit cells (P the ink buffer's row
// length); a line is handed out 30 cells in, so cells -30 .. P + 29 exist and
// a kernel reaching 15 cells past its run stays inside. Seeding for line y
// fills every cell with +16 or -16 from the bits of HXRGetRandNum(colour code
// x 1031 + y) and its successors x' = x x 69069 + 62003, 32 cells per value,
// low bit first.
//
// Ownership: the object and its buffers come from the memory manager and live
// as long as it; nothing is freed here.
//
// Errors: no error code is recorded. Creation gives null; the other calls
// answer 0 for success and 1 for failure (the fetch: null), as each
// declaration says.
#pragma once

#include "hxr/binarize/hxr_ed_tail_slot.h"
#include "hxr/binarize/hxr_hybrid_ed_kernel.h"
#include "hxr/binarize/hxr_randnum.h"
#include "hxr/color/hxr_interm.h"
#include "hxr/control/hxr_ht_data.h"
#include "hxr/control/hxr_memory.h"

#include <cstdint>

inline constexpr int32_t kHxrHybridEDMargin = 30;  // spare cells on either side of an error line
inline constexpr uint32_t kHxrHybridEDSeedStep = 1031;
inline constexpr int32_t kHxrHybridEDSeedValue = 16;

// The twenty bodies, five share tables times four decisions, instantiated
// once in hxr_hybrid_ed_kernels.cpp (`Extern` empty there, `extern` here).
#define OVCG_HYBRID_ED_BODIES(Extern, Table)                                                            \
    Extern template void RunEdLine<Table, Decide1Bit>(OVCG_HYBRID_ED_ARGS);                              \
    Extern template void RunEdLine<Table, Decide2Bit<0>>(OVCG_HYBRID_ED_ARGS);                           \
    Extern template void RunEdLine<Table, Decide2Bit<1>>(OVCG_HYBRID_ED_ARGS);                           \
    Extern template void RunEdLine<Table, Decide2Bit<2>>(OVCG_HYBRID_ED_ARGS);
#define OVCG_HYBRID_ED_ARGS                                                                                  \
    uint8_t*, uint32_t*, const uint8_t*, const uint8_t*, int32_t*, const uint32_t* const*, const HXRDthData*, \
        const HXRDthOffset*, const int32_t*, int32_t, int32_t, uint32_t
#define OVCG_HYBRID_ED_ALL_BODIES(Extern)             \
    OVCG_HYBRID_ED_BODIES(Extern, Spread1x1)          \
    OVCG_HYBRID_ED_BODIES(Extern, Spread2x1)          \
    OVCG_HYBRID_ED_BODIES(Extern, Spread4x1)          \
    OVCG_HYBRID_ED_BODIES(Extern, Spread1x2)          \
    OVCG_HYBRID_ED_BODIES(Extern, SpreadAllEDOnly1x1)

namespace ovcg::hybrid_ed {
OVCG_HYBRID_ED_ALL_BODIES(extern)

template <class Table>
inline constexpr HXRHybridEDKernel kOut1 = &RunEdLine<Table, Decide1Bit>;
template <class Table, uint32_t K>
inline constexpr HXRHybridEDKernel kOut2 = &RunEdLine<Table, Decide2Bit<K>>;
}  // namespace ovcg::hybrid_ed

// The thirty-two named kernels. The AllEDOnly kernels of the ratios 2x1, 4x1
// and 1x2 are the HybridED ones; only 1x1 differs.
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDIn8BitOut1Bit_1x1 =
    ovcg::hybrid_ed::kOut1<ovcg::hybrid_ed::Spread1x1>;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDIn8BitOut1Bit_2x1 =
    ovcg::hybrid_ed::kOut1<ovcg::hybrid_ed::Spread2x1>;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDIn8BitOut1Bit_4x1 =
    ovcg::hybrid_ed::kOut1<ovcg::hybrid_ed::Spread4x1>;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDIn8BitOut1Bit_1x2 =
    ovcg::hybrid_ed::kOut1<ovcg::hybrid_ed::Spread1x2>;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDAllEDOnlyIn8BitOut1Bit_1x1 =
    ovcg::hybrid_ed::kOut1<ovcg::hybrid_ed::SpreadAllEDOnly1x1>;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDAllEDOnlyIn8BitOut1Bit_2x1 =
    HXRBinarizeHybridEDIn8BitOut1Bit_2x1;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDAllEDOnlyIn8BitOut1Bit_4x1 =
    HXRBinarizeHybridEDIn8BitOut1Bit_4x1;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDAllEDOnlyIn8BitOut1Bit_1x2 =
    HXRBinarizeHybridEDIn8BitOut1Bit_1x2;

inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDIn8BitOut2Bit_1x1_SML =
    ovcg::hybrid_ed::kOut2<ovcg::hybrid_ed::Spread1x1, 0>;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDIn8BitOut2Bit_1x1_ML =
    ovcg::hybrid_ed::kOut2<ovcg::hybrid_ed::Spread1x1, 1>;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDIn8BitOut2Bit_1x1_L =
    ovcg::hybrid_ed::kOut2<ovcg::hybrid_ed::Spread1x1, 2>;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDIn8BitOut2Bit_2x1_SML =
    ovcg::hybrid_ed::kOut2<ovcg::hybrid_ed::Spread2x1, 0>;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDIn8BitOut2Bit_2x1_ML =
    ovcg::hybrid_ed::kOut2<ovcg::hybrid_ed::Spread2x1, 1>;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDIn8BitOut2Bit_2x1_L =
    ovcg::hybrid_ed::kOut2<ovcg::hybrid_ed::Spread2x1, 2>;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDIn8BitOut2Bit_4x1_SML =
    ovcg::hybrid_ed::kOut2<ovcg::hybrid_ed::Spread4x1, 0>;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDIn8BitOut2Bit_4x1_ML =
    ovcg::hybrid_ed::kOut2<ovcg::hybrid_ed::Spread4x1, 1>;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDIn8BitOut2Bit_4x1_L =
    ovcg::hybrid_ed::kOut2<ovcg::hybrid_ed::Spread4x1, 2>;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDIn8BitOut2Bit_1x2_SML =
    ovcg::hybrid_ed::kOut2<ovcg::hybrid_ed::Spread1x2, 0>;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDIn8BitOut2Bit_1x2_ML =
    ovcg::hybrid_ed::kOut2<ovcg::hybrid_ed::Spread1x2, 1>;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDIn8BitOut2Bit_1x2_L =
    ovcg::hybrid_ed::kOut2<ovcg::hybrid_ed::Spread1x2, 2>;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_1x1_SML =
    ovcg::hybrid_ed::kOut2<ovcg::hybrid_ed::SpreadAllEDOnly1x1, 0>;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_1x1_ML =
    ovcg::hybrid_ed::kOut2<ovcg::hybrid_ed::SpreadAllEDOnly1x1, 1>;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_1x1_L =
    ovcg::hybrid_ed::kOut2<ovcg::hybrid_ed::SpreadAllEDOnly1x1, 2>;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_2x1_SML =
    HXRBinarizeHybridEDIn8BitOut2Bit_2x1_SML;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_2x1_ML =
    HXRBinarizeHybridEDIn8BitOut2Bit_2x1_ML;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_2x1_L =
    HXRBinarizeHybridEDIn8BitOut2Bit_2x1_L;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_4x1_SML =
    HXRBinarizeHybridEDIn8BitOut2Bit_4x1_SML;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_4x1_ML =
    HXRBinarizeHybridEDIn8BitOut2Bit_4x1_ML;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_4x1_L =
    HXRBinarizeHybridEDIn8BitOut2Bit_4x1_L;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_1x2_SML =
    HXRBinarizeHybridEDIn8BitOut2Bit_1x2_SML;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_1x2_ML =
    HXRBinarizeHybridEDIn8BitOut2Bit_1x2_ML;
inline constexpr HXRHybridEDKernel HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_1x2_L =
    HXRBinarizeHybridEDIn8BitOut2Bit_1x2_L;

// A row of the kernel tables. The 1-bit tables hold dot-size index 0 in every
// row and close with resolution index 0; the 2-bit tables close with {2, 0,
// null}. Resolution index 1 = 1x1, 2 = 2x1, 3 = 4x1, 4 = 1x2; dot-size index
// = the smallest dot size in use, 0 small, 1 medium, 2 large.
struct HXRHybridEDFuncRow {
    uint32_t dotSizeIndex;
    uint32_t resolutionIndex;
    HXRHybridEDKernel kernel;
};
// Halftone type 6.
extern const HXRHybridEDFuncRow HybridEDFuncTableOut1bit[5];
extern const HXRHybridEDFuncRow HybridEDFuncTableOut2bit[13];
// Other halftone types.
extern const HXRHybridEDFuncRow HybridEDAllEDOnlyFuncTableOut1bit[5];
extern const HXRHybridEDFuncRow HybridEDAllEDOnlyFuncTableOut2bit[13];

struct HXRHybridEDErrorBuffers {
    int32_t* buffer[2];  // cellCount cells each
    int32_t cellCount;   // P + 60
    uint32_t current;    // the buffer head 0 uses
    int32_t heads;       // head count of the last switch; 1 after creation
    uint32_t colorCode;  // halftone colour code, in the seed
};

// Runs of a line cut in two for a helper thread (hxr_ed_tail_slot.h): two run
// states used in turn, each with its own copy of the line's ink (the caller's
// ink row is reused once the call returns).
struct HXRHybridEDTailJob {
    const ovcg::hybrid_ed::EdParts* parts;
    void* run;
    uint64_t* late;  // codes 1..6: where the tail's counts go
};
struct HXRHybridEDSplit {
    HXRHybridEDTailSlot* slot;
    const ovcg::hybrid_ed::EdParts* parts;
    void* runs[2];
    uint8_t* inks[2];
    HXRHybridEDTailJob jobs[2];
    uint32_t next;  // the state the next cut run takes
    int32_t lo;     // the lowest cell the last posted tail touches
    uint64_t* late;
};

struct HXRHybridEDBinarizer {
    uint32_t converterKind;
    uint32_t elementSize;  // always 1: the kernels read 8-bit rows
    HXRHybridEDErrorBuffers* errorBuffers;
    int32_t thresholds[512];  // A[i] = thresholds[i], B[i] = thresholds[256 + i]
    HXRHybridEDKernel kernel;
    uint32_t lastLine;  // recorded by HXRSetHybridEDVPostion; 0xFFFFFFFF after creation
    uint32_t dotMode;   // 1 or 2: what the SML rows are checked against
    HXRHybridEDSplit* split;  // null: every run walked whole, at once
};

// Runs at least this long are cut in two once a tail slot is set.
inline constexpr int32_t kHxrHybridEDSplitMin = 1024;

// Resolution index of a horizontal and vertical resolution: 1 for
// H <= V < 2H, 2 for 2V <= H < 3V, 3 for 4V <= H < 5V, 4 for 2H <= V < 3H,
// 0 otherwise (either below 1 among them).
uint32_t HXRGetHybridEDResolutionIndex(int32_t hRes, int32_t vRes);
// Smallest dot size (0..2) with a non-zero rate among the first three dot
// sizes of the records present (null entries are skipped); -1 when a record
// present has none in use (or no dot size, or no rates), or none is present.
int32_t HXRGetHybridEDDotSizeIndex(const HXRSmlColorData* const* sml, int32_t count);
// Table A (table 0) or B (table 1), 256 entries: 64 x the rounded
// piecewise-linear value through the table's nodes.
void HXRMakeHybridEDThresholds(int32_t table, int32_t* out);

// Null when: no memory manager, descriptor or random state; the resolution
// index is 0; no record of the four (intent 0 primary, intent 0 secondary,
// intent 1 primary, intent 1 secondary; null entries skipped) is present or
// one present has none of its first three dot sizes in use; a monochrome-
// photo converter kind (4, 6); an element size other than 1; a dot mode
// other than 1 and 2; a row length below 1, or error lines too large for the
// allocator; a failed allocation (what was allocated stays with the manager).
// The ink-set id is not read.
HXRHybridEDBinarizer* HXRCreateBinarizeHybridED(uint32_t inkSet, int32_t hRes, int32_t vRes, uint32_t converterKind,
                                                uint32_t elementSize, uint32_t dotMode, uint32_t htType,
                                                uint32_t colorCode, const HXRSmlColorData* const* sml,
                                                const HXRIntermediateData* interm, HXRRandNum* random,
                                                HXRMemMgr* manager);
// One run through the object's kernel. 1 for: a null object, counts, dither
// data, offsets, SML pair or either record; a record the walk refuses; an
// SML row that does not cover the kernel (HXRCheckSmlRow); x0 < 0, n < 0 or
// x0 + n beyond the row length. A null plane, ink row or error line is
// success with nothing done. `error` is a line from HXRGetHybridEDErrorBuffer.
uint32_t HXRBinarizeHybridED(const HXRHybridEDBinarizer* b, uint8_t* plane, uint32_t* counts, const uint8_t* ink,
                             const uint8_t* intent, int32_t* error, int32_t x0, int32_t n, const HXRDthData* dither,
                             const HXRDthOffset* offset, const HXRSmlColorData* const* sml, uint32_t nozzle);
// Before each line and head: one head to two fills the other buffer from the
// current one (a positive error e becomes -(e / 5), others are copied); two
// to one makes the other buffer current. 1 for a null object or buffers, or
// a head count outside 1..2.
uint32_t HXRSwitchHybridEDErrorBuff(HXRHybridEDBinarizer* b, int32_t heads);
// The error line of `head` (0 or 1) for line y, re-seeding the current buffer
// for y first unless y follows the recorded line. Null for a null object,
// buffers or random state, or a head outside 0..1.
int32_t* HXRGetHybridEDErrorBuffer(HXRHybridEDBinarizer* b, HXRRandNum* random, uint32_t line, int32_t head);
// From now on every run of at least kHxrHybridEDSplitMin pixels is cut at
// a byte boundary a little before its middle: the call walks the first half
// and posts the second to `slot`; its counts are added to `late` (codes 1..6
// of the colour's dot counter) by whoever walks it, not to the call's
// counts. The call returns with the line's second half possibly unwritten:
// the caller joins the slot (HXRJoinHybridEDTail) before it reads the planes
// or the dot counter. The calls below join it themselves before they touch
// the error lines. A null slot joins the one set and walks every run whole
// again. 1 for a null object, buffers or counts, a kernel that cannot be
// cut, or a failed allocation (nothing changed); 0 when set.
uint32_t HXRSetHybridEDTailSlot(HXRHybridEDBinarizer* b, HXRHybridEDTailSlot* slot, uint64_t* late, HXRMemMgr* mm);
// The kernel's parts, or null for a function that is not one of the kernels.
const ovcg::hybrid_ed::EdParts* HXRGetHybridEDParts(HXRHybridEDKernel kernel);

// Records the line whose heads are all done. 1 for a null object.
uint32_t HXRSetHybridEDVPostion(HXRHybridEDBinarizer* b, uint32_t line);
// Re-seeds the current buffer for `line`. 1 for a null object, buffers or
// random state.
uint32_t HXRSetHybridEDErrorBuffInitialValue(HXRHybridEDBinarizer* b, HXRRandNum* random, uint32_t line);
