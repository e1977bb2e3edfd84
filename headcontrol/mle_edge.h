// Edge planning: the tables that the MWSW, F-trans and lower groups need
// beyond the layers' positions, and the engine helpers that the accessors
// of those groups share.
//
// The lower region. The segment layers (type 5, one per head) carry the
// normal (or MWSW) cycle on past its last pass: their passes from
// `passBase` on (normalPasses, or mwswPasses with an MWSW layer), the
// "virtual" passes, hold the rasters that the real passes leave to the
// edge groups. Their windows, selectors and groups form the dummy head
// table (mwswExtraPasses rows per segment). Each F-trans pass and then each
// lower pass, in pass order, claims from the virtual windows: from its own
// window's first nozzle it searches the first nozzle whose raster a virtual
// window still holds (SearchNozzle), prints from there, and the rasters it
// prints are taken out of every virtual window that held them (their first
// nozzles move past them), so that no later pass prints them again. An
// F-trans pass claims only up to its overlap start: its overlap zone is
// printed second half (state 3) and claimed by the next pass, which prints
// it first half (state 2).
//
// Codes: 203 allocation, 244 edge passes without virtual passes, 249 more
// than 65536 F-trans, lower or virtual passes, tables whose building would
// visit more than 2^20 passes, or a value beyond 16 bits.
#pragma once

#include "headcontrol/mle.h"

#include <cstdint>

namespace ovcg::irac {

// Step 8 of the schedule: the lower-edge record, the F-trans pass table,
// the lower table and their recounts; in repeat mode the recount of the
// last group's passes. `planLength` is the length the schedule is planned
// for. A build that only counts (`build` false: the memory sizing, the
// page's own length) makes the same refusals, a page too short for repeat
// mode's passes among them, but builds no table and keeps its counts.
uint32_t MakeEdgeTables(MLE_INSTANCE& e, int64_t planLength, bool build);

// Frees the MIR list and clears the pointer (null is ignored).
void mle_free_mir(const CallbackTable& cb, MleMirList*& mir);

// ---- Engine helpers ----------------------------------------------------------------

int64_t mle_total_passes(const MleSchedule& s);
// The head table of `pass` and its vertical position (vPos); false when the
// head table cannot be built or the position leaves 31 bits.
bool mle_build_pass(MLE_INSTANCE& e, int32_t pass);
// Rebuilds the current pass's head table after a query built others.
void mle_restore_pass(MLE_INSTANCE& e);
// headPos of `pass` (its head table built in place); false when it fails.
bool mle_head_pos(MLE_INSTANCE& e, int64_t pass, int64_t& pos);
// Loads the logic of `selector`, builds the schedule for scheduleLength
// and the head table of passNo (`failCode` when that fails).
uint32_t mle_plan(MLE_INSTANCE& e, int32_t selector, uint32_t failCode);
// The page's first plan (mle_rows.cpp): mle_plan, moved up by the rasters
// that the inks on rows standing low would miss at the page top (rowLead).
uint32_t mle_plan_page(MLE_INSTANCE& e, int32_t selector, uint32_t failCode);
// The logic of slot 0 and the first record of the resource's logic array
// (null when absent).
const MicroweaveLogicRecord* mle_slot_logic(const MLEResourceData& r, int32_t slot);
const MicroweaveLogicRecord* mle_first_logic(const MLEResourceData& r);
// Virtual nozzles of the heads: the last head's first nozzle plus its count.
int64_t mle_virtual_nozzles(const MLE_INSTANCE& e);

}  // namespace ovcg::irac
