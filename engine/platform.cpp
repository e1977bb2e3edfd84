#include "engine/platform.h"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---------------------------------------------------------------------------
// Memory helpers

void* Mem_Alloc(int size) {
    if (size <= 0) return nullptr;
    return std::calloc(static_cast<size_t>(size), 1);
}

int Mem_Free(void* block) {
    std::free(block);
    return 1;
}

void* Mem_Copy(void* dst, const void* src, int n) {
    if (n > 0) std::memcpy(dst, src, static_cast<size_t>(n));
    return dst;
}

void* Mem_Copy2(void* dst, const void* src, int n) { return Mem_Copy(dst, src, n); }

void* Mem_Zero(void* p, int n) {
    if (n > 0) std::memset(p, 0, static_cast<size_t>(n));
    return p;
}

void* Mem_Realloc(void* block, unsigned int size) {
    // realloc(block, 0) would free the block on some systems; keep it instead.
    if (size == 0) return nullptr;
    return std::realloc(block, size);
}

void* Mem_Move(void* dst, const void* src, unsigned int n) {
    if (n) std::memmove(dst, src, n);
    return dst;
}

void* Mem_Set(void* p, int value, unsigned int n) {
    if (n) std::memset(p, value, n);
    return p;
}

// ---------------------------------------------------------------------------
// String helpers

int String_Length(char* s, int size, unsigned long* length) {
    if (length) *length = 0;
    if (!s || !length || size <= 0) return 0;
    const void* end = std::memchr(s, '\0', static_cast<size_t>(size));
    if (!end) return 0;
    *length = static_cast<unsigned long>(static_cast<const char*>(end) - s);
    return 1;
}

int String_Copy(char* dst, int size, char* src) {
    if (!dst || size <= 0) return 0;
    unsigned long len = 0;
    if (!String_Length(src, size, &len)) {
        dst[0] = '\0';
        return 0;
    }
    std::memmove(dst, src, len + 1);
    return 1;
}

// ---------------------------------------------------------------------------
// Zero-byte scans: byte by byte up to a word boundary, then aligned 8-byte
// words (four at a time while the line is long), then byte by byte. Only
// whole aligned words inside [p, p + n) are loaded.

namespace {

using Word = uint64_t;
constexpr size_t kWord = sizeof(Word);
constexpr size_t kBlock = 4 * kWord;

inline Word LoadWord(const uint8_t* p) {
    Word w;
    std::memcpy(&w, p, kWord);
    return w;
}

// Index (by address) of the first non-zero byte of a non-zero word.
inline size_t FirstNonZero(Word w) {
    if constexpr (std::endian::native == std::endian::little)
        return static_cast<size_t>(std::countr_zero(w)) / 8;
    else
        return static_cast<size_t>(std::countl_zero(w)) / 8;
}

// Zero bytes at the high-address end of a non-zero word.
inline size_t TrailingZeroBytes(Word w) {
    if constexpr (std::endian::native == std::endian::little)
        return static_cast<size_t>(std::countl_zero(w)) / 8;
    else
        return static_cast<size_t>(std::countr_zero(w)) / 8;
}

size_t LeadingZeros(const uint8_t* b, size_t len) {
    size_t i = 0;
    size_t head = (kWord - reinterpret_cast<uintptr_t>(b) % kWord) % kWord;
    if (head > len) head = len;
    for (; i < head; ++i)
        if (b[i]) return i;
    for (; len - i >= kBlock; i += kBlock) {
        const Word w0 = LoadWord(b + i), w1 = LoadWord(b + i + kWord);
        const Word w2 = LoadWord(b + i + 2 * kWord), w3 = LoadWord(b + i + 3 * kWord);
        if ((w0 | w1 | w2 | w3) == 0) continue;
        if (w0) return i + FirstNonZero(w0);
        if (w1) return i + kWord + FirstNonZero(w1);
        if (w2) return i + 2 * kWord + FirstNonZero(w2);
        return i + 3 * kWord + FirstNonZero(w3);
    }
    for (; len - i >= kWord; i += kWord) {
        const Word w = LoadWord(b + i);
        if (w) return i + FirstNonZero(w);
    }
    for (; i < len; ++i)
        if (b[i]) return i;
    return len;
}

size_t TrailingZeros(const uint8_t* b, size_t len) {
    size_t end = len;  // bytes [0, end) not yet scanned
    size_t tail = reinterpret_cast<uintptr_t>(b + len) % kWord;
    if (tail > len) tail = len;
    for (size_t k = 0; k < tail; ++k, --end)
        if (b[end - 1]) return len - end;
    for (; end >= kBlock; end -= kBlock) {
        const Word w0 = LoadWord(b + end - kWord), w1 = LoadWord(b + end - 2 * kWord);
        const Word w2 = LoadWord(b + end - 3 * kWord), w3 = LoadWord(b + end - 4 * kWord);
        if ((w0 | w1 | w2 | w3) == 0) continue;
        if (w0) return len - end + TrailingZeroBytes(w0);
        if (w1) return len - end + kWord + TrailingZeroBytes(w1);
        if (w2) return len - end + 2 * kWord + TrailingZeroBytes(w2);
        return len - end + 3 * kWord + TrailingZeroBytes(w3);
    }
    for (; end >= kWord; end -= kWord) {
        const Word w = LoadWord(b + end - kWord);
        if (w) return len - end + TrailingZeroBytes(w);
    }
    for (; end > 0; --end)
        if (b[end - 1]) return len - end;
    return len;
}

}  // namespace

