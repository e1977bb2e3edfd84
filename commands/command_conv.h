// Byte-level encoder of the printer commands that the command generators send
// outside the level-3 records and the raster data: level-2 escape commands,
// command-mode switches, remote-mode commands and page-language (GS) commands.
//
// Every writer takes the destination and its capacity, writes one complete
// command at the start of the destination and returns the number of bytes
// written. A writer never writes past `cap`: a command is written whole or not
// at all, and when it is not written the result is negative:
//   kNoRoom  the command does not fit in `cap` bytes;
//   kBadArg  the arguments cannot be encoded at all: a byte count that exceeds
//            its 16-bit count field, more data than a fixed data block holds,
//            a null data pointer with a non-zero count, a zero resolution, a
//            negative count.
// A result of 0 is a success that wrote nothing (SendBlank(0), an unsupported
// value of GS_SetMinUnit or GS_SetGamma).
//
// Multi-byte fields are little-endian, except the year of SetTimeStamp and
// the duty of GS_SetInkDuty, which the printer reads big-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ovcg {

class CPCommandConv {
public:
    static constexpr int kNoRoom = -1;
    static constexpr int kBadArg = -2;

    // Colour bytes of the printer for the ink planes; kNoColor / kNoWColor for
    // a plane beyond the table.
    static constexpr uint8_t kNoColor = 0xFF;
    static constexpr uint16_t kNoWColor = 0xFFFF;

    // Level-2 escape commands.
    static int ResetPrinter(uint8_t* dest, size_t cap);
    static int SelectUnidir(uint8_t* dest, size_t cap, uint8_t m);
    static int SelectBin(uint8_t* dest, size_t cap, uint8_t m);
    static int SelectColor(uint8_t* dest, size_t cap, uint8_t c);
    static int SetLineAdvanceAmount(uint8_t* dest, size_t cap, uint8_t m);
    static int ForcePrint(uint8_t* dest, size_t cap);
    static int CarriageReturn(uint8_t* dest, size_t cap);
    static int FormFeed(uint8_t* dest, size_t cap);
    static int LineFeed(uint8_t* dest, size_t cap);
    static int SendESC(uint8_t* dest, size_t cap);
    static int SetAbsHPos(uint8_t* dest, size_t cap, uint16_t x);
    static int SetRelHPos(uint8_t* dest, size_t cap, uint16_t x);
    static int SetUnit(uint8_t* dest, size_t cap, uint8_t u);
    // Base unit: 1440 when neither resolution is a multiple of 150 and both are
    // at most 1440, else the larger resolution; the per-axis quotients are
    // truncated to one byte.
    static int SetUnitEx(uint8_t* dest, size_t cap, uint16_t vres, uint16_t hres);
    static int SetImageResolution(uint8_t* dest, size_t cap, uint16_t vres, uint16_t hres);
    // At most 9 data bytes; the rest of the 9-byte block is zero.
    static int SetDataProcSetting(uint8_t* dest, size_t cap, const uint8_t* d, int n);
    static int SelectPrinterMW(uint8_t* dest, size_t cap, uint8_t m);
    static int SelectPrinterMWEx(uint8_t* dest, size_t cap, uint8_t a, uint8_t b, uint8_t c);
    static int SelectDotsize(uint8_t* dest, size_t cap, uint16_t d);
    static int SelectDotsizeEx(uint8_t* dest, size_t cap, uint16_t d);
    static int SelectMonoMode(uint8_t* dest, size_t cap, uint16_t m);
    static int SelectBlackPrintMode(uint8_t* dest, size_t cap, uint8_t m);
    static int SelectDriverColorSetting(uint8_t* dest, size_t cap, uint8_t m);
    static int SetPageLength(uint8_t* dest, size_t cap, uint16_t n);
    static int SetPageLengthEx(uint8_t* dest, size_t cap, uint32_t n);
    static int SetPageFormat(uint8_t* dest, size_t cap, uint16_t top, uint16_t bottom);
    static int SetPageFormatEx(uint8_t* dest, size_t cap, uint32_t top, uint32_t bottom);
    static int SetPaperDimension(uint8_t* dest, size_t cap, uint32_t width, uint32_t length);
    static int SetRelFineHPos(uint8_t* dest, size_t cap, uint16_t x);
    static int SetAbsVPos(uint8_t* dest, size_t cap, uint16_t y);
    static int SetRelVPos(uint8_t* dest, size_t cap, uint16_t y);
    static int SetRelVPosV2(uint8_t* dest, size_t cap, uint32_t y);
    static int SetRelVPosV3(uint8_t* dest, size_t cap, uint32_t y);
    static int SelectColorLt(uint8_t* dest, size_t cap, uint16_t c);
    static int SetGraphicsMode(uint8_t* dest, size_t cap);
    static int SelectPrintSpeed(uint8_t* dest, size_t cap, uint8_t m);
    // Header only: the caller sends the raster data behind it.
    static int PrintRasterGraphics(uint8_t* dest, size_t cap, uint8_t a, uint8_t b, uint8_t c,
                                   uint8_t d, uint16_t w);
    static int SetNextPage(uint8_t* dest, size_t cap, uint8_t m);
    static int SetOverprint(uint8_t* dest, size_t cap, uint8_t m);
    static int SendBlank(uint8_t* dest, size_t cap, int n);

