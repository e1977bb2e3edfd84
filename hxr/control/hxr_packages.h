// The printer-side halftoning packages a job start builds besides the host
// halftoning data set:
//
//   SLUT package (output flag 2): one byte image of tagged records (colour
//   tables of each intent, grid levels, dot-size tables with what the printer
//   needs for its own ink-weight correction, dither matrices with their
//   assignment to colours and areas, dither offsets) that the level-3 path
//   sends to the printer as it stands.
//
//   RH package (output flag 4): one byte image of sections (colour tables,
//   dot-size tables, calibration tables, dither and UBEC tables) that an
//   outside caller fetches piece by piece through descriptors
//   (include/ovcg/hxr.h).
//
// Both are built once inside the job start from the read controller and the
// colour manager; every block comes from the instance's memory manager and
// goes with it (there is no separate delete). The builders make their own
// per-job data set (colour table slices, SML data managers, dither and UBEC
// data managers), lay the package out in two passes (sizing, then writing
// into a block of exactly that size) and delete the data set again.
//
// Calling order: HXRCreateTRAQ3Data / HXRCreateRHData during the job start,
// then the getters at any time until the instance is deleted. The getters
// only read the package (the RH getters allocate the descriptor or copy they
// return).
//
// Errors: the builders return null and leave their first failure in the
// engine's error record (the codes below, or those of the slices and
// managers they build); the getters return the code.
#pragma once

#include "hxr/control/hxr_lut_data.h"
#include "hxr/control/hxr_traq2_data.h"
#include "ovcg/hxr.h"

#include <cstdint>

enum : uint32_t {
    // SLUT package.
    kHxrSlutNullArgument = 7101,     // HXRGetSlut: a null argument
    kHxrSlutDutyNotARecord = 7151,   // the per-colour words are neither multi-duty words nor a duty record
    kHxrSlutDutyOutOfRange = 7152,   // a duty factor outside 128..8192
    kHxrSlutLutChannels = 7153,      // more output colours than the colour table has channels
    kHxrSlutGrid = 7154,             // a grid count the table does not have, above 64, or an empty table
    kHxrSlutColourCode = 7155,       // an output colour code without record identifiers
    kHxrSlutDitherLayout = 7156,     // more than 4 dither matrices or more than 3 dither areas
    kHxrSlutSize = 7157,             // the package exceeds 32 bits, or the two passes disagree
    kHxrSlutNoLut = 7158,            // no colour table the package can carry: the job converts without
                                     // one, a second intent of a table that is not 3D, an intent's table
                                     // missing or of another type
    kHxrSlutNoDither = 7159,         // the job needs no dither data

    // RH package: the build.
    kHxrRhBadArgument = 7201,        // HXRGetRHData: a null argument; build: K above 8, or an
                                     // output colour whose LUT channel is not below K
    kHxrRhInkNum = 7211,             // K not 1, 4, 5, 6, 7 or 8
    kHxrRhIntentNum = 7212,          // more than two intents
    kHxrRhTnmxInkNum = 7213,         // a monochrome-photo job with K not 6 or 8
    kHxrRhDitherNumbering = 7214,    // a halftone colour without a threshold matrix (dither left out)
    kHxrRhSize = 7215,               // the package or a section exceeds 32 bits
    kHxrRhDutyNotARecord = 7251,     // as 7151
    kHxrRhDutyOrIntents = 7253,      // a duty factor outside 128..8192, or an intent count not 1 or 2
    kHxrRhDitherOffset = 7701,       // a non-zero second dither offset (dither left out)
    kHxrRhDitherMatrices = 7702,     // a fifth threshold matrix (dither left out)
    kHxrRhDitherWidth = 7703,        // width not 16, 32, 128, 256, 512 or 1024 (dither left out)
    kHxrRhDitherHeight = 7704,       // height not 1..1024 (dither left out)
    kHxrRhDitherStep = 7705,         // a non-zero second step parameter (dither left out)
    kHxrRhDitherDiffer = 7706,       // matrices of different width, height or first step (dither left out)
    kHxrRhNo3DTable = 7801,          // no 3D colour table of 17 source nodes and 64 rebuilt nodes
    kHxrRhNoTnmxTable = 7802,        // no monochrome-photo table (or a monochrome job)
    kHxrRhSmlNumbers = 7901,         // more than eight distinct SML sections
    kHxrRhSmlPartZero = 7902,        // more than four part-0 SML sections beside part-1 entries
    kHxrRhUbecTables = 8501,         // a fifth UBEC table
    kHxrRhUbecWidth = 8502,          // block width x blocks per row not a power of two in 8..512
    kHxrRhUbecBlockHeight = 8503,    // block height above 256

