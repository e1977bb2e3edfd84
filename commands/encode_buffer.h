// The level-3 encode buffers: on the level-3 path the contone bands are not
// halftoned on the host. The band driver hands each band to the job's encode
// buffer, which gathers lines into blocks of 8, compresses each block with
// the JPEG encoder or the RHV2 line codec and sends it as an image object:
// an mkim record (where the object lies), a proc record, then dsnd records
// each followed by its compressed bytes, the last one with status 1.
//
// CEncodeJpegPlusBuffer (the default) sends 12-bit JPEG with DC at sixteen
// times the precision, CEncodeJpegBuffer baseline JPEG, both from 4-byte
// pixels (RGBX, BGRX or gray expanded to g, g, g, 0); CEncodeRhv2Buffer sends
// RHV2 from 4-byte CMYK, from 4-byte RGBX / BGRX packed to 3 bytes in its own
// buffer, or from 1-byte gray.
//
// Positions are source pixels with the page's first row 0; the base row of
// the page (continuous roll: the next page starts below the last) is added
// to every row. A block collects the lines of consecutive bands from its top
// row on; its object spans the union of the contributing bands' columns, the
// rest of its lines white. A band that cannot join the held lines (it starts
// below the block, above the held lines, or needs a wider block) sends the
// block first, so no line is ever dropped or overwritten.
//
// Calling order: constructor; bInitEncodeBuffa once; per page vStartPage,
// bWriteENCODEBuff per band, bFlushENCODEBuff at the page end (and
// bOutBunnerObject on a roll). One thread at a time.
//
// Errors: writers answer false for a refused band (window outside its lines,
// sizes that do not fit 32 bits), for an allocation that fails, for an RHV2
// slice the codec refuses and for a failed send of the spooler ("Spooler
// Exception", caught here). The JPEG encoder reports its failures by
// throwing its ERR value, which leaves bConvertAndSend after the encoder is
// released; the engine core turns it into its failure code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/jpeg/jpeg_api.h"
#include "commands/traq3_records.h"
#include "engine/engine_interfaces.h"
#include "engine/spooler.h"

namespace ovcg {

class CEncodeBuffer : public IEncodeBuffer {
public:
    static constexpr uint32_t kBlockLines = 8;
    static constexpr int kOutputSize = 32768;

    // Keeps the links (not owned) and the page height. Throws
    // "Illegal Parameter Exception" without a spooler or record holder.
    CEncodeBuffer(CPlimoSpooler* spooler, CTRAQ3V1* records, uint32_t pageHeight);
    ~CEncodeBuffer() override;
    CEncodeBuffer(const CEncodeBuffer&) = delete;
    CEncodeBuffer& operator=(const CEncodeBuffer&) = delete;

    uint32_t ulGetNextRaster() const override { return m_nextRaster; }
    // White lines from the next raster (taken modulo the page height) to the
    // next multiple of 8 or the page end, as one object at the page's last
    // rows. Nothing when the next raster is at a page boundary or the page
    // height is 0.
    bool bOutBunnerObject() override;
    void vBaseVPositionIncriment() override;
    void vBaseVPositionDecriment() override;
    uint32_t ulGetBaseVPosition() const override { return m_baseVPosition; }
    void vResetBaseVPosition() override { m_baseVPosition = 0; }
    void vSetBaseVPosition(uint32_t row) override { m_baseVPosition = row; }
    uint32_t ulGetLastWritePos() const override { return m_lastWritePos; }
    void vStartPage() override;
    // The base and the JPEG buffers: formats 0, 7 and 8 (4 bytes a pixel).
    bool bInitEncodeBuffa(unsigned int resolution, int format, int convert, const tagPOINT& print) override;
    bool bWriteENCODEBuff(const TRAQ3_tagBitmapParam* bitmap, uint32_t bytesPerLine,
                          const TRAQ3_tagTargetPositionForBitmap* target, bool buffered) override;
    bool bFlushENCODEBuff() override;
    void ResetPageHeight(uint32_t height) override { m_pageHeight = height; }
    bool bCanInput8bitGray() const override { return false; }
    unsigned BytesPerPixel() const override { return m_bytesPerPixel; }

    static const uint8_t* pvPixelToAddress(const uint8_t* base, unsigned bytesPerPixel, size_t bytesPerLine,
                                           uint32_t x, uint32_t y) {
        return base + size_t{x} * bytesPerPixel + size_t{y} * bytesPerLine;
    }

