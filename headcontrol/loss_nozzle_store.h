// The loss-nozzle complement's common store (CCMN): the lost nozzles of each
// ink, the complement rasters found for them with their per-pass bit
// patterns, the per-ink search areas and base rasters, the head records of
// the current pass, and the conversions between virtual nozzles (one row
// over all heads of a nozzle line) and real (head, nozzle, colour code).
//
// Units: positions and offsets are rasters; nozzle numbers are nozzles.
// They meet only through the pass engine's pitch (raster = pitch x nozzle).
//
// Calling order: CCMN_Allocate (loss_nozzle.h), CCMN_SetLossNozzleMax,
// CCMN_InitWorkArea; per pass the processing (loss_nozzle_proc.h) fills
// and reads the store; CCMN_ExitWorkArea; CCMN_Free. Ink and entry
// arguments are indexes; one outside its range reads as empty (0) and is
// refused by the operations that return a code.
//
// Errors (codes.h): 932-935 and 944 work-area allocations, 936 no pitch or
// a nozzle outside the heads, 937-939 a bad lost-nozzle entry, 940 an ink
// code not found, 941 a missing table or an index past one, 943 no loss
// nozzles per ink (a maximum below the ink count, or an ink count outside
// 1..32), 959 the host's query failed.
#pragma once

#include "headcontrol/callbacks.h"
#include "headcontrol/loss_nozzle.h"
#include "headcontrol/mle.h"

#include <cstdint>

