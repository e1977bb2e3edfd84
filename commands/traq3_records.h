// Level-3 command records.
//
// The level-3 language is a sequence of self-describing records:
//   1B, a class letter ('m' settings, 'p' page, 'o' object, 'd' data),
//   u16 BE length of what follows the 8-byte header, a four-letter name,
//   then fields of one key letter, ':' and a 1-, 2- or 4-byte BE value.
// A record holder keeps one ready-made byte image per record, lets its users
// set the fields and hands out a pointer and a length for sending. Two
// versions exist (CTRAQ3V1_1, CTRAQ3V1_2); they differ in the qlty and mkim
// layouts, the choice rules of the halftone and black-and-white values, and
// the photo block of version 2. The slut record exists in version 1 only.
//
// All writes land at fixed offsets inside the record images, so no setter can
// write outside a record whatever value it is given. Setters of fields that a
// version lacks do nothing and their getters return 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ovcg {

// X(record, field, getter prefix, value type): every plain field of the
// records, expanded into the setters vSet<record><field> and the getters
// <prefix>Get<record><field>.
#define OVCG_TRAQ3_FIELDS(X)                                  \
    X(qlty, BlackAndWhitePrinting, uc, uint8_t)               \
    X(qlty, MicroWeave, uc, uint8_t)                          \
    X(qlty, PrintingDirectionControl, uc, uint8_t)            \
    X(qlty, DotSize, uc, uint8_t)                             \
    X(qlty, HorizontalResolution, us, uint16_t)               \
    X(qlty, VerticalResolution, us, uint16_t)                 \
    X(qlty, Halftone, uc, uint8_t)                            \
    X(qlty, HtSubType, uc, uint8_t)                           \
    X(qlty, IdOfUserDefinedLUT, us, uint16_t)                 \
    X(qlty, HorizontalDevelopmentResolution, us, uint16_t)    \
    X(qlty, Overprint, us, uint16_t)                          \
    X(qlty, UpperSkip, uc, uint8_t)                           \
    X(qlty, Intent, ul, uint32_t)                             \
    X(qlty, UnitNumber, ul, uint32_t)                         \
    X(qlty, CmSubType, ul, uint32_t)                          \
    X(slut, Id, us, uint16_t)                                 \
    X(slut, DataLength, ul, uint32_t)                         \
    X(make, Denominator, us, uint16_t)                        \
    X(make, SheetWidth, ul, uint32_t)                         \
    X(make, SheetHeight, ul, uint32_t)                        \
    X(make, TopMargin, ul, uint32_t)                          \
    X(make, LeftMargin, ul, uint32_t)                         \
    X(make, PrintAreaWidth, ul, uint32_t)                     \
    X(make, PrintAreaHeight, ul, uint32_t)                    \
    X(make, Arrangement, uc, uint8_t)                         \
    X(endp, Eject, uc, uint8_t)                               \
    X(term, Eject, uc, uint8_t)                               \
    X(mkim, ObjectNumber, us, uint16_t)                       \
    X(mkim, Denominator, us, uint16_t)                        \
    X(mkim, HorizontalPosition, ul, uint32_t)                 \
    X(mkim, VerticalPosition, ul, uint32_t)                   \
    X(mkim, PrintingAreaWidth, ul, uint32_t)                  \
    X(mkim, PrintingAreaHeight, ul, uint32_t)                 \
    X(mkim, VerticalJpegPosition, ul, uint32_t)               \
    X(mkim, Format, uc, uint8_t)                              \
    X(dsnd, ObjectNumber, us, uint16_t)                       \
    X(dsnd, Status, us, uint16_t)                             \
    X(dsnd, DataLength, ul, uint32_t)

enum class Traq3Field : uint8_t {
#define OVCG_TRAQ3_ENUM(rec, name, pfx, type) rec##_##name,
    OVCG_TRAQ3_FIELDS(OVCG_TRAQ3_ENUM)
#undef OVCG_TRAQ3_ENUM
        kCount
};

