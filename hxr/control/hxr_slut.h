// The SLUT package's records. The package is a run of records
// {u32 identifier, u32 body size, body}, each body zero-padded to a multiple
// of 4 and beginning with its u32 format number (2 for the SML records, 1 for
// the others), closed by the end record {0, 0}. All integers little-endian.
//
// Order: the LUT record of each intent (16 / 17 for 3D intents 0 / 1, 48 for
// a 4D table, 32 for a monochrome-photo table), the grid record (0x20001), an
// SML record per output colour, the dither header (0x40000), a data record
// per distinct threshold matrix (0x40010 + j), three index records per output
// colour (areas 0, 1, 2, colours in output order), an offset record per
// output colour, the end record. The SML, index and offset identifiers come
// from the colour code (HXRSlutIds); codes 0 and 12 share theirs.
//
// Record writers take the two-pass cursor (hxr_pkg_writer.h) and return the
// bytes the record or records take (header included), or kHxrPkgFail with
// the failure recorded (7153..7159, or none where the cause is a missing
// object that the builder reports itself).
#pragma once

#include "hxr/control/hxr_packages.h"
#include "hxr/control/hxr_pkg_writer.h"
#include "hxr/control/hxr_rate.h"

#include <cstdint>

inline constexpr uint32_t kSlutId3D = 16;  // + intent
inline constexpr uint32_t kSlutId4D = 48;
inline constexpr uint32_t kSlutIdTnmx = 32;
inline constexpr uint32_t kSlutIdGrid = 0x20001;
inline constexpr uint32_t kSlutIdDitherHeader = 0x40000;
inline constexpr uint32_t kSlutIdDitherData = 0x40010;  // + matrix
inline constexpr uint32_t kSlutMaxGrid = 64;
inline constexpr uint32_t kSlutTnmxRows = 256;
inline constexpr uint32_t kSlutMaxMatrices = 4;
inline constexpr uint32_t kSlutMaxAreas = 3;
inline constexpr uint32_t kSlutRateScale = 4080;

// The identifiers of one colour code; found = false for a code without them.
struct HXRSlutIds {
    bool found;
    uint32_t sml;
    uint32_t index[3];  // dither index, areas 0, 1, 2
    uint32_t offset;
};
HXRSlutIds HXRGetSlutIds(uint32_t colourCode);

// What the printer needs for its own ink-weight correction: the correction
// block of the job's correction mode (HXRSearchCorrectMode), its position
// width (1 or 2 bytes) and the rate parser (null: every dot takes the
// default rate points 0, 128, 255, 128).
struct HXRSlutCorrection {
    const uint8_t* mode;
    uint32_t positionSize;
    const HXRRateResParser* rate;
};

uint64_t HXRGetSlutLut(HXRPkgCursor c, const HXRLutSlc* slice, uint32_t gridNum, uint32_t colourNum,
                       uint32_t colourFlag, uint32_t lutType, uint32_t intent);
uint64_t HXRGetSlutGrid(HXRPkgCursor c, const HXRLutSlc* slice, uint32_t gridNum, uint32_t lutType);
// The N grid levels of the table type (3D 32 or 64, 4D 32, monochrome photo
// 256 levels 0..255); kHxrPkgFail for another count.
uint64_t WriteGrid(HXRPkgCursor c, uint32_t gridNum, uint32_t lutType);
// One SML record per output colour from intent 0's part-0 manager (its TNMX
// copy for a monochrome-photo table), with the correction blocks when the
// read controller's configuration yields a correction mode for the job.
uint64_t HXRGetSlutSmlFmt2(HXRPkgCursor c, HXRSmlDataMgr* smlMgr, const HXRClrMgr* colours, uint32_t colourNum,
                           const HXRResReadController* readCtrl, uint32_t colourFlag, uint32_t outBits,
                           uint32_t lutType, HXRStrNCmpFn compare);
// One SML record: `entry` the colour's rates, `indexTable` its 256 corrected
// positions (null: the correction is the identity, no index table),
// `correction` null without a correction mode.
uint64_t WriteSmlFmt2(HXRPkgCursor c, uint32_t id, const HXRSmlColorData* entry, const uint32_t* indexTable,
                      const HXRSlutCorrection* correction, uint32_t colourCode, const HXRClrMgr* colours);
// The dither header, data and index records.
uint64_t HXRGetSlutDither(HXRPkgCursor c, const HXRTRAQ2DthDataMgr* dither, const HXRClrMgr* colours,
                          uint32_t colourNum);
uint64_t HXRGetSlutDitherOffset(HXRPkgCursor c, const HXRTRAQ2DthDataMgr* dither, const HXRClrMgr* colours,
                                uint32_t colourNum);

// The whole package from a data set: the total size (end record included),
// or 0 on failure. c null is the sizing pass.
uint64_t CreateSlutResource(HXRPkgCursor c, const HXRTRAQ2Data* set, const HXRResReadController* readCtrl,
                            uint32_t gridNum, const HXRClrMgr* colours, uint32_t colourFlag, uint32_t outBits,
                            uint32_t lutType, HXRStrNCmpFn compare);

// Steps 1..5 of the build: the package's data set (LUT slices, SML data
// managers of parts 0 and 1, dither data managers in row-pair order), or
// null. The caller deletes it with HXRDeleteTRAQ2Data.
HXRTRAQ2Data* HXRCreateTRAQ3DataSet(const HXRResReadController* readCtrl, const HXRHtCtrlAnswers* htCtrl,
                                    const _HXR_HALFTONE_INFO* halftone, const _HXR_OPTION_INFO* option,
                                    const HXRDataSetOptions* values, const HXRServiceTable* services,
                                    const HXRClrMgr* colours, HXRMemMgr* manager, const char* dutyModeId);