namespace ovcg::irac {

// A real nozzle: head, nozzle in the head, command colour code.
struct CcmnRealNozzle {
    uint16_t head;
    uint16_t nozzle;
    uint8_t colorCode;
};

uint32_t CCMN_InitWorkArea(CcmnStore* store, int16_t inkCount, int16_t headCount, uint16_t unitCount,
                           const CcmnInkInfo* inkInfo, uint8_t splitFlag, const CcmnSplitTable* split,
                           const void* polMask1, const void* polMask2);
void CCMN_ExitWorkArea(CcmnStore* store);

// The virtual nozzle that prints `raster` when the ink's first nozzle
// stands at base + MLE_GetOffsetNozzle(ink): on-pitch 0 (nozzle 0, result
// 0) between nozzles; 936 without a pitch or beyond the virtual nozzles.
uint32_t CCMN_CalcVirtualNozzleNo(MLE_INSTANCE* mle, int32_t ink, int64_t raster, int64_t base, uint8_t* onPitch,
                                  uint32_t* nozzle);
// The head of the ink whose nozzles hold virtual nozzle v and, when v lies
// in a joint, the other head of the joint (zero records for none).
void CCMN_GetIncludeHeadInfo(const CcmnStore* store, uint32_t v, int32_t ink, uint8_t* joint, CcmnHeadRecord* head,
                             CcmnHeadRecord* neighbour);
void CCMN_GetHeadInfo(const CcmnStore* store, int32_t ink, int32_t head, CcmnHeadRecord* out);
// Refills every head record of every ink from the pass engine's current pass.
uint32_t CCMN_CollectHeadInfo(MLE_INSTANCE* mle, CcmnStore* store);
uint32_t CCMN_ConvertRealNozzleInfo(const CcmnStore* store, int32_t ink, uint32_t v, uint8_t* joint,
                                    CcmnRealNozzle* real, CcmnRealNozzle* neighbour);
uint32_t CCMN_ConvertInputInkIndex(const CcmnStore* store, uint8_t inkCode, int32_t* ink);
uint8_t CCMN_ConvertColorCode(const CcmnStore* store, int32_t ink);
// The raster offset of a real nozzle from its ink's first nozzle.
uint32_t CCMN_ConvertVirtualNozzleOffset(const CcmnStore* store, MLE_INSTANCE* mle, uint16_t head, uint16_t nozzle,
                                         uint8_t inkCode, uint32_t* offset);
// Asks the host for its lost-nozzle list and merges it: a new lost nozzle
// is appended (up to the per-ink maximum), a restored one removed.
uint32_t CCMN_UpdateLossNozzleInfo(CcmnStore* store, MLE_INSTANCE* mle, uint32_t v1, uint32_t v2, uint32_t v3);
uint8_t CCMN_GetNozzleState(const CcmnStore* store, int32_t ink, uint16_t head, uint16_t nozzle, uint8_t inkCode);
// 0 as soon as one ink's search end is not negative and reaches
// MLE_GetOffsetNozzle(ink) + raster; else 1.
uint8_t CCMN_JudgeSearchLoopEnd(const CcmnStore* store, MLE_INSTANCE* mle, int64_t raster);
void CCMN_UpdateLossPattern(CcmnStore* store, int32_t ink, int32_t entry, uint32_t passBit, uint8_t f1, uint8_t f2,
                            uint8_t f3);
// The four planes' bits of pass b, plane p in bit p.
uint8_t CCMN_GetLossPattern(const CcmnStore* store, int32_t ink, int32_t entry, uint32_t passBit);
void CCMN_ResetLossPattern(CcmnStore* store, int32_t ink, int32_t entry);
// 941 without inks; nothing (0) once the ink holds the per-ink maximum.
uint32_t CCMN_SetComplateRasterInfo(CcmnStore* store, int32_t ink, CcmnLossNozzle* loss, uint32_t position,
                                    uint16_t passTag, uint8_t cmsType);

// ---- Plain accessors ------------------------------------------------------------------
void CCMN_SetBaseRaster(CcmnStore* store, int32_t ink, uint32_t raster);
uint32_t CCMN_GetBaseRaster(const CcmnStore* store, int32_t ink);
void CCMN_GetInkInfo(const CcmnStore* store, int16_t* inkCount, uint16_t* unitCount);
void CCMN_GetSplitInfo(const CcmnStore* store, uint8_t* splitFlag, const CcmnSplitTable** split);
void CCMN_GetPOLMaskInfo(const CcmnStore* store, const void** mask1, const void** mask2);
void CCMN_SetSearchArea(CcmnStore* store, int32_t ink, uint32_t start, uint32_t end);
void CCMN_GetSearchArea(const CcmnStore* store, int32_t ink, uint32_t* start, uint32_t* end);
void CCMN_SetVirtualHeadPos(CcmnStore* store, uint32_t pass, uint32_t position);
uint32_t CCMN_GetVirtualHeadPos(const CcmnStore* store, uint32_t pass);
void CCMN_SetLossNozzleStackNo(CcmnStore* store, int32_t ink, int32_t entry, uint8_t stack);
uint8_t CCMN_GetLossNozzleStackNo(const CcmnStore* store, int32_t ink, int32_t entry);
uint16_t CCMN_GetLossNozzleNum(const CcmnStore* store, int32_t ink);
uint32_t CCMN_GetLossNozzleNumTotal(const CcmnStore* store);
uint16_t CCMN_GetLossNozzleHead(const CcmnStore* store, int32_t ink, int32_t entry);
uint32_t CCMN_GetLossNozzleOffset(const CcmnStore* store, int32_t ink, int32_t entry);
uint32_t CCMN_GetComplateStartRaster(const CcmnStore* store, int32_t ink, int32_t entry);
CcmnLossNozzle* CCMN_GetLossNozzle(CcmnStore* store, int32_t ink, int32_t entry);
void CCMN_SetCMSComplateType(CcmnStore* store, int32_t ink, int32_t entry, uint8_t type);
uint8_t CCMN_GetCMSComplateType(const CcmnStore* store, int32_t ink, int32_t entry);
void CCMN_ResetComplateRasterInfo(CcmnStore* store);
uint16_t CCMN_GetComplateRasterNum(const CcmnStore* store, int32_t ink);
void CCMN_GetComplateRasterPos(const CcmnStore* store, int32_t ink, int32_t entry, uint32_t* position,
                               uint16_t* passTag);
void CCMN_SetComplatePMCKind(CcmnStore* store, int32_t ink, int32_t entry, uint32_t pass, uint8_t kind);
uint8_t CCMN_GetComplatePMCKind(const CcmnStore* store, int32_t ink, int32_t entry, uint32_t pass);
CcmnLossNozzle* CCMN_GetLossNozzleInfo(const CcmnStore* store, int32_t ink, int32_t entry);
void CCMN_SetComplateStackNo(CcmnStore* store, int32_t ink, int32_t entry, uint32_t pass, uint8_t stack);
uint8_t CCMN_GetComplateStackNo(const CcmnStore* store, int32_t ink, int32_t entry, uint32_t pass);
void CCMN_SetComplateStackPassNum(CcmnStore* store, int32_t ink, int32_t entry, uint32_t pass, uint8_t count);
uint8_t CCMN_GetComplateStackPassNum(const CcmnStore* store, int32_t ink, int32_t entry, uint32_t pass);

}  // namespace ovcg::irac
