// The stream validator against the real encoder and record holders: every
// command they can write must pass it, under the name the tests look for.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "commands/command_conv.h"
#include "commands/traq3_records.h"
#include "support/stream_validator.h"
#include "test_bytes.h"

namespace ovcg::test {
namespace {

using C = CPCommandConv;
using ovcg_test::StreamCheck;
using ovcg_test::ValidateStream;
using Writer = std::function<int(uint8_t*, size_t)>;

#define W(expr) [](uint8_t* d, size_t c) { return C::expr; }

const uint8_t kData[8] = {1, 2, 3, 4, 5, 6, 7, 8};

std::vector<uint8_t> Write(const Writer& w) {
    std::vector<uint8_t> buf(512);
    const int n = w(buf.data(), buf.size());
    EXPECT_GT(n, 0);
    buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return buf;
}

TEST(EncoderStream, EscapeCommandsPass) {
    struct Case {
        Writer w;
        const char* name;
    } cases[] = {
        {W(ResetPrinter(d, c)), "ESC @"},           {W(SelectUnidir(d, c, 1)), "ESC U"},
        {W(SelectBin(d, c, 0x43)), "ESC EM"},       {W(SelectColor(d, c, 2)), "ESC r"},
        {W(SetLineAdvanceAmount(d, c, 9)), "ESC +"}, {W(ForcePrint(d, c)), "ESC 06"},
        {W(SetAbsHPos(d, c, 7)), "ESC $"},          {W(SetRelHPos(d, c, 7)), "ESC \\"},
        {W(SetUnit(d, c, 10)), "ESC ( U"},          {W(SetUnitEx(d, c, 720, 720)), "ESC ( U"},
        {W(SetImageResolution(d, c, 720, 360)), "ESC ( D"}, {W(SetDataProcSetting(d, c, kData, 3)), "ESC ( A"},
        {W(SelectPrinterMW(d, c, 1)), "ESC ( i"},   {W(SelectPrinterMWEx(d, c, 1, 2, 3)), "ESC ( i"},
        {W(SelectDotsize(d, c, 1)), "ESC ( e"},     {W(SelectMonoMode(d, c, 1)), "ESC ( K"},
        {W(SelectBlackPrintMode(d, c, 1)), "ESC ( K"}, {W(SelectDriverColorSetting(d, c, 1)), "ESC ( K"},
        {W(SetPageLength(d, c, 5)), "ESC ( C"},     {W(SetPageLengthEx(d, c, 5)), "ESC ( C"},
        {W(SetPageFormat(d, c, 1, 2)), "ESC ( c"},  {W(SetPageFormatEx(d, c, 1, 2)), "ESC ( c"},
        {W(SetPaperDimension(d, c, 1, 2)), "ESC ( S"}, {W(SetRelFineHPos(d, c, 3)), "ESC ( \\"},
        {W(SetAbsVPos(d, c, 3)), "ESC ( V"},        {W(SetRelVPos(d, c, 3)), "ESC ( v"},
        {W(SetRelVPosV2(d, c, 3)), "ESC ( v"},      {W(SetRelVPosV3(d, c, 3)), "ESC ( v"},
        {W(SelectColorLt(d, c, 0x201)), "ESC ( r"}, {W(SetGraphicsMode(d, c)), "ESC ( G"},
        {W(SelectPrintSpeed(d, c, 1)), "ESC ( s"},  {W(SetNextPage(d, c, 2)), "ESC ( j"},
        {W(SetOverprint(d, c, 2)), "ESC ( E"},      {W(CarriageReturn(d, c)), "CR"},
        {W(FormFeed(d, c)), "FF"},                  {W(LineFeed(d, c)), "LF"},
        {W(EndTRAQ3Mode(d, c)), "ESC @"},           {W(EndTRAQageMode(d, c)), "ESC 01"},
        {W(StartTRAQ3Mode(d, c)), "P3"},            {W(StartTRAQageMode(d, c)), "PAGE"},
        {W(GS_SetMW(d, c, 1, 2)), "GS mw"},         {W(GS_SetPrintDir(d, c, 0)), "GS di"},
        {W(GS_SetDotSize(d, c, 1)), "GS ds"},       {W(GS_SetColorOption(d, c, 1, 2, 3, 4, 5, 6)), "GS cam"},
        {W(GS_SetInkDuty(d, c, 1024)), "GS inkd"},
    };
    for (const Case& k : cases) {
        const std::vector<uint8_t> s = Write(k.w);
        const StreamCheck r = ValidateStream(s);
        ASSERT_TRUE(r.ok) << k.name << ": " << r.error << " in " << hex_of(s);
        ASSERT_EQ(r.items.size(), 1u) << k.name;
        EXPECT_EQ(r.items[0].name, k.name);
    }
    // The job-language header parses into its lines.
    const StreamCheck r = ValidateStream(Write(W(SendD4OffMode(d, c))));
    EXPECT_TRUE(r.ok) << r.error;
}

TEST(EncoderStream, RemoteCommandsPass) {
    struct Case {
        Writer w;
        const char* name;
    } cases[] = {
        {W(LoadDefault(d, c)), "LD"},            {W(SetMechSeq(d, c, 1)), "SN"},
        {W(SelectMechSeq(d, c, 1, 2)), "SN"},    {W(SelectMechSeq_04H(d, c, 4, 8, kData)), "SN"},
        {W(SelectMechSeq_04HVer3(d, c)), "SN"},  {W(SetAdjustFeed(d, c, 1, 2, 3, 4)), "AF"},
        {W(SetAdjustFeedEx(d, c, 1, 2, 3, 4, 5, 6)), "AF"}, {W(SelectTRAQ2(d, c)), "PM"},
        {W(SetCompKMode(d, c, 1)), "CB"},        {W(SetFeedMode(d, c, 1)), "PI"},
        {W(SetNoSmearMode(d, c, 1)), "NS"},      {W(SetAutoTearOffMode(d, c, 1)), "TO"},
        {W(SetPaperChkMode(d, c, 1)), "PC"},     {W(SetInkRest(d, c, 1)), "IR"},
        {W(SetParaInOut(d, c, 1)), "PN"},        {W(SetDuplex(d, c, 1)), "DP"},
        {W(SetNozzleCheck(d, c, 1)), "NC"},      {W(SetFineMode(d, c, 1)), "FM"},
        {W(SetInk(d, c, 1)), "IK"},              {W(SetAutCutMode(d, c, 1)), "AC"},
        {W(SetPaperThick(d, c, 1)), "PH"},       {W(SetPaperThick2(d, c, 1, 2)), "PH"},
        {W(SetTrimBannerMode(d, c, 1, 2)), "FP"}, {W(SetPaperPathMode(d, c, 1, 2)), "PP"},
        {W(SetUserSetting(d, c, 1, 2)), "US"},   {W(SetMedia(d, c, 1)), "MT"},
        {W(SetCopyNum(d, c, 2)), "CG"},          {W(SetSimmCopyMode(d, c)), "CS"},
        {W(EndSimmCopyMode(d, c)), "CE"},        {W(SetPaperSize(d, c, 1, 2, 3, 4)), "MS"},
        {W(SetMediaPaperID(d, c, 1, 2)), "MI"},  {W(SetDryTime(d, c, 1, 2)), "DR"},
        {W(SetDataNum(d, c, 1, 2)), "DN"},       {W(SetCutPos(d, c, 1, 2, 3, 4)), "CO"},
        {W(SetTimeStamp(d, c, 2024, 1, 2, 3, 4, 5)), "TI"}, {W(JobStart(d, c, kData, 0)), "JS"},
        {W(JobStart(d, c, kData, 8)), "JS"},     {W(JobUserName(d, c, kData, 8)), "JU"},
        {W(JobHostName(d, c, kData, 8, 1, 2)), "JH"}, {W(SetHDdata(d, c, kData, 8, 1)), "HD"},
        {W(JobEnd(d, c)), "JE"},                 {W(SetBannerMode(d, c, 1)), "EX 05"},
        {W(SetCutLineMode(d, c, 1)), "EX 14"},   {W(SetOutTray(d, c, 1)), "EX 17"},
        {W(SetUserMediaNumber(d, c, 1, 2)), "EX 1C"}, {W(SetImageType(d, c, 1, 2)), "EX 4D"},
        {W(SetPrintingModeCustom(d, c, 3, kData)), "EX 1A"},
    };
    const std::vector<uint8_t> enter = Write(W(StartRemote(d, c)));
    const std::vector<uint8_t> exit = Write(W(EndRemote(d, c)));
    for (const Case& k : cases) {
        std::vector<uint8_t> s = enter;
        const std::vector<uint8_t> cmd = Write(k.w);
        s.insert(s.end(), cmd.begin(), cmd.end());
        s.insert(s.end(), exit.begin(), exit.end());
        const StreamCheck r = ValidateStream(s);
        ASSERT_TRUE(r.ok) << k.name << ": " << r.error << " in " << hex_of(cmd);
        ASSERT_EQ(r.items.size(), 3u) << k.name;
        EXPECT_EQ(r.items[1].name, k.name);
    }
    // JX with a proper item list, and the resource header with its bytes.
    const uint8_t items[5] = {1, 1, 1, 0x2B, 0};
    std::vector<uint8_t> s = enter;
    for (const auto& cmd : {Write([&](uint8_t* d, size_t c) { return C::SetJXCommand(d, c, 5, items); }),
                            Write(W(SetIracRscComHeader(d, c, 3)))})
        s.insert(s.end(), cmd.begin(), cmd.end());
    s.insert(s.end(), {0xAA, 0xBB, 0xCC});
    s.insert(s.end(), exit.begin(), exit.end());
    const StreamCheck r = ValidateStream(s);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.names(ovcg_test::StreamItemKind::kRemoteCommand), (std::vector<std::string>{"JX", "EX 37"}));
}

TEST(EncoderStream, Level3RecordsOfBothHoldersPass) {
    const CTRAQ3V1::Point dev{720, 720}, res{720, 720}, sheet{4000, 6000}, area{3900, 5800}, margin{50, 100};
    CTRAQ3V1_1 v1(dev, res, sheet, area, margin);
    CTRAQ3V1_2 v2(dev, res, sheet, area, margin);
    v2.vSetqltyPhoto(150, 1, 2, 3, 4, 5, 6, 3, nullptr);
    for (CTRAQ3V1* h : {static_cast<CTRAQ3V1*>(&v1), static_cast<CTRAQ3V1*>(&v2)}) {
        h->vSetdsndDataLength(4);
        std::vector<uint8_t> s;
        auto add = [&](const void* p, unsigned n) {
            if (!p) return;
            const auto* b = static_cast<const uint8_t*>(p);
            s.insert(s.end(), b, b + n);
        };
        add(h->pvGet_SetPrintingQuality(), h->uiGetLength_SetPrintingQuality());
        add(h->pvGet_MakePage(), h->uiGetLength_MakePage());
        add(h->pvGet_MakeImageObject(), h->uiGetLength_MakeImageObject());
        add(h->pvGet_SendData(), h->uiGetLength_SendData());
        s.insert(s.end(), {1, 2, 3, 4});
        add(h->pvGet_Proceed(), h->uiGetLength_Proceed());
        add(h->pvGet_EndOfPage(), h->uiGetLength_EndOfPage());
        add(h->pvGet_TerminatePage(), h->uiGetLength_TerminatePage());
        const StreamCheck r = ValidateStream(s);
        EXPECT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.names(ovcg_test::StreamItemKind::kLevel3Record),
                  (std::vector<std::string>{"qlty", "make", "mkim", "dsnd", "proc", "endp", "term"}));
    }
}

}  // namespace
}  // namespace ovcg::test