int OVF_memsearch(const void* p, int n) {
    if (!p || n <= 0) return 0;
    return static_cast<int>(LeadingZeros(static_cast<const uint8_t*>(p), static_cast<size_t>(n)));
}

int OVF_memrsearch(const void* p, int n) {
    if (!p || n <= 0) return 0;
    return static_cast<int>(TrailingZeros(static_cast<const uint8_t*>(p), static_cast<size_t>(n)));
}

// ---------------------------------------------------------------------------
// Resource callbacks and debug hooks

void* IRAC_OVF_GetResource(void* context, int kind, unsigned int* size) {
    if (size) *size = 0;
    if (!context) return nullptr;
    return static_cast<CRscDLL*>(context)->GetIracResource(kind == 0 ? 16384 : kind, 4000, size, 1);
}

void OVF_FreeResource(void* context, void* resource) {
    if (!context) return;
    static_cast<CRscDLL*>(context)->FreeIracResource(resource);
}

void OVF_DebugLog(const char*, ...) {}

void _MessageBox(const char*, char*) {}

// ---------------------------------------------------------------------------
// CFILECTRL

CFILECTRL::~CFILECTRL() { Close(); }

int CFILECTRL::Open(const char* path) {
    if (m_open || !path || !*path) return 0;
    uint8_t* data = CopyToMemoryFromFile(path);
    if (!data) return 0;
    m_data = data;
    m_open = 1;
    return 1;
}

void CFILECTRL::Close() {
    if (!m_open) return;
    Mem_Free(m_data);
    m_data = nullptr;
    m_size = 0;
    m_open = 0;
}

uint8_t* CFILECTRL::CopyToMemoryFromFile(const char* path) {
    std::FILE* f = std::fopen(path, "rbe");
    if (!f) return nullptr;
    uint8_t* image = nullptr;
    // The position at the end is the size; -1 (not seekable) and anything
    // that does not fit the allocator are refused, never truncated.
    if (fseeko(f, 0, SEEK_END) == 0) {
        const off_t end = ftello(f);
        if (end > 0 && static_cast<uint64_t>(end) <= kMaxFileSize && fseeko(f, 0, SEEK_SET) == 0) {
            const size_t size = static_cast<size_t>(end);
            image = static_cast<uint8_t*>(Mem_Alloc(static_cast<int>(size)));
            if (image && std::fread(image, 1, size, f) != size) {
                Mem_Free(image);
                image = nullptr;
            }
            if (image) m_size = static_cast<uint32_t>(size);
        }
    }
    std::fclose(f);
    return image;
}

// ---------------------------------------------------------------------------
// CRscDLL

CRscDLL::CRscDLL(char** names, int count, RscFetchFunctions fetch) : CDLL(names, count), m_fetch(fetch) {}

void* CRscDLL::GetResource(int id, int type, unsigned int* size) {
    if (size) *size = 0;
    if (!m_fetch.get) return nullptr;
    uint32_t got = 0;
    void* data = m_fetch.get(static_cast<int16_t>(id), static_cast<int16_t>(type), &got);
    if (data && size) *size = got;
    return data;
}

void CRscDLL::FreeResource(void* buffer) {
    if (buffer && m_fetch.release) m_fetch.release(buffer);
}

void* CRscDLL::GetIracResource(int id, int type, unsigned int* size, int unpack) {
    if (size) *size = 0;
    // Only the head-control adapter knows how to make the engine's copy; no
    // adapter, no copy.
    if (!m_irac) return nullptr;
    unsigned int fetched = 0;
    void* data = GetResource(id, type, &fetched);
    if (!data) return nullptr;
    unsigned int copySize = 0;
    void* copy = m_irac->GetIracResource(data, fetched, &copySize, unpack);
    FreeResource(data);
    if (copy && size) *size = copySize;
    return copy;
}

void CRscDLL::FreeIracResource(void* resource) {
    if (resource && m_irac) m_irac->FreeIracResource(resource);
}
