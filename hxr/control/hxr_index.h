// The print-mode index: resource 0 (kind 0) of the halftone engine, a text
// table with one row per print mode the model supports, and the query that
// picks the job's row.
//
// Text format (8-bit characters up to the first zero byte or the resource's
// end; every line ends in CR LF, at most 2048 of them):
//   ...               lines before the header are ignored
//   //nnn             header: "//" and at most 15 digits (line H)
//   any text          ignored
//   CMM-ID INK-ID ... the column names, in any order
//   rows              one print mode a line, up to the next line that begins
//                     with "//" (at line 2046 or before)
//   //...             end of the rows
//   Halftone names    a row's Halftone cell is its name's position here
//   media list        a first entry of n > 0 digits counts the names after it
//                     from n; a line ending in "@" continues on the next
//   DocType list A    for colour queries (ink set != 0)
//   DocType list B    for monochrome queries (ink set 0)
// Each line read folds runs of blanks and tabs into one blank, drops leading
// ones and one trailing blank, and holds at most 1022 characters; names are
// separated by single blanks. A cell that is missing, empty or (for numbers)
// not all digits reads 0xFFFFFFFF.
//
// Failures give no parser; too many names record 4251 (lines), 4252 (column
// names, Halftone names or a row: 63), 4253 (media: 255) or 4254 (a DocType
// list: 35).
#pragma once

#include "hxr/control/hxr_memory.h"

#include <cstdint>

inline constexpr uint32_t kHxrResKindIndex = 0;
inline constexpr uint32_t kHxrIndexResourceId = 0;
inline constexpr uint32_t kHxrIndexTextSize = 32;  // ink_set and Micro texts, with their zero

// Resource kinds and whether a second intent may name another resource of the
// kind than the first (1: it may).
struct HXRSwitchResource {
    uint32_t kind;
    uint32_t switchable;
};
extern const HXRSwitchResource SwitchResouceInfo[9];
// The switchable value of the kind; 0xFFFFFFFF for a kind not in the table.
uint32_t HXRCheckSwitchResource(uint32_t kind);

enum : uint32_t {
    kHxrIndexParserNone = 4201,
    kHxrIndexTooManyLines = 4251,
    kHxrIndexTooManyNames = 4252,
    kHxrIndexTooManyMedia = 4253,
    kHxrIndexTooManyDocTypes = 4254,
    kHxrIndexInfoNone = 4301,
};

// One print mode. Numbers and positions read 0xFFFFFFFF when not given.
struct HXRIndexRow {
    uint32_t cmmId;        // LUT resource
    uint32_t inkId;        // rate resource
    uint32_t cSmbId;       // SML resource for colour ink sets
    uint32_t mSmbId;       // SML resource for ink set 0
    uint32_t smbId;        // SML resource for every ink set (wins when > 0)
    uint32_t bSmbId;       // second SML resource
    uint32_t ubecDither;   // dither switch or mask resource
    uint32_t ubecVinfo;    // dither offset resource
    char inkSet[kHxrIndexTextSize];  // empty when the cell is longer than 31
    char micro[kHxrIndexTextSize];
    uint32_t halftone;     // position in the Halftone names
    uint32_t media;        // position in the media list, with its base
    uint32_t hRes, vRes;
    uint32_t docTypeA, docTypeB;
    uint32_t subType, outBit;
    uint32_t cDbG0, cDbG255, mDbg0, mDbg255;
};

struct HXRIndexParser {
    HXRIndexRow* rows;
    int32_t count;
};

// Null on any failure (with 4251..4254 recorded where they apply).
HXRIndexParser* HXRCreateIndexResParser(const uint8_t* text, uint32_t size, HXRMemMgr* manager, HXRStrCmpFn compare,
                                        HXRStrCpyFn copy, HXRAtoIFn toInteger, HXRStrLenFn length);
// 4201 for none, else the free result.
uint32_t HXRDeleteIndexResParser(HXRIndexParser* parser, HXRMemMgr* manager);

// A row matches when media, sub-type, Halftone, H-RES, V-RES and OUT_BIT
// equal the query's and its DocType A (ink set != 0) or B (ink set 0) equals
// the document type; the ink set itself is not compared.
uint32_t HXRCountMatchedMode(const HXRIndexParser* parser, uint32_t inkSet, uint32_t media, uint32_t docType,
                             uint32_t subType, uint32_t htType, uint32_t hRes, uint32_t vRes, uint32_t outBits);
struct HXRIndexMatch {
    const HXRIndexRow* row;  // null: none
    uint32_t inkSet;
};
// The n-th matching row (n from 1) with the query's ink set.
HXRIndexMatch HXRSearchPrintMode(const HXRIndexParser* parser, uint32_t inkSet, uint32_t media, uint32_t docType,
                                 uint32_t subType, uint32_t htType, uint32_t hRes, uint32_t vRes, uint32_t outBits,
                                 int32_t n);
uint32_t HXRGetMatchedPrintMode(const HXRIndexParser* parser, const _HXR_HALFTONE_INFO* query);

// The matched print mode of one intent.
struct HXRIndexInfo {
    uint32_t lutId;
    uint32_t rateId;
    uint32_t smlId;       // SMB-ID when > 0, else cSMB-ID (colour) or mSMB-ID (ink set 0)
    uint32_t sml2Id;      // bSMB-ID when > 0, else 0xFFFFFFFF
    uint32_t ditherId;
    uint32_t ditherOffsetId;
    char inkSet[kHxrIndexTextSize];
    char micro[kHxrIndexTextSize];
    uint32_t blackInkCode;  // the ink_set text as a number
    uint32_t dblGamma0;     // cDbG0 (colour) or mDbg0 (ink set 0)
    uint32_t dblGamma255;
};

// Items of HXRGetIndexData and HXRGetIndexString: the info's field numbers.
enum : uint32_t {
    kHxrIndexItemLut = 1, kHxrIndexItemRate, kHxrIndexItemSml, kHxrIndexItemSml2, kHxrIndexItemDither,
    kHxrIndexItemDitherOffset, kHxrIndexItemInkSet, kHxrIndexItemMicro, kHxrIndexItemBlackInk,
    kHxrIndexItemDblGamma0, kHxrIndexItemDblGamma255,
};
// Items 1..6 and 9..11; any other item 0xFFFFFFFF.
uint32_t HXRGetIndexData(HXRIndexMatch match, HXRAtoIFn toInteger, uint32_t item);
// Empties the destination, then copies the ink_set (7) or Micro (8) text.
void HXRGetIndexString(const HXRIndexRow* row, uint32_t item, char* destination, HXRStrCpyFn copy);
// The info of the n-th match; null when there is none or no memory.
HXRIndexInfo* HXRCreateIndexInfo(const HXRIndexParser* parser, const _HXR_HALFTONE_INFO* query, int32_t n,
                                 HXRMemMgr* manager, HXRStrCpyFn copy, HXRAtoIFn toInteger);
// 4301 for none, else the free result.
uint32_t HXRDeleteIndexInfo(HXRIndexInfo* info, HXRMemMgr* manager);
