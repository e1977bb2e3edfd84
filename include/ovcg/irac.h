/* Head-control engine: argument records, platform callback table and the
 * exported entry points.
 *
 * The engine is plain functions behind an opaque job handle. It reaches
 * memory, output and resources only through the callback table OVF_COMMON
 * that its caller fills; every result is an unsigned code, 0 for success. */
#ifndef OVCG_IRAC_H
#define OVCG_IRAC_H

#include <stdint.h>

#include "ovcg/ovcg_export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One job of the engine. Opaque: byte 0 is the path tag (0 pass path,
 * 1 band path), the rest belongs to the path. */
typedef struct IRAC_INSTANCE_DEF IRAC_INSTANCE_DEF;

/* Print-mode identifier of a job. */
typedef struct IRACS_IDENTIFIER {
    uint8_t mode;          /* short mode number */
    uint32_t sub_mode;     /* 0 to 4: the paper source */
    uint16_t kind;         /* 0 or 1 */
    uint16_t sub_kind;     /* read only for kind 1: 0 to 6 (4 to 6 take long_mode) */
    uint32_t long_mode;    /* long mode number */
} IRACS_IDENTIFIER;

/* Geometry of the job's pages. */
typedef struct IRACS_PRINTDATA_INFO {
    uint32_t raster_width;  /* bytes per colour line */
    uint32_t page_length;   /* rasters per page; 21543311 for an open length */
    uint16_t color_count;   /* ink codes in each page's ink-code list */
} IRACS_PRINTDATA_INFO;

/* Page length that the print job engine passes for a page of open length. */
#define IRAC_OPEN_PAGE_LENGTH 21543311u

typedef struct IRACS_OPTION {
    int16_t direction;         /* print direction, -128 to 127 */
    const int8_t* pixel_shift; /* 32 signed column shifts */
    uint32_t flags;            /* IRAC_OPT_* */
} IRACS_OPTION;

#define IRAC_OPT_EARLY_FEED 0x1u     /* sub-mode 2: deferred feed goes out with the page start */
#define IRAC_OPT_HEAD_HEIGHT 0x2u    /* ask the pass engine for the head height at job start */
#define IRAC_OPT_REFUSED 0x4u        /* refused by IRAC_StartJob (801) */
#define IRAC_OPT_BAND_PATH 0x8u      /* take the band path instead of the pass path */
#define IRAC_OPT_ENGINE 0x10u        /* set by the print job engine on every job */

/* Written by IRAC_StartJob on success: on the pass path the off-area top in
 * the low half and the off-area bottom in the high half. */
typedef struct IRACS_VALUE {
    uint32_t value;
} IRACS_VALUE;

/* One run of consecutive rasters for IRAC_DrawData. */
typedef struct IRACS_RASTERDATA {
    uint8_t** lines;        /* one pointer per raster line */
    uint32_t line_width;    /* bytes per raster line */
    uint32_t raster_count;  /* rasters in the run; the engine takes at most 65535 */
    uint32_t first_raster;  /* page raster number of lines[0] */
} IRACS_RASTERDATA;

/* Heads that the selected print mode uses; owned by the engine until IRAC_EndJob. */
typedef struct IRACS_USE_HEAD {
    int32_t headNum;        /* number of entries in heads */
    const uint8_t* heads;   /* one byte per head */
} IRACS_USE_HEAD;

/* Value codes of IRAC_GetValue (output record named) and IRAC_SetValue (input). */
#define IRAC_GET_BRS_STARTJOB 0         /* IRACS_BRS_JOB */
#define IRAC_GET_BRS_STARTPAGE 1        /* IRACS_BRS_PAGE */
#define IRAC_GET_MINIMUM_LENGTH 6       /* uint32_t */
#define IRAC_GET_SWITCHING_POSITION 7   /* IRACS_SWITCHING_POSITION */
#define IRAC_GET_USE_HEAD 8             /* IRACS_USE_HEAD* */
#define IRAC_GET_PREBUFF_RASTER 9       /* int32_t */
#define IRAC_GET_LAYERS_INKCODE 100     /* IRACS_LAYERS_INKCODE, band path only */
#define IRAC_GET_SHIFT_COUNT 508        /* IRACS_SHIFT_LIST: enable and count */
#define IRAC_GET_SHIFTS 509             /* IRACS_SHIFT_LIST: resolution, count and shifts */
#define IRAC_SET_UNITRASTER 0           /* uint32_t */
#define IRAC_SET_LENGTH 1               /* uint32_t: the page length in rasters */
#define IRAC_SET_BITLEN 2               /* int32_t, band path only */
#define IRAC_SET_ESCIFORM 100           /* int8_t, band path only */

