#include "commands/command_conv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <functional>
#include <string>
#include <vector>

#include "support/stream_validator.h"

namespace ovcg {
namespace {

using C = CPCommandConv;
using ovcg_test::bytes_of;
using ovcg_test::hex_of;
using Writer = std::function<int(uint8_t*, size_t)>;

constexpr uint8_t kData3[] = {0xA1, 0xA2, 0xA3};
constexpr uint8_t kData9[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
constexpr uint8_t kGuard = 0xCC;

// How the stream validator sees a command: alone, between a remote entry and
// exit, or not at all (a header without the data that follow it, a lone mode
// switch, a data block that is not a JX item list).
enum Ctx { kGroup, kAlone, kInRemote, kFragment };

struct Case {
    const char* name;
    Writer call;
    const char* expected;
    Ctx ctx = kGroup;  // kGroup: as its group
};

struct Group {
    Ctx ctx;
    std::vector<Case> cases;
};

#define W(expr) [](uint8_t* d, size_t c) { return C::expr; }

std::vector<Case> make_cases() {
    const Group groups[] = {
        {kAlone, {  // Level-2 escape commands.
        {"ResetPrinter", W(ResetPrinter(d, c)), "1B 40"},
        {"SelectUnidir", W(SelectUnidir(d, c, 0x01)), "1B 55 01"},
        {"SelectBin", W(SelectBin(d, c, 0x02)), "1B 19 02"},
        {"SelectColor", W(SelectColor(d, c, 0x04)), "1B 72 04"},
        {"SetLineAdvanceAmount", W(SetLineAdvanceAmount(d, c, 0x78)), "1B 2B 78"},
        {"ForcePrint", W(ForcePrint(d, c)), "1B 06"},
        {"CarriageReturn", W(CarriageReturn(d, c)), "0D"},
        {"FormFeed", W(FormFeed(d, c)), "0C"},
        {"LineFeed", W(LineFeed(d, c)), "0A"},
        {"SendESC", W(SendESC(d, c)), "1B", kFragment},
        {"SetAbsHPos", W(SetAbsHPos(d, c, 0x1234)), "1B 24 34 12"},
        {"SetRelHPos", W(SetRelHPos(d, c, 0xABCD)), "1B 5C CD AB"},
        {"SetUnit", W(SetUnit(d, c, 0x0A)), "1B 28 55 01 00 0A"},
        {"SetUnitEx 720x720", W(SetUnitEx(d, c, 720, 720)), "1B 28 55 05 00 02 02 02 A0 05"},
        {"SetUnitEx 600x1200", W(SetUnitEx(d, c, 600, 1200)), "1B 28 55 05 00 02 02 01 B0 04"},
        {"SetUnitEx 5760x720", W(SetUnitEx(d, c, 5760, 720)), "1B 28 55 05 00 01 01 08 80 16"},
        {"SetUnitEx 360x360", W(SetUnitEx(d, c, 360, 360)), "1B 28 55 05 00 04 04 04 A0 05"},
        {"SetUnitEx 300x300", W(SetUnitEx(d, c, 300, 300)), "1B 28 55 05 00 01 01 01 2C 01"},
        {"SetUnitEx 360x300 one multiple", W(SetUnitEx(d, c, 360, 300)), "1B 28 55 05 00 01 01 01 68 01"},
        {"SetUnitEx 2880x720 above 1440", W(SetUnitEx(d, c, 2880, 720)), "1B 28 55 05 00 01 01 04 40 0B"},
        {"SetUnitEx quotient truncated", W(SetUnitEx(d, c, 5760, 1)), "1B 28 55 05 00 01 01 80 80 16"},
        {"SetUnitEx 1440x1440", W(SetUnitEx(d, c, 1440, 1440)), "1B 28 55 05 00 01 01 01 A0 05"},
        {"SetUnitEx 540x720 quotient truncated", W(SetUnitEx(d, c, 540, 720)), "1B 28 55 05 00 02 02 02 A0 05"},
        {"SetUnitEx 180x90", W(SetUnitEx(d, c, 180, 90)), "1B 28 55 05 00 08 08 10 A0 05"},
        {"SetImageResolution 720x360", W(SetImageResolution(d, c, 720, 360)), "1B 28 44 04 00 A0 05 02 04"},
        {"SetImageResolution 600x1200", W(SetImageResolution(d, c, 600, 1200)), "1B 28 44 04 00 B0 04 02 01"},
        {"SetImageResolution 5760x720", W(SetImageResolution(d, c, 5760, 720)), "1B 28 44 04 00 80 16 01 08"},
        {"SetDataProcSetting 3", W(SetDataProcSetting(d, c, kData3, 3)),
         "1B 28 41 09 00 A1 A2 A3 00 00 00 00 00 00"},
        {"SetDataProcSetting 9", W(SetDataProcSetting(d, c, kData9, 9)),
         "1B 28 41 09 00 01 02 03 04 05 06 07 08 09"},
        {"SetDataProcSetting 0", W(SetDataProcSetting(d, c, nullptr, 0)),
         "1B 28 41 09 00 00 00 00 00 00 00 00 00 00"},
        {"SelectPrinterMW", W(SelectPrinterMW(d, c, 0x05)), "1B 28 69 01 00 05"},
        {"SelectPrinterMWEx", W(SelectPrinterMWEx(d, c, 1, 2, 3)), "1B 28 69 03 00 01 02 03"},
        {"SelectDotsize", W(SelectDotsize(d, c, 0x1213)), "1B 28 65 02 00 00 13"},
        {"SelectDotsizeEx", W(SelectDotsizeEx(d, c, 0x1213)), "1B 28 65 02 00 00 13"},
        {"SelectMonoMode", W(SelectMonoMode(d, c, 0x0201)), "1B 28 4B 02 00 00 01"},
        {"SelectBlackPrintMode", W(SelectBlackPrintMode(d, c, 0x07)), "1B 28 4B 02 00 01 07"},
        {"SelectDriverColorSetting", W(SelectDriverColorSetting(d, c, 0x08)), "1B 28 4B 02 00 02 08"},
        {"SetPageLength", W(SetPageLength(d, c, 0x1234)), "1B 28 43 02 00 34 12"},
        {"SetPageLengthEx", W(SetPageLengthEx(d, c, 0x12345678)), "1B 28 43 04 00 78 56 34 12"},
        {"SetPageFormat", W(SetPageFormat(d, c, 0x0102, 0x0304)), "1B 28 63 04 00 02 01 04 03"},
        {"SetPageFormatEx", W(SetPageFormatEx(d, c, 0x01020304, 0x05060708)),
         "1B 28 63 08 00 04 03 02 01 08 07 06 05"},
        {"SetPaperDimension", W(SetPaperDimension(d, c, 0x0A0B0C0D, 0x11223344)),
         "1B 28 53 08 00 0D 0C 0B 0A 44 33 22 11"},
        {"SetRelFineHPos", W(SetRelFineHPos(d, c, 0x0102)), "1B 28 5C 04 00 A0 05 02 01"},
        {"SetAbsVPos", W(SetAbsVPos(d, c, 0x0102)), "1B 28 56 02 00 02 01"},
        {"SetRelVPos", W(SetRelVPos(d, c, 0x0102)), "1B 28 76 02 00 02 01"},
        {"SetRelVPosV2", W(SetRelVPosV2(d, c, 0x01020304)), "1B 28 76 04 00 04 03 02 01"},
        {"SetRelVPosV3", W(SetRelVPosV3(d, c, 0x01020304)), "1B 28 76 05 00 04 03 02 01 01"},
        {"SelectColorLt", W(SelectColorLt(d, c, 0x0201)), "1B 28 72 02 00 01 02"},
        {"SetGraphicsMode", W(SetGraphicsMode(d, c)), "1B 28 47 01 00 01"},
        {"SelectPrintSpeed", W(SelectPrintSpeed(d, c, 0x02)), "1B 28 73 01 00 02"},
        {"PrintRasterGraphics", W(PrintRasterGraphics(d, c, 1, 2, 3, 4, 0x0605)), "1B 2E 01 02 03 04 05 06",
         kFragment},
        {"SetNextPage", W(SetNextPage(d, c, 0x01)), "1B 28 6A 01 00 01"},
        {"SetOverprint", W(SetOverprint(d, c, 0x03)), "1B 28 45 02 00 00 03"},
        {"SendBlank 5", W(SendBlank(d, c, 5)), "00 00 00 00 00"},
        {"SendBlank 0", W(SendBlank(d, c, 0)), ""},
        }},
        {kAlone, {  // Mode switches.
        {"StartRemote", W(StartRemote(d, c)), "1B 28 52 08 00 00 'REMOTE1'", kFragment},
        {"EndRemote", W(EndRemote(d, c)), "1B 00 00 00", kFragment},
        {"SendD4OffMode", W(SendD4OffMode(d, c)), "00 00 00 1B 01 '@KRQ 1284.4' 0A '@KRQ     ' 0A"},
        {"StartTRAQ3Mode", W(StartTRAQ3Mode(d, c)), "1B 28 52 03 00 00 'P3'"},
        {"EndTRAQ3Mode", W(EndTRAQ3Mode(d, c)), "1B 40"},
        {"StartTRAQageMode", W(StartTRAQageMode(d, c)), "1B 28 52 05 00 00 'PAGE'"},
        {"EndTRAQageMode", W(EndTRAQageMode(d, c)), "1B 01"},
        }},
        {kInRemote, {  // Remote-mode commands.
        {"LoadDefault", W(LoadDefault(d, c)), "'LD' 00 00"},
        {"SetMechSeq", W(SetMechSeq(d, c, 0x09)), "'SN' 03 00 00 00 09"},
        {"SetGapSeq", W(SetGapSeq(d, c, 0x09)), "'SN' 03 00 00 01 09"},
        {"SelectMechSeq", W(SelectMechSeq(d, c, 0x04, 0x09)), "'SN' 03 00 00 04 09"},
        {"SelectMechSeq_04H 3", W(SelectMechSeq_04H(d, c, 0x04, 3, kData3)), "'SN' 05 00 00 04 A1 A2 A3"},
        {"SelectMechSeq_04H 0", W(SelectMechSeq_04H(d, c, 0x04, 0, nullptr)), "'SN' 02 00 00 04"},
        {"SelectMechSeq_04HVer3", W(SelectMechSeq_04HVer3(d, c)), "'SN' 01 00 00"},
        {"SetAdjustFeed", W(SetAdjustFeed(d, c, 0x10, 0x0102, 0x0304, 0x05)), "'AF' 06 00 00 15 02 01 04 03"},
        {"SetAdjustFeed wraps", W(SetAdjustFeed(d, c, 0xFF, 0, 0, 0x02)), "'AF' 06 00 00 01 00 00 00 00"},
        {"SetAdjustFeedEx", W(SetAdjustFeedEx(d, c, 0x10, 0x20, 0x0102, 0x0304, 1, 2)),
         "'AF' 07 00 00 11 22 02 01 04 03"},
        {"SelectTRAQ2", W(SelectTRAQ2(d, c)), "'PM' 02 00 00 00"},
        {"SetCompKMode", W(SetCompKMode(d, c, 1)), "'CB' 02 00 00 01"},
        {"SetFeedMode", W(SetFeedMode(d, c, 2)), "'PI' 02 00 00 02"},
        {"SetNoSmearMode", W(SetNoSmearMode(d, c, 3)), "'NS' 02 00 00 03"},
        {"SetAutoTearOffMode", W(SetAutoTearOffMode(d, c, 4)), "'TO' 02 00 00 04"},
        {"SetPaperChkMode", W(SetPaperChkMode(d, c, 5)), "'PC' 02 00 00 05"},
        {"SetInkRest", W(SetInkRest(d, c, 2)), "'IR' 02 00 00 02"},
        {"SetParaInOut", W(SetParaInOut(d, c, 6)), "'PN' 02 00 00 06"},
        {"SetDuplex", W(SetDuplex(d, c, 1)), "'DP' 02 00 00 01"},
        {"SetNozzleCheck", W(SetNozzleCheck(d, c, 7)), "'NC' 02 00 00 07"},
        {"SetFineMode", W(SetFineMode(d, c, 8)), "'FM' 02 00 00 08"},
        {"SetInk", W(SetInk(d, c, 9)), "'IK' 02 00 00 09"},
        {"SetAutCutMode", W(SetAutCutMode(d, c, 0x41)), "'AC' 02 00 00 41"},
        {"SetPaperThick", W(SetPaperThick(d, c, 0x0A)), "'PH' 02 00 00 0A"},
        {"SetPaperThick2", W(SetPaperThick2(d, c, 0x0A, 0x0B)), "'PH' 03 00 00 0A 0B"},
        {"SetTrimBannerMode", W(SetTrimBannerMode(d, c, 0x12, 0x34)), "'FP' 03 00 00 12 34"},
        {"SetPaperPathMode", W(SetPaperPathMode(d, c, 0x01, 0x02)), "'PP' 03 00 00 01 02"},
        {"SetUserSetting", W(SetUserSetting(d, c, 0x03, 0x04)), "'US' 03 00 00 03 04"},
        {"SetMedia", W(SetMedia(d, c, 0x2A)), "'MT' 03 00 00 00 2A"},
        {"SetCopyNum", W(SetCopyNum(d, c, 0x0102)), "'CG' 03 00 00 02 01"},
        {"SetSimmCopyMode", W(SetSimmCopyMode(d, c)), "'CS' 02 00 00 00"},
        {"EndSimmCopyMode", W(EndSimmCopyMode(d, c)), "'CE' 01 00 00"},
        {"SetPaperSize", W(SetPaperSize(d, c, 0x01, 0x02, 0x0304, 0x0506)), "'MS' 08 00 00 00 01 02 04 03 06 05"},
        {"SetMediaPaperID", W(SetMediaPaperID(d, c, 0xFC, 0x07)), "'MI' 04 00 00 01 FC 07"},
        {"SetDryTime", W(SetDryTime(d, c, 0x01, 0x0203)), "'DR' 04 00 00 01 03 02"},
        {"SetDataNum", W(SetDataNum(d, c, 0x0102, 0x0304)), "'DN' 05 00 00 02 01 04 03"},
        {"SetCutPos", W(SetCutPos(d, c, 1, 2, 3, 0x04050607)), "'CO' 08 00 00 01 02 03 07 06 05 04"},
        {"SetTimeStamp 2024", W(SetTimeStamp(d, c, 2024, 12, 7, 8, 59, 30)), "'TI' 08 00 00 07 E8 0C 07 08 3B 1E"},
        {"JobStart 0", W(JobStart(d, c, nullptr, 0)), "'JS' 02 00 00 00"},
        {"JobStart 3", W(JobStart(d, c, kData3, 3)), "'JS' 05 00 00 A1 A2 A3 00"},
        {"JobUserName 2", W(JobUserName(d, c, kData3, 2)), "'JU' 03 00 00 A1 A2"},
        {"JobUserName 0", W(JobUserName(d, c, nullptr, 0)), "'JU' 01 00 00"},
        {"JobHostName 3", W(JobHostName(d, c, kData3, 3, 0x02, 0x01020304)),
         "'JH' 09 00 00 02 04 03 02 01 A1 A2 A3"},
        {"JobHostName 0", W(JobHostName(d, c, nullptr, 0, 0x01, 0)), "'JH' 06 00 00 01 00 00 00 00"},
        {"SetHDdata 3", W(SetHDdata(d, c, kData3, 3, 0x05)), "'HD' 05 00 00 05 A1 A2 A3"},
        {"SetHDdata 0", W(SetHDdata(d, c, nullptr, 0, 0x05)), "'HD' 02 00 00 05"},
        {"SetJXCommand 3", W(SetJXCommand(d, c, 3, kData3)), "'JX' 05 00 00 00 A1 A2 A3", kFragment},
        {"SetJXCommand 0", W(SetJXCommand(d, c, 0, nullptr)), "'JX' 02 00 00 00"},
        {"JobEnd", W(JobEnd(d, c)), "'JE' 01 00 00"},
        {"SetBannerMode", W(SetBannerMode(d, c, 1)), "'EX' 06 00 00 00 00 00 05 01"},
        {"SetCutLineMode", W(SetCutLineMode(d, c, 1)), "'EX' 06 00 00 00 00 00 14 01"},
        {"SetOutTray", W(SetOutTray(d, c, 2)), "'EX' 06 00 00 00 00 00 17 02"},
        {"SetUserMediaNumber", W(SetUserMediaNumber(d, c, 3, 4)), "'EX' 07 00 00 00 00 00 1C 03 04"},
        {"SetImageType", W(SetImageType(d, c, 5, 6)), "'EX' 07 00 00 00 00 00 4D 05 06"},
        {"SetPrintingModeCustom 3", W(SetPrintingModeCustom(d, c, 3, kData3)),
         "'EX' 0D 00 00 00 00 00 1A A1 A2 A3 00 00 00 00 00"},
        {"SetPrintingModeCustom 8", W(SetPrintingModeCustom(d, c, 8, kData9)),
         "'EX' 0D 00 00 00 00 00 1A 01 02 03 04 05 06 07 08"},
        {"SetIracRscComHeader", W(SetIracRscComHeader(d, c, 0x0100)), "'EX' 06 01 00 00 00 00 37 00", kFragment},
        {"SetIracRscComHeader max", W(SetIracRscComHeader(d, c, 0xFFF9)), "'EX' FF FF 00 00 00 00 37 00",
         kFragment},
        }},
        {kAlone, {  // Page-language binary and text commands.
        {"GS_SetMW", W(GS_SetMW(d, c, 0x02, 0x03)), "1D '2mw{E' 02 03"},
        {"GS_SetPrintDir 0", W(GS_SetPrintDir(d, c, 0)), "1D '1di{E' 01"},
        {"GS_SetPrintDir 1", W(GS_SetPrintDir(d, c, 1)), "1D '1di{E' 00"},
        {"GS_SetPrintDir -7", W(GS_SetPrintDir(d, c, -7)), "1D '1di{E' 00"},
        {"GS_SetPrintDir 256", W(GS_SetPrintDir(d, c, 256)), "1D '1di{E' 00"},
        {"GS_SetDotSize", W(GS_SetDotSize(d, c, 0x11)), "1D '1ds{E' 11"},
        {"GS_SetColorOption", W(GS_SetColorOption(d, c, 1, 2, 3, 4, 5, 6)), "1D '7;0;2;3cam{E' 0A 01 02 03 04 05 06"},
        {"GS_SetColorOption low bytes", W(GS_SetColorOption(d, c, 0x1FF, -1, 0x100, -128, 127, 0)),
         "1D '7;0;2;3cam{E' 0A FF FF 00 80 7F 00"},
        {"GS_SetInkDuty", W(GS_SetInkDuty(d, c, 1024)), "1D '4inkd{E' 00 00 04 00"},
        {"GS_SetInkDuty negative", W(GS_SetInkDuty(d, c, -2)), "1D '4inkd{E' FF FF FF FE"},
        {"GS_SetDriverPageMode", W(GS_SetDriverPageMode(d, c)), "1D '10pmE'"},
        {"GS_HardReset", W(GS_HardReset(d, c)), "1D 'rhE'"},
        {"GS_SetMemoryMode", W(GS_SetMemoryMode(d, c)), "1D '1;10;3mmE'"},
        {"GS_SetMinUnit 360", W(GS_SetMinUnit(d, c, 360)), "1D '0;.20muE'"},
        {"GS_SetMinUnit 720", W(GS_SetMinUnit(d, c, 720)), "1D '0;.10muE'"},
        {"GS_SetMinUnit 1440", W(GS_SetMinUnit(d, c, 1440)), "1D '0;.05muE'"},
        {"GS_SetMinUnit 600", W(GS_SetMinUnit(d, c, 600)), ""},
        {"GS_SetRenderRes", W(GS_SetRenderRes(d, c, 360, 720)), "1D '360;720reE'"},
        {"GS_SetPrintRes", W(GS_SetPrintRes(d, c, 1440, 720)), "1D '1440;720prE'"},
        {"GS_SetPrintAreaX", W(GS_SetPrintAreaX(d, c, -42, 1000)), "1D '-42;958gsxE'"},
        {"GS_SetPrintAreaY", W(GS_SetPrintAreaY(d, c, 0, 2000)), "1D '0;2000gsyE'"},
        {"GS_SetPrintAreaX no overflow", W(GS_SetPrintAreaX(d, c, INT_MAX, INT_MAX)),
         "1D '2147483647;4294967294gsxE'"},
        {"GS_SetPaperSize", W(GS_SetPaperSize(d, c, 4961, 7016)), "1D '-1;4961;7016psE'"},
        {"GS_SetColor colour", W(GS_SetColor(d, c, 3)), "1D '2pcsO'"},
        {"GS_SetColor mono", W(GS_SetColor(d, c, 0)), "1D '1;1pcsO'"},
        {"GS_SetLogBandPrnDir", W(GS_SetLogBandPrnDir(d, c)), "1D '0lbdI'"},
        {"GS_SetLogBandMode", W(GS_SetLogBandMode(d, c)), "1D '1lbmI'"},
        {"GS_SetGamma 150", W(GS_SetGamma(d, c, 150)), "1D '0;2;1.5cigE'"},
        {"GS_SetGamma 180", W(GS_SetGamma(d, c, 180)), "1D '0;2;1.8cigE'"},
        {"GS_SetGamma 220", W(GS_SetGamma(d, c, 220)), "1D '0;2;2.2cigE'"},
        {"GS_SetGamma 200", W(GS_SetGamma(d, c, 200)), ""},
        }},
    };
    std::vector<Case> out;
    for (const Group& g : groups)
        for (Case c : g.cases) {
            if (c.ctx == kGroup) c.ctx = g.ctx;
            out.push_back(c);
        }
    return out;
}

const std::vector<Case>& all_cases() {
    static const std::vector<Case> cases = make_cases();
    return cases;
}

// Each writer writes exactly its bytes, returns their count and leaves the
// rest of a larger buffer alone.
TEST(CommandConv, WritesEveryCommandByteExact) {
    for (const Case& t : all_cases()) {
        SCOPED_TRACE(t.name);
        const std::vector<uint8_t> want = bytes_of(t.expected);
        std::vector<uint8_t> buf(want.size() + 16, kGuard);
        const int n = t.call(buf.data(), buf.size());
        ASSERT_EQ(n, static_cast<int>(want.size()));
        EXPECT_EQ(hex_of(buf.data(), want.size()), hex_of(want));
        for (size_t i = want.size(); i < buf.size(); ++i) ASSERT_EQ(buf[i], kGuard) << "byte " << i;
    }
}

// Every whole command passes the stream validator in its context, so the
// generators' streams can be checked with it; a JX item list and the resource
// header with its bytes pass too.
TEST(CommandConv, EveryWholeCommandPassesTheStreamValidator) {
    const std::vector<uint8_t> enter = bytes_of("1B 28 52 08 00 00 'REMOTE1'"), exit = bytes_of("1B 00 00 00");
    for (const Case& t : all_cases()) {
        if (t.ctx == kFragment) continue;
        std::vector<uint8_t> s = bytes_of(t.expected);
        if (t.ctx == kInRemote) {
            s.insert(s.begin(), enter.begin(), enter.end());
            s.insert(s.end(), exit.begin(), exit.end());
        }
        const ovcg_test::StreamCheck r = ovcg_test::ValidateStream(s);
        EXPECT_TRUE(r.ok) << t.name << ": " << r.error;
    }
    const uint8_t items[5] = {1, 1, 1, 0x2B, 0};
    std::vector<uint8_t> s(512);
    int n = C::StartRemote(s.data(), s.size());
    n += C::SetJXCommand(s.data() + n, s.size() - static_cast<size_t>(n), 5, items);
    n += C::SetIracRscComHeader(s.data() + n, s.size() - static_cast<size_t>(n), 3);
    for (uint8_t b : {0xAA, 0xBB, 0xCC}) s[static_cast<size_t>(n++)] = b;
    n += C::EndRemote(s.data() + n, s.size() - static_cast<size_t>(n));
    const ovcg_test::StreamCheck r = ovcg_test::ValidateStream(s.data(), static_cast<size_t>(n));
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.names(ovcg_test::StreamItemKind::kRemoteCommand), (std::vector<std::string>{"JX", "EX 37"}));
}

// A command that does not fit is not written at all: one byte short of its
// size, and with no buffer, the writer reports kNoRoom and touches nothing.
// The short buffer is its own allocation so that the sanitizer sees any
// stray write.
TEST(CommandConv, EveryWriterRefusesABufferTooSmall) {
    for (const Case& t : all_cases()) {
        SCOPED_TRACE(t.name);
        const size_t need = bytes_of(t.expected).size();
        std::vector<uint8_t> exact(need, kGuard);
        EXPECT_EQ(t.call(exact.data(), exact.size()), static_cast<int>(need));
        if (need == 0) {
            EXPECT_EQ(t.call(nullptr, 0), 0);
            continue;
        }
        std::unique_ptr<uint8_t[]> small(new uint8_t[need - 1]);
        std::fill(small.get(), small.get() + need - 1, kGuard);
        EXPECT_EQ(t.call(small.get(), need - 1), C::kNoRoom);
        for (size_t i = 0; i + 1 < need; ++i) ASSERT_EQ(small[i], kGuard) << "byte " << i;
        EXPECT_EQ(t.call(nullptr, 0), C::kNoRoom);
        EXPECT_EQ(t.call(nullptr, 4096), C::kNoRoom);  // a null buffer has no room whatever its claimed size
    }
}

struct BadCase {
    const char* name;
    Writer call;
};

// Arguments that no command can carry are refused before anything is written,
// even when the buffer is large.
TEST(CommandConv, RefusesArgumentsThatCannotBeEncoded) {
    static uint8_t one[1] = {0x55};
    const BadCase cases[] = {
        {"SetUnitEx vres 0", W(SetUnitEx(d, c, 0, 720))},
        {"SetUnitEx hres 0", W(SetUnitEx(d, c, 720, 0))},
        {"SetUnitEx both 0", W(SetUnitEx(d, c, 0, 0))},
        {"SetImageResolution vres 0", W(SetImageResolution(d, c, 0, 360))},
        {"SetImageResolution hres 0", W(SetImageResolution(d, c, 360, 0))},
        {"SetDataProcSetting 10", W(SetDataProcSetting(d, c, kData9, 10))},
        {"SetDataProcSetting -1", W(SetDataProcSetting(d, c, kData9, -1))},
        {"SetDataProcSetting null", W(SetDataProcSetting(d, c, nullptr, 1))},
        {"SetPrintingModeCustom 9", W(SetPrintingModeCustom(d, c, 9, kData9))},
        {"SetPrintingModeCustom -1", W(SetPrintingModeCustom(d, c, -1, kData9))},
        {"SetPrintingModeCustom null", W(SetPrintingModeCustom(d, c, 2, nullptr))},
        {"SendBlank -1", W(SendBlank(d, c, -1))},
        {"JobStart null", W(JobStart(d, c, nullptr, 1))},
        {"JobUserName null", W(JobUserName(d, c, nullptr, 4))},
        {"JobHostName null", W(JobHostName(d, c, nullptr, 4, 0, 0))},
        {"SetHDdata null", W(SetHDdata(d, c, nullptr, 4, 0))},
        {"SetJXCommand null", W(SetJXCommand(d, c, 4, nullptr))},
        {"SelectMechSeq_04H null", W(SelectMechSeq_04H(d, c, 0, 4, nullptr))},
        // Counts beyond the 16-bit count field: refused before the data are read.
        {"JobStart count 65536", W(JobStart(d, c, one, 65534))},
        {"JobUserName count 65536", W(JobUserName(d, c, one, 65535))},
        {"JobHostName count 65536", W(JobHostName(d, c, one, 65530, 0, 0))},
        {"SetHDdata count 65536", W(SetHDdata(d, c, one, 65534, 0))},
        {"SetJXCommand count 65536", W(SetJXCommand(d, c, 65534, one))},
        {"SelectMechSeq_04H count 65536", W(SelectMechSeq_04H(d, c, 0, 65534, one))},
        {"SetIracRscComHeader count 65536", W(SetIracRscComHeader(d, c, 65530))},
    };
    std::vector<uint8_t> buf(512, kGuard);
    for (const BadCase& t : cases) {
        SCOPED_TRACE(t.name);
        EXPECT_EQ(t.call(buf.data(), buf.size()), C::kBadArg);
        for (size_t i = 0; i < buf.size(); ++i) ASSERT_EQ(buf[i], kGuard);
    }
}

struct VarCase {
    const char* name;
    std::function<int(uint8_t*, size_t, const uint8_t*, uint16_t)> call;
    size_t fixed;     // bytes besides the data
    size_t data_at;  // where the data start
};

// The variable-length remote commands: count = data + fixed bytes after the
// count, size = count + 4, bounded by the caller's buffer whatever n is.
TEST(CommandConv, VariableLengthCommandsAreBoundedByCapacity) {
    const VarCase cases[] = {
        {"JobStart", [](uint8_t* d, size_t c, const uint8_t* p, uint16_t n) { return C::JobStart(d, c, p, n); }, 6,
         5},
        {"JobUserName", [](uint8_t* d, size_t c, const uint8_t* p, uint16_t n) { return C::JobUserName(d, c, p, n); },
         5, 5},
        {"JobHostName",
         [](uint8_t* d, size_t c, const uint8_t* p, uint16_t n) { return C::JobHostName(d, c, p, n, 1, 2); }, 10, 10},
        {"SetHDdata", [](uint8_t* d, size_t c, const uint8_t* p, uint16_t n) { return C::SetHDdata(d, c, p, n, 3); },
         6, 6},
        {"SetJXCommand", [](uint8_t* d, size_t c, const uint8_t* p, uint16_t n) { return C::SetJXCommand(d, c, n, p); },
         6, 6},
        {"SelectMechSeq_04H",
         [](uint8_t* d, size_t c, const uint8_t* p, uint16_t n) { return C::SelectMechSeq_04H(d, c, 4, n, p); }, 6, 6},
    };
    std::vector<uint8_t> data(65535);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);

