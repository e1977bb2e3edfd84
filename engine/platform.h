// The engine's thin platform layer: memory and string helpers, the two
// zero-byte scans and the resource callbacks of the head-control engine's
// callback table, the whole-file loader, the adapter base and the adapter of
// the resource file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// ---------------------------------------------------------------------------
// Memory helpers. The engine's classes, the command generators and the
// halftoning pipeline allocate through these; they also fill the head-control
// engine's callback table, so their signatures are fixed.

// Zero-filled block of size bytes; null for a size of 0 or less, or when
// memory is exhausted.
void* Mem_Alloc(int size);
// Releases a block from Mem_Alloc or Mem_Realloc; null is ignored. Always 1.
int Mem_Free(void* block);
// Copies n bytes (regions must not overlap); nothing for n <= 0. Returns dst.
void* Mem_Copy(void* dst, const void* src, int n);
// The same as Mem_Copy; the copy entry of the head-control callback table.
void* Mem_Copy2(void* dst, const void* src, int n);
// Fills n bytes with 0; nothing for n <= 0. Returns p.
void* Mem_Zero(void* p, int n);
// Resizes a block (null block: a new one). For size 0 the result is null and
// the block is left as it is, still owned by the caller.
void* Mem_Realloc(void* block, unsigned int size);
// Copies n bytes; the regions may overlap. Returns dst.
void* Mem_Move(void* dst, const void* src, unsigned int n);
// Fills n bytes with the low byte of value. Returns p.
void* Mem_Set(void* p, int value, unsigned int n);

// ---------------------------------------------------------------------------
// String helpers, bounded. `size` is the capacity of the buffer the string
// lives in (or is copied into), terminator included: a string fits when its
// terminator is among the first `size` bytes, so it holds at most size - 1
// characters.

// Stores the length of s in *length and returns 1; returns 0 (and stores 0)
// when s or length is null, size <= 0, or no terminator lies within size bytes.
int String_Length(char* s, int size, unsigned long* length);
// Copies src with its terminator into dst (capacity size) and returns 1;
// returns 0 when a pointer is null, size <= 0, or src does not fit, in which
// case dst (when it has room) holds the empty string.
int String_Copy(char* dst, int size, char* src);

// ---------------------------------------------------------------------------
// Zero-byte scans of the head-control engine, run over every raster line.
// Neither reads a byte outside [p, p + n). A null p or n <= 0 gives 0.
// The signatures of these and of the callbacks below fit the head-control
// engine's callback table where the table's entry types allow.

// Number of zero bytes at the start: the index of the first non-zero byte, or
// n when all are zero.
int OVF_memsearch(const void* p, int n);
// Number of zero bytes at the end, or n when all are zero.
int OVF_memrsearch(const void* p, int n);

// Resource callbacks of the head-control engine. The context is the job's
// CRscDLL. IRAC_OVF_GetResource fetches kind k as the type-4000 resource with
// identifier k (16384 for kind 0), unpacked, as a heap copy that the engine
// gives back through OVF_FreeResource. The copy's size in bytes is stored in
// *size when size is not null (0 when nothing is returned).
void* IRAC_OVF_GetResource(void* context, int kind, unsigned int* size);
void OVF_FreeResource(void* context, void* resource);

// Debug hooks of the callback table; they do nothing.
void OVF_DebugLog(const char* format, ...);
void _MessageBox(const char* caption, char* text);

// ---------------------------------------------------------------------------
// Whole-file loader for calibration and correction files.
class CFILECTRL {
public:
    // Largest file the loader takes: its size must fit the allocator's
    // signed 32-bit argument.
    static constexpr uint64_t kMaxFileSize = 0x7FFFFFFFu;

    CFILECTRL() = default;
    virtual ~CFILECTRL();
    CFILECTRL(const CFILECTRL&) = delete;
    CFILECTRL& operator=(const CFILECTRL&) = delete;

    // 1 when the file was loaded; 0 when a file is already loaded, the path is
    // null or empty, or loading failed (the holder then stays not loaded).
    int Open(const char* path);
    // Releases the image; nothing when not loaded.
    void Close();

