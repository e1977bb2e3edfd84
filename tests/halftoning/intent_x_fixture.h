// The band driver wired to the recording halftone engine, a real band buffer
// and the recording output module, with band bitmaps whose every pixel holds
// one value in all its samples (so each plane the engine reads shows it, in
// any byte order and after any 16-to-8-bit reduction: v x 257 reduces to v).
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "halftone_fixture.h"
#include "halftoning/intent_x.h"
#include "support/guard_page.h"

namespace ovcg_test {

using Bytes = std::vector<uint8_t>;

// A source format as a test writes it.
struct SourceKind {
    int format;
    int colourType;
    int inkSet;
    bool sixteen;
};

inline unsigned PixelBytesOf(const SourceKind& s) {
    return ovcg::CIntentX::SourcePixelBytes(s.format) * (s.sixteen ? 2u : 1u);
}
// White as the engine reads the format's planes.
inline uint8_t WhiteOf(const SourceKind& s) {
    return s.format == 4 || s.format == 10 || s.format > 100 ? 0 : 255;
}

// Writes one pixel: every colour sample v (16-bit: v x 257); the byte that
// is not colour (X of RGBX, BGRX, XRGB) gets junk the engine must not see.
inline void PutPixel(uint8_t* p, const SourceKind& s, uint8_t v) {
    const unsigned n = ovcg::CIntentX::SourcePixelBytes(s.format);
    const int junkAt = s.format == 3 ? 0 : (s.format == 7 || s.format == 8) ? 3 : -1;
    for (unsigned i = 0; i < n; ++i) {
        const uint8_t b = static_cast<int>(i) == junkAt ? 0x5A : v;
        if (s.sixteen) {
            const uint16_t w = static_cast<uint16_t>(b * 257u);
            std::memcpy(p + 2 * i, &w, 2);
        } else {
            p[i] = b;
        }
    }
}

// One band bitmap: rows x stride bytes; pixel (x, y) at frame + x.
struct TestBand {
    Bytes bits;
    tagBANDBMP bmp{};
    void Make(unsigned rows, unsigned stride) {
        bits.assign(size_t{rows} * stride + 1, 0xC3);
        bmp = tagBANDBMP{stride, bits.data()};
    }
    void Put(const SourceKind& s, unsigned x, unsigned y, uint8_t v) {
        PutPixel(bits.data() + size_t{y} * bmp.WidthBytes + size_t{x} * PixelBytesOf(s), s, v);
    }
};

class IntentXTest : public HalftoneTest {
protected:
    // Geometry with vertical resolutions src / prt (R = prt / src; L = 4
    // when src = 2 x prt) and the given page width.
    void SetupPage(unsigned width, int srcY, int prtY, int planes = 2) {
        Build(HtGeometry{planes, 1, width, {720, srcY}, {720, prtY}});
        init.band_lines = buffer->VConversion() == -1 ? 4u : 2u;
        engine.config.lines_per_row = init.band_lines / 2;
    }
    void UseSource(const SourceKind& s) {
        source = s;
        init.src_format = s.format;
        init.color_type = s.colourType;
        init.ink_set_id = s.inkSet;
        init.sixteen_bit = s.sixteen ? 1 : 0;
    }
    std::unique_ptr<ovcg::CIntentX> MakeX() { return std::make_unique<ovcg::CIntentX>(&init); }
    // With `workers` worker threads for the parallel path (0: serial).
    std::unique_ptr<ovcg::CIntentX> MakeX(unsigned workers) {
        return std::make_unique<ovcg::CIntentX>(&init, workers);
    }
    int ThrowX() {
        try {
            MakeX();
        } catch (int code) {
            return code;
        }
        return 0;
    }

    SourceKind source{7, 7, 1, false};
};

}  // namespace ovcg_test
