#include "engine/hxr_dll.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "ovcg/ovs_resource.h"

namespace {

void* RuntimeAllocate(size_t bytes) { return std::malloc(bytes); }
void RuntimeRelease(void* block) { std::free(block); }

std::atomic<void* (*)(size_t)> g_allocate{&RuntimeAllocate};
std::atomic<void (*)(void*)> g_release{&RuntimeRelease};

// Halftone-engine resources sit in the resource file under type 2000 with
// their identifiers offset by 100.
constexpr int kHxrResourceType = 2000;
constexpr int kHxrResourceIdOffset = 100;

}  // namespace

namespace ovcg {

void SetHxrHostAllocator(HxrHostAllocator allocator) {
    g_allocate.store(allocator.allocate ? allocator.allocate : &RuntimeAllocate);
    g_release.store(allocator.release ? allocator.release : &RuntimeRelease);
}

}  // namespace ovcg

// ---------------------------------------------------------------------------
// Host services

void* HxrFn_calloc(size_t count, size_t size) {
    if (count == 0 || size == 0) return nullptr;
    if (count > SIZE_MAX / size) return nullptr;
    const size_t bytes = count * size;
    void* block = g_allocate.load()(bytes);
    if (block) std::memset(block, 0, bytes);
    return block;
}

void HxrFn_free(void* block) {
    if (block) g_release.load()(block);
}

void* HxrFn_GetResource(void*, unsigned int* size, int id, int) {
    uint32_t got = 0;
    const int rscId =
        static_cast<int16_t>(static_cast<uint16_t>(static_cast<unsigned int>(id) + kHxrResourceIdOffset));
    void* data = ovs_GetResource(rscId, kHxrResourceType, &got);
    if (size) *size = data ? got : 0;
    return data;
}

int HxrFn_FreeResource(void*, void* data) {
    if (data) ovs_FreeResource(data);
    return 0;
}

void* HxrFn_memcpy(void* dst, const void* src, size_t n) { return n ? std::memcpy(dst, src, n) : dst; }
void* HxrFn_memset(void* dst, int value, size_t n) { return n ? std::memset(dst, value, n) : dst; }
int HxrFn_memcmp(const void* a, const void* b, size_t n) { return n ? std::memcmp(a, b, n) : 0; }
char* HxrFn_strcpy(char* dst, const char* src) { return std::strcpy(dst, src); }
int HxrFn_strcmp(const char* a, const char* b) { return std::strcmp(a, b); }
int HxrFn_strncmp(const char* a, const char* b, size_t n) { return std::strncmp(a, b, n); }
size_t HxrFn_strlen(const char* s) { return std::strlen(s); }

