/* Public records of the job interface.
 *
 * Every versioned record begins with an unsigned 16-bit version. A caller may
 * hand in an older version: that is the current layout cut short after the
 * fields of that version, and the engine copies it into a record of the
 * current layout on entry. OVCG_<RECORD>_SIZE_V<n> gives the number of bytes a
 * record of version n has; the engine never reads more than that.
 *
 * Layouts are the platform's natural C layout (64-bit pointers on LP64). */
#ifndef OVCG_RECORDS_H
#define OVCG_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Current versions ---------------------------------------------------- */

#define OVCG_PRTSTRUCT3_VERSION 12u
#define OVCG_HTSTRUCT3_VERSION 5u
#define OVCG_JOBDATA_VERSION 6u

/* ---- Mode word (tagPRTSTRUCT3_12.mw_type) ------------------------------- */

#define OVCG_MW_MW 0x1u
#define OVCG_MW_SP 0x2u
#define OVCG_MW_HS 0x4u
#define OVCG_MW_NK 0x8u
#define OVCG_MW_CL 0x10u
#define OVCG_MW_CLAT 0x20u
#define OVCG_MW_CLFL 0x40u
#define OVCG_MW_TNMX 0x80u
#define OVCG_MW_BRS 0x100u
#define OVCG_MW_TNMXHPAT 0x200u
#define OVCG_MW_SP2 0x400u
#define OVCG_MW_P3 0x800u       /* command level 3 */
#define OVCG_MW_BPM 0x1000u
#define OVCG_MW_BSM 0x2000u
#define OVCG_MW_OVC 0x4000u     /* page language */
#define OVCG_MW_PR12 0x8000u
#define OVCG_MW_PR13 0x10000u
#define OVCG_MW_CRDI 0x20000u
#define OVCG_MW_MONO 0x40000u

/* ---- Option flags (tagPRTSTRUCT3_12.ex_option), bit 0 upward ------------ */

#define OVCG_EXO_BR 0x00000001u
#define OVCG_EXO_PK 0x00000002u
#define OVCG_EXO_CP 0x00000004u
#define OVCG_EXO_PC 0x00000008u
#define OVCG_EXO_OV 0x00000010u
#define OVCG_EXO_AC 0x00000020u /* automatic cutting */
#define OVCG_EXO_CL 0x00000040u
#define OVCG_EXO_FH 0x00000080u
#define OVCG_EXO_FV 0x00000100u
#define OVCG_EXO_BS 0x00000200u
#define OVCG_EXO_TB 0x00000400u /* borderless */
#define OVCG_EXO_SP 0x00000800u
#define OVCG_EXO_DP 0x00001000u
#define OVCG_EXO_US 0x00002000u
#define OVCG_EXO_TJ 0x00004000u
#define OVCG_EXO_BJ 0x00008000u
#define OVCG_EXO_T4 0x00010000u
#define OVCG_EXO_ST 0x00020000u
#define OVCG_EXO_CB 0x00040000u
#define OVCG_EXO_TO 0x00080000u
#define OVCG_EXO_SL 0x00100000u
#define OVCG_EXO_SI 0x00200000u
#define OVCG_EXO_AD 0x00400000u
#define OVCG_EXO_NJ 0x00800000u
#define OVCG_EXO_FA 0x01000000u
#define OVCG_EXO_PL 0x02000000u
#define OVCG_EXO_BL 0x04000000u
#define OVCG_EXO_NP 0x08000000u
#define OVCG_EXO_FD 0x10000000u
#define OVCG_EXO_NL 0x20000000u
#define OVCG_EXO_NC 0x40000000u
#define OVCG_EXO_DM 0x80000000u

/* ---- Second option word (tagPRTSTRUCT3_12.ex_option2) ------------------- */

#define OVCG_EXO2_BORM 0x1u
#define OVCG_EXO2_FMAT 0x2u
#define OVCG_EXO2_PHOF 0x4u
#define OVCG_EXO2_BINA 0x8u
/* lpCheckFunc is honoured only with this bit set. */
#define OVCG_EXO2_CHECKFUNC 0x80000000u

/* ---- Source formats (tagPRTSTRUCT3_12.src_format) ----------------------- */

