#include "engine/plimo_buffer.h"

#include <climits>
#include <cstring>

#include "engine/engine_error.h"
#include "engine/platform.h"

namespace {

// Conversion codes of the two ratios that are not whole multiples: the
// multiplier in the high byte, the divisor in the low byte.
constexpr int kCode270To720 = 0x803;
constexpr int kCode540To720 = 0x403;

// Horizontal conversion without wrapping; GetHConversionValue truncates the
// result to 32 bits, the constructor refuses geometry where that would cut.
uint64_t HConvert(int code, unsigned int factor, unsigned int v, int roundUp) {
    if (code > 255) {
        const unsigned int mul = (static_cast<unsigned int>(code) >> 8) & 0xFF;
        const unsigned int div = static_cast<unsigned int>(code) & 0xFF;
        return static_cast<uint64_t>(v) * mul / div;
    }
    if (code >= 0) return static_cast<uint64_t>(v) * factor;
    if (roundUp == 1) return (static_cast<uint64_t>(v) + 1) / factor;
    return v / factor;
}

}  // namespace

CPlimoBuffer::CPlimoBuffer(int planes, int bitsPerDot, unsigned int offset, unsigned int width,
                           tagPOINT srcResolution, tagPOINT prtResolution, unsigned int lines, int allocate)
    : m_src(srcResolution),
      m_prt(prtResolution),
      m_planes(planes),
      m_bitsPerDot(bitsPerDot),
      m_offset(offset),
      m_width(width),
      m_lines(lines) {
    // Every resolution is a divisor below; a zero or negative one is refused.
    if (planes < 1 || width == 0 || (bitsPerDot != 1 && bitsPerDot != 2) || m_src.x <= 0 || m_src.y <= 0 ||
        m_prt.x <= 0 || m_prt.y <= 0)
        ovcg::ThrowMessage(ovcg::kIllegalParameterException);

    SetHExpansion(m_src.x, m_prt.x);
    SetHConversion(m_src.x, m_prt.x);
    SetVRatio(m_src.y, m_prt.y);

    const uint64_t printOffset = HConvert(m_hConversion, m_hFactor, offset, 0);
    const uint64_t printWidth = HConvert(m_hConversion, m_hFactor, width, 1);
    const uint64_t bitShift = printOffset % 8;
    const uint64_t dotsPerLine = printWidth + bitShift;
    const uint64_t lineBits = dotsPerLine * static_cast<uint64_t>(bitsPerDot);
    const uint64_t lineBytes = (lineBits + 7) / 8;
    const uint64_t allPlanes = allocate ? lineBytes * static_cast<uint64_t>(planes) : 0;
    const uint64_t bufferBytes = allPlanes * lines;
    // The geometry travels in 32-bit fields and the band buffer through a
    // signed 32-bit allocation: refuse what would wrap.
    // A width reduced to no printed dot is as empty as a zero width.
    if (printWidth == 0 || printOffset > UINT32_MAX || lineBits > UINT32_MAX || bufferBytes > INT_MAX)
        ovcg::ThrowMessage(ovcg::kIllegalParameterException);

    m_printOffset = static_cast<unsigned int>(printOffset);
    m_printWidth = static_cast<unsigned int>(printWidth);
    m_bitShift = static_cast<unsigned int>(bitShift);
    m_dotsPerLine = static_cast<unsigned int>(dotsPerLine);
    m_shiftBits = m_bitShift * static_cast<unsigned int>(bitsPerDot);
    m_lineBits = static_cast<unsigned int>(lineBits);
    m_lineBytes = static_cast<unsigned int>(lineBytes);
    m_padBits = m_lineBytes * 8 - m_lineBits;
    m_allPlanesLineBytes = static_cast<unsigned int>(allPlanes);
    m_bufferBytes = static_cast<unsigned int>(bufferBytes);

    // A band buffer of 0 lines is an empty allocation, which Mem_Alloc answers
    // with null like any other failed one.
    if (allocate) {
        m_buffer = static_cast<uint8_t*>(Mem_Alloc(static_cast<int>(m_bufferBytes)));
        if (!m_buffer) ovcg::ThrowMessage(ovcg::kMemoryAllocationException);
    }
}

CPlimoBuffer::~CPlimoBuffer() { Mem_Free(m_buffer); }

void CPlimoBuffer::SetHExpansion(int src, int prt) {
    if (prt % src == 0) {
        m_hExpansion = prt / src;
        return;
    }
    int a = prt, b = src;
    while (b != 0) {
        const int r = a % b;
        a = b;
        b = r;
    }
    m_hExpansion = ((src / a) << 16) + prt / a;
}

void CPlimoBuffer::SetHConversion(int src, int prt) {
    if (src == 270 && prt == 720) {
        m_hConversion = kCode270To720;
        m_hFactor = 0;
    } else if (src == 540 && prt == 720) {
        m_hConversion = kCode540To720;
        m_hFactor = 0;
    } else if (prt >= src) {
        m_hFactor = static_cast<unsigned int>(prt / src);
        m_hConversion = static_cast<int>(m_hFactor) - 1;
    } else {
        m_hFactor = static_cast<unsigned int>(src / prt);
        m_hConversion = 1 - static_cast<int>(m_hFactor);
    }
}

void CPlimoBuffer::SetVRatio(int src, int prt) {
    if (prt >= src) {
        m_vFactor = static_cast<unsigned int>(prt / src);
        m_vConversion = 0;
        m_vRatio = m_vFactor;
    } else {
        m_vFactor = static_cast<unsigned int>(src / prt);
        m_vConversion = 1 - static_cast<int>(m_vFactor);
        m_vRatio = 1;
    }
}

unsigned int CPlimoBuffer::GetHConversionValue(unsigned int value, int roundUp) const {
    return static_cast<unsigned int>(HConvert(m_hConversion, m_hFactor, value, roundUp));
}

unsigned int CPlimoBuffer::GetVRatioValue(unsigned int value) const { return m_vRatio * value; }

unsigned int CPlimoBuffer::GetVConversionValue(unsigned int value) const {
    if (m_vConversion >= 0) return value;
    return static_cast<unsigned int>((static_cast<uint64_t>(value) + 1) / m_vFactor);
}

void CPlimoBuffer::ClearBuffer() {
    if (m_buffer) std::memset(m_buffer, 0, m_bufferBytes);
}
