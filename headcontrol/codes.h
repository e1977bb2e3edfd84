// Result codes of the model resource reader, the pass engine, the five head
// tables, the loss-nozzle complement's set-up (objects, switches, resources),
// the command encoder, the band buffer, the job driver, the overlap masks
// and the band path.
//
// Every operation returns an unsigned 32-bit code, 0 for success. A module's
// code passes through its callers unchanged: a head-table loader called by
// the resource reader returns its own code to the reader's caller.
#pragma once

#include <cstdint>

namespace ovcg::irac {

// ---- Model resource reader (101-190) --------------------------------------
inline constexpr uint32_t kRscNoObject = 101;          // RSC object not allocated
inline constexpr uint32_t kRscNoBlocks = 102;          // one of the four blocks
inline constexpr uint32_t kRscNotAvailable = 103;      // resource 256 absent; a getter without object
inline constexpr uint32_t kRscBadResource = 104;       // a count, array, entry or size sum runs past its end
inline constexpr uint32_t kRscPacked = 105;            // the resource is still packed
inline constexpr uint32_t kRscBadValue = 106;          // a value later used as divisor, index or count is refused
inline constexpr uint32_t kRscNoLineValues = 112;
inline constexpr uint32_t kRscNoOptionArrays = 115;    // the headOptionMask tables
inline constexpr uint32_t kRscNoHeadNozzles = 116;
inline constexpr uint32_t kRscNoHeadOverlaps = 117;
inline constexpr uint32_t kRscNoLossNozzleRecord = 118;
inline constexpr uint32_t kRscNoColorTable = 122;
inline constexpr uint32_t kRscNoBlockB = 135;          // function flag 0x2000
inline constexpr uint32_t kRscNoColorOrder = 136;
inline constexpr uint32_t kRscNoArrayValues = 137;
inline constexpr uint32_t kRscNoModeBytes = 150;
inline constexpr uint32_t kRscNoLayerKinds = 151;      // LayerKindInfo records or their value arrays
inline constexpr uint32_t kRscNoBlockE = 152;          // function flag 0x40
inline constexpr uint32_t kRscNoLayerValues = 153;
inline constexpr uint32_t kRscNoUseHead = 159;
inline constexpr uint32_t kRscLayerValuesWithoutBlockE = 161;  // flags 0x80 and 0x40, empty 0x40 block
inline constexpr uint32_t kRscNoSplitOrder = 162;      // function flag 0x200
inline constexpr uint32_t kRscNoBlockC = 163;          // function flag 0x400
inline constexpr uint32_t kRscNoBlockD = 164;          // function flag 0x100
inline constexpr uint32_t kRscNoMode = 165;            // mode id not in the mode table
inline constexpr uint32_t kRscNoSubMode = 166;         // sub-mode not in the mode's sub-mode mask
inline constexpr uint32_t kRscNoUnitRecords = 172;     // the array of parsed microweave units
inline constexpr uint32_t kRscNoLayers = 173;          // a unit's layer records
inline constexpr uint32_t kRscNoLogicArrays = 174;     // head units and moving-range tables
inline constexpr uint32_t kRscNoLayerArrays = 175;     // a layer's feed, range, selector, group, step lists
inline constexpr uint32_t kRscNoUnit = 176;            // a selected unit not in the unit table
inline constexpr uint32_t kRscNoCodeLists = 177;       // a unit's null-pass lists
inline constexpr uint32_t kRscNoColorRemap = 183;
inline constexpr uint32_t kRscNoEncoderMode = 184;     // mode id not in the encoder mode table
inline constexpr uint32_t kRscBadFormat = 190;         // negative format number

// ---- Pass engine (201-290) --------------------------------------------------
inline constexpr uint32_t kMleNoObject = 201;          // object or input-ink record
inline constexpr uint32_t kMleNoLayers = 202;          // the schedule's layer copy
inline constexpr uint32_t kMleNoSchedule = 203;        // any other array of the schedule
inline constexpr uint32_t kMleNoHeadTables = 204;      // per-head entries and first nozzles
inline constexpr uint32_t kMleNoOverlapTables = 205;   // per-boundary overlap arrays and zones
inline constexpr uint32_t kMleNoMir = 206;             // the per-pass feed list
inline constexpr uint32_t kMleNextFailed = 222;        // MLE_Next: head table
inline constexpr uint32_t kMleChangeFailed = 223;      // MLE_ChangeMicroWeaveLogic: head table
inline constexpr uint32_t kMleFooterTopFailed = 224;   // MLE_GetFooterTopPosition: head table
inline constexpr uint32_t kMleCreateFailed = 225;      // MLE_CreateSchedulingTable: head table
inline constexpr uint32_t kMleMakeFailed = 226;        // MLE_MakeHeadTable
inline constexpr uint32_t kMleAutoBottomPasses = 240;
inline constexpr uint32_t kMleAutoBottomNoLayer = 241;
inline constexpr uint32_t kMleNoLogic = 242;           // the slot has no logic
inline constexpr uint32_t kMleUnknownInk = 243;        // an ink the colour table lacks
inline constexpr uint32_t kMleNoExtraPasses = 244;
inline constexpr uint32_t kMleAutoBottomShort = 245;
inline constexpr uint32_t kMleNegativeRange = 246;     // page shorter than the fixed part; a layer ends before it starts
inline constexpr uint32_t kMleEmptyRangeTable = 247;   // a moving-range table empty or its widths below 1
inline constexpr uint32_t kMleBadLowerFeed = 248;
inline constexpr uint32_t kMleBadLogic = 249;          // a logic value the planner cannot use; a plan beyond 31 bits
inline constexpr uint32_t kMleTooManyInks = 250;       // more than 32 inks; a colour without correction value
inline constexpr uint32_t kMleBrsCorrectFTrans = 251;
inline constexpr uint32_t kMleBrsCorrectFailed = 252;
inline constexpr uint32_t kMleBrsGapNegative = 253;
inline constexpr uint32_t kMleBrsGapFailed = 254;
inline constexpr uint32_t kMleNoNozzleInfo = 255;      // head or ink outside the page; no layer arrays for the ink
inline constexpr uint32_t kMleChangeBehind = 260;
inline constexpr uint32_t kMleChangeTooFar = 261;
inline constexpr uint32_t kMleReplanFailed = 262;      // re-planning: head table
inline constexpr uint32_t kMleMirFailed = 271;
inline constexpr uint32_t kMleNoMinLength = 281;
inline constexpr uint32_t kMleNoSwitchingPosition = 282;
inline constexpr uint32_t kMleSwitchingTableFailed = 283;
inline constexpr uint32_t kMleSwitchingNoWindow = 284;
inline constexpr uint32_t kMleNoPreBuffering = 290;
inline constexpr uint32_t kMleHeadPosFailed = 957;     // MLE_GetHeadPosAfterPass: head table

// ---- Head tables ------------------------------------------------------------
inline constexpr uint32_t kLhtNoTable = 901;
inline constexpr uint32_t kLhtNoStartTable = 902;      // per-array pointers to layerStart
inline constexpr uint32_t kLhtNoHalftoneTable = 903;   // per-array pointers to halftoneIndex
inline constexpr uint32_t kLhtNoStarts = 904;          // a layerStart array
inline constexpr uint32_t kLhtNoHalftones = 905;       // a halftoneIndex array
inline constexpr uint32_t kLhtNoNozzleArrays = 906;    // the per-nozzle layer and halftone arrays

inline constexpr uint32_t kSssNoTable = 921;
inline constexpr uint32_t kSssNoShifts = 922;

inline constexpr uint32_t kYdsNoTable = 970;
inline constexpr uint32_t kYdsNoHeadColumns = 971;
inline constexpr uint32_t kYdsNoNumeratorTable = 972;
inline constexpr uint32_t kYdsNoNumerators = 973;
inline constexpr uint32_t kYdsNoDenominatorTable = 974;
inline constexpr uint32_t kYdsNoDenominators = 975;
inline constexpr uint32_t kYdsNoCorrection = 976;
inline constexpr uint32_t kYdsNoColorCodes = 977;
inline constexpr uint32_t kYdsBadCorrectionInput = 978;  // head column >= columnNum, zero denominator, bad count
inline constexpr uint32_t kYdsTooFewCodes = 1001;
inline constexpr uint32_t kYdsSplitNoArrays = 1002;
inline constexpr uint32_t kYdsSplitTooFewCodes = 1003;

inline constexpr uint32_t kNlmNoTable = 980;
inline constexpr uint32_t kNlmNoHeadKinds = 981;
inline constexpr uint32_t kNlmNoChips = 982;
inline constexpr uint32_t kNlmNoVerticalShifts = 983;
inline constexpr uint32_t kNlmNoColorCodes = 984;
inline constexpr uint32_t kNlmTooFewCodes = 985;
inline constexpr uint32_t kNlmSplitNoArrays = 986;
inline constexpr uint32_t kNlmSplitTooFewCodes = 987;
inline constexpr uint32_t kNlmBadChipList = 988;       // kind not 1 or 2, empty list, chip >= headNum

inline constexpr uint32_t kRlsNoTable = 990;
inline constexpr uint32_t kRlsNoHeadKinds = 991;
inline constexpr uint32_t kRlsNoTimings = 992;
inline constexpr uint32_t kRlsNoAreas = 993;
inline constexpr uint32_t kRlsNoKind2Lines = 994;
inline constexpr uint32_t kRlsNoColorCodes = 995;
inline constexpr uint32_t kRlsTooFewCodes = 996;
inline constexpr uint32_t kRlsSplitNoArrays = 997;
inline constexpr uint32_t kRlsSplitTooFewCodes = 998;

// ---- Loss-nozzle complement (930-963) ----------------------------------------
inline constexpr uint32_t kLncNoObject = 930;
inline constexpr uint32_t kCcmnNoStore = 931;
inline constexpr uint32_t kCcmnNoLossArrays = 932;
inline constexpr uint32_t kCcmnNoComplementArrays = 933;
inline constexpr uint32_t kCcmnNoHeadPositions = 934;
inline constexpr uint32_t kCcmnNoHeadRecords = 935;    // also: a negative head count
inline constexpr uint32_t kCcmnBadNozzle = 936;        // no pitch, or a raster's nozzle outside the heads
inline constexpr uint32_t kCcmnBadHead = 937;          // a lost nozzle's head
inline constexpr uint32_t kCcmnBadLossNozzle = 938;    // a lost nozzle's number
inline constexpr uint32_t kCcmnUnknownLossInk = 939;   // a lost nozzle's ink code
inline constexpr uint32_t kCcmnInkNotFound = 940;
inline constexpr uint32_t kCcmnNoTable = 941;          // missing table or list; an index past a table
inline constexpr uint32_t kCcmnNegativeMaximum = 942;
inline constexpr uint32_t kCcmnNoPerInk = 943;         // no loss nozzles per ink, or an ink count outside 1..32
inline constexpr uint32_t kCcmnNoSearchArrays = 944;
inline constexpr uint32_t kCmsNoObject = 945;
inline constexpr uint32_t kCmsNoResource = 946;
inline constexpr uint32_t kPmcNoObject = 950;
inline constexpr uint32_t kPmcNoResource = 951;        // also: a mask height above 65535
inline constexpr uint32_t kPmcNoRing = 952;
inline constexpr uint32_t kPmcNozzleBeyondLimit = 953;
inline constexpr uint32_t kPmcBadStackTable = 954;     // an index or level outside the model's tables
inline constexpr uint32_t kPmcStackOrPass = 955;       // a stack or pass index above 31
inline constexpr uint32_t kLncTooManyPasses = 956;
inline constexpr uint32_t kPmcNullObject = 958;
inline constexpr uint32_t kCcmnHostQueryFailed = 959;
inline constexpr uint32_t kNhcNoObject = 960;
inline constexpr uint32_t kNhcNullObject = 961;
inline constexpr uint32_t kNhcNoList = 962;
inline constexpr uint32_t kNhcHostRefused = 963;

// ---- Band path (601-636, 701-705) --------------------------------------------------
inline constexpr uint32_t kStmNoJob = 601;
inline constexpr uint32_t kStmNoRecords = 602;         // identifier, print-data record or pixel-shift table
inline constexpr uint32_t kStmBadArgument = 603;       // width, length, colours, direction, shifts, paper source
inline constexpr uint32_t kStmNoColourCodes = 604;
inline constexpr uint32_t kStmNoLineArrays = 605;      // per colour: start offsets and trailing zeros
inline constexpr uint32_t kStmNoLineFlags = 606;
inline constexpr uint32_t kStmBadPage = 609;           // no ink codes, a negative left offset, no bit length
inline constexpr uint32_t kStmBadBitLength = 610;
inline constexpr uint32_t kStmUnknownInk = 611;        // a page ink the band-path resource does not list
inline constexpr uint32_t kStmNoRun = 615;             // null raster record
inline constexpr uint32_t kStmBadRun = 616;            // null lines, bad width or count, a first raster already passed
inline constexpr uint32_t kStmNegativeWidth = 617;
inline constexpr uint32_t kStmRunState = 618;          // lines outside a page
inline constexpr uint32_t kStmPageStartState = 621;
inline constexpr uint32_t kStmPageEndState = 623;
inline constexpr uint32_t kStmNoBand = 625;            // band buffers: allocation, or a band beyond the platform's sizes
inline constexpr uint32_t kStmNoUseHead = 630;
inline constexpr uint32_t kStmNeedsEngine = 631;       // a query that needs option flag 0x10
inline constexpr uint32_t kStmBadLayers = 632;         // layer count outside 1..4
inline constexpr uint32_t kStmBadInks = 633;           // ink count outside 1..32
inline constexpr uint32_t kStmBadTotal = 634;          // total not layers x inks, or outside 1..32
inline constexpr uint32_t kStmBadLayerInk = 635;       // an ink code with a bit of 0xE0, or a null array
inline constexpr uint32_t kStmBadHeadForm = 636;
inline constexpr uint32_t kStrNoRecord = 701;          // record or its arrays not allocated
inline constexpr uint32_t kStrBadResource = 703;       // version not 1, no lines per band, counts past the end
inline constexpr uint32_t kStrNoResource = 704;        // resource kind 768 absent
inline constexpr uint32_t kStrUnknownInk = 705;

// ---- Command encoder (301-346) -----------------------------------------------
inline constexpr uint32_t kOvcNoContext = 301;         // context or band-path buffers not allocated
inline constexpr uint32_t kOvcNoBuffers = 302;         // null-line or code buffer not allocated
inline constexpr uint32_t kOvcCodeNoRoom = 303;        // a coded line does not fit its buffer; nothing written
inline constexpr uint32_t kOvcLengthMismatch = 304;    // announced length differs from the coded data; nothing sent
inline constexpr uint32_t kOvcBadSize = 305;           // a buffer beyond 32-bit sizes, a mode out of range
inline constexpr uint32_t kOvcBadResolution = 306;     // a resolution of 0, not dividing the base unit, or a step above 255; nothing sent
inline constexpr uint32_t kOvcNegativeHPos = 317;
inline constexpr uint32_t kOvcHeadTooLarge = 318;      // single-line header over 32767 bytes per line or lines
inline constexpr uint32_t kOvcMultiHeadTooLarge = 319; // multi-line or band-path header over its limit
inline constexpr uint32_t kOvcSendUnit = 331;
inline constexpr uint32_t kOvcSendPageFormat = 332;
inline constexpr uint32_t kOvcSendExtraHeader = 333;
inline constexpr uint32_t kOvcSendExtraData = 334;
inline constexpr uint32_t kOvcSendFeed = 335;
inline constexpr uint32_t kOvcSendHPos = 336;
inline constexpr uint32_t kOvcSendHead = 337;
inline constexpr uint32_t kOvcSendData = 338;
inline constexpr uint32_t kOvcSendCR = 339;
inline constexpr uint32_t kOvcSendDirection = 340;
inline constexpr uint32_t kOvcSendDotSize = 341;
inline constexpr uint32_t kOvcSendDeferredFeed = 342;
inline constexpr uint32_t kOvcSendColorMono = 343;
inline constexpr uint32_t kOvcSendMultiHead = 344;
inline constexpr uint32_t kOvcSendMultiData = 345;
inline constexpr uint32_t kOvcSendZeroFeed = 346;

// ---- Band buffer (401-409) ----------------------------------------------------
inline constexpr uint32_t kRbmNoObject = 401;
inline constexpr uint32_t kRbmNoStore = 402;
inline constexpr uint32_t kRbmNoFlags = 403;
inline constexpr uint32_t kRbmNoSpaceArrays = 404;     // first/last arrays
inline constexpr uint32_t kRbmNoTables = 405;
inline constexpr uint32_t kRbmBadRepeat = 406;         // repeat number and plane count do not match
inline constexpr uint32_t kRbmNotHeld = 407;           // raster overwritten or never stored in its slot
inline constexpr uint32_t kRbmBadIndex = 408;          // colour, layer, plane, raster or argument out of range
inline constexpr uint32_t kRbmBadSize = 409;           // slot count 0, bits per dot, or a size the platform cannot take

// ---- Job driver and output loop (9-93, shared with the overlap masks) -----------
inline constexpr uint32_t kIcmBadArgument = 9;         // job-start value out of range
inline constexpr uint32_t kIcmBadPixelShift = 10;      // a shift outside -16..16, or no shift table
inline constexpr uint32_t kIcmBadPageArgument = 11;    // no ink list, or a negative left offset
inline constexpr uint32_t kIcmBadRun = 14;             // null lines, count not 1 or 2, going back, beyond the page
inline constexpr uint32_t kIcmSimilarIncomplete = 15;  // never reached: the similar-colour grouping is off
inline constexpr uint32_t kIcmNotInSplitOrder = 16;
inline constexpr uint32_t kIcmNotInColourTable = 17;   // also: stacked inks need more lines than the list holds
inline constexpr uint32_t kIcmNotInGrouping = 18;      // also: the 0x40 grouping opens more columns than it has
inline constexpr uint32_t kIcmBufferTooShort = 19;     // the band buffer holds fewer rasters than one pass spans
inline constexpr uint32_t kIcmBlockOverflow = 21;      // the rows of a block would send more lines than its head has
inline constexpr uint32_t kIcmBadModelValue = 23;      // a model value the driver divides by or indexes with
inline constexpr uint32_t kIcmIdlePasses = 24;         // the page stored, over 1024 passes before one that can print
inline constexpr uint32_t kIcmChangeRefused = 25;
inline constexpr uint32_t kIcmNoSlotColours = 28;
inline constexpr uint32_t kIcmNoSlotTables = 29;
inline constexpr uint32_t kIcmNoLineColours = 30;
inline constexpr uint32_t kIcmNoInstance = 31;
inline constexpr uint32_t kIcmNoWorkLine = 32;
inline constexpr uint32_t kIcmNoZeroLines = 35;
inline constexpr uint32_t kIcmNoCorrectionBlock = 41;  // function flag 0x100
inline constexpr uint32_t kIcmNoCycleBlock = 42;       // 0x2000
inline constexpr uint32_t kIcmNoAutoBottomBlock = 43;  // 0x2
inline constexpr uint32_t kIcmNoColourMonoBlock = 44;  // 0x400
inline constexpr uint32_t kIcmNoBrsBlock = 45;         // 0x1
inline constexpr uint32_t kIcmPageStartState = 52;
inline constexpr uint32_t kIcmPageEndState = 53;
inline constexpr uint32_t kIcmRunState = 54;
inline constexpr uint32_t kIcmValueState = 55;
inline constexpr uint32_t kIcmChangeState = 58;
inline constexpr uint32_t kIcmSetState = 59;
inline constexpr uint32_t kIcmNoBrs = 61;
inline constexpr uint32_t kIcmBrsFlag = 62;
inline constexpr uint32_t kIcmAfterFirstPass = 63;
inline constexpr uint32_t kIcmChangedBefore = 64;
inline constexpr uint32_t kIcmFeedsNotSuppressed = 65;
inline constexpr uint32_t kIcmMaskSetCount = 66;
inline constexpr uint32_t kIcmMaskSetMismatch = 67;
inline constexpr uint32_t kIcmScheduleBehind = 80;     // a rebuilt schedule would move the head back
inline constexpr uint32_t kIcmUnitRasterZero = 81;
inline constexpr uint32_t kIcmLengthBelowMinimum = 82;
inline constexpr uint32_t kIcmNoUseHead = 93;

// ---- Overlap masks (within the job driver's 9-93) -------------------------------
inline constexpr uint32_t kPmmNoFtransRecord = 26;
inline constexpr uint32_t kPmmNoKindTable = 27;        // the pass-colour kind table
inline constexpr uint32_t kPmmNoWork = 34;
inline constexpr uint32_t kPmmNoGradation = 36;
inline constexpr uint32_t kPmmNoRotation = 38;
inline constexpr uint32_t kPmmNoDither = 48;
inline constexpr uint32_t kPmmNoOffsets64 = 49;
inline constexpr uint32_t kPmmNoOffsets32 = 50;
inline constexpr uint32_t kPmmStoredTooShort = 75;     // more grades than half the stored record's columns
inline constexpr uint32_t kPmmNoStored = 76;
inline constexpr uint32_t kPmmNoColourKinds = 77;      // the per-colour kind table
inline constexpr uint32_t kPmmNoPatternList = 78;
inline constexpr uint32_t kPmmBadTable = 83;           // a table a mask kind divides by or reads is missing, too short or of width 0
inline constexpr uint32_t kPmmBadIndex = 84;           // an index from the model or the pass engine outside its table
inline constexpr uint32_t kPmmSimpleCount = 91;        // a simple-word kind with more than one value
inline constexpr uint32_t kPmmRasterOutside = 92;

}  // namespace ovcg::irac