    for (const VarCase& t : cases) {
        SCOPED_TRACE(t.name);
        // The most data a 512-byte command buffer takes fits exactly; one more does not.
        const uint16_t fit = static_cast<uint16_t>(512 - t.fixed);
        std::vector<uint8_t> buf(512, kGuard);
        ASSERT_EQ(t.call(buf.data(), buf.size(), data.data(), fit), 512);
        EXPECT_EQ(buf[2] | (buf[3] << 8), 512 - 4);
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + fit, buf.begin() + static_cast<long>(t.data_at)));
        std::fill(buf.begin(), buf.end(), kGuard);
        EXPECT_EQ(t.call(buf.data(), buf.size(), data.data(), static_cast<uint16_t>(fit + 1)), C::kNoRoom);
        for (uint8_t b : buf) ASSERT_EQ(b, kGuard);

        // A huge count with a small buffer: refused without reading the data
        // (the pointer covers a single byte).
        const uint8_t one = 0x77;
        EXPECT_EQ(t.call(buf.data(), buf.size(), &one, 60000), C::kNoRoom);

        // The largest count the field holds.
        const uint16_t max_n = static_cast<uint16_t>(0xFFFF + 4 - t.fixed);
        std::vector<uint8_t> big(0xFFFF + 4);
        ASSERT_EQ(t.call(big.data(), big.size(), data.data(), max_n), 0xFFFF + 4);
        EXPECT_EQ(big[2] | (big[3] << 8), 0xFFFF);
        EXPECT_EQ(t.call(big.data(), big.size(), data.data(), static_cast<uint16_t>(max_n + 1)), C::kBadArg);
    }
}

