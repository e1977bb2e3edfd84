// The job side's adapter of the halftone engine: the host service table that
// the engine allocates, fetches resources and handles strings through, and
// the forwarders through which the halftoning pipeline reaches the engine.
//
// The engine's entry points are bound as a table of function pointers. The
// default table binds the engine linked into this library; tests hand the
// adapter a table of fakes. A table with an empty entry cannot be bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/engine_interfaces.h"
#include "engine/platform.h"
#include "ovcg/hxr.h"

// ---------------------------------------------------------------------------
// Host services of the halftone engine (the thirteen entries of
// HXRServiceTable, in slot order; slot 5 is the caller's context).

// Zero-filled block of count × size bytes; null when either is 0, when the
// product overflows, or when memory is exhausted.
void* HxrFn_calloc(size_t count, size_t size);
// Releases a block of HxrFn_calloc; null is ignored.
void HxrFn_free(void* block);
// The engine resource id: resource (id + 100, as signed 16-bit) of type 2000
// of the indexed resource file, its size in *size (0 when missing). The
// context and the last argument are not used.
void* HxrFn_GetResource(void* context, unsigned int* size, int id, int kind);
// Releases a resource of HxrFn_GetResource; null is ignored. Returns 0.
int HxrFn_FreeResource(void* context, void* data);
void* HxrFn_memcpy(void* dst, const void* src, size_t n);
void* HxrFn_memset(void* dst, int value, size_t n);
int HxrFn_memcmp(const void* a, const void* b, size_t n);
char* HxrFn_strcpy(char* dst, const char* src);
int HxrFn_strcmp(const char* a, const char* b);
int HxrFn_strncmp(const char* a, const char* b, size_t n);
size_t HxrFn_strlen(const char* s);
// Decimal text to integer: optional blanks and sign, then digits; no error
// report (an out-of-range value saturates).
int HxrFn_atoi(const char* s);

// Fills all thirteen slots with the HxrFn_ services and the given context.
void FillHxrServiceTable(HXRServiceTable* table, void* context);

namespace ovcg {

// Where the block services get and return memory. Tests install a counting
// allocator; null entries restore the runtime library's.
struct HxrHostAllocator {
    void* (*allocate)(size_t bytes);
    void (*release)(void* block);
};
void SetHxrHostAllocator(HxrHostAllocator allocator);

}  // namespace ovcg

// ---------------------------------------------------------------------------
struct HXRHybridEDTailSlot;

// The engine's bridge entry points as the adapter binds them. The engine's
// description records are passed as opaque pointers.
struct HxrEngineTable {
    uint32_t (*GetDefaultValue)(void* option);
    uint32_t (*GetOutputColorOrderRough)(int inkSet, signed char* order, const HXRServiceTable* services);
    uint32_t (*CreateInstance)(void** handle, const void* image, const void* halftone, const void* option,
                               const HXRServiceTable* services, int flags);
    void (*DeleteInstance)(void* handle);
    uint32_t (*SetBRSFunc)(void* handle, const void* brs);
    uint32_t (*StartPage)(void* handle, const int* switching);
    uint32_t (*Halftone)(void* handle, unsigned char** out, int* anyDot, const void** planes,
                         const unsigned char** attributes, int pixels, int xOffset, int lines, int firstRow);
    uint32_t (*ConvertColor)(void* handle, unsigned char** out, int* start, int* length, const void** planes,
                             const unsigned char** attributes, int pixels, int xOffset, int lines,
                             int firstRow);
    uint32_t (*EndPage)(void* handle);
    uint32_t (*GetOutputColorOrder)(void* handle, signed char* order);
    uint32_t (*GetOutputBufferSize)(void* handle, int* sizes);
    uint32_t (*GetDotCount)(void* handle, unsigned int* counts, int shift);
    uint32_t (*GetSlut)(void* handle, unsigned char** data, int* size);
    uint32_t (*ResetSwitchingPos)(void* handle, const int* switching);
    // Optional (null: the engine walks every run itself): cut long error-
    // diffusion runs for a helper thread, *slot the slot they pass through.
    uint32_t (*CutRuns)(void* handle, HXRHybridEDTailSlot** slot);
};

// The engine linked into this library. Entries of engine functions that are
// not linked yet are null.
HxrEngineTable DefaultHxrEngineTable();
bool AllBound(const HxrEngineTable& table);

// Throws kBindError (-206) when an entry of the table is empty.
class CHXRDLL : public CBoundDLL<HxrEngineTable, -206> {
public:
    // Entries of the scratch colour-order list and of the buffer-size list.
    static constexpr int kOrderEntries = 12;
    static constexpr int kSizeEntries = 12;

    explicit CHXRDLL(const char* path, const HxrEngineTable& table = DefaultHxrEngineTable());

    const HXRServiceTable* ServiceTable() const { return &m_services; }
    void* Context() const { return m_services.Context; }

    // Forwarders, in the order of the bound table.
    uint32_t HXR_GetDefaultValue(void* option);
    // Stores context in the service table first. A null order list is
    // replaced by a zeroed scratch list.
    uint32_t HXR_GetOutputColorOrderRough(int inkSet, signed char* order, void* context);
    // Stores context in the service table first.
    uint32_t HXR_CreateInstance(void** handle, const void* image, const void* halftone, const void* option,
                                void* context, int flags);
    void HXR_DeleteInstance(void* handle);
    uint32_t HXR_SetBRSFunc(void* handle, const void* brs);
    uint32_t HXR_StartPage(void* handle, const int* switching);
    uint32_t HXR_Halftone(void* handle, unsigned char** out, int* anyDot, const void** planes,
                          const unsigned char** attributes, int pixels, int xOffset, int lines, int firstRow);
    uint32_t HXR_ConvertColor(void* handle, unsigned char** out, int* start, int* length, const void** planes,
                              const unsigned char** attributes, int pixels, int xOffset, int lines, int firstRow);
    uint32_t HXR_EndPage(void* handle);
    uint32_t HXR_GetOutputColorOrder(void* handle, signed char* order);
    // The engine writes its per-colour sizes into a scratch list of
    // kSizeEntries; on success the first min(count, kSizeEntries) of them are
    // copied to sizes, on failure those entries are set to 0.
    uint32_t HXR_GetOutputBufferSize(void* handle, int* sizes, int count = 1);
    uint32_t HXR_GetDotCount(void* handle, unsigned int* counts, int shift);
    uint32_t HXR_GetSlut(void* handle, unsigned char** data, int* size);
    uint32_t HXR_ResetSwitchingPos(void* handle, const int* switching);
    // 1 (and *slot null) when the table has no such entry.
    uint32_t HXR_CutRuns(void* handle, HXRHybridEDTailSlot** slot);

private:
    HXRServiceTable m_services{};
};

namespace ovcg {

// The adapter as the engine core holds it; Native() is the CHXRDLL.
class HxrAdapter : public IHxrAdapter {
public:
    explicit HxrAdapter(const char* path, const HxrEngineTable& table = DefaultHxrEngineTable())
        : m_dll(path, table) {}
    void* Native() override { return &m_dll; }
    CHXRDLL& Dll() { return m_dll; }

private:
    CHXRDLL m_dll;
};

std::unique_ptr<IHxrAdapter> MakeHxrAdapter(const char* path);

}  // namespace ovcg
