/* Halftone engine: the host service table and the three description records
 * an instance is made from.
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

/* The image record: how the input lines of a band are laid out. */
typedef struct _HXR_IMAGE_INFO {
    unsigned int colorMode;      /* 3 RGB, 4 CMYK, 110 ten components, 101..112 = 1..12 ink planes given directly */
    unsigned int sampleBytes;    /* bytes per sample: 1, or 2 (host byte order, the high byte is used) */
    unsigned int pixelOffset;    /* samples from one pixel to the next within a plane */
    unsigned int attributeStride;/* bytes from one attribute byte to the next; 0 = no attribute plane */
    unsigned int width;          /* input pixels per line */
} _HXR_IMAGE_INFO;

/* The halftone record: the print-mode query (words 0..7), then the output
 * scale. Word 9 is a ratio: numerator in the low 16 bits, signed denominator
 * in the high 16 bits, 0 counting as 1 (0x20001 is one half). */
typedef struct _HXR_HALFTONE_INFO {
    unsigned int inkSet;          /* 0: ink-set identifier (0 = monochrome job) */
    unsigned int media;           /* 1 */
    unsigned int docType;         /* 2: 7 = monochrome photo (TNMX) */
    unsigned int subType;         /* 3 */
    unsigned int htType;          /* 4: 3 dither, 5 and 6 hybrid error diffusion */
    unsigned int xResolution;     /* 5 */
    unsigned int yResolution;     /* 6 */
    unsigned int outputBits;      /* 7: dot mode 1, 2, 34 (or 66) */
    unsigned int htSubType;       /* 8 */
    unsigned int scale;           /* 9: output columns per input pixel, as a ratio */
    unsigned int extra;           /* 10: 1 as the band pipeline fills it */
} _HXR_HALFTONE_INFO;

/* The option record: tone words, blobs and per-colour settings. The blobs
 * carry their own lengths (see each); the engine copies them at creation. */
typedef struct _HXR_OPTION_INFO {
    /* 0 gamma (-1 default), 1 brightness, 2 contrast, 3 saturation, 4..6 red,
     * green and blue strength, 7..15 the monochrome-photo parameters
     * (circle x, circle y, gamma, brightness, contrast, shadow tonality,
     * highlight tonality, maximum density (220 default), highlight point). */
    int tone[16];
    /* Byte 0 blank: length byte 1 + 2; byte 0 '0': byte 1 + 256 x byte 2 + 3. */
    const unsigned char* printerId;
    /* Length: the u32 little-endian number in its first four bytes. */
    const unsigned char* calibration;
    /* 1024 = 100 % per colour, or a duty-factor record: the 16 bytes
     * "DUTY_FACTOR_MODE", the factor (128..8192) and seven words 0xFFFFFFFF. */
    unsigned int colorValue[12];
    /* Length: (byte 2 + 256 x byte 3) x byte 0 + 4. */
    const unsigned char* userColor;
    unsigned int inkSelectionMode;  /* also intent 0's LUT channel mode; default 0 */
    unsigned int secondDocType;     /* default 0xFFFFFFFF: none */
    unsigned int channelMode1;      /* intent 1's LUT channel mode; default 0xFFFFFFFF */
} _HXR_OPTION_INFO;

/* ------------------------------------------------------------------------
 * The engine's entry points. Every function answers 0 for success or a code
 * of its own (the first digits name the function); the engine's inner
 * failures are kept in the error record (HXR_GetErrorInfo), which keeps the
 * first failure since the last instance creation.
 *
 * Order: HXR_CreateInstanceEx, HXR_SetValue (any number), HXR_StartJob; or
 * HXR_CreateInstance alone. Then per page HXR_StartPage, per band
 * HXR_Halftone or HXR_ConvertColor, HXR_EndPage; HXR_DeleteInstance frees
 * the whole job. An instance whose job start failed can only be deleted.
 * ------------------------------------------------------------------------ */

/* Output flags of an instance. */
#define HXR_OUTPUT_HOST 1u /* the host halftones: controller and its data set */
#define HXR_OUTPUT_SLUT 2u /* the printer-side SLUT package */
#define HXR_OUTPUT_RH 4u   /* the RH package */

/* HXR_SetValue keys. */
#define HXR_KEY_REDUCTION_METHOD 16u /* one word 0 or 1 */
#define HXR_KEY_TEXT_ENHANCE 17u     /* one word 0 or 3 */
#define HXR_KEY_PATTERND_A 256u      /* twelve words */
#define HXR_KEY_PATTERND_B 257u      /* twelve words */
#define HXR_KEY_UNDER_WHITE 258u     /* one word 0 or 1 */
#define HXR_KEY_COLOR_TABLE_A 768u   /* twelve words */
#define HXR_KEY_COLOR_TABLE_B 769u   /* twelve words */
#define HXR_KEY_WPRINT_OUTPUT 1024u
#define HXR_KEY_WPRINT_W 1025u
#define HXR_KEY_WPRINT_REDUCTION 1026u
#define HXR_KEY_ADDED_LUT_0 1280u /* HXRAddedLutValue */
#define HXR_KEY_ADDED_LUT_1 1281u