    int IsOpen() const { return m_open; }
    const uint8_t* Data() const { return m_data; }
    uint32_t Size() const { return m_size; }

protected:
    // Loads the whole file into a new Mem_Alloc block and records its size in
    // m_size; null for a missing, unreadable, empty or oversized file, or a
    // short read.
    uint8_t* CopyToMemoryFromFile(const char* path);

private:
    int m_open = 0;
    uint8_t* m_data = nullptr;
    uint32_t m_size = 0;
};

// ---------------------------------------------------------------------------
// Base of the adapters that bind an engine's entry points. Every engine is
// part of this library, so the names are kept but never read.
class CDLL {
public:
    CDLL(char** names, int count) : m_count(count), m_names(names) {}
    virtual ~CDLL() = default;
    CDLL(const CDLL&) = delete;
    CDLL& operator=(const CDLL&) = delete;

    int Load(char*) { return 0; }
    void* GetInstanceHandle(int) { return nullptr; }

    int NameCount() const { return m_count; }
    char** Names() const { return m_names; }

private:
    int m_count;
    char** m_names;
};

// An adapter that binds a table of an engine's entry points. Every entry must
// be set (AllBound, declared beside each table, says so), else the
// constructor throws BindError. The default tables bind the engines linked
// into this library; tests hand in tables of fakes.
template <typename Table, int BindError>
class CBoundDLL : public CDLL {
public:
    static constexpr int kBindError = BindError;

    CBoundDLL(const char* path, const Table& table)
        : CDLL(m_nameList, 1), m_path(path ? path : ""), m_source(table) {
        m_nameList[0] = m_path.data();
        if (!SetProcAddress()) throw static_cast<int>(BindError);
    }

    // Stores the entry points; 1 when every one is bound, else 0.
    int SetProcAddress() {
        if (!AllBound(m_source)) return 0;
        m_bound = m_source;
        return 1;
    }
    const Table& Bound() const { return m_bound; }

protected:
    Table m_bound{};

private:
    std::string m_path;
    char* m_nameList[1] = {nullptr};
    Table m_source;
};

// How the resource adapter reaches the resource file. The default binds the
// resource-file reader (ovs_GetResource / ovs_FreeResource); tests inject a
// fake. `get` returns a buffer that `release` frees, and its size.
struct RscFetchFunctions {
    void* (*get)(int id, int type, uint32_t* size);
    int (*release)(void* buffer);
};
// The reader's functions.
RscFetchFunctions OvsRscFetchFunctions();

// What the head-control adapter does with a fetched resource: makes the
// head-control engine's own heap copy (unpacked when asked and stored packed)
// and takes it back. The head-control adapter implements it and registers
// itself in the job's CRscDLL.
class CIracResourceHandler {
public:
    virtual void* GetIracResource(void* data, unsigned int size, unsigned int* outSize,
                                  int unpack) = 0;
    virtual void FreeIracResource(void* resource) = 0;

protected:
    ~CIracResourceHandler() = default;
};

// Adapter of the resource file. Every fetch keeps the resource's size with
// its bytes.
class CRscDLL : public CDLL {
public:
    // Fetches through the resource-file reader.
    CRscDLL(char** names, int count);
    CRscDLL(char** names, int count, RscFetchFunctions fetch);
    ~CRscDLL() override = default;

    // The resource (identifier and type taken as signed 16-bit) in a new
    // buffer, with its size in *size (0 when missing); null when missing.
    // The caller releases it with FreeResource.
    void* GetResource(int id, int type, unsigned int* size);
    void FreeResource(void* buffer);

    // The head-control engine's copy of a resource (see CIracResourceHandler);
    // null when the resource is missing or no head-control adapter has
    // registered. *size (when given) receives the copy's size, 0 on failure.
    void* GetIracResource(int id, int type, unsigned int* size, int unpack);
    void FreeIracResource(void* resource);

    void SetIracHandler(CIracResourceHandler* handler) { m_irac = handler; }
    CIracResourceHandler* IracHandler() const { return m_irac; }

private:
    RscFetchFunctions m_fetch;
    CIracResourceHandler* m_irac = nullptr;
};