// The record holder's interface; every operation does nothing or answers 0.
class CTRAQ3V1 {
public:
    struct Point {
        int32_t x, y;
    };

    virtual ~CTRAQ3V1() = default;

    // Record bytes and the number of bytes to send; null and 0 for a record
    // the version does not have.
    virtual const void* pvGet_SetPrintingQuality() const { return nullptr; }
    virtual const void* pvGet_SetUserDefinedLUT() const { return nullptr; }
    virtual const void* pvGet_MakePage() const { return nullptr; }
    virtual const void* pvGet_Proceed() const { return nullptr; }
    virtual const void* pvGet_EndOfPage() const { return nullptr; }
    virtual const void* pvGet_TerminatePage() const { return nullptr; }
    virtual const void* pvGet_MakeImageObject() const { return nullptr; }
    virtual const void* pvGet_SendData() const { return nullptr; }
    virtual unsigned uiGetLength_SetPrintingQuality() const { return 0; }
    virtual unsigned uiGetLength_SetUserDefinedLUT() const { return 0; }
    virtual unsigned uiGetLength_MakePage() const { return 0; }
    virtual unsigned uiGetLength_Proceed() const { return 0; }
    virtual unsigned uiGetLength_EndOfPage() const { return 0; }
    virtual unsigned uiGetLength_TerminatePage() const { return 0; }
    virtual unsigned uiGetLength_MakeImageObject() const { return 0; }
    virtual unsigned uiGetLength_SendData() const { return 0; }

#define OVCG_TRAQ3_BASE(rec, name, pfx, type) \
    virtual void vSet##rec##name(type) {}     \
    virtual type pfx##Get##rec##name() const { return 0; }
    OVCG_TRAQ3_FIELDS(OVCG_TRAQ3_BASE)
#undef OVCG_TRAQ3_BASE

    // The length field of qlty (the name keeps its historical prefix; the
    // value is the whole 16-bit field).
    virtual void vSetqltyCommandHeaderSize(uint16_t) {}
    virtual uint16_t ucGetqltyCommandHeaderSize() const { return 0; }

    virtual void vSetOffsetSetted(bool) {}
    virtual bool bGetOffsetSetted() const { return false; }

    // Choose the qlty F value for a halftone kind and method; false when the
    // method has no value (out is then left as it was). out may be null.
    virtual bool bSelectHalftone(int kind, int method, unsigned char* out) const {
        if (out) *out = 0;
        (void)kind, (void)method;
        return false;
    }
    // Choose the qlty B value from the printer format, the colour-setting
    // override and the print mode's monochrome value. out may be null.
    virtual bool bSelectBlackAndWhitePrinting(int format, int override_, int mono, unsigned char* out) const {
        if (out) *out = 0;
        (void)format, (void)override_, (void)mono;
        return false;
    }
    // Version 2: the photo block (gamma, six adjustments, count and values).
    virtual void vSetqltyPhoto(int a, int b, int c, int d, int e, int f, int g, int n, const int* values) {
        (void)a, (void)b, (void)c, (void)d, (void)e, (void)f, (void)g, (void)n, (void)values;
    }
};

// The record images and field access shared by both versions; each version
// supplies its layout table.
class CTRAQ3RecordSet : public CTRAQ3V1 {
public:
    enum Record : uint8_t { kQlty, kSlut, kMake, kProc, kEndp, kTerm, kMkim, kDsnd, kRecordCount };

    struct FieldPos {
        uint8_t record;
        uint8_t offset;
        uint8_t size;  // 0: the version has no such field
        char key;
    };
    struct Layout {
        const uint8_t* image[kRecordCount];
        uint8_t image_size[kRecordCount];
        FieldPos field[static_cast<size_t>(Traq3Field::kCount)];
    };

