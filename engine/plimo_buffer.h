// The job's relation between the caller's raster resolution (source) and the
// resolution of the printed dots: converts positions and lengths from one to
// the other, derives the byte geometry of one printed line, and optionally
// owns a band buffer of a fixed number of lines for all planes.
#pragma once

#include <cstdint>

#include "ovcg/ovcg_records.h"

class CPlimoBuffer {
public:
    // Throws "Illegal Parameter Exception" for planes < 1, bits per dot other
    // than 1 or 2, a zero width (also once converted to print dots), a
    // resolution that is not positive, or a line geometry that does not fit
    // 32 bits; "Memory Allocation Exception" when the band buffer cannot be
    // allocated, which includes a band buffer of 0 lines.
    CPlimoBuffer(int planes, int bitsPerDot, unsigned int offset, unsigned int width,
                 tagPOINT srcResolution, tagPOINT prtResolution, unsigned int lines, int allocate);
    virtual ~CPlimoBuffer();
    CPlimoBuffer(const CPlimoBuffer&) = delete;
    CPlimoBuffer& operator=(const CPlimoBuffer&) = delete;

    // Horizontal source dots to print dots. roundUp (1) rounds a reduction
    // up by one source dot.
    unsigned int GetHConversionValue(unsigned int value, int roundUp) const;
    // value × vertical ratio (page lengths).
    unsigned int GetVRatioValue(unsigned int value) const;
    // Vertical source lines to print lines.
    unsigned int GetVConversionValue(unsigned int value) const;
    // Fills the band buffer with zero.
    void ClearBuffer();

    tagPOINT SrcResolution() const { return m_src; }
    tagPOINT PrtResolution() const { return m_prt; }
    int Planes() const { return m_planes; }
    int BitsPerDot() const { return m_bitsPerDot; }
    unsigned int Offset() const { return m_offset; }
    unsigned int Width() const { return m_width; }
    unsigned int Lines() const { return m_lines; }
    // Print/source ratio: the quotient when print is a whole multiple of
    // source, else (source ÷ g) << 16 | (print ÷ g) with g their gcd.
    int HExpansion() const { return m_hExpansion; }
    // 0x803 (×8 ÷3) and 0x403 (×4 ÷3) for the two special ratios; else
    // factor − 1 when enlarging or keeping, 1 − factor when reducing.
    int HConversion() const { return m_hConversion; }
    int VConversion() const { return m_vConversion; }
    unsigned int HFactor() const { return m_hFactor; }
    unsigned int VFactor() const { return m_vFactor; }
    unsigned int VRatio() const { return m_vRatio; }
    unsigned int PrintOffset() const { return m_printOffset; }
    unsigned int PrintWidth() const { return m_printWidth; }
    unsigned int BitShift() const { return m_bitShift; }
    unsigned int DotsPerLine() const { return m_dotsPerLine; }
    unsigned int ShiftBits() const { return m_shiftBits; }
    unsigned int PadBits() const { return m_padBits; }
    unsigned int LineBits() const { return m_lineBits; }
    unsigned int LineBytes() const { return m_lineBytes; }
    unsigned int AllPlanesLineBytes() const { return m_allPlanesLineBytes; }
    unsigned int BufferBytes() const { return m_bufferBytes; }
    uint8_t* Buffer() const { return m_buffer; }

protected:
    void SetHExpansion(int src, int prt);
    void SetHConversion(int src, int prt);
    void SetVRatio(int src, int prt);

private:
    tagPOINT m_src;
    tagPOINT m_prt;
    int m_planes;
    int m_bitsPerDot;
    unsigned int m_offset;
    unsigned int m_width;
    unsigned int m_lines;
    int m_hExpansion = 0;
    int m_hConversion = 0;
    int m_vConversion = 0;
    unsigned int m_hFactor = 0;
    unsigned int m_vFactor = 0;
    unsigned int m_vRatio = 0;
    unsigned int m_printOffset = 0;
    unsigned int m_printWidth = 0;
    unsigned int m_bitShift = 0;
    unsigned int m_dotsPerLine = 0;
    unsigned int m_shiftBits = 0;
    unsigned int m_padBits = 0;
    unsigned int m_lineBits = 0;
    unsigned int m_lineBytes = 0;
    unsigned int m_allPlanesLineBytes = 0;
    unsigned int m_bufferBytes = 0;
    uint8_t* m_buffer = nullptr;
};
