// Binarize controller: the one handle through which the halftone controller
// drives binarisation for a job. It owns the every-colour binariser
// (hxr_bnrz_evrclr.h) and forwards every setting, every band and the queries
// to it.
//
// Calling order per job: HXRCreateBinarizeController (after the colour
// converter, before the ink buffer descriptor), HXRSetBinarizeData, then
// HXRSetHybridEDBinarize for halftone types 5 and 6 only. Per page:
// HXRSetHtSwitchPos (mode 0), then HXRResetBnrzErrorBuffer. Per band:
// HXRBinarize. HXRSetHtSwitchPos with mode 1 at any time. An output plane
// holds HXRGetBnrzPixelSize pixels of HXRGetBnrzBitPerColor bits.
//
// Ownership: the record comes from the engine's memory manager and lives as
// long as the job's memory; there is no destroy operation.
//
// Errors: creation records 8401 (dot mode 34 with a monochrome-photo
// converter kind) and 8402 (dot mode 34 with a halftone type other than 3);
// every other refusal is silent. Forwarders answer 0 for success and 1 for a
// null controller, a kind other than 1 or a failure of the binariser; the
// queries answer the neutral value of each declaration.
#pragma once

#include "hxr/binarize/hxr_bnrz_evrclr.h"
#include "ovcg/hxr.h"

#include <cstdint>

enum : uint32_t {
    kHxrBnrzCtrlTnmxDotMode34 = 8401,
    kHxrBnrzCtrlHtTypeDotMode34 = 8402,
};

inline constexpr uint32_t kHxrBnrzKindEveryColor = 1;
inline constexpr uint32_t kHxrBnrzSmlGradNum = 256;
inline constexpr uint32_t kHxrBnrzDthDataBytes = 2;
inline constexpr uint32_t kHxrBnrzDthUpdatePixels = 4;

struct HXRBinarizeController {
    uint32_t kind;  // 1: every-colour binariser, the only kind
    HXREveryColorBinarizer* everyColor;
    uint32_t bitPerColor;  // dot mode & 15
    uint32_t pixelSize;    // output pixels of a line rounded up to a multiple of 8
};

// Null for a null halftone description, print-mode record (only tested for
// presence) or colour manager; dot mode 34 with converter kind 4 or 6 (8401)
// or with a halftone type other than 3 (8402); another dot mode with a
// halftone type other than 3, 5 and 6; a pixel count whose rounded size does
// not fit 32 bits; or a binariser that cannot be made (hxr_bnrz_evrclr.h).
// `ops`: how the binariser reaches the job's data set.
HXRBinarizeController* HXRCreateBinarizeController(const _HXR_HALFTONE_INFO* halftone, const void* printMode,
                                                   uint32_t converterKind, uint32_t pixelCount, uint32_t elementSize,
                                                   const HXRClrMgr* colours, HXRMemMgr* memory,
                                                   const HXRBnrzDataOps* ops);

// Forwarders (header). HXRSetHybridEDBinarize also answers 1 for a null
// halftone description.
uint32_t HXRSetHybridEDBinarize(HXRBinarizeController* c, const _HXR_HALFTONE_INFO* halftone, uint32_t converterKind,
                                uint32_t elementSize, const HXRClrMgr* colours, const HXRIntermediateData* interm,
                                HXRRandNum* random, HXRMemMgr* memory);
uint32_t HXRSetBrsBinarize(HXRBinarizeController* c, const HXRBrsSource* brs);
uint32_t HXRSetDataShiftBinarize(HXRBinarizeController* c, const HXRDataShiftSource* source,
                                 const HXRClrMgr* colours);
uint32_t HXRSetBinarizeData(HXRBinarizeController* c, const HXRTRAQ2Data* set, const HXRClrMgr* colours,
                            HXRMemMgr* memory);
uint32_t HXRSetHtSwitchPos(HXRBinarizeController* c, const HXRSwitchPosList* list, uint32_t mode,
                           HXRMemMgr* memory);
uint32_t HXRBinarize(HXRBinarizeController* c, const HXRIntermediateData* interm, HXRRandNum* random,
                     uint8_t* const* planes, uint32_t* anyDot, int32_t lines, int32_t firstLine,
                     const void* tnmxLutInfo);
// Re-seeds every HybridED colour's error lines: 0; 1 for a null controller, a
// kind other than 1 or a failed reset.
uint32_t HXRResetBnrzErrorBuffer(HXRBinarizeController* c, HXRRandNum* random);

// Queries: 0 for a null controller or a kind other than 1 unless stated.
uint32_t HXRGetBnrzSmlGradNum(const HXRBinarizeController* c);         // 256
uint32_t HXRBnrzIfAddBiggerDotRate();                                  // always 0
uint32_t HXRIfUseDth(const HXRBinarizeController* c);                  // 1
uint32_t HXRGetBnrzDthOrder(const HXRBinarizeController* c);           // 1
uint32_t HXRGetBnrzDthThreshAddition(const HXRBinarizeController* c);  // 8192
uint32_t HXRGetBnrzDthDataBytes(const HXRBinarizeController* c);       // 2
uint32_t HXRGetBnrzDthDataType(const HXRBinarizeController* c);        // 1, or 2 with UBEC colours only
uint32_t HXRGetBnrzDthThreshUpdatePixel(const HXRBinarizeController* c);  // 4
uint32_t HXRGetBnrzBitPerColor(const HXRBinarizeController* c);        // any kind
// The counts of the every-colour binariser (HXRGetBnrzEvrClrDotCounter):
// values written into `out` (room for `capacity`), the counters cleared.
uint32_t HXRGetBnrzCtrlDotCounter(HXRBinarizeController* c, uint64_t* out, uint32_t capacity);
uint32_t HXRIfUseUBEC(const HXRBinarizeController* c);               // 1 with UBEC colours only
uint32_t HXRGetBnrzUBECBlockSize(const HXRBinarizeController* c);    // 1
uint32_t HXRGetBnrzUBECEncodeStep(const HXRBinarizeController* c);   // 1
uint32_t HXRGetBnrzUBECTableType(const HXRBinarizeController* c);    // 1
uint32_t HXRIfExecUBECSmlCalib();                                    // always 0
uint32_t HXRGetBnrzPixelSize(const HXRBinarizeController* c);        // any kind
// Output colour order of the code, any kind; 0xFFFFFFFF for a null controller.
uint32_t HXRGetBnrzOutputColorOrder(const HXRBinarizeController* c, uint32_t code);
uint32_t HXRGetBnrzHalftoneColorNum(const HXRBinarizeController* c);  // any kind
