// The loss-nozzle complement's processing: for every raster that a lost
// nozzle would print, which later pass and nozzle can print it instead, and
// how. LNC_ is the facade; CMS_ chooses a complement type per raster from
// the overlap grade and the CMS unit resource's thresholds (type 1
// pass-mask complement, 2 printer complement); PMC_ plans substitute
// nozzles and mask values for the next 32 passes in a ring and applies them
// to a pass's mask bytes; NHC_ hands the printer's complements to the host.
//
// Calling order: LNC_Allocate and LNC_SetOnOff (loss_nozzle.h),
// LNC_SetLossNozzleMax, LNC_InitWorkArea; per pass of the pass engine
// LNC_UpdateLossNozzleInfo, LNC_Proc, the mask hooks (LNC_UpdatePassMaskInfo,
// LNC_IsSkipOlMaskProc), LNC_Next; LNC_ExitWorkArea; LNC_Free. LNC_Proc
// looks ahead by building the coming passes' head tables and leaves the
// pass engine at its current pass again.
//
// The host hooks are the internal callback table's complement_list (NHC)
// and loss_nozzle_query (CCMN_UpdateLossNozzleInfo).
//
// Errors (codes.h): the store's 932-944 and 959, 952 the ring, 953 a real
// nozzle at or beyond the caller's limit, 954 a model table, set, level or
// value the stack tables cannot take (an index past its table, a value
// reaching 0xFFFF or below 0), 955 a stack or pass index above 31, 956 more
// than 32 passes ahead, 958 / 961 a null module, 962 the list, 963 the host
// refused the list, and the pass engine's and overlap grade's codes.
#pragma once

#include "headcontrol/loss_nozzle.h"
#include "headcontrol/loss_nozzle_store.h"
#include "headcontrol/mle.h"
#include "headcontrol/pmm_masks.h"

#include <cstdint>

namespace ovcg::irac {

// polMask1: the job's overlap-mask work (POLMaskWork, for the grades; may
// be null); polMask2: kept for the caller.
uint32_t LNC_InitWorkArea(LncObject* object, int16_t inkCount, int16_t headCount, uint16_t unitCount,
                          const CcmnInkInfo* inkInfo, uint8_t splitFlag, const CcmnSplitTable* split,
                          const POLMaskWork* polMask1, const void* polMask2);
void LNC_ExitWorkArea(LncObject* object);
uint32_t LNC_Proc(LncObject* object, const LossNozzleResources* resources, MLE_INSTANCE* mle);
uint32_t LNC_UpdateLossNozzleInfo(LncObject* object, MLE_INSTANCE* mle, uint32_t v1, uint32_t v2, uint32_t v3);
void LNC_SetMaskIndex(LncObject* object, uint8_t index);
uint8_t LNC_GetMaskIndex(const LncObject* object);
// For each ring entry of the current pass and ink on `head` with colour
// code `colour`: mask byte of its real nozzle = (mask index << 5) | its low
// 5 bits, substitute word = its value. `nozzleLimit` bytes and words.
uint32_t LNC_UpdatePassMaskInfo(LncObject* object, MLE_INSTANCE* mle, int32_t ink, uint16_t head,
                                uint16_t nozzleLimit, uint8_t colour, uint8_t* maskBytes, uint16_t* substitutes);
void LNC_GetPOLMaskTable(const LncObject* object, const LossNozzleResources* resources, uint32_t* size,
                         uint8_t* width, uint16_t* height, const uint8_t** table);
void LNC_ResetPassComplateInfo(LncObject* object);
void LNC_Next(LncObject* object, MLE_INSTANCE* mle);
// 1 when overlap masking is to be skipped for that real nozzle this pass.
uint8_t LNC_IsSkipOlMaskProc(LncObject* object, MLE_INSTANCE* mle, int32_t ink, uint16_t head, uint16_t nozzle,
                             uint8_t colour);

// The complement type of an overlap kind and grade: kinds 2 and 3 (low 7
// bits) by the thresholds (the j-th type for t[j] <= g < t[j+1], else the
// last; 0 without thresholds), kind 1 type 2, others 0.
uint8_t CMS_TypeOfGrade(const CmsUnitResource* resource, uint8_t kind, uint8_t grade);
uint32_t CMS_InitWorkArea(CmsObject* object);
void CMS_ExitWorkArea(CmsObject* object);
// The complement type of complement raster `entry` of `ink`.
uint32_t CMS_Proc(CmsObject* object, CcmnStore* store, MLE_INSTANCE* mle, const CmsUnitResource* resource,
                  int32_t ink, int32_t entry);
uint32_t NHC_InitWorkArea(NhcObject* object, const CcmnStore* store);
void NHC_ExitWorkArea(NhcObject* object);
uint32_t NHC_Proc(NhcObject* object, const CcmnStore* store, uint8_t mode);
uint32_t PMC_InitWorkArea(PmcObject* object, const CcmnStore* store);
void PMC_ExitWorkArea(PmcObject* object);
uint32_t PMC_Proc(PmcObject* object, CcmnStore* store, MLE_INSTANCE* mle, const PmcResource* resource, uint8_t mode);
uint32_t PMC_SetPMCInfo(PmcObject* object, CcmnStore* store, MLE_INSTANCE* mle, const PmcResource* resource,
                        int32_t ink, int32_t entry);
// Records (own, neighbour) for virtual nozzle v in ring slot `slot` of the
// ink, unless the slot is full or holds v already.
void PMC_SetPassComplateInfo(PmcObject* object, int32_t ink, uint32_t slot, uint32_t v, uint16_t own,
                             uint16_t neighbour);
uint32_t PMC_UpdatePassMaskInfo(PmcObject* object, const CcmnStore* store, int32_t ink, uint16_t head,
                                uint16_t nozzleLimit, uint8_t colour, uint8_t* maskBytes, uint16_t* substitutes);
uint8_t PMC_IsSkipOlMaskProc(PmcObject* object, const CcmnStore* store, MLE_INSTANCE* mle, int32_t ink,
                             uint16_t head, uint16_t nozzle, uint8_t colour);
void PMC_Next(PmcObject* object);
// The ring slot of the current pass: its count and entries.
uint16_t PMC_GetSlot(const PmcObject* object, int32_t ink, uint32_t ahead, const PmcEntry** entries);

}  // namespace ovcg::irac