/* The value of keys 1280 and 1281: the bytes are copied. */
typedef struct HXRAddedLutValue {
    unsigned int size;
    const unsigned char* data;
} HXRAddedLutValue;

OVCG_API unsigned int HXR_GetDefaultValue(_HXR_OPTION_INFO* option);
OVCG_API unsigned int HXR_SetDutyFactorValue(_HXR_OPTION_INFO* option, unsigned int factor);
/* The real output colour codes of the ink set (12 entries at most); their
 * count, 0 on failure. */
OVCG_API unsigned int HXR_GetOutputColorOrderRough(int inkSet, signed char* codes, const HXRServiceTable* services);
OVCG_API unsigned int HXR_CreateInstanceEx(void** handle, const _HXR_IMAGE_INFO* image,
                                           const _HXR_HALFTONE_INFO* halftone, const _HXR_OPTION_INFO* option,
                                           const HXRServiceTable* services, int flags);
OVCG_API unsigned int HXR_SetValue(void* instance, unsigned int key, const void* value);
OVCG_API unsigned int HXR_StartJob(void* instance);
/* HXR_CreateInstanceEx and HXR_StartJob; a failed start deletes the instance
 * and leaves the handle null. */
OVCG_API unsigned int HXR_CreateInstance(void** handle, const _HXR_IMAGE_INFO* image,
                                         const _HXR_HALFTONE_INFO* halftone, const _HXR_OPTION_INFO* option,
                                         const HXRServiceTable* services, int flags);
OVCG_API unsigned int HXR_EndJob(void* instance);
OVCG_API void HXR_DeleteInstance(void* instance);
OVCG_API unsigned int HXR_SetBRSFunc(void* instance, const void* brs);
OVCG_API unsigned int HXR_SetDataShiftFunc(void* instance, const void* shift);
OVCG_API unsigned int HXR_SetABRFunc(void* instance);
/* switching: {count, up to five line numbers}. */
OVCG_API unsigned int HXR_ResetSwitchingPos(void* instance, const int* switching);
OVCG_API unsigned int HXR_StartPage(void* instance, const int* switching);
OVCG_API unsigned int HXR_Halftone(void* instance, unsigned char** out, int* anyDot, const void** planes,
                                   const unsigned char** attributes, int pixels, int xOffset, int lines, int firstRow);
OVCG_API unsigned int HXR_ConvertColor(void* instance, unsigned char** out, int* start, int* length,
                                       const void** planes, const unsigned char** attributes, int pixels, int xOffset,
                                       int lines, int firstRow);
OVCG_API unsigned int HXR_EndPage(void* instance);
OVCG_API unsigned int HXR_GetOutputColorOrder(void* instance, signed char* codes);
/* One size per halftone colour (12 entries at most). */
OVCG_API unsigned int HXR_GetOutputBufferSize(void* instance, int* sizes);
OVCG_API unsigned int HXR_GetInkBufferSize(void* instance, int* size);
/* Three counts per output colour (36 entries at most). */
OVCG_API unsigned int HXR_GetDotCount(void* instance, unsigned int* counts, int shift);
OVCG_API unsigned int HXR_GetDotCount64(void* instance, unsigned long long* counts);
OVCG_API unsigned int HXR_GetSlut(void* instance, unsigned char** data, int* size);
OVCG_API unsigned int HXR_GetDoubleGamma(void* instance, unsigned int* gamma0, unsigned int* gamma255,
                                         unsigned int* colorGamma0, unsigned int* colorGamma255);
OVCG_API unsigned int HXR_GetRHData(void* instance, void** data, unsigned int* size);
OVCG_API unsigned int HXR_GetRHCommonData(void* instance, void** data, unsigned int* size, unsigned int reserved);
OVCG_API unsigned int HXR_GetRHLutData(void* instance, void** data, unsigned int* size, unsigned int kind);
OVCG_API unsigned int HXR_GetRHDitherData(void* instance, void** data, unsigned int* size, unsigned int kind);
OVCG_API unsigned int HXR_GetRHUBECData(void* instance, void** data, unsigned int* size, unsigned int kind);
OVCG_API unsigned int HXR_GetErrorInfo(char** message);
OVCG_API unsigned int HXR_GetColorConvertData(void* instance);