/* 132, 135 and 138 are formats 4, 7 and 10 carrying 16-bit samples. */
#define OVCG_SRC_16BIT_FLAG 128

/* ---- Halftone record page options (tagHTSTRUCT3_5.page_option) ---------- */

#define OVCG_PAGEOPT_NEXTPAGE 0x1u
#define OVCG_PAGEOPT_REMAINING_PAGES 0x2u

/* ---- Cut command (tagCUTCMD.cut_option) --------------------------------- */

#define OVCG_CUT_ONECUT 1u
#define OVCG_CUT_TWOCUT 2u
#define OVCG_CUT_PANORAMA 3u

/* ---- Band descriptor (tagOSDEP3.wCMD) ----------------------------------- */

/* The descriptor carries the two extra frame offsets. */
#define OVCG_OSDEP3_CMD_FRAME_OFFSETS 64u

/* ---- Small shared records ----------------------------------------------- */

typedef struct tagPOINT {
    int32_t x;
    int32_t y;
} tagPOINT;

/* Right and bottom are exclusive. */
typedef struct tagRECT {
    uint32_t left;
    uint32_t top;
    uint32_t right;
    uint32_t bottom;
} tagRECT;

/* A band bitmap: the line stride in bytes and the first line. */
typedef struct tagBANDBMP {
    uint32_t WidthBytes;
    uint8_t* Bits;
} tagBANDBMP;

/* Optional band descriptor. The two frame offsets are present (and read) only
 * when wCMD is OVCG_OSDEP3_CMD_FRAME_OFFSETS; a shorter descriptor is
 * OVCG_OSDEP3_SIZE_BASE bytes. */
typedef struct tagOSDEP3 {
    uint16_t wBandNum;
    uint16_t wCMD;
    uint32_t dwSize;
    uint32_t ImageFrameSize;
    uint32_t dwFrameOffsetX;
    uint32_t dwFrameOffsetY;
} tagOSDEP3;

#define OVCG_OSDEP3_SIZE_BASE offsetof(struct tagOSDEP3, dwFrameOffsetX)

/* Not versioned on entry. */
typedef struct tagCUTCMD {
    uint16_t version;
    uint16_t cut_option;
    int32_t top;
    int32_t bottom;
} tagCUTCMD;

/* Not versioned on entry. */
typedef struct tagTRIMINFO {
    uint16_t version;
    tagPOINT src_t4base_parea;
    tagPOINT src_t4base_parea_ex;
    tagPOINT layout_offset;
} tagTRIMINFO;

/* Page-end record. */
typedef struct tagTPINFOSTRUCT {
    uint16_t version;
    int32_t bAbort; /* non-zero aborts the page */
} tagTPINFOSTRUCT;

/* Monochrome-photo parameters; not versioned on entry. */
typedef struct TNMX_PARAMS {
    int32_t version;
    int32_t circle_x;
    int32_t circle_y;
    int32_t mono_gamma;
    int32_t mono_brightness;
    int32_t mono_contrast;
    int32_t shadow_tonality;
    int32_t highlight_tonality;
    int32_t max_od;
    int32_t highlight_point;
} TNMX_PARAMS;

/* ---- Media options ------------------------------------------------------ */

#define OVCG_MEDIAOPT_VERSION 8u

/* Validity bits (tagMEDIAOPT_8.field): a value counts only with its bit set. */
#define OVCG_MO_DUTY 0x1u
#define OVCG_MO_FEED_OFFSET 0x2u
#define OVCG_MO_PATH_DELAY 0x4u
#define OVCG_MO_THICK_01 0x8u       /* paper_thickness in tenths of the unit */
#define OVCG_MO_VACUUM 0x10u
#define OVCG_MO_CUT_ADJUST 0x20u
#define OVCG_MO_PAGE_DELAY 0x40u
#define OVCG_MO_PALATEN_GAP 0x80u
#define OVCG_MO_FEED_ROLLER 0x100u
#define OVCG_MO_AUTO_DP_DELAY 0x200u
#define OVCG_MO_ROLL_TENSION 0x400u
#define OVCG_MO_OVERPRINT 0x800u
#define OVCG_MO_AUTO_DP_DOC 0x1000u
#define OVCG_MO_PAGE_MARGIN 0x10000u
#define OVCG_MO_TOP_MARGIN 0x20000u
#define OVCG_MO_EJECT_ROLLER 0x40000u
#define OVCG_MO_THICK_001 0x80000u  /* paper_thickness as is (version 8) */
#define OVCG_MO_DUTY_MULTI 0x100000u
#define OVCG_MO_USER_MEDIA_NUMBER 0x200000u

