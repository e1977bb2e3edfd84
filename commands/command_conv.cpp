#include "commands/command_conv.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "common/byte_writer.h"

namespace ovcg {
namespace {

constexpr uint8_t ESC = 0x1B;
constexpr uint8_t GS = 0x1D;

// Fixed bytes of each command. The bytes at parameter positions are
// placeholders that the writer overwrites.

// Level-2 escape commands.
constexpr uint8_t ResetPrinterCom[] = {ESC, 0x40};
constexpr uint8_t SelectUnidirCom[] = {ESC, 0x55, 0x00};
constexpr uint8_t SelectBinCom[] = {ESC, 0x19, 0x00};
constexpr uint8_t SelectColorCom[] = {ESC, 0x72, 0x00};
constexpr uint8_t SetLineAdvanceAmountCom[] = {ESC, 0x2B, 0x00};
constexpr uint8_t ForcePrintCom[] = {ESC, 0x06};
constexpr uint8_t CarriageReturnCom[] = {0x0D};
constexpr uint8_t FormFeedCom[] = {0x0C};
constexpr uint8_t LineFeedCom[] = {0x0A};
constexpr uint8_t EscByte[] = {ESC};
constexpr uint8_t SetAbsHPosCom[] = {ESC, 0x24, 0x00, 0x00};
constexpr uint8_t SetRelHPosCom[] = {ESC, 0x5C, 0x00, 0x00};
constexpr uint8_t SetUnitCom[] = {ESC, 0x28, 0x55, 0x01, 0x00, 0x00};
constexpr uint8_t SetUnitExCom[] = {ESC, 0x28, 0x55, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SetImageResolutionCom[] = {ESC, 0x28, 0x44, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SetDataProcSettingCom[] = {ESC, 0x28, 0x41, 0x09, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t SelectPrinterMWCom[] = {ESC, 0x28, 0x69, 0x01, 0x00, 0x00};
constexpr uint8_t SelectPrinterMWExCom[] = {ESC, 0x28, 0x69, 0x03, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SelectDotsizeCom[] = {ESC, 0x28, 0x65, 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SelectDotsizeExCom[] = {ESC, 0x28, 0x65, 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SelectMonoModeCom[] = {ESC, 0x28, 0x4B, 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SelectESCKParamCom[] = {ESC, 0x28, 0x4B, 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SetPageLengthCom[] = {ESC, 0x28, 0x43, 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SetPageLengthExCom[] = {ESC, 0x28, 0x43, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SetPageFormatCom[] = {ESC, 0x28, 0x63, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SetPageFormatExCom[] = {ESC, 0x28, 0x63, 0x08, 0x00, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t SetPaperDimensionCom[] = {ESC, 0x28, 0x53, 0x08, 0x00, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t SetRelFineHPosCom[] = {ESC, 0x28, 0x5C, 0x04, 0x00, 0xA0, 0x05, 0x00, 0x00};
constexpr uint8_t SetAbsVPosCom[] = {ESC, 0x28, 0x56, 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SetRelVPosCom[] = {ESC, 0x28, 0x76, 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SetRelVPosComV2[] = {ESC, 0x28, 0x76, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SetRelVPosComV3[] = {ESC, 0x28, 0x76, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01};
constexpr uint8_t SetColorLtCom[] = {ESC, 0x28, 0x72, 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SetGraphicsModeCom[] = {ESC, 0x28, 0x47, 0x01, 0x00, 0x01};
constexpr uint8_t SelectPrintSpeedCom[] = {ESC, 0x28, 0x73, 0x01, 0x00, 0x00};
constexpr uint8_t PrintRasterGraphicsCom[] = {ESC, 0x2E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SetNextPageCom[] = {ESC, 0x28, 0x6A, 0x01, 0x00, 0x00};
constexpr uint8_t SetOverprintCom[] = {ESC, 0x28, 0x45, 0x02, 0x00, 0x00, 0x00};

// Mode switches.
constexpr uint8_t StartRemoteCom[] = {ESC, 0x28, 0x52, 0x08, 0x00, 0x00, 'R', 'E', 'M', 'O', 'T', 'E', '1'};
constexpr uint8_t EndRemoteCom[] = {ESC, 0x00, 0x00, 0x00};
constexpr uint8_t D4OffCom[] = {0x00, 0x00, 0x00, ESC, 0x01, '@', 'K', 'R', 'Q', ' ', '1', '2', '8', '4',
                                '.',  '4',  0x0A, '@', 'K',  'R', 'Q', ' ', ' ', ' ', ' ', ' ', 0x0A};
constexpr uint8_t StartTRAQ3ModeCom[] = {ESC, 0x28, 0x52, 0x03, 0x00, 0x00, 'P', '3'};
constexpr uint8_t EndTRAQ3ModeCom[] = {ESC, 0x40};
constexpr uint8_t StartTRAQageModeCom[] = {ESC, 0x28, 0x52, 0x05, 0x00, 0x00, 'P', 'A', 'G', 'E'};
constexpr uint8_t EndTRAQageModeCom[] = {ESC, 0x01};

// Remote-mode commands: two letters, a u16 count of what follows, then that.
constexpr uint8_t LoadDefaultCom[] = {'L', 'D', 0x00, 0x00};
constexpr uint8_t SetMechSeqCom[] = {'S', 'N', 0x03, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SetGapSeqCom[] = {'S', 'N', 0x03, 0x00, 0x00, 0x01, 0x00};
constexpr uint8_t SelectMechSeqCom[] = {'S', 'N', 0x03, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SetSNxxHCom[] = {'S', 'N', 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SN01HCom[] = {'S', 'N', 0x01, 0x00, 0x00};
constexpr uint8_t SetAdjustFeedCom[] = {'A', 'F', 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SetAdjustFeedExCom[] = {'A', 'F', 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SelectTRAQ2Com[] = {'P', 'M', 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SetCompKModeCom[] = {'C', 'B', 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SetFeedModeCom[] = {'P', 'I', 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SetNoSmearModeCom[] = {'N', 'S', 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SetAutoTearOffCom[] = {'T', 'O', 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SetPaperChkModeCom[] = {'P', 'C', 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SetInkRestCom[] = {'I', 'R', 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SetParaInOutCom[] = {'P', 'N', 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SetDuplexCom[] = {'D', 'P', 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SetNozzleChkCom[] = {'N', 'C', 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SetFineModeCom[] = {'F', 'M', 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SetInkCom[] = {'I', 'K', 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SetAutCutCom[] = {'A', 'C', 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SetPaperThickCom[] = {'P', 'H', 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t SetPaperThick2Com[] = {'P', 'H', 0x03, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SetTrimBannerCom[] = {'F', 'P', 0x03, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SetPaperPathCom[] = {'P', 'P', 0x03, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SetUserSettingCom[] = {'U', 'S', 0x03, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SetMediaCom[] = {'M', 'T', 0x03, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SetCopyNumCom[] = {'C', 'G', 0x03, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SetSimmCopyModeCom[] = {'C', 'S', 0x02, 0x00, 0x00, 0x00};
constexpr uint8_t EndSimmCopyModeCom[] = {'C', 'E', 0x01, 0x00, 0x00};
constexpr uint8_t SetPaperSizeCom[] = {'M', 'S', 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SetMediaPaperIDCom[] = {'M', 'I', 0x04, 0x00, 0x00, 0x01, 0x00, 0x00};
constexpr uint8_t SetDryTimeCom[] = {'D', 'R', 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SetDataNumCom[] = {'D', 'N', 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SetCutPosCom[] = {'C', 'O', 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t TimeStampCom[] = {'T', 'I', 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SetJobStartCom[] = {'J', 'S', 0x00, 0x00, 0x00};
constexpr uint8_t SetJobUserNameCom[] = {'J', 'U', 0x00, 0x00, 0x00};
constexpr uint8_t SetJobHostNameCom[] = {'J', 'H', 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SetHDCom[] = {'H', 'D', 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t SetJXxxHCom[] = {'J', 'X', 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t JobEndCom[] = {'J', 'E', 0x01, 0x00, 0x00};
constexpr uint8_t SetBannerModeCom[] = {'E', 'X', 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x00};
constexpr uint8_t SetCutLineCom[] = {'E', 'X', 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x14, 0x00};
constexpr uint8_t SetOutTrayCom[] = {'E', 'X', 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x17, 0x00};
constexpr uint8_t SetUserMediaNumberCom[] = {'E', 'X', 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1C, 0x00, 0x00};
constexpr uint8_t SetImageTypeCom[] = {'E', 'X', 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x4D, 0x00, 0x00};
constexpr uint8_t SetPrintingModeCustomCom[] = {'E', 'X', 0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1A,
                                                0,   0,   0,    0,    0,    0,    0,    0};
constexpr uint8_t SetIracRscCom[] = {'E', 'X', 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x37, 0x00};

// Page-language binary commands: GS, the binary byte count in decimal, the
// name, "{E", then the binary bytes.
constexpr uint8_t GS_MWCom[] = {GS, '2', 'm', 'w', '{', 'E', 0x00, 0x00};
constexpr uint8_t GS_PrintDirCom[] = {GS, '1', 'd', 'i', '{', 'E', 0x00};
constexpr uint8_t GS_DotSizeCom[] = {GS, '1', 'd', 's', '{', 'E', 0x00};
constexpr uint8_t GS_ColorOptCom[] = {GS,  '7', ';', '0', ';', '2', ';', '3', 'c', 'a',
                                      'm', '{', 'E', 0x0A, 0,   0,   0,   0,   0,   0};
constexpr uint8_t GS_InkDutyCom[] = {GS, '4', 'i', 'n', 'k', 'd', '{', 'E', 0x00, 0x00, 0x00, 0x00};

constexpr size_t kTextMax = 255;

// A parameter stored over the template: `size` bytes of `value` at `at`.
struct Field {
    size_t at;
    size_t size;
    uint32_t value;
    bool big_endian = false;
};

void store(uint8_t* p, size_t len, const Field& f) {
    if (f.at > len || f.size > len - f.at) return;  // cannot happen with the templates above
    for (size_t i = 0; i < f.size; ++i) {
        size_t shift = f.big_endian ? (f.size - 1 - i) * 8 : i * 8;
        p[f.at + i] = static_cast<uint8_t>(f.value >> shift);
    }
}

template <size_t N>
int emit(uint8_t* dest, size_t cap, const uint8_t (&tmpl)[N], std::initializer_list<Field> fields = {}) {
    ByteWriter w(dest, cap);
    uint8_t* p = w.take(N);
    if (!p) return CPCommandConv::kNoRoom;
    std::memcpy(p, tmpl, N);
    for (const Field& f : fields) store(p, N, f);
    return static_cast<int>(N);
}

// Remote command whose data block follows a fixed head (and, for JS, a
// trailing 00). The count at offset 2 covers everything after it.
template <size_t N>
int emit_remote_data(uint8_t* dest, size_t cap, const uint8_t (&head)[N], std::initializer_list<Field> fields,
                     const uint8_t* d, size_t n, size_t trailing_zeros = 0) {
    if (n && !d) return CPCommandConv::kBadArg;
    const size_t total = N + n + trailing_zeros;
    const size_t count = total - 4;
    if (count > 0xFFFF) return CPCommandConv::kBadArg;
    ByteWriter w(dest, cap);
    if (!w.reserve(total)) return CPCommandConv::kNoRoom;
    uint8_t* p = w.take(N);
    std::memcpy(p, head, N);
    for (const Field& f : fields) store(p, N, f);
    store(p, N, {2, 2, static_cast<uint32_t>(count)});
    w.bytes(d, n);
    w.fill(0x00, trailing_zeros);
    return static_cast<int>(total);
}

// Fixed-size command whose last `block` bytes hold up to `block` data bytes,
// zero-filled after them.
template <size_t N>
int emit_block(uint8_t* dest, size_t cap, const uint8_t (&tmpl)[N], size_t block, const uint8_t* d, int n) {
    if (n < 0 || static_cast<size_t>(n) > block || (n > 0 && !d)) return CPCommandConv::kBadArg;
    int r = emit(dest, cap, tmpl);
    if (r < 0) return r;
    if (n > 0) std::memcpy(dest + N - block, d, static_cast<size_t>(n));
    return r;
}

struct UnitBase {
    uint16_t base;
    uint8_t per_v, per_h;
};

// Base unit and per-axis quotients shared by SetUnitEx and SetImageResolution.
bool unit_base(uint16_t vres, uint16_t hres, UnitBase& out) {
    if (vres == 0 || hres == 0) return false;
    uint16_t base;
    if (vres % 150 != 0 && hres % 150 != 0 && vres <= 1440 && hres <= 1440)
        base = 1440;
    else
        base = vres > hres ? vres : hres;
    out = {base, static_cast<uint8_t>(base / vres), static_cast<uint8_t>(base / hres)};
    return true;
}

}  // namespace

// Level-2 escape commands.

int CPCommandConv::ResetPrinter(uint8_t* dest, size_t cap) { return emit(dest, cap, ResetPrinterCom); }
int CPCommandConv::SelectUnidir(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SelectUnidirCom, {{2, 1, m}});
}
int CPCommandConv::SelectBin(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SelectBinCom, {{2, 1, m}});
}
int CPCommandConv::SelectColor(uint8_t* dest, size_t cap, uint8_t c) {
    return emit(dest, cap, SelectColorCom, {{2, 1, c}});
}
int CPCommandConv::SetLineAdvanceAmount(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SetLineAdvanceAmountCom, {{2, 1, m}});
}
int CPCommandConv::ForcePrint(uint8_t* dest, size_t cap) { return emit(dest, cap, ForcePrintCom); }
int CPCommandConv::CarriageReturn(uint8_t* dest, size_t cap) { return emit(dest, cap, CarriageReturnCom); }
int CPCommandConv::FormFeed(uint8_t* dest, size_t cap) { return emit(dest, cap, FormFeedCom); }
int CPCommandConv::LineFeed(uint8_t* dest, size_t cap) { return emit(dest, cap, LineFeedCom); }
int CPCommandConv::SendESC(uint8_t* dest, size_t cap) { return emit(dest, cap, EscByte); }
int CPCommandConv::SetAbsHPos(uint8_t* dest, size_t cap, uint16_t x) {
    return emit(dest, cap, SetAbsHPosCom, {{2, 2, x}});
}
int CPCommandConv::SetRelHPos(uint8_t* dest, size_t cap, uint16_t x) {
    return emit(dest, cap, SetRelHPosCom, {{2, 2, x}});
}
int CPCommandConv::SetUnit(uint8_t* dest, size_t cap, uint8_t u) {
    return emit(dest, cap, SetUnitCom, {{5, 1, u}});
}
int CPCommandConv::SetUnitEx(uint8_t* dest, size_t cap, uint16_t vres, uint16_t hres) {
    UnitBase u;
    if (!unit_base(vres, hres, u)) return kBadArg;
    return emit(dest, cap, SetUnitExCom, {{5, 1, u.per_v}, {6, 1, u.per_v}, {7, 1, u.per_h}, {8, 2, u.base}});
}
int CPCommandConv::SetImageResolution(uint8_t* dest, size_t cap, uint16_t vres, uint16_t hres) {
    UnitBase u;
    if (!unit_base(vres, hres, u)) return kBadArg;
    return emit(dest, cap, SetImageResolutionCom, {{5, 2, u.base}, {7, 1, u.per_v}, {8, 1, u.per_h}});
}
int CPCommandConv::SetDataProcSetting(uint8_t* dest, size_t cap, const uint8_t* d, int n) {
    return emit_block(dest, cap, SetDataProcSettingCom, 9, d, n);
}
int CPCommandConv::SelectPrinterMW(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SelectPrinterMWCom, {{5, 1, m}});
}
int CPCommandConv::SelectPrinterMWEx(uint8_t* dest, size_t cap, uint8_t a, uint8_t b, uint8_t c) {
    return emit(dest, cap, SelectPrinterMWExCom, {{5, 1, a}, {6, 1, b}, {7, 1, c}});
}
int CPCommandConv::SelectDotsize(uint8_t* dest, size_t cap, uint16_t d) {
    return emit(dest, cap, SelectDotsizeCom, {{6, 1, d}});
}
int CPCommandConv::SelectDotsizeEx(uint8_t* dest, size_t cap, uint16_t d) {
    return emit(dest, cap, SelectDotsizeExCom, {{6, 1, d}});
}
int CPCommandConv::SelectMonoMode(uint8_t* dest, size_t cap, uint16_t m) {
    return emit(dest, cap, SelectMonoModeCom, {{6, 1, m}});
}
int CPCommandConv::SelectBlackPrintMode(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SelectESCKParamCom, {{5, 1, 0x01}, {6, 1, m}});
}
int CPCommandConv::SelectDriverColorSetting(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SelectESCKParamCom, {{5, 1, 0x02}, {6, 1, m}});
}
int CPCommandConv::SetPageLength(uint8_t* dest, size_t cap, uint16_t n) {
    return emit(dest, cap, SetPageLengthCom, {{5, 2, n}});
}
int CPCommandConv::SetPageLengthEx(uint8_t* dest, size_t cap, uint32_t n) {
    return emit(dest, cap, SetPageLengthExCom, {{5, 4, n}});
}
int CPCommandConv::SetPageFormat(uint8_t* dest, size_t cap, uint16_t top, uint16_t bottom) {
    return emit(dest, cap, SetPageFormatCom, {{5, 2, top}, {7, 2, bottom}});
}
int CPCommandConv::SetPageFormatEx(uint8_t* dest, size_t cap, uint32_t top, uint32_t bottom) {
    return emit(dest, cap, SetPageFormatExCom, {{5, 4, top}, {9, 4, bottom}});
}
int CPCommandConv::SetPaperDimension(uint8_t* dest, size_t cap, uint32_t width, uint32_t length) {
    return emit(dest, cap, SetPaperDimensionCom, {{5, 4, width}, {9, 4, length}});
}
int CPCommandConv::SetRelFineHPos(uint8_t* dest, size_t cap, uint16_t x) {
    return emit(dest, cap, SetRelFineHPosCom, {{7, 2, x}});
}
int CPCommandConv::SetAbsVPos(uint8_t* dest, size_t cap, uint16_t y) {
    return emit(dest, cap, SetAbsVPosCom, {{5, 2, y}});
}
int CPCommandConv::SetRelVPos(uint8_t* dest, size_t cap, uint16_t y) {
    return emit(dest, cap, SetRelVPosCom, {{5, 2, y}});
}
int CPCommandConv::SetRelVPosV2(uint8_t* dest, size_t cap, uint32_t y) {
    return emit(dest, cap, SetRelVPosComV2, {{5, 4, y}});
}
int CPCommandConv::SetRelVPosV3(uint8_t* dest, size_t cap, uint32_t y) {
    return emit(dest, cap, SetRelVPosComV3, {{5, 4, y}});
}
int CPCommandConv::SelectColorLt(uint8_t* dest, size_t cap, uint16_t c) {
    return emit(dest, cap, SetColorLtCom, {{5, 2, c}});
}
int CPCommandConv::SetGraphicsMode(uint8_t* dest, size_t cap) { return emit(dest, cap, SetGraphicsModeCom); }
int CPCommandConv::SelectPrintSpeed(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SelectPrintSpeedCom, {{5, 1, m}});
}
int CPCommandConv::PrintRasterGraphics(uint8_t* dest, size_t cap, uint8_t a, uint8_t b, uint8_t c, uint8_t d,
                                       uint16_t w) {
    return emit(dest, cap, PrintRasterGraphicsCom, {{2, 1, a}, {3, 1, b}, {4, 1, c}, {5, 1, d}, {6, 2, w}});
}
int CPCommandConv::SetNextPage(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SetNextPageCom, {{5, 1, m}});
}
int CPCommandConv::SetOverprint(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SetOverprintCom, {{6, 1, m}});
}
int CPCommandConv::SendBlank(uint8_t* dest, size_t cap, int n) {
    if (n < 0) return kBadArg;
    if (n == 0) return 0;
    ByteWriter w(dest, cap);
    if (!w.fill(0x00, static_cast<size_t>(n))) return kNoRoom;
    return n;
}

// Mode switches.

int CPCommandConv::StartRemote(uint8_t* dest, size_t cap) { return emit(dest, cap, StartRemoteCom); }
int CPCommandConv::EndRemote(uint8_t* dest, size_t cap) { return emit(dest, cap, EndRemoteCom); }
int CPCommandConv::SendD4OffMode(uint8_t* dest, size_t cap) { return emit(dest, cap, D4OffCom); }
int CPCommandConv::StartTRAQ3Mode(uint8_t* dest, size_t cap) { return emit(dest, cap, StartTRAQ3ModeCom); }
int CPCommandConv::EndTRAQ3Mode(uint8_t* dest, size_t cap) { return emit(dest, cap, EndTRAQ3ModeCom); }
int CPCommandConv::StartTRAQageMode(uint8_t* dest, size_t cap) { return emit(dest, cap, StartTRAQageModeCom); }
int CPCommandConv::EndTRAQageMode(uint8_t* dest, size_t cap) { return emit(dest, cap, EndTRAQageModeCom); }

// Remote-mode commands.

int CPCommandConv::LoadDefault(uint8_t* dest, size_t cap) { return emit(dest, cap, LoadDefaultCom); }
int CPCommandConv::SetMechSeq(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SetMechSeqCom, {{6, 1, m}});
}
int CPCommandConv::SetGapSeq(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SetGapSeqCom, {{6, 1, m}});
}
int CPCommandConv::SelectMechSeq(uint8_t* dest, size_t cap, uint8_t k, uint8_t m) {
    return emit(dest, cap, SelectMechSeqCom, {{5, 1, k}, {6, 1, m}});
}
int CPCommandConv::SelectMechSeq_04H(uint8_t* dest, size_t cap, uint8_t k, uint16_t n, const uint8_t* d) {
    return emit_remote_data(dest, cap, SetSNxxHCom, {{5, 1, k}}, d, n);
}
int CPCommandConv::SelectMechSeq_04HVer3(uint8_t* dest, size_t cap) { return emit(dest, cap, SN01HCom); }
int CPCommandConv::SetAdjustFeed(uint8_t* dest, size_t cap, uint8_t k, uint16_t a, uint16_t b, uint8_t add) {
    return emit(dest, cap, SetAdjustFeedCom, {{5, 1, static_cast<uint8_t>(k + add)}, {6, 2, a}, {8, 2, b}});
}
int CPCommandConv::SetAdjustFeedEx(uint8_t* dest, size_t cap, uint8_t k1, uint8_t k2, uint16_t a, uint16_t b,
                                   uint8_t add1, uint8_t add2) {
    return emit(dest, cap, SetAdjustFeedExCom,
                {{5, 1, static_cast<uint8_t>(k1 + add1)}, {6, 1, static_cast<uint8_t>(k2 + add2)}, {7, 2, a},
                 {9, 2, b}});
}
int CPCommandConv::SelectTRAQ2(uint8_t* dest, size_t cap) { return emit(dest, cap, SelectTRAQ2Com); }
int CPCommandConv::SetCompKMode(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SetCompKModeCom, {{5, 1, m}});
}
int CPCommandConv::SetFeedMode(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SetFeedModeCom, {{5, 1, m}});
}
int CPCommandConv::SetNoSmearMode(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SetNoSmearModeCom, {{5, 1, m}});
}
int CPCommandConv::SetAutoTearOffMode(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SetAutoTearOffCom, {{5, 1, m}});
}
int CPCommandConv::SetPaperChkMode(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SetPaperChkModeCom, {{5, 1, m}});
}
int CPCommandConv::SetInkRest(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SetInkRestCom, {{5, 1, m}});
}
int CPCommandConv::SetParaInOut(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SetParaInOutCom, {{5, 1, m}});
}
int CPCommandConv::SetDuplex(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SetDuplexCom, {{5, 1, m}});
}
int CPCommandConv::SetNozzleCheck(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SetNozzleChkCom, {{5, 1, m}});
}
int CPCommandConv::SetFineMode(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SetFineModeCom, {{5, 1, m}});
}
int CPCommandConv::SetInk(uint8_t* dest, size_t cap, uint8_t m) { return emit(dest, cap, SetInkCom, {{5, 1, m}}); }
int CPCommandConv::SetAutCutMode(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SetAutCutCom, {{5, 1, m}});
}
int CPCommandConv::SetPaperThick(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SetPaperThickCom, {{5, 1, m}});
}
int CPCommandConv::SetPaperThick2(uint8_t* dest, size_t cap, uint8_t a, uint8_t b) {
    return emit(dest, cap, SetPaperThick2Com, {{5, 1, a}, {6, 1, b}});
}
int CPCommandConv::SetTrimBannerMode(uint8_t* dest, size_t cap, uint8_t a, uint8_t b) {
    return emit(dest, cap, SetTrimBannerCom, {{5, 1, a}, {6, 1, b}});
}
int CPCommandConv::SetPaperPathMode(uint8_t* dest, size_t cap, uint8_t a, uint8_t b) {
    return emit(dest, cap, SetPaperPathCom, {{5, 1, a}, {6, 1, b}});
}
int CPCommandConv::SetUserSetting(uint8_t* dest, size_t cap, uint8_t a, uint8_t b) {
    return emit(dest, cap, SetUserSettingCom, {{5, 1, a}, {6, 1, b}});
}
int CPCommandConv::SetMedia(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SetMediaCom, {{6, 1, m}});
}
int CPCommandConv::SetCopyNum(uint8_t* dest, size_t cap, uint16_t n) {
    return emit(dest, cap, SetCopyNumCom, {{5, 2, n}});
}
int CPCommandConv::SetSimmCopyMode(uint8_t* dest, size_t cap) { return emit(dest, cap, SetSimmCopyModeCom); }
int CPCommandConv::EndSimmCopyMode(uint8_t* dest, size_t cap) { return emit(dest, cap, EndSimmCopyModeCom); }
int CPCommandConv::SetPaperSize(uint8_t* dest, size_t cap, uint8_t a, uint8_t b, uint16_t width,
                                uint16_t length) {
    return emit(dest, cap, SetPaperSizeCom, {{6, 1, a}, {7, 1, b}, {8, 2, width}, {10, 2, length}});
}
int CPCommandConv::SetMediaPaperID(uint8_t* dest, size_t cap, uint8_t a, uint8_t b) {
    return emit(dest, cap, SetMediaPaperIDCom, {{6, 1, a}, {7, 1, b}});
}
int CPCommandConv::SetDryTime(uint8_t* dest, size_t cap, uint8_t k, uint16_t t) {
    return emit(dest, cap, SetDryTimeCom, {{5, 1, k}, {6, 2, t}});
}
int CPCommandConv::SetDataNum(uint8_t* dest, size_t cap, uint16_t a, uint16_t b) {
    return emit(dest, cap, SetDataNumCom, {{5, 2, a}, {7, 2, b}});
}
int CPCommandConv::SetCutPos(uint8_t* dest, size_t cap, uint8_t a, uint8_t b, uint8_t c, uint32_t pos) {
    return emit(dest, cap, SetCutPosCom, {{5, 1, a}, {6, 1, b}, {7, 1, c}, {8, 4, pos}});
}
int CPCommandConv::SetTimeStamp(uint8_t* dest, size_t cap, uint16_t year, uint8_t month, uint8_t day, uint8_t hour,
                                uint8_t minute, uint8_t second) {
    return emit(dest, cap, TimeStampCom,
                {{5, 2, year, true}, {7, 1, month}, {8, 1, day}, {9, 1, hour}, {10, 1, minute}, {11, 1, second}});
}
int CPCommandConv::JobStart(uint8_t* dest, size_t cap, const uint8_t* d, uint16_t n) {
    return emit_remote_data(dest, cap, SetJobStartCom, {}, d, n, 1);
}
int CPCommandConv::JobUserName(uint8_t* dest, size_t cap, const uint8_t* d, uint16_t n) {
    return emit_remote_data(dest, cap, SetJobUserNameCom, {}, d, n);
}
int CPCommandConv::JobHostName(uint8_t* dest, size_t cap, const uint8_t* d, uint16_t n, uint8_t type,
                               uint32_t id) {
    return emit_remote_data(dest, cap, SetJobHostNameCom, {{5, 1, type}, {6, 4, id}}, d, n);
}
int CPCommandConv::SetHDdata(uint8_t* dest, size_t cap, const uint8_t* d, uint16_t n, uint8_t kind) {
    return emit_remote_data(dest, cap, SetHDCom, {{5, 1, kind}}, d, n);
}
int CPCommandConv::SetJXCommand(uint8_t* dest, size_t cap, uint16_t n, const uint8_t* d) {
    return emit_remote_data(dest, cap, SetJXxxHCom, {}, d, n);
}
int CPCommandConv::JobEnd(uint8_t* dest, size_t cap) { return emit(dest, cap, JobEndCom); }
int CPCommandConv::SetBannerMode(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SetBannerModeCom, {{9, 1, m}});
}
int CPCommandConv::SetCutLineMode(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SetCutLineCom, {{9, 1, m}});
}
int CPCommandConv::SetOutTray(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, SetOutTrayCom, {{9, 1, m}});
}
int CPCommandConv::SetUserMediaNumber(uint8_t* dest, size_t cap, uint8_t a, uint8_t b) {
    return emit(dest, cap, SetUserMediaNumberCom, {{9, 1, a}, {10, 1, b}});
}
int CPCommandConv::SetImageType(uint8_t* dest, size_t cap, uint8_t a, uint8_t b) {
    return emit(dest, cap, SetImageTypeCom, {{9, 1, a}, {10, 1, b}});
}
int CPCommandConv::SetPrintingModeCustom(uint8_t* dest, size_t cap, int n, const uint8_t* d) {
    return emit_block(dest, cap, SetPrintingModeCustomCom, 8, d, n);
}
int CPCommandConv::SetIracRscComHeader(uint8_t* dest, size_t cap, uint16_t n) {
    const uint32_t count = uint32_t{n} + 6;
    if (count > 0xFFFF) return kBadArg;
    return emit(dest, cap, SetIracRscCom, {{2, 2, count}});
}

// Page-language binary commands.

int CPCommandConv::GS_SetMW(uint8_t* dest, size_t cap, uint8_t a, uint8_t b) {
    return emit(dest, cap, GS_MWCom, {{6, 1, a}, {7, 1, b}});
}
int CPCommandConv::GS_SetPrintDir(uint8_t* dest, size_t cap, int bidir) {
    return emit(dest, cap, GS_PrintDirCom, {{6, 1, bidir == 0 ? 1u : 0u}});
}
int CPCommandConv::GS_SetDotSize(uint8_t* dest, size_t cap, uint8_t m) {
    return emit(dest, cap, GS_DotSizeCom, {{6, 1, m}});
}
int CPCommandConv::GS_SetColorOption(uint8_t* dest, size_t cap, int a, int b, int c, int d, int e, int f) {
    auto lo = [](int v) { return static_cast<uint32_t>(v) & 0xFFu; };
    return emit(dest, cap, GS_ColorOptCom,
                {{14, 1, lo(a)}, {15, 1, lo(b)}, {16, 1, lo(c)}, {17, 1, lo(d)}, {18, 1, lo(e)}, {19, 1, lo(f)}});
}
int CPCommandConv::GS_SetInkDuty(uint8_t* dest, size_t cap, int duty) {
    return emit(dest, cap, GS_InkDutyCom, {{8, 4, static_cast<uint32_t>(duty), true}});
}

// Page-language text commands.

int CPCommandConv::WriteTRAQage(uint8_t* dest, size_t cap, const char* format, ...) {
    if (!format) return kBadArg;
    char text[kTextMax + 1];
    va_list args;
    va_start(args, format);
    int len = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (len < 0 || static_cast<size_t>(len) > kTextMax) return kBadArg;
    if (len == 0) return 0;
    ByteWriter w(dest, cap);
    if (!w.bytes(text, static_cast<size_t>(len))) return kNoRoom;
    return len;
}

#define OVCG_GS "\x1D"

int CPCommandConv::GS_SetDriverPageMode(uint8_t* dest, size_t cap) {
    return WriteTRAQage(dest, cap, OVCG_GS "10pmE");
}
int CPCommandConv::GS_HardReset(uint8_t* dest, size_t cap) { return WriteTRAQage(dest, cap, OVCG_GS "rhE"); }
int CPCommandConv::GS_SetMemoryMode(uint8_t* dest, size_t cap) {
    return WriteTRAQage(dest, cap, OVCG_GS "1;10;3mmE");
}
int CPCommandConv::GS_SetMinUnit(uint8_t* dest, size_t cap, int res) {
    const char* unit = res == 360 ? ".20" : res == 720 ? ".10" : res == 1440 ? ".05" : nullptr;
    if (!unit) return 0;
    return WriteTRAQage(dest, cap, OVCG_GS "0;%smuE", unit);
}
int CPCommandConv::GS_SetRenderRes(uint8_t* dest, size_t cap, int a, int b) {
    return WriteTRAQage(dest, cap, OVCG_GS "%d;%dreE", a, b);
}
int CPCommandConv::GS_SetPrintRes(uint8_t* dest, size_t cap, int a, int b) {
    return WriteTRAQage(dest, cap, OVCG_GS "%d;%dprE", a, b);
}
// The end of the area is printed from a 64-bit sum so that no pair of
// 32-bit arguments overflows.
int CPCommandConv::GS_SetPrintAreaX(uint8_t* dest, size_t cap, int origin, int extent) {
    return WriteTRAQage(dest, cap, OVCG_GS "%d;%lldgsxE", origin, static_cast<long long>(origin) + extent);
}
int CPCommandConv::GS_SetPrintAreaY(uint8_t* dest, size_t cap, int origin, int extent) {
    return WriteTRAQage(dest, cap, OVCG_GS "%d;%lldgsyE", origin, static_cast<long long>(origin) + extent);
}
int CPCommandConv::GS_SetPaperSize(uint8_t* dest, size_t cap, int width, int length) {
    return WriteTRAQage(dest, cap, OVCG_GS "-1;%d;%dpsE", width, length);
}
int CPCommandConv::GS_SetColor(uint8_t* dest, size_t cap, int color) {
    return color ? WriteTRAQage(dest, cap, OVCG_GS "2pcsO") : WriteTRAQage(dest, cap, OVCG_GS "1;1pcsO");
}
int CPCommandConv::GS_SetLogBandPrnDir(uint8_t* dest, size_t cap) { return WriteTRAQage(dest, cap, OVCG_GS "0lbdI"); }
int CPCommandConv::GS_SetLogBandMode(uint8_t* dest, size_t cap) { return WriteTRAQage(dest, cap, OVCG_GS "1lbmI"); }
int CPCommandConv::GS_SetGamma(uint8_t* dest, size_t cap, int gamma) {
    const char* g = gamma == 150 ? "1.5" : gamma == 180 ? "1.8" : gamma == 220 ? "2.2" : nullptr;
    if (!g) return 0;
    return WriteTRAQage(dest, cap, OVCG_GS "0;2;%scigE", g);
}

#undef OVCG_GS

// Plane tables.

uint8_t CPCommandConv::PlaneToColor(uint8_t plane) {
    static constexpr uint8_t kColor[] = {0x02, 0x01, 0x04, 0x00};
    return plane < sizeof kColor ? kColor[plane] : kNoColor;
}
uint16_t CPCommandConv::PlaneToWColor(uint8_t plane) {
    static constexpr uint16_t kWColor[] = {0x0200, 0x0100, 0x0400, 0x0000, 0x0201, 0x0101};
    return plane < sizeof kWColor / sizeof kWColor[0] ? kWColor[plane] : kNoWColor;
}
uint32_t CPCommandConv::EndianConvert_4byte(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

}  // namespace ovcg