int HxrFn_atoi(const char* s) {
    if (!s) return 0;
    const int saved = errno;
    const long long v = std::strtoll(s, nullptr, 10);
    errno = saved;
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

void FillHxrServiceTable(HXRServiceTable* table, void* context) {
    if (!table) return;
    table->Alloc = &HxrFn_calloc;
    table->Free = &HxrFn_free;
    table->GetResource = &HxrFn_GetResource;
    table->FreeResource = &HxrFn_FreeResource;
    table->Context = context;
    table->MemCpy = &HxrFn_memcpy;
    table->MemSet = &HxrFn_memset;
    table->MemCmp = &HxrFn_memcmp;
    table->StrCpy = &HxrFn_strcpy;
    table->StrCmp = &HxrFn_strcmp;
    table->StrNCmp = &HxrFn_strncmp;
    table->StrLen = &HxrFn_strlen;
    table->AtoI = &HxrFn_atoi;
}

// ---------------------------------------------------------------------------
// CHXRDLL

bool AllBound(const HxrEngineTable& t) {
    return t.GetDefaultValue && t.GetOutputColorOrderRough && t.CreateInstance && t.DeleteInstance &&
           t.SetBRSFunc && t.StartPage && t.Halftone && t.ConvertColor && t.EndPage && t.GetOutputColorOrder &&
           t.GetOutputBufferSize && t.GetDotCount && t.GetSlut && t.ResetSwitchingPos;
}

CHXRDLL::CHXRDLL(const char* path, const HxrEngineTable& table) : CBoundDLL(path, table) {
    FillHxrServiceTable(&m_services, nullptr);
}

uint32_t CHXRDLL::HXR_GetDefaultValue(void* option) { return m_bound.GetDefaultValue(option); }

uint32_t CHXRDLL::HXR_GetOutputColorOrderRough(int inkSet, signed char* order, void* context) {
    m_services.Context = context;
    signed char scratch[kOrderEntries] = {};
    return m_bound.GetOutputColorOrderRough(inkSet, order ? order : scratch, &m_services);
}

uint32_t CHXRDLL::HXR_CreateInstance(void** handle, const void* image, const void* halftone, const void* option,
                                     void* context, int flags) {
    m_services.Context = context;
    return m_bound.CreateInstance(handle, image, halftone, option, &m_services, flags);
}

void CHXRDLL::HXR_DeleteInstance(void* handle) { m_bound.DeleteInstance(handle); }

uint32_t CHXRDLL::HXR_SetBRSFunc(void* handle, const void* brs) { return m_bound.SetBRSFunc(handle, brs); }

uint32_t CHXRDLL::HXR_StartPage(void* handle, const int* switching) { return m_bound.StartPage(handle, switching); }

uint32_t CHXRDLL::HXR_Halftone(void* handle, unsigned char** out, int* anyDot, const void** planes,
                               const unsigned char** attributes, int pixels, int xOffset, int lines, int firstRow) {
    return m_bound.Halftone(handle, out, anyDot, planes, attributes, pixels, xOffset, lines, firstRow);
}

uint32_t CHXRDLL::HXR_ConvertColor(void* handle, unsigned char** out, int* start, int* length, const void** planes,
                                   const unsigned char** attributes, int pixels, int xOffset, int lines,
                                   int firstRow) {
    return m_bound.ConvertColor(handle, out, start, length, planes, attributes, pixels, xOffset, lines, firstRow);
}

uint32_t CHXRDLL::HXR_EndPage(void* handle) { return m_bound.EndPage(handle); }

uint32_t CHXRDLL::HXR_GetOutputColorOrder(void* handle, signed char* order) {
    signed char scratch[kOrderEntries] = {};
    return m_bound.GetOutputColorOrder(handle, order ? order : scratch);
}

uint32_t CHXRDLL::HXR_GetOutputBufferSize(void* handle, int* sizes, int count) {
    // The engine writes one size per output colour; it never sees the
    // caller's list, which may be shorter.
    int scratch[kSizeEntries] = {};
    const uint32_t result = m_bound.GetOutputBufferSize(handle, scratch);
    if (sizes && count > 0) {
        const int n = count < kSizeEntries ? count : kSizeEntries;
        for (int i = 0; i < n; ++i) sizes[i] = result == 0 ? scratch[i] : 0;
    }
    return result;
}

uint32_t CHXRDLL::HXR_GetDotCount(void* handle, unsigned int* counts, int shift) {
    return m_bound.GetDotCount(handle, counts, shift);
}

uint32_t CHXRDLL::HXR_GetSlut(void* handle, unsigned char** data, int* size) {
    return m_bound.GetSlut(handle, data, size);
}

uint32_t CHXRDLL::HXR_ResetSwitchingPos(void* handle, const int* switching) {
    return m_bound.ResetSwitchingPos(handle, switching);
}

uint32_t CHXRDLL::HXR_CutRuns(void* handle, HXRHybridEDTailSlot** slot) {
    if (m_bound.CutRuns) return m_bound.CutRuns(handle, slot);
    if (slot) *slot = nullptr;
    return 1;
}

namespace ovcg {

std::unique_ptr<IHxrAdapter> MakeHxrAdapter(const char* path) { return std::make_unique<HxrAdapter>(path); }

}  // namespace ovcg