/* The bridge entries: each forwards unchanged to the HXR_ function of the
 * same name. */
OVCG_API unsigned int A_OvhtHXR_GetDefaultValue(_HXR_OPTION_INFO* option);
OVCG_API unsigned int A_OvhtHXR_GetOutputColorOrderRough(int inkSet, signed char* codes,
                                                         const HXRServiceTable* services);
OVCG_API unsigned int A_OvhtHXR_CreateInstance(void** handle, const _HXR_IMAGE_INFO* image,
                                               const _HXR_HALFTONE_INFO* halftone, const _HXR_OPTION_INFO* option,
                                               const HXRServiceTable* services, int flags);
OVCG_API void A_OvhtHXR_DeleteInstance(void* instance);
OVCG_API unsigned int A_OvhtHXR_SetBRSFunc(void* instance, const void* brs);
OVCG_API unsigned int A_OvhtHXR_ResetSwitchingPos(void* instance, const int* switching);
OVCG_API unsigned int A_OvhtHXR_StartPage(void* instance, const int* switching);
OVCG_API unsigned int A_OvhtHXR_Halftone(void* instance, unsigned char** out, int* anyDot, const void** planes,
                                         const unsigned char** attributes, int pixels, int xOffset, int lines,
                                         int firstRow);
OVCG_API unsigned int A_OvhtHXR_ConvertColor(void* instance, unsigned char** out, int* start, int* length,
                                             const void** planes, const unsigned char** attributes, int pixels,
                                             int xOffset, int lines, int firstRow);
OVCG_API unsigned int A_OvhtHXR_EndPage(void* instance);
OVCG_API unsigned int A_OvhtHXR_GetOutputColorOrder(void* instance, signed char* codes);
OVCG_API unsigned int A_OvhtHXR_GetOutputBufferSize(void* instance, int* sizes);
OVCG_API unsigned int A_OvhtHXR_GetDotCount(void* instance, unsigned int* counts, int shift);
OVCG_API unsigned int A_OvhtHXR_GetSlut(void* instance, unsigned char** data, int* size);

/* Descriptors of the RH package (HXR_GetRHLutData, HXR_GetRHDitherData,
 * HXR_GetRHUBECData). Each is a new block of the instance; its pointers lead
 * into the package image, whose sections are little-endian byte layouts
 * (u16 values as two bytes, low first). Natural C alignment, 64-bit
 * pointers. A pointer is null where a section is absent. */
typedef struct HXRRHLutInfo {
    unsigned char intentNum;
    const unsigned char* prePosition;     /* 256 u16: input level to grid position (null for kind 2) */
    const unsigned char* calibration[8];  /* per output colour 256 u16 (null past K) */
    unsigned short gridNum;               /* 64, or 256 for kind 2 */
    /* Per intent [0], [1] (the second null with one intent). */
    const unsigned char* table[2];        /* kind 0 the 17-node table, 1 the 64-node grid, 2 256 levels */
    const unsigned char* additional[2];   /* kind 0 only, from here on */
    const unsigned char* gray[2];
    const unsigned char* encode[2];       /* 257 u16 */
    const unsigned char* decode[2];       /* 256 u16 */
    const unsigned char* gridPosition[2]; /* 64 u16 */
} HXRRHLutInfo;

typedef struct HXRRHDitherInfo {
    unsigned char matrixNum;
    unsigned char matrixNo[8];            /* per halftone colour */
    unsigned short width[4];              /* per matrix number, 0 past the count */
    unsigned short height[4];
    unsigned short step[4];               /* the first step parameter (horizontal shift) */
    const unsigned char* thresholds[4];   /* width x height u16, row by row */
    unsigned char smlNum;
    unsigned char smlNo0[8];              /* part-0 SML section per halftone colour */
    unsigned char smlNo1[8];              /* part-1 SML section; 255 without one */
    const unsigned char* sml[8];          /* levels x 3 u16 */
} HXRRHDitherInfo;

typedef struct HXRRHUbecInfo {
    unsigned int tableNum;
    unsigned short blocksH[4];            /* per table number, 0 past the count */
    unsigned short blocksV[4];
    unsigned char blockW[4];
    unsigned char blockH[4];
    unsigned short shiftH[4];
    unsigned int tableNo[8];              /* per halftone colour */
    const unsigned char* encode[4];       /* blocks x 32 u16 */
    const unsigned char* preDecode[4];    /* blocks x 32 bytes */
    const unsigned char* postDecode[4];   /* P x (u16 low half, u16 high half) */
    const unsigned char* order[4];        /* blocks x u64 */
} HXRRHUbecInfo;

#ifdef __cplusplus
}
#endif

#endif
