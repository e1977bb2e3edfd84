#include "commands/traq3_records.h"

#include <algorithm>

namespace ovcg {
namespace {

constexpr uint8_t ESC = 0x1B;
constexpr uint8_t FF = 0xFF;

// Record images of version 1.
namespace v1 {
constexpr uint8_t TRAQ3_SetPrintingQuality_Data[] = {
    ESC, 'm', 0x00, 0x29, 'q', 'l', 't', 'y',
    'B', ':', 0x00,
    'W', ':', 0x00,
    'D', ':', 0x00,
    'Z', ':', 0x00,
    'H', ':', 0x01, 0x68,
    'V', ':', 0x01, 0x68,
    'F', ':', 0x01,
    'S', ':', 0x00,
    'L', ':', 0x00, 0x00,
    'X', ':', 0x01, 0x68,
    'E', ':', 0x00, 0x00,
    'J', ':', 0x01,
};
constexpr uint8_t TRAQ3_SetUserDefinedLUT_Data[] = {
    ESC, 'm', 0x00, 0x0A, 's', 'l', 'u', 't',
    'I', ':', 0x00, 0x00,
    '+', ':', 0x00, 0x00, 0x00, 0x00,
};
constexpr uint8_t TRAQ3_MakeImageObject_Data[] = {
    ESC, 'o', 0x00, 0x26, 'm', 'k', 'i', 'm',
    '#', ':', 0x00, 0x00,
    'D', ':', 0x00, 0x01,
    'X', ':', 0x00, 0x00, 0x00, 0x00,
    'Y', ':', 0x00, 0x00, 0x00, 0x00,
    'W', ':', 0x00, 0x00, 0x00, 0x00,
    'H', ':', 0x00, 0x00, 0x00, 0x00,
    'J', ':', 0x00, 0x00, 0x00, 0x00,
};
static_assert(sizeof TRAQ3_SetPrintingQuality_Data == 49);
static_assert(sizeof TRAQ3_SetUserDefinedLUT_Data == 18);
static_assert(sizeof TRAQ3_MakeImageObject_Data == 46);
}  // namespace v1

// Record images of version 2 (no slut).
namespace v2 {
constexpr uint8_t TRAQ3_SetPrintingQuality_Data[] = {
    ESC, 'm', 0x00, 0x39, 'q', 'l', 't', 'y',
    'B', ':', 0x00,
    'W', ':', 0x00,
    'D', ':', 0x00,
    'Z', ':', 0x00,
    'H', ':', 0x01, 0x68,
    'V', ':', 0x01, 0x68,
    'F', ':', 0x01,
    'L', ':', 0xFF, 0xFF,
    'X', ':', 0x01, 0x68,
    'I', ':', 0x00, 0x00, 0x00, 0x00,
    'G', ':', 0x00, 0x00, 0x00, 0x00,
    'U', ':', 0x00, 0x00, 0x00, 0x00,
    'P', ':', 0x00, 0x00,                          // gamma
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00,            // six signed adjustments
    0x00, 0x01,                                    // value count
    0x04, 0x00, 0x04, 0x00, 0x04, 0x00, 0x04, 0x00,  // 16 values
    0x04, 0x00, 0x04, 0x00, 0x04, 0x00, 0x04, 0x00,
    0x04, 0x00, 0x04, 0x00, 0x04, 0x00, 0x04, 0x00,
    0x04, 0x00, 0x04, 0x00, 0x04, 0x00, 0x04, 0x00,
};
constexpr uint8_t TRAQ3_MakeImageObject_Data[] = {
    ESC, 'o', 0x00, 0x29, 'm', 'k', 'i', 'm',
    '#', ':', 0x00, 0x00,
    'D', ':', 0x00, 0x01,
    'X', ':', 0x00, 0x00, 0x00, 0x00,
    'Y', ':', 0x00, 0x00, 0x00, 0x00,
    'W', ':', 0x00, 0x00, 0x00, 0x00,
    'H', ':', 0x00, 0x00, 0x00, 0x00,
    'J', ':', 0x00, 0x00, 0x00, 0x00,
    'F', ':', 0x01,
};
static_assert(sizeof TRAQ3_SetPrintingQuality_Data == 101);
static_assert(sizeof TRAQ3_MakeImageObject_Data == 49);
}  // namespace v2

// Records the two versions share.
constexpr uint8_t TRAQ3_MakePage_Data[] = {
    ESC, 'p', 0x00, 0x2B, 'm', 'a', 'k', 'e',
    'D', ':', 0x00, 0x01,
    'M', ':', FF, FF, FF, FF,
    'N', ':', FF, FF, FF, FF,
    'T', ':', 0x00, 0x00, 0x00, 0x00,
    'L', ':', 0x00, 0x00, 0x00, 0x00,
    'W', ':', FF, FF, FF, FF,
    'H', ':', FF, FF, FF, FF,
    'A', ':', 0x02,
};
constexpr uint8_t TRAQ3_Proceed_Data[] = {ESC, 'p', 0x00, 0x00, 'p', 'r', 'o', 'c'};
constexpr uint8_t TRAQ3_EndOfPage_Data[] = {ESC, 'p', 0x00, 0x03, 'e', 'n', 'd', 'p', 'E', ':', 0x01};
constexpr uint8_t TRAQ3_TerminatePage_Data[] = {ESC, 'p', 0x00, 0x03, 't', 'e', 'r', 'm', 'E', ':', 0x01};
constexpr uint8_t TRAQ3_SendData_Data[] = {
    ESC, 'd', 0x00, 0x0E, 'd', 's', 'n', 'd',
    '#', ':', 0x00, 0x00,
    'S', ':', 0x00, 0x01,
    '+', ':', 0x00, 0x00, 0x00, 0x00,
};
static_assert(sizeof TRAQ3_MakePage_Data == 51);
static_assert(sizeof TRAQ3_SendData_Data == 22);

using RS = CTRAQ3RecordSet;
constexpr RS::FieldPos kNone = {0, 0, 0, 0};

constexpr RS::Layout kLayoutV1 = {
    {v1::TRAQ3_SetPrintingQuality_Data, v1::TRAQ3_SetUserDefinedLUT_Data, TRAQ3_MakePage_Data, TRAQ3_Proceed_Data,
     TRAQ3_EndOfPage_Data, TRAQ3_TerminatePage_Data, v1::TRAQ3_MakeImageObject_Data, TRAQ3_SendData_Data},
    {sizeof v1::TRAQ3_SetPrintingQuality_Data, sizeof v1::TRAQ3_SetUserDefinedLUT_Data, sizeof TRAQ3_MakePage_Data,
     sizeof TRAQ3_Proceed_Data, sizeof TRAQ3_EndOfPage_Data, sizeof TRAQ3_TerminatePage_Data,
     sizeof v1::TRAQ3_MakeImageObject_Data, sizeof TRAQ3_SendData_Data},
    {
        // qlty
        {RS::kQlty, 10, 1, 'B'}, {RS::kQlty, 13, 1, 'W'}, {RS::kQlty, 16, 1, 'D'}, {RS::kQlty, 19, 1, 'Z'},
        {RS::kQlty, 22, 2, 'H'}, {RS::kQlty, 26, 2, 'V'}, {RS::kQlty, 30, 1, 'F'}, {RS::kQlty, 33, 1, 'S'},
        {RS::kQlty, 36, 2, 'L'}, {RS::kQlty, 40, 2, 'X'}, {RS::kQlty, 44, 2, 'E'}, {RS::kQlty, 48, 1, 'J'},
        kNone, kNone, kNone,
        // slut
        {RS::kSlut, 10, 2, 'I'}, {RS::kSlut, 14, 4, '+'},
        // make
        {RS::kMake, 10, 2, 'D'}, {RS::kMake, 14, 4, 'M'}, {RS::kMake, 20, 4, 'N'}, {RS::kMake, 26, 4, 'T'},
        {RS::kMake, 32, 4, 'L'}, {RS::kMake, 38, 4, 'W'}, {RS::kMake, 44, 4, 'H'}, {RS::kMake, 50, 1, 'A'},
        // endp, term
        {RS::kEndp, 10, 1, 'E'}, {RS::kTerm, 10, 1, 'E'},
        // mkim
        {RS::kMkim, 10, 2, '#'}, {RS::kMkim, 14, 2, 'D'}, {RS::kMkim, 18, 4, 'X'}, {RS::kMkim, 24, 4, 'Y'},
        {RS::kMkim, 30, 4, 'W'}, {RS::kMkim, 36, 4, 'H'}, {RS::kMkim, 42, 4, 'J'}, kNone,
        // dsnd
        {RS::kDsnd, 10, 2, '#'}, {RS::kDsnd, 14, 2, 'S'}, {RS::kDsnd, 18, 4, '+'},
    },
};

constexpr RS::Layout kLayoutV2 = {
    {v2::TRAQ3_SetPrintingQuality_Data, nullptr, TRAQ3_MakePage_Data, TRAQ3_Proceed_Data, TRAQ3_EndOfPage_Data,
     TRAQ3_TerminatePage_Data, v2::TRAQ3_MakeImageObject_Data, TRAQ3_SendData_Data},
    {sizeof v2::TRAQ3_SetPrintingQuality_Data, 0, sizeof TRAQ3_MakePage_Data, sizeof TRAQ3_Proceed_Data,
     sizeof TRAQ3_EndOfPage_Data, sizeof TRAQ3_TerminatePage_Data, sizeof v2::TRAQ3_MakeImageObject_Data,
     sizeof TRAQ3_SendData_Data},
    {
        // qlty
        {RS::kQlty, 10, 1, 'B'}, {RS::kQlty, 13, 1, 'W'}, {RS::kQlty, 16, 1, 'D'}, {RS::kQlty, 19, 1, 'Z'},
        {RS::kQlty, 22, 2, 'H'}, {RS::kQlty, 26, 2, 'V'}, {RS::kQlty, 30, 1, 'F'}, kNone,
        {RS::kQlty, 33, 2, 'L'}, {RS::kQlty, 37, 2, 'X'}, kNone, kNone,
        {RS::kQlty, 41, 4, 'I'}, {RS::kQlty, 47, 4, 'G'}, {RS::kQlty, 53, 4, 'U'},
        // no slut
        kNone, kNone,
        // make
        {RS::kMake, 10, 2, 'D'}, {RS::kMake, 14, 4, 'M'}, {RS::kMake, 20, 4, 'N'}, {RS::kMake, 26, 4, 'T'},
        {RS::kMake, 32, 4, 'L'}, {RS::kMake, 38, 4, 'W'}, {RS::kMake, 44, 4, 'H'}, {RS::kMake, 50, 1, 'A'},
        // endp, term
        {RS::kEndp, 10, 1, 'E'}, {RS::kTerm, 10, 1, 'E'},
        // mkim
        {RS::kMkim, 10, 2, '#'}, {RS::kMkim, 14, 2, 'D'}, {RS::kMkim, 18, 4, 'X'}, {RS::kMkim, 24, 4, 'Y'},
        {RS::kMkim, 30, 4, 'W'}, {RS::kMkim, 36, 4, 'H'}, {RS::kMkim, 42, 4, 'J'}, {RS::kMkim, 48, 1, 'F'},
        // dsnd
        {RS::kDsnd, 10, 2, '#'}, {RS::kDsnd, 14, 2, 'S'}, {RS::kDsnd, 18, 4, '+'},
    },
};

// Every field of a layout sits right after its key letter and ':' and ends
// inside its record image, and every image's length field matches its size.
constexpr bool layout_consistent(const RS::Layout& l) {
    for (const RS::FieldPos& f : l.field) {
        if (f.size == 0) continue;
        const uint8_t* img = l.image[f.record];
        if (!img || f.offset < 10 || f.offset + f.size > l.image_size[f.record]) return false;
        if (img[f.offset - 2] != static_cast<uint8_t>(f.key) || img[f.offset - 1] != ':') return false;
    }
    for (size_t r = 0; r < RS::kRecordCount; ++r) {
        const uint8_t* img = l.image[r];
        if (!img) continue;
        if (img[0] != ESC || ((img[2] << 8) | img[3]) + 8 != l.image_size[r]) {
            // version 2's qlty image carries its historical length field;
            // the constructor makes it match the photo block.
            if (!(r == RS::kQlty && img == v2::TRAQ3_SetPrintingQuality_Data)) return false;
        }
    }
    return true;
}
static_assert(layout_consistent(kLayoutV1));
static_assert(layout_consistent(kLayoutV2));

uint32_t clamp_to(int v, int lo, int hi) { return static_cast<uint32_t>(std::clamp(v, lo, hi)); }

// Photo block of version 2's qlty.
constexpr size_t kPhotoGamma = 59;
constexpr size_t kPhotoAdjust = 61;
constexpr size_t kPhotoCount = 67;
constexpr size_t kPhotoValues = 69;
constexpr uint16_t kPhotoDefault = 1024;

}  // namespace

CTRAQ3RecordSet::CTRAQ3RecordSet(const Layout& layout, Point development, Point resolution, Point sheet,
                                 Point area, const Point& margin)
    : layout_(layout) {
    for (size_t r = 0; r < kRecordCount; ++r) {
        if (layout.image[r]) rec_[r].assign(layout.image[r], layout.image[r] + layout.image_size[r]);
    }
    const auto u = [](int32_t v) { return static_cast<uint32_t>(v); };
    put(Traq3Field::qlty_HorizontalResolution, u(resolution.x));
    put(Traq3Field::qlty_VerticalResolution, u(resolution.y));
    const uint32_t dev = u(std::max(development.x, development.y));
    put(Traq3Field::qlty_HorizontalDevelopmentResolution, dev);
    put(Traq3Field::make_Denominator, dev);
    put(Traq3Field::mkim_Denominator, get(Traq3Field::qlty_HorizontalDevelopmentResolution));
    put(Traq3Field::make_SheetWidth, u(sheet.x));
    put(Traq3Field::make_SheetHeight, u(sheet.y));
    put(Traq3Field::make_TopMargin, u(margin.y));
    put(Traq3Field::make_LeftMargin, u(margin.x));
    put(Traq3Field::make_PrintAreaWidth, u(area.x));
    put(Traq3Field::make_PrintAreaHeight, u(area.y));
}

void CTRAQ3RecordSet::put_at(Record r, size_t offset, size_t size, uint32_t v) {
    std::vector<uint8_t>& rec = rec_[r];
    if (offset > rec.size() || size > rec.size() - offset) return;
    for (size_t i = 0; i < size; ++i) rec[offset + i] = static_cast<uint8_t>(v >> (8 * (size - 1 - i)));
}

void CTRAQ3RecordSet::put(Traq3Field f, uint32_t v) {
    const FieldPos& p = layout_.field[static_cast<size_t>(f)];
    if (p.size) put_at(static_cast<Record>(p.record), p.offset, p.size, v);
}

uint32_t CTRAQ3RecordSet::get(Traq3Field f) const {
    const FieldPos& p = layout_.field[static_cast<size_t>(f)];
    const std::vector<uint8_t>& rec = rec_[p.record];
    if (!p.size || size_t{p.offset} + p.size > rec.size()) return 0;
    uint32_t v = 0;
    for (size_t i = 0; i < p.size; ++i) v = (v << 8) | rec[p.offset + i];
    return v;
}

void CTRAQ3RecordSet::vSetqltyCommandHeaderSize(uint16_t v) { put_at(kQlty, 2, 2, v); }

uint16_t CTRAQ3RecordSet::ucGetqltyCommandHeaderSize() const {
    const std::vector<uint8_t>& q = rec_[kQlty];
    return q.size() < 4 ? 0 : static_cast<uint16_t>((q[2] << 8) | q[3]);
}

// Version 1.

CTRAQ3V1_1::CTRAQ3V1_1(Point development, Point resolution, Point sheet, Point area, const Point& margin)
    : CTRAQ3RecordSet(kLayoutV1, development, resolution, sheet, area, margin) {}

bool CTRAQ3V1_1::bSelectHalftone(int kind, int method, unsigned char* out) const {
    unsigned char v;
    if (method == 1)
        v = kind == 4 ? 5 : 4;
    else if (method == 3)
        v = kind == 4 ? 2 : 0;
    else
        return false;
    if (out) *out = v;
    return true;
}

bool CTRAQ3V1_1::bSelectBlackAndWhitePrinting(int format, int override_, int mono, unsigned char* out) const {
    unsigned char v = (format == 0 || override_ == 1) ? 1 : mono != 0 ? 2 : 0;
    if (out) *out = v;
    return true;
}

// Version 2.

CTRAQ3V1_2::CTRAQ3V1_2(Point development, Point resolution, Point sheet, Point area, const Point& margin)
    : CTRAQ3RecordSet(kLayoutV2, development, resolution, sheet, area, margin) {
    set_photo_count(0);
}

void CTRAQ3V1_2::set_photo_count(uint16_t n) {
    photo_count_ = n;
    put_at(kQlty, kPhotoCount, 2, n);
    vSetqltyCommandHeaderSize(static_cast<uint16_t>(kPhotoValues - 8 + 2 * n));
}

unsigned CTRAQ3V1_2::uiGetLength_SetPrintingQuality() const {
    return static_cast<unsigned>(kPhotoValues + 2 * photo_count_);
}

bool CTRAQ3V1_2::bSelectHalftone(int kind, int method, unsigned char* out) const {
    (void)kind;
    if (method != 3) return false;
    if (out) *out = 0;
    return true;
}

bool CTRAQ3V1_2::bSelectBlackAndWhitePrinting(int format, int override_, int mono, unsigned char* out) const {
    unsigned char v = override_ == 1 ? 1 : mono != 0 ? 2 : format != 0 ? 0 : 3;
    if (out) *out = v;
    return true;
}

void CTRAQ3V1_2::vSetqltyPhoto(int a, int b, int c, int d, int e, int f, int g, int n, const int* values) {
    put_at(kQlty, kPhotoGamma, 2, clamp_to(a, 100, 300));
    const int adjust[6] = {b, c, d, e, f, g};
    for (size_t i = 0; i < 6; ++i) put_at(kQlty, kPhotoAdjust + i, 1, clamp_to(adjust[i], -50, 50) & 0xFFu);
    const int count = std::clamp(n, 0, kMaxPhotoValues);
    for (int i = 0; i < kMaxPhotoValues; ++i) {
        const uint32_t v = (values && i < count) ? clamp_to(values[i], 0, 4096) : kPhotoDefault;
        put_at(kQlty, kPhotoValues + 2 * static_cast<size_t>(i), 2, v);
    }
    set_photo_count(static_cast<uint16_t>(count));
}

}  // namespace ovcg