// Both unit writers derive the same base and quotients from a resolution pair.
TEST(CommandConv, UnitWritersAgreeOnBaseAndQuotients) {
    const uint16_t res[] = {1, 90, 150, 180, 300, 360, 540, 600, 720, 1200, 1440, 2880, 5760, 65535};
    for (uint16_t v : res) {
        for (uint16_t h : res) {
            uint8_t u[10], r[9];
            ASSERT_EQ(C::SetUnitEx(u, sizeof u, v, h), 10);
            ASSERT_EQ(C::SetImageResolution(r, sizeof r, v, h), 9);
            const unsigned base = u[8] | (u[9] << 8);
            EXPECT_EQ(base, unsigned(r[5] | (r[6] << 8))) << v << "x" << h;
            EXPECT_EQ(u[5], u[6]);
            EXPECT_EQ(u[5], r[7]);
            EXPECT_EQ(u[7], r[8]);
            EXPECT_EQ(u[5], static_cast<uint8_t>(base / v));
            EXPECT_EQ(u[7], static_cast<uint8_t>(base / h));
            const bool fine = v % 150 && h % 150 && v <= 1440 && h <= 1440;
            EXPECT_EQ(base, fine ? 1440u : unsigned(std::max(v, h))) << v << "x" << h;
        }
    }
}