#define OVCG_MEDIAOPT_PLANES 16

typedef struct tagMEDIAOPT_8 {
    /* version 1 */
    uint16_t version;
    uint32_t field;
    int32_t duty;
    int16_t feeding_offset;
    int16_t path_delay_time;
    uint16_t paper_thickness;
    uint16_t vacuum_intensity;
    int32_t cutting_adjustment;
    int16_t page_delay_time;
    /* version 2 */
    uint16_t platen_gap_mode;
    uint16_t feed_roller_type;
    int16_t auto_dp_delay_time;
    /* version 3 */
    uint16_t roll_tension_mode;
    /* version 4 */
    uint16_t num_overprint;
    /* version 5 (version 6 adds nothing) */
    int32_t auto_dp_doc_type;
    uint8_t reserved[6]; /* cleared on entry */
    /* version 7 */
    uint16_t page_margin;
    uint16_t top_margin;
    uint16_t eject_roller;
    /* version 8 */
    int32_t multi_duty[OVCG_MEDIAOPT_PLANES];
    int32_t user_media_number;
} tagMEDIAOPT_8;

#define OVCG_MEDIAOPT_SIZE_V1 offsetof(struct tagMEDIAOPT_8, platen_gap_mode)
#define OVCG_MEDIAOPT_SIZE_V2 offsetof(struct tagMEDIAOPT_8, roll_tension_mode)
#define OVCG_MEDIAOPT_SIZE_V3 offsetof(struct tagMEDIAOPT_8, num_overprint)
#define OVCG_MEDIAOPT_SIZE_V4 offsetof(struct tagMEDIAOPT_8, auto_dp_doc_type)
#define OVCG_MEDIAOPT_SIZE_V5 offsetof(struct tagMEDIAOPT_8, reserved)
#define OVCG_MEDIAOPT_SIZE_V6 OVCG_MEDIAOPT_SIZE_V5
#define OVCG_MEDIAOPT_SIZE_V7 offsetof(struct tagMEDIAOPT_8, multi_duty)
#define OVCG_MEDIAOPT_SIZE_V8 sizeof(struct tagMEDIAOPT_8)

/* ---- Job data ----------------------------------------------------------- */

typedef struct tagJOBDATA_6 {
    /* version 1 */
    uint16_t version;
    const uint8_t* lpInkSetData;
    uint32_t NumInkSetData;
    const char* lpszOwnerName;
    uint32_t OwnerNameSize;
    const char* lpszDocName;
    uint32_t DocNameSize;
    /* version 2 */
    const char* lpszHostName;
    uint32_t HostNameSize;
    int32_t HostNameType; /* -1 when the caller's version has none */
    uint32_t dwJobID;
    /* version 3 */
    const char* lpszVenderInfo;
    uint32_t VenderInfoSize;
    const char* lpszOsVerInfo;
    uint32_t OsVerInfoSize;
    /* version 4 */
    const char* lpszMediaInfo;
    uint32_t MediaInfoSize;
    /* version 5 */
    const uint8_t* lpHDDOption;
    uint32_t NumHDDOption;
    /* version 6 */
    int32_t DisablePrinterErrorCheck;
} tagJOBDATA_6;

#define OVCG_JOBDATA_SIZE_V1 offsetof(struct tagJOBDATA_6, lpszHostName)
#define OVCG_JOBDATA_SIZE_V2 offsetof(struct tagJOBDATA_6, lpszVenderInfo)
#define OVCG_JOBDATA_SIZE_V3 offsetof(struct tagJOBDATA_6, lpszMediaInfo)
#define OVCG_JOBDATA_SIZE_V4 offsetof(struct tagJOBDATA_6, lpHDDOption)
#define OVCG_JOBDATA_SIZE_V5 offsetof(struct tagJOBDATA_6, DisablePrinterErrorCheck)
#define OVCG_JOBDATA_SIZE_V6 sizeof(struct tagJOBDATA_6)

