// The microweave logic record and its layer records: one definition, built
// by the model resource reader from a unit of the model resource and read
// by the pass engine (schedule builder and head table).
//
// Resource layout of one unit (little-endian; counts signed, a negative
// count is refused with 106, an array or record past the unit's stated size
// with 104):
//   u16 pitch, u16 topOffset, u32 layerCount, i16 headUnitCount, u16 flags,
//   u16 flags2, i32 nullPassCount, nullPassCount x u16 codes,
//   nullPassCount x u32 pass numbers, i16 normal, F-trans and MWSW table
//   counts, layerCount layer records, u16 feedBase (flag 0x40), u16
//   lowerSumSteps (flags 0x40, 0x20 and 0x1 all set), headUnitCount x u16
//   headUnits, the normal table's four columns, the F-trans table's four
//   columns, the MWSW table's three columns.
// Layer record: u16 kind, u32 start, u32 end, u16 cycleLength, u16
//   selectorCount, u16 groupCount, u16 hasStepValues (18 bytes), then
//   cycleLength x u16 feed, cycleLength x (u16 first, u16 end) ranges,
//   selectorCount x u16, groupCount x u16, and, when hasStepValues is not 0,
//   cycleLength x u16 step values.
//
// Every array of a record is owned by it (null when its count is 0) and
// freed by free_microweave_logic through the callback table.
#pragma once

#include "common/byte_cursor.h"
#include "headcontrol/callbacks.h"
#include "headcontrol/resource_stream.h"

#include <cstdint>

namespace ovcg::irac {

// Logic flags (MicroweaveLogicRecord::flags).
inline constexpr uint16_t kMwLowerPositioning = 0x1;
inline constexpr uint16_t kMwFTransPhaseRule = 0x2;
inline constexpr uint16_t kMwNoTrailingFeed = 0x4;
inline constexpr uint16_t kMwFTransFromNormal = 0x10;
inline constexpr uint16_t kMwFixedFTrans = 0x20;
inline constexpr uint16_t kMwTwoTables = 0x40;
inline constexpr uint16_t kMwRepeat = 0x100;
inline constexpr uint16_t kMwLowerSelectorsConsecutive = 0x4000;  // lower-table selector blocks one after the other
inline constexpr uint16_t kMwLowerSelectorsInterleaved = 0x8000;  // lower-table selector blocks taking turns
// Second flag word (MicroweaveLogicRecord::flags2).
inline constexpr uint16_t kMwNoPositioningGap = 0x1;
inline constexpr uint16_t kMwBrsLogic = 0x8000;
// Null-pass code of an F-trans pass (other codes name lower passes).
inline constexpr uint16_t kMwNullPassFTrans = 10;

struct MicroweaveRange {
    uint16_t first;
    uint16_t end;  // exclusive
};

struct MicroweaveLayerRecord {
    int16_t kind;         // 20 x head index + layer type
    int32_t start;
    int32_t end;          // 0: the page's last raster
    int16_t cycleLength;
    int16_t* feed;                // cycleLength
    MicroweaveRange* range;       // cycleLength
    int16_t selectorCount;
    uint16_t* selector;
    int16_t groupCount;
    uint16_t* group;
    int16_t hasStepValues;
    uint16_t* stepValue;          // cycleLength when hasStepValues
    int16_t phase;                // set by the schedule builder
    int16_t selectorPhase;
    int16_t groupPhase;
    int16_t cycleFeed;
};

// The normal and F-trans moving-range tables: count rows of four columns.
struct MovingRangeTable {
    int16_t count;
    uint16_t* width;
    uint16_t* addRemainder;
    int16_t* value;
    int16_t* phase;
};

// The MWSW moving-range table: count rows of three columns.
struct MwswRangeTable {
    int16_t count;
    uint16_t* width;
    uint16_t* feed;
    uint16_t* phase;
};

struct MicroweaveLogicRecord {
    uint16_t pitch;
    uint16_t topOffset;
    uint32_t layerCount;
    MicroweaveLayerRecord* layers;
    int16_t headUnitCount;
    uint16_t* headUnits;
    uint16_t flags;
    uint16_t flags2;
    int32_t nullPassCount;
    uint16_t* nullPassCode;
    uint32_t* nullPassNo;
    int32_t nullPassFTransCount;  // entries with code 10
    int32_t nullPassOtherCount;
    uint16_t feedBase;        // flag 0x40
    uint16_t lowerSumSteps;   // flags 0x40, 0x20 and 0x1
    MovingRangeTable normal;
    MovingRangeTable fTrans;
    MwswRangeTable mwsw;
};

// Parses one unit from its bytes (a cursor over exactly its stated size)
// into `out`, which must be zeroed. On failure `out` keeps what was
// allocated; free it with free_microweave_logic. Allocation codes: 173
// layer records, 174 head units and moving-range tables, 175 layer arrays,
// 177 null-pass lists.
uint32_t RSC_GetMWUnitResource_MWUnit(const CallbackTable& cb, ByteCursor unit, MicroweaveLogicRecord& out,
                                      ModelFormat format);

// Frees every array of the record (the record itself is the caller's).
void free_microweave_logic(const CallbackTable& cb, MicroweaveLogicRecord& logic);
void free_microweave_layer(const CallbackTable& cb, MicroweaveLayerRecord& layer);

}  // namespace ovcg::irac