TEST(CommandConv, TextWriterPrintsWithoutTerminatorAndChecksRoom) {
    uint8_t buf[16];
    std::fill(std::begin(buf), std::end(buf), kGuard);
    EXPECT_EQ(C::WriteTRAQage(buf, sizeof buf, "%d;%s", 12, "ab"), 5);
    EXPECT_EQ(hex_of(buf, 6), hex_of(bytes_of("'12;ab' CC")));
    EXPECT_EQ(C::WriteTRAQage(buf, 4, "%d;%s", 12, "ab"), C::kNoRoom);
    EXPECT_EQ(C::WriteTRAQage(buf, sizeof buf, nullptr), C::kBadArg);
    EXPECT_EQ(C::WriteTRAQage(buf, sizeof buf, "%300d", 1), C::kBadArg);
    EXPECT_EQ(C::WriteTRAQage(buf, sizeof buf, "%s", ""), 0);
    EXPECT_EQ(C::WriteTRAQage(nullptr, 0, "%s", ""), 0);
    // Exactly full: no terminator needs room.
    EXPECT_EQ(C::WriteTRAQage(buf, 3, "abc"), 3);
    // A text of exactly the 255-byte maximum is written whole; one more is refused.
    std::vector<uint8_t> big(300, kGuard);
    const std::string max_text(255, 't');
    EXPECT_EQ(C::WriteTRAQage(big.data(), big.size(), "%s", max_text.c_str()), 255);
    EXPECT_EQ(std::string(big.begin(), big.begin() + 255), max_text);
    EXPECT_EQ(big[255], kGuard);
    EXPECT_EQ(C::WriteTRAQage(big.data(), big.size(), "%s!", max_text.c_str()), C::kBadArg);
}