/* ---- Remote-command block (tagPRTSTRUCT3_12.lpRemoteCmd) --------------- */

/* Bytes of complete remote-mode commands that go out unchanged at the end of
 * the remote-mode block of the document start. */
typedef struct tagREMOTECMD {
    uint16_t version;
    uint32_t dwSize; /* bytes at lpData */
    const uint8_t* lpData;
} tagREMOTECMD;

/* ---- Job record --------------------------------------------------------- */

/* Receives numbered debug records (id, size, data); its result is passed back. */
typedef int32_t (*OVCG_DEBUG_EXPORT_FUNC)(int32_t id, int32_t size, void* data);

typedef struct tagPRTSTRUCT3_12 {
    /* version 1 */
    uint16_t version;
    int32_t src_format;
    int32_t prt_format;
    tagPOINT src_resolution;
    tagPOINT prt_resolution;
    tagPOINT src_paper_size;
    tagPOINT src_print_area;
    tagPOINT src_print_area_ex;
    tagPOINT src_margin;
    int32_t media_type;
    int32_t bit_p_color;
    int32_t num_copy;
    uint32_t mw_type;
    uint32_t ex_option;
    int32_t printer_ID;
    int32_t bin_ID;
    int32_t paper_ID;
    int32_t head_ID;
    /* version 2 */
    void* lpRemoteCmd;
    /* version 3 */
    int32_t lut_format; /* prt_format when the caller's version has none */
    tagCUTCMD* lpCutCmdData;
    /* version 4 */
    int32_t trim_left_margin;
    const char* lpSBString;
    struct tagMEDIAOPT_8* lpMediaOpt;
    tagJOBDATA_6* lpJobData;
    /* version 5 */
    tagTRIMINFO* lpTrimInfo;
    /* version 6 */
    int32_t out_tray_ID;
    /* version 7 */
    void* lpHeadInfo;
    uint32_t ex_option2;
    /* version 8 */
    const char* lpszHMM_File;
    /* version 9 */
    void* lpBRSData;
    /* version 10 */
    void* lpInkInfo_Tbl;
    /* version 11 */
    OVCG_DEBUG_EXPORT_FUNC lpCheckFunc; /* kept only with OVCG_EXO2_CHECKFUNC */
    void* lpIsv;
    /* version 12 */
    int32_t quality_type; /* 1 when the caller's version has none */
} tagPRTSTRUCT3_12;

#define OVCG_PRTSTRUCT3_SIZE_V1 offsetof(struct tagPRTSTRUCT3_12, lpRemoteCmd)
#define OVCG_PRTSTRUCT3_SIZE_V2 offsetof(struct tagPRTSTRUCT3_12, lut_format)
#define OVCG_PRTSTRUCT3_SIZE_V3 offsetof(struct tagPRTSTRUCT3_12, trim_left_margin)
#define OVCG_PRTSTRUCT3_SIZE_V4 offsetof(struct tagPRTSTRUCT3_12, lpTrimInfo)
#define OVCG_PRTSTRUCT3_SIZE_V5 offsetof(struct tagPRTSTRUCT3_12, out_tray_ID)
#define OVCG_PRTSTRUCT3_SIZE_V6 offsetof(struct tagPRTSTRUCT3_12, lpHeadInfo)
#define OVCG_PRTSTRUCT3_SIZE_V7 offsetof(struct tagPRTSTRUCT3_12, lpszHMM_File)
#define OVCG_PRTSTRUCT3_SIZE_V8 offsetof(struct tagPRTSTRUCT3_12, lpBRSData)
#define OVCG_PRTSTRUCT3_SIZE_V9 offsetof(struct tagPRTSTRUCT3_12, lpInkInfo_Tbl)
#define OVCG_PRTSTRUCT3_SIZE_V10 offsetof(struct tagPRTSTRUCT3_12, lpCheckFunc)
#define OVCG_PRTSTRUCT3_SIZE_V11 offsetof(struct tagPRTSTRUCT3_12, quality_type)
#define OVCG_PRTSTRUCT3_SIZE_V12 sizeof(struct tagPRTSTRUCT3_12)

