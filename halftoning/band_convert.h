// Source-line preparation for the halftone engine: the reduction of 16-bit
// samples to 8 bits with a random dither, and the in-place pixel-format
// converters that bring one source line into the layout the engine reads.
//
// Every converter is one instantiation of BmpConverter<layout, output>; the
// historical class names are aliases of those instantiations. A converter
// first reduces a 16-bit line to 8 bits (when made for 16-bit input), then
// rearranges the 8-bit pixels in place. Converters cannot fail: the caller
// sizes the line (pixels x components bytes, twice that for 16-bit input, and
// at least one byte more than the packed gray result for the gray outputs,
// which write a terminator after the last pixel).
//
// 16-bit samples are in host byte order (`unsigned short` in memory); the
// line need not be 2-byte aligned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace ovcg {

// Reduces lines x pixels pixels of `components` 16-bit samples each to 8-bit
// samples: with r the seed's top byte, a sample v becomes
// (v - (v >> 8) + r) >> 8, so 0 stays 0, 65535 becomes 255 and v = 257q
// becomes q for every r. One seed step (seed = seed x 48828125 + 1) per
// pixel, whatever the component count; lines follow each other directly.
// src and dst may be the same buffer (the write position never passes the
// read position); otherwise they must not overlap. Nothing happens when
// pixels, lines or components is below 1. A null seed starts at 0 and is not
// written back.
void Nch16to8(const unsigned short* src, unsigned char* dst, int pixels, int lines, int components,
              unsigned int* seed);

// The converter base: the 16-bit step only.
class CBMPFormat {
public:
    CBMPFormat(int components, int is16bit);
    virtual ~CBMPFormat() = default;
    CBMPFormat(const CBMPFormat&) = delete;
    CBMPFormat& operator=(const CBMPFormat&) = delete;

    // Converts `pixels` pixels of `line` in place. alphaOut, when given,
    // receives the fourth byte of each pixel of the 4-byte gray converters.
    virtual void Convert(unsigned char* line, unsigned int pixels, unsigned char* alphaOut);

    unsigned int Seed() const { return m_seed; }
    unsigned int Components() const { return m_components; }
    bool Is16Bit() const { return m_is16bit != 0; }

protected:
    // The base step: a 16-bit line becomes an 8-bit line in place (the seed
    // carries from line to line).
    void ReduceLine(unsigned char* line, unsigned int pixels);

private:
    unsigned int m_seed = 0;
    unsigned int m_is16bit;
    unsigned int m_components;
};

// Byte order of the 8-bit source pixel.
enum class PixelLayout : uint8_t { kBGR, kRGBX, kBGRX, kCMYK };
// What the pixel becomes.
enum class PixelOutput : uint8_t {
    kRGB,   // 3 bytes R, G, B (from BGR)
    kGray,  // 1 byte (30 R + 59 G + 11 B) / 100, truncated; terminator 255
    kXRGB,  // 4 bytes X, R, G, B
    kBlack  // 1 byte, the K of CMYK; terminator 0
};

constexpr unsigned LayoutComponents(PixelLayout layout) { return layout == PixelLayout::kBGR ? 3u : 4u; }

// The rearrangement alone, on 8-bit pixels (the kernels behind Convert).
template <PixelLayout In, PixelOutput Out>
void RearrangePixels(unsigned char* line, unsigned int pixels, unsigned char* alphaOut);

template <PixelLayout In, PixelOutput Out>
class BmpConverter final : public CBMPFormat {
public:
    explicit BmpConverter(int is16bit) : CBMPFormat(static_cast<int>(LayoutComponents(In)), is16bit) {}
    void Convert(unsigned char* line, unsigned int pixels, unsigned char* alphaOut) override {
        ReduceLine(line, pixels);
        RearrangePixels<In, Out>(line, pixels, alphaOut);
    }
};

using CBGRtoRGB = BmpConverter<PixelLayout::kBGR, PixelOutput::kRGB>;
using CBGRto8BITGRAY = BmpConverter<PixelLayout::kBGR, PixelOutput::kGray>;
using CRGBXto8BITGRAY = BmpConverter<PixelLayout::kRGBX, PixelOutput::kGray>;
using CBGRXto8BITGRAY = BmpConverter<PixelLayout::kBGRX, PixelOutput::kGray>;
using CRGBXtoXRGB = BmpConverter<PixelLayout::kRGBX, PixelOutput::kXRGB>;
using CBGRXtoXRGB = BmpConverter<PixelLayout::kBGRX, PixelOutput::kXRGB>;
using CCMYKto8BITGRAY = BmpConverter<PixelLayout::kCMYK, PixelOutput::kBlack>;

// Which converter a source format and colour type take.
enum class ConverterKind : uint8_t {
    kBase,
    kBGRtoRGB,
    kBGRtoGray,
    kRGBXtoGray,
    kBGRXtoGray,
    kRGBXtoXRGB,
    kBGRXtoXRGB,
    kCMYKtoGray,
};
// Source formats: 2 BGR, 4 CMYK, 7 RGBX, 8 BGRX; colour types as the
// halftone base uses them. monochrome: the job prints one black.
ConverterKind SelectConverter(int sourceFormat, int colourType, int monochrome);
// A new converter of the kind (components: those of the base converter);
// null when memory is exhausted.
std::unique_ptr<CBMPFormat> MakeConverter(ConverterKind kind, int components, int is16bit);

}  // namespace ovcg
