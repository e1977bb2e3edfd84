// Edge planning: what logics with lower, segment, MWSW or F-trans layers,
// two moving-range tables, repeat mode or a lower-edge record need beyond
// the upper, pre-normal and normal groups (the lower table, the F-trans
// pass table, the lower-edge record, the MIR list and their head tables).
//
// This build plans the upper, pre-normal and normal groups: a logic that
// needs edge planning is refused with 249 when it is loaded, so the edge
// groups never hold passes. The schedule keeps the edge tables' pointers
// (MleSchedule) and FreeSchedule frees them, so the edge planning only
// fills them.
#pragma once

#include "headcontrol/mle.h"

#include <cstdint>

namespace ovcg::irac {

// Layer types (kind mod 20) that only the edge planning handles.
inline constexpr bool is_edge_layer_type(int32_t type) {
    switch (type) {
        case 2: case 5: case 6: case 7: case 8: case 10: case 12: case 17: case 19: return true;
        default: return false;
    }
}

// True when the logic (with the resource's lower-edge switch) needs what
// this build does not plan.
bool mle_needs_edge_planning(const MLEResourceData& resource, const MicroweaveLogicRecord& logic);

// Frees the MIR list and clears the pointer (null is ignored).
void mle_free_mir(const CallbackTable& cb, MleMirList*& mir);

}  // namespace ovcg::irac