    const void* pvGet_SetPrintingQuality() const override { return bytes(kQlty); }
    const void* pvGet_SetUserDefinedLUT() const override { return bytes(kSlut); }
    const void* pvGet_MakePage() const override { return bytes(kMake); }
    const void* pvGet_Proceed() const override { return bytes(kProc); }
    const void* pvGet_EndOfPage() const override { return bytes(kEndp); }
    const void* pvGet_TerminatePage() const override { return bytes(kTerm); }
    const void* pvGet_MakeImageObject() const override { return bytes(kMkim); }
    const void* pvGet_SendData() const override { return bytes(kDsnd); }
    unsigned uiGetLength_SetPrintingQuality() const override { return size(kQlty); }
    unsigned uiGetLength_SetUserDefinedLUT() const override { return size(kSlut); }
    unsigned uiGetLength_MakePage() const override { return size(kMake); }
    unsigned uiGetLength_Proceed() const override { return size(kProc); }
    unsigned uiGetLength_EndOfPage() const override { return size(kEndp); }
    unsigned uiGetLength_TerminatePage() const override { return size(kTerm); }
    unsigned uiGetLength_MakeImageObject() const override { return size(kMkim); }
    unsigned uiGetLength_SendData() const override { return size(kDsnd); }

#define OVCG_TRAQ3_IMPL(rec, name, pfx, type)                                                      \
    void vSet##rec##name(type v) override { put(Traq3Field::rec##_##name, v); }                    \
    type pfx##Get##rec##name() const override {                                                    \
        return static_cast<type>(get(Traq3Field::rec##_##name));                                   \
    }
    OVCG_TRAQ3_FIELDS(OVCG_TRAQ3_IMPL)
#undef OVCG_TRAQ3_IMPL

    void vSetqltyCommandHeaderSize(uint16_t v) override;
    uint16_t ucGetqltyCommandHeaderSize() const override;
    void vSetOffsetSetted(bool v) override { offset_set_ = v ? 1 : 0; }
    bool bGetOffsetSetted() const override { return offset_set_ != 0; }

protected:
    // Copies the images (an allocation failure lets std::bad_alloc pass with
    // nothing leaked) and fills the geometry: H and V from the resolution, X
    // and both denominators from the larger development value, the sheet, the
    // margins (T from y, L from x) and the print area of make.
    CTRAQ3RecordSet(const Layout& layout, Point development, Point resolution, Point sheet, Point area,
                    const Point& margin);

    void put(Traq3Field f, uint32_t v);
    uint32_t get(Traq3Field f) const;
    void put_at(Record r, size_t offset, size_t size, uint32_t v);
    const uint8_t* bytes(Record r) const { return rec_[r].empty() ? nullptr : rec_[r].data(); }
    unsigned size(Record r) const { return static_cast<unsigned>(rec_[r].size()); }

    std::vector<uint8_t> rec_[kRecordCount];

private:
    const Layout& layout_;
    uint8_t offset_set_ = 0;
};

class CTRAQ3V1_1 : public CTRAQ3RecordSet {
public:
    CTRAQ3V1_1(Point development, Point resolution, Point sheet, Point area, const Point& margin);

    bool bSelectHalftone(int kind, int method, unsigned char* out) const override;
    bool bSelectBlackAndWhitePrinting(int format, int override_, int mono, unsigned char* out) const override;
};

class CTRAQ3V1_2 : public CTRAQ3RecordSet {
public:
    static constexpr int kMaxPhotoValues = 16;

    // The photo block starts out empty (count 0, length field 0x003D), so the
    // record is consistent before its first vSetqltyPhoto.
    CTRAQ3V1_2(Point development, Point resolution, Point sheet, Point area, const Point& margin);

    unsigned uiGetLength_SetPrintingQuality() const override;
    bool bSelectHalftone(int kind, int method, unsigned char* out) const override;
    bool bSelectBlackAndWhitePrinting(int format, int override_, int mono, unsigned char* out) const override;
    // a clamped to 100..300, b..g to -50..50, n to 0..16, the first n values to
    // 0..4096 and the rest 1024. A null `values` leaves all values at 1024.
    void vSetqltyPhoto(int a, int b, int c, int d, int e, int f, int g, int n, const int* values) override;

private:
    void set_photo_count(uint16_t n);
    uint16_t photo_count_ = 0;
};

}  // namespace ovcg