    // Command-mode switches.
    static int StartRemote(uint8_t* dest, size_t cap);
    static int EndRemote(uint8_t* dest, size_t cap);
    static int SendD4OffMode(uint8_t* dest, size_t cap);
    static int StartTRAQ3Mode(uint8_t* dest, size_t cap);
    static int EndTRAQ3Mode(uint8_t* dest, size_t cap);
    static int StartTRAQageMode(uint8_t* dest, size_t cap);
    static int EndTRAQageMode(uint8_t* dest, size_t cap);

    // Remote-mode commands (only between StartRemote and EndRemote).
    static int LoadDefault(uint8_t* dest, size_t cap);
    static int SetMechSeq(uint8_t* dest, size_t cap, uint8_t m);
    static int SetGapSeq(uint8_t* dest, size_t cap, uint8_t m);
    static int SelectMechSeq(uint8_t* dest, size_t cap, uint8_t k, uint8_t m);
    static int SelectMechSeq_04H(uint8_t* dest, size_t cap, uint8_t k, uint16_t n, const uint8_t* d);
    static int SelectMechSeq_04HVer3(uint8_t* dest, size_t cap);
    static int SetAdjustFeed(uint8_t* dest, size_t cap, uint8_t k, uint16_t a, uint16_t b, uint8_t add);
    static int SetAdjustFeedEx(uint8_t* dest, size_t cap, uint8_t k1, uint8_t k2, uint16_t a, uint16_t b,
                               uint8_t add1, uint8_t add2);
    static int SelectTRAQ2(uint8_t* dest, size_t cap);
    static int SetCompKMode(uint8_t* dest, size_t cap, uint8_t m);
    static int SetFeedMode(uint8_t* dest, size_t cap, uint8_t m);
    static int SetNoSmearMode(uint8_t* dest, size_t cap, uint8_t m);
    static int SetAutoTearOffMode(uint8_t* dest, size_t cap, uint8_t m);
    static int SetPaperChkMode(uint8_t* dest, size_t cap, uint8_t m);
    static int SetInkRest(uint8_t* dest, size_t cap, uint8_t m);
    static int SetParaInOut(uint8_t* dest, size_t cap, uint8_t m);
    static int SetDuplex(uint8_t* dest, size_t cap, uint8_t m);
    static int SetNozzleCheck(uint8_t* dest, size_t cap, uint8_t m);
    static int SetFineMode(uint8_t* dest, size_t cap, uint8_t m);
    static int SetInk(uint8_t* dest, size_t cap, uint8_t m);
    static int SetAutCutMode(uint8_t* dest, size_t cap, uint8_t m);
    static int SetPaperThick(uint8_t* dest, size_t cap, uint8_t m);
    static int SetPaperThick2(uint8_t* dest, size_t cap, uint8_t a, uint8_t b);
    static int SetTrimBannerMode(uint8_t* dest, size_t cap, uint8_t a, uint8_t b);
    static int SetPaperPathMode(uint8_t* dest, size_t cap, uint8_t a, uint8_t b);
    static int SetUserSetting(uint8_t* dest, size_t cap, uint8_t a, uint8_t b);
    static int SetMedia(uint8_t* dest, size_t cap, uint8_t m);
    static int SetCopyNum(uint8_t* dest, size_t cap, uint16_t n);
    static int SetSimmCopyMode(uint8_t* dest, size_t cap);
    static int EndSimmCopyMode(uint8_t* dest, size_t cap);
    static int SetPaperSize(uint8_t* dest, size_t cap, uint8_t a, uint8_t b, uint16_t width, uint16_t length);
    static int SetMediaPaperID(uint8_t* dest, size_t cap, uint8_t a, uint8_t b);
    static int SetDryTime(uint8_t* dest, size_t cap, uint8_t k, uint16_t t);
    static int SetDataNum(uint8_t* dest, size_t cap, uint16_t a, uint16_t b);
    static int SetCutPos(uint8_t* dest, size_t cap, uint8_t a, uint8_t b, uint8_t c, uint32_t pos);
    static int SetTimeStamp(uint8_t* dest, size_t cap, uint16_t year, uint8_t month, uint8_t day, uint8_t hour,
                            uint8_t minute, uint8_t second);
    // Variable-length commands: the 16-bit count covers the data and the fixed
    // bytes after it, so n is limited to what keeps that count within 65535.
    static int JobStart(uint8_t* dest, size_t cap, const uint8_t* d, uint16_t n);
    static int JobUserName(uint8_t* dest, size_t cap, const uint8_t* d, uint16_t n);
    static int JobHostName(uint8_t* dest, size_t cap, const uint8_t* d, uint16_t n, uint8_t type, uint32_t id);
    static int SetHDdata(uint8_t* dest, size_t cap, const uint8_t* d, uint16_t n, uint8_t kind);
    static int SetJXCommand(uint8_t* dest, size_t cap, uint16_t n, const uint8_t* d);
    static int JobEnd(uint8_t* dest, size_t cap);
    static int SetBannerMode(uint8_t* dest, size_t cap, uint8_t m);
    static int SetCutLineMode(uint8_t* dest, size_t cap, uint8_t m);
    static int SetOutTray(uint8_t* dest, size_t cap, uint8_t m);
    static int SetUserMediaNumber(uint8_t* dest, size_t cap, uint8_t a, uint8_t b);
    static int SetImageType(uint8_t* dest, size_t cap, uint8_t a, uint8_t b);
    // At most 8 data bytes; the rest of the 8-byte block is zero.
    static int SetPrintingModeCustom(uint8_t* dest, size_t cap, int n, const uint8_t* d);
    // Header only: the caller sends the n resource bytes behind it.
    static int SetIracRscComHeader(uint8_t* dest, size_t cap, uint16_t n);