    // State, for tests.
    const jpeg::SDataPattern& Pattern() const { return m_pattern; }
    uint32_t HeldLines() const { return m_held; }
    uint32_t PageHeight() const { return m_pageHeight; }
    int Format() const { return m_format; }
    uint8_t WhiteByte() const { return m_white; }

protected:
    // Compresses and sends one object: the window's lines of the bitmap (the
    // target's rows, made absolute) at stride bytesPerLine.
    virtual bool bConvertAndSend(const TRAQ3_tagBitmapParam* bitmap, size_t bytesPerLine,
                                 const TRAQ3_tagTargetPositionForBitmap* target);

    // The mkim and proc records of an object; the last write position.
    void SendObjectHeader(const TRAQ3_tagTargetPositionForBitmap& target);
    // A dsnd record with its data.
    void SendData(uint16_t status, const uint8_t* data, uint32_t length);
    void Send(const void* data, size_t length);
    // Validates the denominator and keeps the common settings.
    bool InitCommon(unsigned int resolution, int format, int convert, unsigned bytesPerPixel);
    uint8_t* Output() { return m_output; }
    CPlimoSpooler* Spooler() const { return m_spooler; }

    jpeg::SDataPattern m_pattern{};
    unsigned m_bytesPerPixel = 0;
    int m_format = -1;
    int m_convert = 0;
    uint8_t m_white = 0xFF;  // the byte of a white line

private:
    bool SendBlock();
    // Makes room for `pixels` page columns; false when memory runs out.
    bool EnsureBlock(uint64_t pixels);
    void StartBlock(uint32_t top);

    CPlimoSpooler* m_spooler;
    CTRAQ3V1* m_records;
    uint8_t* m_output = nullptr;
    std::vector<uint8_t> m_block;
    uint64_t m_blockPixels = 0;  // columns the block's lines hold
    uint32_t m_blockTop = 0;     // absolute row of the block's line 0
    uint32_t m_blockLeft = 0, m_blockRight = 0;
    uint32_t m_held = 0;
    uint16_t m_denominator = 1;
    uint32_t m_baseVPosition = 0;
    uint32_t m_pageHeight;
    uint32_t m_lastWritePos = 0;
    uint32_t m_nextRaster = 0;
    uint32_t m_pageRight = 0;  // the rightmost column written on the page
};

// 12-bit JPEG with DC at sixteen times the precision (the default encoder).
class CEncodeJpegPlusBuffer : public CEncodeBuffer {
public:
    using CEncodeBuffer::CEncodeBuffer;
    bool bInitEncodeBuffa(unsigned int resolution, int format, int convert, const tagPOINT& print) override;
};

// Baseline 8-bit JPEG.
class CEncodeJpegBuffer : public CEncodeBuffer {
public:
    using CEncodeBuffer::CEncodeBuffer;
    bool bInitEncodeBuffa(unsigned int resolution, int format, int convert, const tagPOINT& print) override;
};

// RHV2 in slices of 8 lines. Its codec type: 0 gray (1 byte a pixel: format
// 0, or any format of a gray job), 1 four bytes (format 4 of a colour job),
// 2 three bytes (formats 7 and 8 of a colour job, packed from 4 bytes in the
// buffer's own memory, BGRX turned to RGB).
class CEncodeRhv2Buffer : public CEncodeBuffer {
public:
    using CEncodeBuffer::CEncodeBuffer;
    ~CEncodeRhv2Buffer() override;

    bool bInitEncodeBuffa(unsigned int resolution, int format, int convert, const tagPOINT& print) override;
    bool bCanInput8bitGray() const override { return true; }
    uint32_t Mode() const { return m_mode; }

protected:
    bool bConvertAndSend(const TRAQ3_tagBitmapParam* bitmap, size_t bytesPerLine,
                         const TRAQ3_tagTargetPositionForBitmap* target) override;

private:
    bool SendSlices(const uint8_t* first, size_t stride, uint32_t width, uint32_t lines);
    void ReleaseCodecBuffers();

    uint32_t m_mode = 0;
    uint8_t* m_codecOut = nullptr;
    size_t m_codecOutSize = 0;
    uint8_t* m_codecWork = nullptr;
    size_t m_codecWorkSize = 0;
    std::vector<uint8_t> m_packed;  // one slice of 3-byte pixels
};

}  // namespace ovcg
