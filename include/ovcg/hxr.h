/* Halftone engine: the host service table.
 *
 * The halftone engine never calls the runtime library itself. Its host hands
 * it this table of thirteen services when an instance is made; the engine
 * reaches memory, resources and strings only through it. The engine calls the
 * entries by position, so their order is fixed. */
#ifndef OVCG_HXR_H
#define OVCG_HXR_H

#include <stddef.h>

#include "ovcg/ovcg_export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A zero-filled block of count x size bytes, or null (also when either is 0). */
typedef void* (*HXRAllocFn)(size_t count, size_t size);
/* Releases a block of HXRAllocFn; null is ignored. */
typedef void (*HXRFreeFn)(void* block);
/* Fetches the engine resource `id` of kind `kind`; writes its size in bytes
 * into *size. Null when the resource is missing. */
typedef void* (*HXRGetResourceFn)(void* context, unsigned int* size, int id, int kind);
/* Releases a resource that HXRGetResourceFn returned. */
typedef int (*HXRFreeResourceFn)(void* context, void* data);
typedef void* (*HXRMemCpyFn)(void* dst, const void* src, size_t n);
typedef void* (*HXRMemSetFn)(void* dst, int value, size_t n);
typedef int (*HXRMemCmpFn)(const void* a, const void* b, size_t n);
typedef char* (*HXRStrCpyFn)(char* dst, const char* src);
typedef int (*HXRStrCmpFn)(const char* a, const char* b);
typedef int (*HXRStrNCmpFn)(const char* a, const char* b, size_t n);
typedef size_t (*HXRStrLenFn)(const char* s);
typedef int (*HXRAtoIFn)(const char* s);

typedef struct HXRServiceTable {
    HXRAllocFn Alloc;               /* 1 */
    HXRFreeFn Free;                 /* 2 */
    HXRGetResourceFn GetResource;   /* 3 */
    HXRFreeResourceFn FreeResource; /* 4 */
    void* Context;                  /* 5: passed back to GetResource and FreeResource */
    HXRMemCpyFn MemCpy;             /* 6 */
    HXRMemSetFn MemSet;             /* 7 */
    HXRMemCmpFn MemCmp;             /* 8 */
    HXRStrCpyFn StrCpy;             /* 9 */
    HXRStrCmpFn StrCmp;             /* 10 */
    HXRStrNCmpFn StrNCmp;           /* 11 */
    HXRStrLenFn StrLen;             /* 12 */
    HXRAtoIFn AtoI;                 /* 13 */
} HXRServiceTable;

#ifdef __cplusplus
}
#endif

#endif
