// The engine's working pixel format: an RGB source pixel becomes four bytes
// (R, G, B, 0); every other source format passes through unchanged.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/engine_interfaces.h"

namespace ovcg {

class PixelExpander final : public IPixelConverter {
public:
    static constexpr int kFormatRGB = 1;
    static constexpr int kFormatRGBX = 7;

    // Format 1 (RGB) enables the expansion and answers 7; any other format
    // disables it and is answered unchanged.
    int GetSrcFormat(int format) override;
    // Disabled: out takes in's line stride and pixels. Enabled: the lines are
    // expanded into the expander's own buffer (kept while the band size does
    // not change) and out describes it. 0 when the band cannot be converted:
    // no pixels, a line stride shorter than a line, or no memory.
    int Convert(unsigned int lines, unsigned int pixels, tagBANDBMP* in, tagBANDBMP* out) override;
    // Frees the buffer and disables the expansion; 1.
    int End() override;

    bool Enabled() const { return m_enabled; }

private:
    bool m_enabled = false;
    unsigned int m_lines = 0;
    unsigned int m_pixels = 0;
    std::vector<uint8_t> m_buffer;
};

}  // namespace ovcg
