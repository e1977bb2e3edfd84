#include "engine/pixel_expander.h"

#include <limits>
#include <new>

namespace ovcg {

int PixelExpander::GetSrcFormat(int format) {
    m_enabled = format == kFormatRGB;
    return m_enabled ? kFormatRGBX : format;
}

int PixelExpander::Convert(unsigned int lines, unsigned int pixels, tagBANDBMP* in, tagBANDBMP* out) {
    if (!in || !out) return 0;
    if (!m_enabled) {
        out->Bits = in->Bits;
        out->WidthBytes = in->WidthBytes;
        return 1;
    }
    if (lines == 0 || pixels == 0 || !in->Bits) return 0;
    const uint64_t inLine = static_cast<uint64_t>(pixels) * 3;
    const uint64_t outLine = static_cast<uint64_t>(pixels) * 4;
    if (in->WidthBytes < inLine || outLine > std::numeric_limits<uint32_t>::max()) return 0;
    if (lines != m_lines || pixels != m_pixels) {
        try {
            m_buffer.assign(static_cast<size_t>(outLine) * lines, 0);
        } catch (const std::bad_alloc&) {
            m_buffer.clear();
            m_lines = m_pixels = 0;
            return 0;
        }
        m_lines = lines;
        m_pixels = pixels;
    }
    for (unsigned int y = 0; y < lines; ++y) {
        const uint8_t* s = in->Bits + static_cast<size_t>(y) * in->WidthBytes;
        uint8_t* d = m_buffer.data() + static_cast<size_t>(y) * outLine;
        for (unsigned int x = 0; x < pixels; ++x, s += 3, d += 4) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = 0;
        }
    }
    out->Bits = m_buffer.data();
    out->WidthBytes = static_cast<uint32_t>(outLine);
    return 1;
}

int PixelExpander::End() {
    m_buffer.clear();
    m_buffer.shrink_to_fit();
    m_lines = m_pixels = 0;
    m_enabled = false;
    return 1;
}

}  // namespace ovcg