    // RH package: the getters.
    kHxrRhCommonNull = 7220,
    kHxrRhCommonMemory = 7221,
    kHxrRhLutNull = 7230,
    kHxrRhLutNoPackage = 7231,
    kHxrRhLutMemory = 7233,
    kHxrRhLutNoPreLut = 7234,        // kind 0 absent (not a 3D package)
    kHxrRhLutNoGrid = 7235,          // kind 1 absent
    kHxrRhLutNoTnmx = 7236,          // kind 2 absent (not a monochrome-photo package)
    kHxrRhLutKind = 7237,
    kHxrRhDitherNull = 7240,
    kHxrRhDitherKind = 7241,
    kHxrRhDitherNoPackage = 7242,
    kHxrRhDitherMemory = 7243,
    kHxrRhDitherNone = 7245,         // the package was finished without dither sections
    kHxrRhUbecNull = 7261,
    kHxrRhUbecNoPackage = 7262,
    kHxrRhUbecMemory = 7263,
    kHxrRhUbecNone = 7264,           // the print mode's masks carry no UBEC blocks (or a monochrome-photo job)
    kHxrRhUbecUnusable = 7265,       // UBEC blocks, but not one UBEC table per colour of one dither area
    kHxrRhUbecKind = 7266,
};

// Kinds of HXRGetRHLutData.
inline constexpr uint32_t kHxrRhLutPreLut = 0;  // per intent the 17-node table with its side tables
inline constexpr uint32_t kHxrRhLutGrid = 1;    // per intent the 64-node rebuilt grid
inline constexpr uint32_t kHxrRhLutTnmx = 2;    // per intent the monochrome-photo identity table

// Entries of an additional colour table (HXR_SetValue keys 1280, 1281): one
// per node of the 17-node source grid, K bytes each.
inline constexpr uint32_t kHxrRhAdditionalEntries = 17 * 17 * 17;

// ---------------------------------------------------------------- SLUT

// The package as HXR_GetSlut hands it out.
struct HXRSlut {
    uint8_t* data;
    uint32_t size;
};

// The SLUT package of the job: htCtrl holds the halftone controller's
// answers (the job must convert through a colour table and need dither data),
// values the instance's per-colour words (multi-duty words of each intent)
// and its calibration blob (the printer identifier is not used: the printer
// corrects by itself). Null on failure.
HXRSlut* HXRCreateTRAQ3Data(const HXRResReadController* readCtrl, const HXRHtCtrlAnswers* htCtrl,
                            const _HXR_HALFTONE_INFO* halftone, const _HXR_OPTION_INFO* option,
                            const HXRDataSetOptions* values, const HXRServiceTable* services,
                            const HXRClrMgr* colours, HXRMemMgr* manager, const char* dutyModeId);
// The package's bytes and size. 0; 7101 for a null argument.
uint32_t HXRGetSlut(const HXRSlut* slut, const uint8_t** data, uint32_t* size);

// ---------------------------------------------------------------- RH

struct HXRRHData;

// The RH package of the job. additional: the instance's two additional colour
// tables (intent 0 and 1; a null pointer or an entry without data means
// none), each attached to its intent's 3D table when present; it must hold
// kHxrRhAdditionalEntries x K bytes (else 20403). Null on failure.
HXRRHData* HXRCreateRHData(const HXRResReadController* readCtrl, const _HXR_HALFTONE_INFO* halftone,
                           const _HXR_OPTION_INFO* option, const HXRDataSetOptions* values,
                           const HXRAdditionalLut* additional, const HXRServiceTable* services,
                           const HXRClrMgr* colours, HXRMemMgr* manager, const char* dutyModeId);

// The whole package image and its size. 0; 7201 for a null argument.
uint32_t HXRGetRHData(const HXRRHData* rh, const void** data, uint32_t* size);
// A new 26-byte copy of the common head: u8 K, a zero byte, eight u16 dither
// offsets (2..17), eight u8 per-colour flags (18..25). reserved is not read.
// 0; 7220 null argument; 7221 no memory.
uint32_t HXRGetRHCommonData(const HXRRHData* rh, void** data, uint32_t* size, uint32_t reserved,
                            HXRMemMgr* manager);
// A new HXRRHLutInfo of the kind (kHxrRhLut*); *size = the descriptor plus
// the sections it points to. 0; 7230 null argument; 7231 no package; 7233 no
// memory; 7234 / 7235 / 7236 the kind is absent; 7237 another kind.
uint32_t HXRGetRHLutData(const HXRRHData* rh, void** data, uint32_t* size, uint32_t kind, HXRMemMgr* manager);
// A new HXRRHDitherInfo (kind 0). 0; 7240 null argument; 7241 another kind;
// 7242 no package; 7243 no memory; 7245 no dither sections.
uint32_t HXRGetRHDitherData(const HXRRHData* rh, void** data, uint32_t* size, uint32_t kind, HXRMemMgr* manager);
// A new HXRRHUbecInfo (kind 0). 0; 7261 null argument; 7266 another kind;
// 7262 no package; 7263 no memory; 7264 / 7265 no UBEC sections.
uint32_t HXRGetRHUBECData(const HXRRHData* rh, void** data, uint32_t* size, uint32_t kind, HXRMemMgr* manager);
// Accepted for callers that set an ABR function; ignored. Always 0.
uint32_t HXRSetABR(HXRRHData* rh, const void* function);
