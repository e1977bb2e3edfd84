// Pixel formats of RHV2: how an image line becomes component planes for the
// token coder and how decoded planes become an output line.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ovcg::rhv2 {

// How a plane is stored in the coded area.
enum class PlaneKind : uint8_t {
    kTokens,  // token coded, with the raw escape
    kRaw,     // width bytes as they are
    kBits,    // bit 0 of each sample, 8 per byte, most significant bit first
};

struct FormatInfo {
    uint8_t components;       // planes per line
    uint8_t bytes_per_pixel;  // bytes per pixel of the image line (input and output)
    bool needs_depth;         // samples reduced to `depth` bits
    bool alpha_plane_limited; // limit mode 0: the last plane uses the second limit
};

// Null for formats 16 and above.
const FormatInfo* format_info(uint32_t format);
PlaneKind plane_kind(uint32_t format, uint32_t plane);
// Coded bytes of a plane stored without tokens.
size_t stored_plane_bytes(PlaneKind kind, uint32_t width);

// Image line (bytes_per_pixel x width bytes) -> planes (components x width).
void line_to_planes(uint32_t format, uint8_t depth, const uint8_t* src, uint32_t width,
                    uint8_t* planes);
// Planes -> image line.
void planes_to_line(uint32_t format, uint8_t depth, const uint8_t* planes, uint32_t width,
                    uint8_t* dst);

// Bit plane packing (bit 0 of each sample, most significant bit first).
void pack_bits(const uint8_t* plane, uint32_t width, uint8_t* dst);
void unpack_bits(const uint8_t* src, uint32_t width, uint8_t* plane);

}  // namespace ovcg::rhv2