typedef struct IRACS_BRS_JOB {
    uint32_t spare0;       /* not written */
    uint32_t top;          /* ignored top rasters in sub-mode 2, else 0 */
    uint32_t spare1;       /* not written */
    uint8_t upper;
    uint8_t lower;
    uint8_t auto_lower;
} IRACS_BRS_JOB;

typedef struct IRACS_BRS_PAGE {
    uint32_t position;
    uint32_t spare;        /* not written */
    uint32_t gap;
} IRACS_BRS_PAGE;

/* Two positions, owned by the engine until the next query or IRAC_EndJob. */
typedef struct IRACS_SWITCHING_POSITION {
    uint32_t count;
    const uint32_t* positions;
} IRACS_SWITCHING_POSITION;

/* Code 509: `count` on entry is the capacity of `shifts`; when it is below
 * the shifts the model holds, nothing is written but the needed count, and
 * the query answers 22. */
typedef struct IRACS_SHIFT_LIST {
    uint8_t enable;
    uint8_t spare;
    uint16_t resolution;
    int16_t count;
    uint16_t* shifts;
} IRACS_SHIFT_LIST;

/* Code 100 (band path): the page ink codes of each halftone layer. out[l x
 * inks + i] = ink_codes[i] with the layer's bits (0x00, 0x80, 0x40, 0xC0 for
 * layers 0 to 3); every code made must be one the band-path resource lists. */
typedef struct IRACS_LAYERS_INKCODE {
    int32_t layers;            /* 1 to 4 */
    int32_t inks;              /* 1 to 32 */
    int32_t total;             /* layers x inks, at most 32 */
    const uint8_t* ink_codes;  /* inks codes, none with a bit of 0xE0 */
    uint8_t* out;              /* total codes */
} IRACS_LAYERS_INKCODE;

/* Platform callbacks, as the engine calls them. */
typedef void* (*OVF_PFN_ALLOC)(uint32_t size);
typedef void* (*OVF_PFN_REALLOC)(void* block, uint32_t size);
typedef void (*OVF_PFN_FREE)(void* block);
typedef void* (*OVF_PFN_COPY)(void* dst, const void* src, uint32_t count);
typedef void* (*OVF_PFN_FILL)(void* dst, int value, uint32_t count);
/* Leading-zero search: index of the first non-zero byte, count when all are zero.
 * Trailing-zero search: number of zero bytes at the end, count when all are zero. */
typedef int (*OVF_PFN_SEARCH)(const void* bytes, int count);
/* Non-zero on success, 0 on failure. Flag 1 marks the pieces after which the
 * caller flushes its buffer (carriage return and deferred feed). */
typedef int (*OVF_PFN_SEND)(void* context, const void* bytes, uint32_t length, int flag);
/* The resource of type 4000 with identifier kind (16384 for kind 0), already
 * unpacked when stored packed, and its size in *size; null (size 0) when
 * absent. The block stays valid until it is handed back to free-resource. */
typedef void* (*OVF_PFN_GET_RESOURCE)(void* context, int kind, uint32_t* size);
typedef void (*OVF_PFN_FREE_RESOURCE)(void* context, void* resource);
typedef void (*OVF_PFN_DEBUG_LOG)(const char* format, ...);

/* The caller's callback table: 19 pointer-sized words in this order. The
 * engine requires words 0 to 8, 10 and 12; the others may be null. */