    // Page-language binary commands.
    static int GS_SetMW(uint8_t* dest, size_t cap, uint8_t a, uint8_t b);
    static int GS_SetPrintDir(uint8_t* dest, size_t cap, int bidir);
    static int GS_SetDotSize(uint8_t* dest, size_t cap, uint8_t m);
    static int GS_SetColorOption(uint8_t* dest, size_t cap, int a, int b, int c, int d, int e, int f);
    static int GS_SetInkDuty(uint8_t* dest, size_t cap, int duty);

    // Page-language text commands: GS, decimal parameters, the command name.
    static int GS_SetDriverPageMode(uint8_t* dest, size_t cap);
    static int GS_HardReset(uint8_t* dest, size_t cap);
    static int GS_SetMemoryMode(uint8_t* dest, size_t cap);
    static int GS_SetMinUnit(uint8_t* dest, size_t cap, int res);  // 360, 720 or 1440; else 0 bytes
    static int GS_SetRenderRes(uint8_t* dest, size_t cap, int a, int b);
    static int GS_SetPrintRes(uint8_t* dest, size_t cap, int a, int b);
    static int GS_SetPrintAreaX(uint8_t* dest, size_t cap, int origin, int extent);
    static int GS_SetPrintAreaY(uint8_t* dest, size_t cap, int origin, int extent);
    static int GS_SetPaperSize(uint8_t* dest, size_t cap, int width, int length);
    static int GS_SetColor(uint8_t* dest, size_t cap, int color);
    static int GS_SetLogBandPrnDir(uint8_t* dest, size_t cap);
    static int GS_SetLogBandMode(uint8_t* dest, size_t cap);
    static int GS_SetGamma(uint8_t* dest, size_t cap, int gamma);  // 150, 180 or 220; else 0 bytes

    // Prints the format with its arguments into dest, without a terminating
    // NUL, and returns the number of bytes; kNoRoom when the text does not fit,
    // kBadArg for a null format or text beyond 255 bytes.
    static int WriteTRAQage(uint8_t* dest, size_t cap, const char* format, ...)
        __attribute__((format(printf, 3, 4)));

    static uint8_t PlaneToColor(uint8_t plane);
    static uint16_t PlaneToWColor(uint8_t plane);
    static uint32_t EndianConvert_4byte(uint32_t v);
};

}  // namespace ovcg