/* ---- Halftone record ---------------------------------------------------- */

typedef struct tagHTSTRUCT3_5 {
    /* version 1 */
    uint16_t version;
    int32_t color_correction;
    int32_t doRotation;
    int32_t halftone_type;
    int32_t brightness;
    int32_t contrast;
    int32_t saturation;
    int32_t r_strength;
    int32_t g_strength;
    int32_t b_strength;
    int32_t gamma;
    int32_t OsCMM;
    void* lpID_Tbl;
    void* lpCalibratePro;
    /* version 2 */
    void* lpIwf_Tbl;
    /* version 3 */
    void* lpSMBidx_Tbl;
    void* lpSMBCalibrate_Tbl;
    TNMX_PARAMS* lpTNMX_params;
    /* version 4 */
    uint32_t page_option;
    /* version 5 */
    int32_t remaining_pages;
} tagHTSTRUCT3_5;

#define OVCG_HTSTRUCT3_SIZE_V1 offsetof(struct tagHTSTRUCT3_5, lpIwf_Tbl)
#define OVCG_HTSTRUCT3_SIZE_V2 offsetof(struct tagHTSTRUCT3_5, lpSMBidx_Tbl)
#define OVCG_HTSTRUCT3_SIZE_V3 offsetof(struct tagHTSTRUCT3_5, page_option)
#define OVCG_HTSTRUCT3_SIZE_V4 offsetof(struct tagHTSTRUCT3_5, remaining_pages)
#define OVCG_HTSTRUCT3_SIZE_V5 sizeof(struct tagHTSTRUCT3_5)

/* ---- Options of InitJob ------------------------------------------------- */

/* Receives the engine's output; returns the count it accepted (it is called
 * again for the rest) or a negative value. */
typedef int32_t (*OVCG_SPOOL_FUNC)(void* hParam, const uint8_t* data, int32_t length);

typedef struct tagOPTION {
    const char* lpszHT_File;           /* may be null */
    const char* lpszMW_File;           /* may be null */
    const char* const* lppszRsc_File;  /* NumRsc resource-file paths */
    int32_t NumRsc;
    OVCG_SPOOL_FUNC lpfuncSpool;
    void* hParam;
} tagOPTION;

typedef tagOPTION PLIMOOPT;

/* The job handle: the engine object's address, opaque to callers. */
typedef struct tagPLIMO3_OPAQUE* HPLIMO3;

/* ---- Layout checks ------------------------------------------------------ */

#ifdef __cplusplus
#define OVCG_RECORD_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define OVCG_RECORD_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