typedef struct OVF_COMMON {
    OVF_PFN_ALLOC alloc;                 /* 0 */
    OVF_PFN_REALLOC realloc;             /* 1 */
    OVF_PFN_FREE free;                   /* 2 */
    OVF_PFN_COPY copy;                   /* 3 */
    OVF_PFN_COPY move;                   /* 4: overlapping copy */
    OVF_PFN_FILL fill;                   /* 5 */
    OVF_PFN_SEARCH lead_zero_search;     /* 6 */
    OVF_PFN_SEARCH trail_zero_search;    /* 7 */
    OVF_PFN_SEND send_data;              /* 8 */
    void* send_context;                  /* 9 */
    OVF_PFN_GET_RESOURCE get_resource;   /* 10 */
    void* resource_context;              /* 11 */
    OVF_PFN_FREE_RESOURCE free_resource; /* 12 */
    OVF_PFN_DEBUG_LOG debug_log;         /* 13: kept, never called */
    void* unused[4];                     /* 14-17: written 0 */
    void* resource_context2;             /* 18: for the band-path resource reader */
} OVF_COMMON;

/* Result codes of the two unpacking functions. */
#define IRAC_RDM_NULL_ARGUMENT 501u
#define IRAC_RDM_SIZE_TOO_SMALL 503u
#define IRAC_RDM_DEST_TOO_SMALL 504u   /* also: an unpacked size above IRAC_RDM_MAX_UNPACKED */
#define IRAC_RDM_NOT_PACKED 505u
#define IRAC_RDM_SHORT_OUTPUT 506u     /* also: the stream ended before the unpacked size */
#define IRAC_RDM_BAD_SIGNATURE 507u
#define IRAC_RDM_RESERVED 509u
#define IRAC_RDM_END_MARK 511u
#define IRAC_RDM_OVERRUN 512u
#define IRAC_RDM_NOTHING_WRITTEN 513u
#define IRAC_RDM_NO_MEMORY 520u
#define IRAC_RDM_PACKED_TOO_SHORT 521u
#define IRAC_RDM_SIZE_NULL 531u
#define IRAC_RDM_SIZE_NOT_PACKED 532u

/* Largest unpacked size (bytes after the 9-byte header) that is accepted. */
#define IRAC_RDM_MAX_UNPACKED 0x10000000u

/* Size of the unpacked resource (header included) of a packed resource:
 * 531 for a null argument, 521 for a packed size of 9 or less, 532 when the
 * resource is not packed, 504 when the unpacked size is above
 * IRAC_RDM_MAX_UNPACKED; else 0 with *size set. */
OVCG_API uint32_t IRAC_GetResourceDataSize(const void* packed, uint32_t packed_size, uint32_t* size);

/* Unpacks a packed resource into dest (header included). reserved must be
 * null. Uses the allocate, free, copy and fill words of callbacks. */
OVCG_API uint32_t IRAC_DecompressResource(const void* packed, uint32_t packed_size, void* dest,
                                          uint32_t dest_size, void* reserved,
                                          const OVF_COMMON* callbacks);

/* Job entry points. */
OVCG_API uint32_t IRAC_StartJob(IRAC_INSTANCE_DEF** instance, const IRACS_IDENTIFIER* identifier,
                                const IRACS_PRINTDATA_INFO* print_data, const IRACS_OPTION* option,
                                IRACS_VALUE* value, const OVF_COMMON* callbacks);
OVCG_API void IRAC_EndJob(IRAC_INSTANCE_DEF* instance);
OVCG_API uint32_t IRAC_StartPage(IRAC_INSTANCE_DEF* instance, int32_t left_offset,
                                 const uint8_t* ink_codes);
OVCG_API uint32_t IRAC_EndPage(IRAC_INSTANCE_DEF* instance);
OVCG_API uint32_t IRAC_DrawData(IRAC_INSTANCE_DEF* instance, const IRACS_RASTERDATA* data);
OVCG_API void IRAC_AbortJob(IRAC_INSTANCE_DEF* instance);
OVCG_API uint32_t IRAC_GetValue(IRAC_INSTANCE_DEF* instance, int32_t code, void* out);
OVCG_API uint32_t IRAC_SetValue(IRAC_INSTANCE_DEF* instance, int32_t code, const void* in);

#ifdef __cplusplus
}
#endif

#endif
