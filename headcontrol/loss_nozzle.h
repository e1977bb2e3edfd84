// Loss-nozzle complement: the objects every job creates (the complement and
// its common store, CMS, NHC and PMC modules), their on/off switches, the
// loss-nozzle maximum, and the loaders of the complement's sections of the
// model resource, which the model resource reader calls while it parses.
//
// Objects are allocated zeroed through the callback table and keep it. The
// resources are read from the model resource's cursor, which they advance;
// a section running past the resource's end gives 104 (checked before
// anything is allocated for it). The form argument is 1 for a model resource
// of format 1.4 or later, else 0.
#pragma once

#include "common/byte_cursor.h"
#include "headcontrol/callbacks.h"

#include <cstdint>

namespace ovcg::irac {

// On/off kinds of LNC_SetOnOff (flag word) and LNC_GetOnOff (kind).
inline constexpr uint32_t kLncCommon = 0x1;  // query only
inline constexpr uint32_t kLncPmc = 0x2;
inline constexpr uint32_t kLncNhc = 0x4;
inline constexpr uint32_t kLncCms = 0x8;

// Passes the complement looks ahead, and bytes of a loss-pattern plane.
inline constexpr uint32_t kCcmnPassMax = 32;
inline constexpr uint32_t kCcmnPatternBytes = 4;

// A nozzle reported lost.
struct CcmnLossNozzle {
    uint16_t head;
    uint8_t inkCode;
    uint16_t nozzle;          // real nozzle of the head
    uint8_t state;            // 1 lost
    uint32_t virtualOffset;   // rasters from the ink's first nozzle (32 bits: a u16 would cut it)
    uint32_t complementStart; // the first raster it is complemented from
    uint8_t stackNo;
};

// A raster that a lost nozzle would print, and how the coming passes take it over.
struct CcmnComplement {
    uint32_t position;
    uint16_t passTag;
    uint8_t pmcKind[kCcmnPassMax];
    uint8_t stackPassNum[kCcmnPassMax];
    uint8_t pattern[4][kCcmnPatternBytes];  // one bit per complement pass
    uint8_t stackNo[kCcmnPassMax];
    uint8_t cmsType;
    CcmnLossNozzle* loss;
    // Kept by the pass-mask planning per complement pass: the virtual nozzle
    // that prints the raster, and whether the joint neighbour's overlap mask
    // has a grade there.
    uint32_t nozzle[kCcmnPassMax];
    uint8_t neighbourGrade[kCcmnPassMax];
};

// One head of an ink in the current pass (nozzles relative to `start`).
struct CcmnHeadRecord {
    uint16_t head;
    uint16_t start;        // first virtual nozzle
    uint16_t nozzles;
    uint16_t activeFirst;  // the pass's nozzles [activeFirst, activeEnd)
    uint16_t activeEnd;
    uint16_t upperFirst;   // shared with the previous head [upperFirst, upperEnd)
    uint16_t upperEnd;
    uint16_t lowerFirst;   // shared with the next head
    uint16_t lowerEnd;
    const uint8_t* positions1;   // the pass engine's: nozzle states of the window
    const uint16_t* positions2;  // the pass engine's: per window nozzle, its stack number in the low byte
    uint16_t positionCount;      // entries of both tables (the window)
};

// The model's ink table as the store reads it: colour code of head h and
// ink i at h x headStride + i.
struct CcmnInkInfo {
    int16_t codeCount;
    const uint8_t* inkCodes;    // codeCount
    const uint8_t* colorCodes;  // colorCodeCount
    uint32_t colorCodeCount;
    uint16_t headStride;
};

// Inks split over heads: e entries per head; the split code of head h,
// group g, entry k at h x unitCount x e + e x g + k.
struct CcmnSplitTable {
    uint16_t entriesPerHead;
    const uint8_t* codes;       // codeCount
    uint32_t codeCount;
    const uint16_t* groupOfInk; // per ink
};

struct CcmnStore {
    uint8_t onOff;
    int16_t inkCount;
    int16_t headCount;
    uint16_t unitCount;
    const CcmnInkInfo* inkInfo;
    uint8_t splitFlag;
    const CcmnSplitTable* split;
    const void* polMask[2];
    uint32_t* searchStart;
    uint32_t* searchEnd;
    uint16_t complementPassMax;    // set by the work area
    uint16_t lossNozzleMax;
    uint16_t lossNozzleMaxPerInk;  // set by the work area
    uint32_t* baseRaster;
    uint16_t* lossCount;
    CcmnLossNozzle** loss;          // per ink, lossNozzleMaxPerInk records
    uint32_t patternBytes;
    uint16_t* complementCount;
    CcmnComplement** complement;    // per ink, lossNozzleMaxPerInk records
    CcmnHeadRecord** heads;         // per ink, headCount records
    uint32_t* virtualHeadPos;       // kCcmnPassMax
    const CallbackTable* cb;
};

struct CmsObject {
    uint8_t onOff;
    const CallbackTable* cb;
};

// One record of the printer-complement list, as the host receives it.
inline constexpr uint32_t kNhcRecordBytes = 16;

struct NhcObject {
    uint8_t onOff;
    const CallbackTable* cb;
    uint8_t* list;          // loss nozzle maximum x 16 bytes
    uint32_t listCapacity;  // records
};

// A pass-mask complement of a coming pass: the virtual nozzle and the
// values for its own head and its joint neighbour (0xFFFF: none).
struct PmcEntry {
    uint16_t nozzle;
    uint16_t own;
    uint16_t neighbour;
};
inline constexpr uint16_t kPmcNone = 0xFFFF;

struct PmcObject {
    uint8_t onOff;
    const CallbackTable* cb;
    // The ring: 32 slots (one per coming pass) x inks, each with its count
    // and `slotCapacity` entries.
    uint16_t* counts;
    PmcEntry* entries;
    int16_t inks;
    uint32_t slotCapacity;
    uint8_t maskIndex;
    uint8_t ringIndex;
};

struct LncObject {
    uint8_t commonOnOff;
    CcmnStore* store;
    CmsObject* cms;
    PmcObject* pmc;
    NhcObject* nhc;
    const CallbackTable* cb;
};

// CMS unit resource: n thresholds and n complement types.
struct CmsUnitResource {
    uint8_t n;
    uint8_t* thresholds;
    uint8_t* types;
};

// One PMC table set: two groups of tables, each rows x columns u16 values.
struct PmcTableSet {
    uint16_t rows1;
    uint16_t columns1;
    uint8_t count1;
    uint16_t** tables1;
    uint16_t rows2;
    uint16_t columns2;
    uint8_t count2;
    uint16_t** tables2;
};

struct PmcResource {
    uint8_t setCount;
    PmcTableSet* sets;
    uint8_t maskWidth;     // bytes per mask row
    uint16_t maskRows;
    uint16_t maskHeight;   // rows x multiplier
    uint16_t multiplier;
    uint8_t* maskTable;    // maskWidth x maskHeight bytes
    uint8_t unitKind;
    uint16_t unitLength;
    uint8_t* unitData;     // a PMC kind per virtual nozzle position
};

// The complement's resources, kept in the model resource's loss-nozzle record.
struct LossNozzleResources {
    CmsUnitResource* cms;
    PmcResource* pmc;
};

// ---- Objects ------------------------------------------------------------------
// Object 930, store 931, CMS 945, NHC 960, PMC 950, in that order. On
// failure everything built is freed and *out is null.
uint32_t LNC_Allocate(LncObject** out, const CallbackTable* cb);
// Frees the store, CMS, NHC, PMC and the object; clears the pointer.
void LNC_Free(LncObject** object, const CallbackTable* cb);
// CMS = bit 0x8, NHC = 0x4, PMC = 0x2; the common flag and the store's
// on/off byte are 1 when any of them is set.
void LNC_SetOnOff(uint32_t flags, LncObject* object);
uint8_t LNC_GetOnOff(uint32_t kind, const LncObject* object);
uint32_t LNC_SetLossNozzleMax(int16_t maximum, LncObject* object);  // 942 when negative

uint32_t CCMN_Allocate(CcmnStore** out, const CallbackTable* cb);
void CCMN_Free(CcmnStore** store, const CallbackTable* cb);
void CCMN_SetOnOff(uint8_t on, CcmnStore* store);
uint8_t CCMN_GetOnOff(const CcmnStore* store);
uint32_t CCMN_SetLossNozzleMax(int16_t maximum, CcmnStore* store);
uint16_t CCMN_GetComplatePassNumMax(const CcmnStore* store);
uint16_t CCMN_GetLossNozzleMax(const CcmnStore* store);
uint16_t CCMN_GetLossNozzleMaxPerInk(const CcmnStore* store);

uint32_t CMS_Allocate(CmsObject** out, const CallbackTable* cb);
uint32_t NHC_Allocate(NhcObject** out, const CallbackTable* cb);
uint32_t PMC_Allocate(PmcObject** out, const CallbackTable* cb);
void CMS_Free(CmsObject** object, const CallbackTable* cb);
void NHC_Free(NhcObject** object, const CallbackTable* cb);
void PMC_Free(PmcObject** object, const CallbackTable* cb);
void CMS_SetOnOff(uint8_t on, CmsObject* object);
uint8_t CMS_GetOnOff(const CmsObject* object);
void NHC_SetOnOff(uint8_t on, NhcObject* object);
uint8_t NHC_GetOnOff(const NhcObject* object);
void PMC_SetOnOff(uint8_t on, PmcObject* object);
uint8_t PMC_GetOnOff(const PmcObject* object);

// ---- Resources ----------------------------------------------------------------
// Model part: with flag 0x2, the PMC tables and mask (951 on allocation or a
// mask height above 65535). A second model part replaces the tables of the
// first and keeps its unit record.
uint32_t LNC_LoadModelResource(uint32_t flags, LossNozzleResources* holder, ByteCursor& c, int form,
                               const CallbackTable* cb);
// Unit part: flag 0x2 the PMC unit record (into the holder's one PMC record,
// made when no model part was read), else flag 0x8 the CMS unit record (946).
uint32_t LNC_LoadUnitResource(uint32_t flags, LossNozzleResources* holder, ByteCursor& c, int form,
                              const CallbackTable* cb);
void LNC_FreeResourceMemory(LossNozzleResources* holder, const CallbackTable* cb);

uint32_t PMC_LoadModelResource(LossNozzleResources* holder, ByteCursor& c, int form, const CallbackTable* cb);
uint32_t PMC_LoadUnitResource(LossNozzleResources* holder, ByteCursor& c, int form, const CallbackTable* cb);
uint32_t CMS_LoadUnitResource(LossNozzleResources* holder, ByteCursor& c, int form, const CallbackTable* cb);
void PMC_FreeResourceMemory(LossNozzleResources* holder, const CallbackTable* cb);
void CMS_FreeResourceMemory(LossNozzleResources* holder, const CallbackTable* cb);

}  // namespace ovcg::irac