OVCG_RECORD_ASSERT(sizeof(tagPOINT) == 8, "tagPOINT size");
OVCG_RECORD_ASSERT(sizeof(tagRECT) == 16, "tagRECT size");
OVCG_RECORD_ASSERT(sizeof(tagCUTCMD) == 12, "tagCUTCMD size");
OVCG_RECORD_ASSERT(offsetof(tagCUTCMD, top) == 4, "tagCUTCMD layout");
OVCG_RECORD_ASSERT(sizeof(tagTRIMINFO) == 28, "tagTRIMINFO size");
OVCG_RECORD_ASSERT(offsetof(tagTRIMINFO, src_t4base_parea) == 4, "tagTRIMINFO layout");
OVCG_RECORD_ASSERT(offsetof(tagTRIMINFO, layout_offset) == 20, "tagTRIMINFO layout");
OVCG_RECORD_ASSERT(sizeof(tagTPINFOSTRUCT) == 8, "tagTPINFOSTRUCT size");
OVCG_RECORD_ASSERT(sizeof(TNMX_PARAMS) == 40, "TNMX_PARAMS size");
OVCG_RECORD_ASSERT(sizeof(tagOSDEP3) == 20, "tagOSDEP3 size");
OVCG_RECORD_ASSERT(sizeof(tagMEDIAOPT_8) == 120, "tagMEDIAOPT_8 size");
OVCG_RECORD_ASSERT(offsetof(tagMEDIAOPT_8, field) == 4, "tagMEDIAOPT_8 layout");
OVCG_RECORD_ASSERT(offsetof(tagMEDIAOPT_8, cutting_adjustment) == 20, "tagMEDIAOPT_8 layout");
OVCG_RECORD_ASSERT(offsetof(tagMEDIAOPT_8, page_margin) == 46, "tagMEDIAOPT_8 layout");
OVCG_RECORD_ASSERT(offsetof(tagMEDIAOPT_8, user_media_number) == 116, "tagMEDIAOPT_8 layout");
OVCG_RECORD_ASSERT(OVCG_MEDIAOPT_SIZE_V1 == 26, "tagMEDIAOPT_8 v1 size");
OVCG_RECORD_ASSERT(OVCG_MEDIAOPT_SIZE_V2 == 32, "tagMEDIAOPT_8 v2 size");
OVCG_RECORD_ASSERT(OVCG_MEDIAOPT_SIZE_V3 == 34, "tagMEDIAOPT_8 v3 size");
OVCG_RECORD_ASSERT(OVCG_MEDIAOPT_SIZE_V4 == 36, "tagMEDIAOPT_8 v4 size");
OVCG_RECORD_ASSERT(OVCG_MEDIAOPT_SIZE_V5 == 40, "tagMEDIAOPT_8 v5 size");
OVCG_RECORD_ASSERT(OVCG_MEDIAOPT_SIZE_V7 == 52, "tagMEDIAOPT_8 v7 size");
OVCG_RECORD_ASSERT(OVCG_OSDEP3_SIZE_BASE == 12, "tagOSDEP3 layout");

#if defined(__LP64__) || defined(_LP64)
OVCG_RECORD_ASSERT(sizeof(tagBANDBMP) == 16, "tagBANDBMP size");
OVCG_RECORD_ASSERT(sizeof(tagOPTION) == 48, "tagOPTION size");
OVCG_RECORD_ASSERT(offsetof(tagOPTION, NumRsc) == 24, "tagOPTION layout");
OVCG_RECORD_ASSERT(offsetof(tagOPTION, lpfuncSpool) == 32, "tagOPTION layout");

OVCG_RECORD_ASSERT(offsetof(tagPRTSTRUCT3_12, src_format) == 4, "tagPRTSTRUCT3_12 layout");
OVCG_RECORD_ASSERT(offsetof(tagPRTSTRUCT3_12, src_resolution) == 12, "tagPRTSTRUCT3_12 layout");
OVCG_RECORD_ASSERT(offsetof(tagPRTSTRUCT3_12, src_margin) == 52, "tagPRTSTRUCT3_12 layout");
OVCG_RECORD_ASSERT(offsetof(tagPRTSTRUCT3_12, mw_type) == 72, "tagPRTSTRUCT3_12 layout");
OVCG_RECORD_ASSERT(offsetof(tagPRTSTRUCT3_12, head_ID) == 92, "tagPRTSTRUCT3_12 layout");
OVCG_RECORD_ASSERT(offsetof(tagPRTSTRUCT3_12, lpCutCmdData) == 112, "tagPRTSTRUCT3_12 layout");
OVCG_RECORD_ASSERT(offsetof(tagPRTSTRUCT3_12, lpSBString) == 128, "tagPRTSTRUCT3_12 layout");
OVCG_RECORD_ASSERT(offsetof(tagPRTSTRUCT3_12, ex_option2) == 176, "tagPRTSTRUCT3_12 layout");
OVCG_RECORD_ASSERT(offsetof(tagPRTSTRUCT3_12, lpIsv) == 216, "tagPRTSTRUCT3_12 layout");
OVCG_RECORD_ASSERT(OVCG_PRTSTRUCT3_SIZE_V1 == 96, "tagPRTSTRUCT3_12 v1 size");
OVCG_RECORD_ASSERT(OVCG_PRTSTRUCT3_SIZE_V2 == 104, "tagPRTSTRUCT3_12 v2 size");
OVCG_RECORD_ASSERT(OVCG_PRTSTRUCT3_SIZE_V3 == 120, "tagPRTSTRUCT3_12 v3 size");
OVCG_RECORD_ASSERT(OVCG_PRTSTRUCT3_SIZE_V4 == 152, "tagPRTSTRUCT3_12 v4 size");
OVCG_RECORD_ASSERT(OVCG_PRTSTRUCT3_SIZE_V5 == 160, "tagPRTSTRUCT3_12 v5 size");
OVCG_RECORD_ASSERT(OVCG_PRTSTRUCT3_SIZE_V6 == 168, "tagPRTSTRUCT3_12 v6 size");
OVCG_RECORD_ASSERT(OVCG_PRTSTRUCT3_SIZE_V7 == 184, "tagPRTSTRUCT3_12 v7 size");
OVCG_RECORD_ASSERT(OVCG_PRTSTRUCT3_SIZE_V8 == 192, "tagPRTSTRUCT3_12 v8 size");
OVCG_RECORD_ASSERT(OVCG_PRTSTRUCT3_SIZE_V9 == 200, "tagPRTSTRUCT3_12 v9 size");
OVCG_RECORD_ASSERT(OVCG_PRTSTRUCT3_SIZE_V10 == 208, "tagPRTSTRUCT3_12 v10 size");
OVCG_RECORD_ASSERT(OVCG_PRTSTRUCT3_SIZE_V11 == 224, "tagPRTSTRUCT3_12 v11 size");
OVCG_RECORD_ASSERT(OVCG_PRTSTRUCT3_SIZE_V12 == 232, "tagPRTSTRUCT3_12 v12 size");