TEST(CommandConv, PlaneTables) {
    const uint8_t color[] = {0x02, 0x01, 0x04, 0x00};
    const uint16_t wcolor[] = {0x0200, 0x0100, 0x0400, 0x0000, 0x0201, 0x0101};
    for (uint8_t p = 0; p < 4; ++p) EXPECT_EQ(C::PlaneToColor(p), color[p]);
    for (uint8_t p = 0; p < 6; ++p) EXPECT_EQ(C::PlaneToWColor(p), wcolor[p]);
    for (unsigned p : {4u, 5u, 6u, 255u}) EXPECT_EQ(C::PlaneToColor(static_cast<uint8_t>(p)), C::kNoColor);
    for (unsigned p : {6u, 7u, 255u}) EXPECT_EQ(C::PlaneToWColor(static_cast<uint8_t>(p)), C::kNoWColor);
}

TEST(CommandConv, EndianConvertSwapsAndIsItsOwnInverse) {
    EXPECT_EQ(C::EndianConvert_4byte(0x01020304u), 0x04030201u);
    EXPECT_EQ(C::EndianConvert_4byte(0xFF000080u), 0x800000FFu);
    for (uint32_t v : {0u, 1u, 0x80000000u, 0xDEADBEEFu, 0x00FF00FFu})
        EXPECT_EQ(C::EndianConvert_4byte(C::EndianConvert_4byte(v)), v);
}

}  // namespace
}  // namespace ovcg
