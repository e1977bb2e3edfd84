// The engine's internal callback table and the default platform callbacks.
//
// Every module of the head-control engine holds a pointer to one
// CallbackTable and calls the platform only through it: it never calls the
// runtime library itself. IRAC_StartJob re-lays the caller's OVF_COMMON into
// this order.
#pragma once

#include "ovcg/irac.h"

#include <cstddef>
#include <cstdint>

namespace ovcg::irac {

// Code of IRAC_StartJob for a null argument or a missing required callback.
inline constexpr uint32_t kErrStartJobArgument = 801;

// The host's hooks of the loss-nozzle complement (internal to the engine).
// A complement list: `count` records of 16 bytes (loss-nozzle record
// pointer, u32 raster, u8 stack number, u8 pass tag - 1, two spare bytes).
struct LncComplementList {
    uint16_t count;
    const void* records;
};
// The host's lost-nozzle list: `count` entries of 8 bytes each (u16 head,
// u8 ink code, u16 nozzle, u8 action: 1 lost, other restored; 2 spare).
struct LncLossNozzleList {
    uint16_t count;
    const uint8_t* entries;
};
// code 2 and the list; false when the host refuses it.
using LncComplementListHook = bool (*)(uint32_t code, const LncComplementList* list);
// (0, 0, out list, the three values the caller handed on); false on failure.
using LncLossNozzleQueryHook = bool (*)(uint32_t a, uint32_t b, LncLossNozzleList* out, uint32_t v1, uint32_t v2,
                                        uint32_t v3);

struct CallbackTable {  // 17 words
    OVF_PFN_ALLOC alloc;
    OVF_PFN_FREE free;
    OVF_PFN_COPY copy;
    OVF_PFN_FILL fill;
    OVF_PFN_SEARCH lead_zero_search;
    OVF_PFN_SEARCH trail_zero_search;
    OVF_PFN_REALLOC realloc;
    OVF_PFN_COPY move;
    OVF_PFN_GET_RESOURCE get_resource;
    OVF_PFN_FREE_RESOURCE free_resource;
    void* resource_context;
    void* resource_context2;
    OVF_PFN_SEND send_data;
    void* send_context;
    // The host's complement-list and loss-nozzle query hooks: always null
    // through IRAC_StartJob; only a caller that fills them enables those paths.
    LncComplementListHook complement_list;
    LncLossNozzleQueryHook loss_nozzle_query;
    OVF_PFN_DEBUG_LOG debug_log;
};
static_assert(sizeof(CallbackTable) == 17 * sizeof(void*));
static_assert(sizeof(OVF_COMMON) == 19 * sizeof(void*));

// 0 when every word the engine requires (0 to 8, 10, 12) is set; 801 for a
// null table or the first null required word.
uint32_t check_required_callbacks(const OVF_COMMON* ovf);

// The internal table built from a caller's table. Optional words that are
// null stay null; the two host hooks are always null.
CallbackTable relay_callbacks(const OVF_COMMON& ovf);

// Allocation through the table, zero-filled as every engine record is.
// Null for size 0 or when the allocator fails.
void* alloc_zeroed(const CallbackTable& cb, uint32_t size);
// Frees through the table; null is ignored.
void release(const CallbackTable& cb, void* block);

// A resource fetched through the table, with its size. Release it with
// release_resource() as soon as it is parsed.
struct FetchedResource {
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    void* context = nullptr;  // handed back to free-resource
    explicit operator bool() const { return data != nullptr; }
};
FetchedResource fetch_resource(const CallbackTable& cb, int kind);
// The same through the second resource context (the band-path resource).
FetchedResource fetch_resource2(const CallbackTable& cb, int kind);
void release_resource(const CallbackTable& cb, FetchedResource& res);

// Sends one command piece; false when the callback reports failure.
bool send(const CallbackTable& cb, const void* bytes, uint32_t length, int flag);

// Plain default callbacks on the runtime library. Nothing in the library
// installs them; a caller of the engine may use them to fill OVF_COMMON.
namespace defaults {
void* OVF_malloc(uint32_t size);
void* OVF_realloc(void* block, uint32_t size);
void OVF_free(void* block);
void* OVF_memcpy(void* dst, const void* src, uint32_t count);
void* OVF_memmove(void* dst, const void* src, uint32_t count);
void* OVF_memset(void* dst, int value, uint32_t count);
int OVF_memsearch(const void* bytes, int count);
int OVF_memrsearch(const void* bytes, int count);
int OVF_SendData(void* context, const void* bytes, uint32_t length, int flag);
void* OVF_GetResource(void* context, int kind, uint32_t* size);
void OVF_FreeResource(void* context, void* resource);
bool OVF_SendMWInfo(uint32_t value);
uint32_t OVF_GetMWParam();
void OVF_DebugLog(const char* format, ...);

// An OVF_COMMON filled with the defaults above (contexts null). The default
// get-resource hands back its context, so resource fetches find nothing
// unless the caller supplies its own resource words.
OVF_COMMON table();
}  // namespace defaults

}  // namespace ovcg::irac