OVCG_RECORD_ASSERT(offsetof(tagHTSTRUCT3_5, OsCMM) == 44, "tagHTSTRUCT3_5 layout");
OVCG_RECORD_ASSERT(offsetof(tagHTSTRUCT3_5, lpID_Tbl) == 48, "tagHTSTRUCT3_5 layout");
OVCG_RECORD_ASSERT(offsetof(tagHTSTRUCT3_5, lpTNMX_params) == 88, "tagHTSTRUCT3_5 layout");
OVCG_RECORD_ASSERT(OVCG_HTSTRUCT3_SIZE_V1 == 64, "tagHTSTRUCT3_5 v1 size");
OVCG_RECORD_ASSERT(OVCG_HTSTRUCT3_SIZE_V2 == 72, "tagHTSTRUCT3_5 v2 size");
OVCG_RECORD_ASSERT(OVCG_HTSTRUCT3_SIZE_V3 == 96, "tagHTSTRUCT3_5 v3 size");
OVCG_RECORD_ASSERT(OVCG_HTSTRUCT3_SIZE_V4 == 100, "tagHTSTRUCT3_5 v4 size");
OVCG_RECORD_ASSERT(OVCG_HTSTRUCT3_SIZE_V5 == 104, "tagHTSTRUCT3_5 v5 size");

OVCG_RECORD_ASSERT(offsetof(tagJOBDATA_6, lpInkSetData) == 8, "tagJOBDATA_6 layout");
OVCG_RECORD_ASSERT(offsetof(tagJOBDATA_6, HostNameType) == 68, "tagJOBDATA_6 layout");
OVCG_RECORD_ASSERT(offsetof(tagJOBDATA_6, dwJobID) == 72, "tagJOBDATA_6 layout");
OVCG_RECORD_ASSERT(OVCG_JOBDATA_SIZE_V1 == 56, "tagJOBDATA_6 v1 size");
OVCG_RECORD_ASSERT(OVCG_JOBDATA_SIZE_V2 == 80, "tagJOBDATA_6 v2 size");
OVCG_RECORD_ASSERT(OVCG_JOBDATA_SIZE_V3 == 112, "tagJOBDATA_6 v3 size");
OVCG_RECORD_ASSERT(OVCG_JOBDATA_SIZE_V4 == 128, "tagJOBDATA_6 v4 size");
OVCG_RECORD_ASSERT(OVCG_JOBDATA_SIZE_V5 == 140, "tagJOBDATA_6 v5 size");
OVCG_RECORD_ASSERT(OVCG_JOBDATA_SIZE_V6 == 144, "tagJOBDATA_6 v6 size");
#endif

#ifdef __cplusplus
}
#endif

#endif
