/* Resource-file reader: indexes one .RES file and fetches resources by
 * numeric type and identifier. Every fetch hands back the resource's size
 * with its bytes; a buffer is released with ovs_FreeResource. */
#ifndef OVCG_OVS_RESOURCE_H
#define OVCG_OVS_RESOURCE_H

#include <stdint.h>

#include "ovcg/ovcg_export.h"

/* Local time as the command generators stamp it. */
typedef struct OVS_SYSTEMTIME {
    uint16_t wYear;
    uint16_t wMonth;
    uint16_t wDayOfWeek;
    uint16_t wDay;
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
} OVS_SYSTEMTIME;

/* 0 indexed; -1 the file does not open (or the path does not fit); -2 out of memory. */
OVCG_API int ovs_resLoadFile(const char* path);
OVCG_API int ovs_resUnLoadFile(void);
/* A new buffer with the resource's data, or null. Prefer ovs_GetResource, which gives the size. */
OVCG_API void* ovs_FindResource(int id, int type);
/* As ovs_FindResource, and writes the resource's size in bytes into *size (0 on failure).
 * A resource of size 0 is returned as a non-null empty buffer. */
OVCG_API void* ovs_GetResource(int id, int type, uint32_t* size);
OVCG_API int ovs_FreeResource(void* buffer);
OVCG_API void* ovs_LoadResource(void* module, void* resource);
OVCG_API void* ovs_LockResource(void* resource);
OVCG_API void GetLocalTime(OVS_SYSTEMTIME* time);

#endif
