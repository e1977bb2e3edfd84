// Fuzzes the RHV2 decoders: whatever the row table and the codes say, they
// stay inside the exactly sized input, output and work blocks. An accepted
// band must survive a second trip: coded again and decoded, it comes back
// unchanged (the codec is lossless for the band formats).
//
// Input: 4 control bytes, then the data.
//   byte 0: bit 0 selects the line decoder with free parameters, else the
//           band call; bits 1..7: colour type (mod 3) or pixel format (mod 16)
//   byte 1: width 1..64     byte 2: lines 1..8
//   byte 3: band call: stride padding (mod 4); line decoder: bits 0-1 line
//           advance, bit 2 context carry, bit 3 line padding, bits 4-7 depth
#include "codecs/rhv2/rhv2.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Exactly sized heap copy, so an access past either end is caught.
std::unique_ptr<uint8_t[]> exact(const uint8_t* src, size_t n) {
    std::unique_ptr<uint8_t[]> p(new uint8_t[n ? n : 1]);
    if (n) std::memcpy(p.get(), src, n);
    return p;
}

void band_call(uint32_t type, uint32_t width, uint32_t lines, uint32_t pad, const uint8_t* data,
               size_t size) {
    const uint32_t cs = ovcg::Rhv2GetColorSize(type);
    const uint32_t stride = width * cs + pad;
    auto in = exact(data, size);
    const size_t out_size = size_t(stride) * lines;
    std::unique_ptr<uint8_t[]> out(new uint8_t[out_size]);
    const size_t work_size = ovcg::Rhv2GetWorkBufSize(type, width, lines);
    std::unique_ptr<uint8_t[]> work(new uint8_t[work_size]);
    uint32_t got = 0;
    if (ovcg::Rhv2CompDecomp(1, type, width, lines, stride, in.get(), size, out.get(), out_size,
                             work.get(), work_size, &got) != 0)
        return;
    if (got != out_size) std::abort();

    // Second trip.
    const size_t coded_size = ovcg::Rhv2GetRhv2BufSize(0, type, width, lines, stride);
    std::unique_ptr<uint8_t[]> coded(new uint8_t[coded_size]);
    uint32_t n = 0;
    if (ovcg::Rhv2CompDecomp(0, type, width, lines, stride, out.get(), out_size, coded.get(),
                             coded_size, work.get(), work_size, &n) != 0)
        std::abort();
    std::unique_ptr<uint8_t[]> again(new uint8_t[out_size]);
    if (ovcg::Rhv2CompDecomp(1, type, width, lines, stride, coded.get(), n, again.get(), out_size,
                             work.get(), work_size, &got) != 0)
        std::abort();
    if (std::memcmp(out.get(), again.get(), out_size) != 0) std::abort();
}

void line_decoder(uint32_t format, uint32_t width, uint32_t lines, uint8_t flags,
                  const uint8_t* data, size_t size) {
    ovcg::Rhv2Params p;
    p.width = width;
    p.lines = lines;
    p.format = format;
    p.depth = static_cast<uint8_t>(flags >> 4);
    p.line_advance = flags & 3u;
    p.context_carry = (flags >> 2) & 1u;
    p.line_padding = (flags >> 3) & 1u;
    p.raw_escape = 1;
    p.limit_mode = 2;
    const uint32_t cc = ovcg::Rhv2FormatComponents(format);
    const uint32_t bpp = format <= 3 || format == 14 ? 4 : format >= 10 && format <= 13 ? 5
                         : format == 15                ? 3
                                                       : 1;
    p.stride = width * bpp + (flags & 1u);
    const size_t table = std::min<size_t>(size, size_t(4) * cc * lines);
    auto rat = exact(data, table);
    auto coded = exact(data + table, size - table);
    const size_t out_size = size_t(p.stride + 8) * lines;
    std::unique_ptr<uint8_t[]> out(new uint8_t[out_size]);
    const size_t work_size = size_t(width) * cc;
    std::unique_ptr<uint8_t[]> work(new uint8_t[work_size ? work_size : 1]);
    ovcg::Vip2Rhv2Decompress(coded.get(), size - table, out.get(), out_size, rat.get(), table,
                             work.get(), work_size, &p);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint32_t width = data[1] % 64 + 1;
    const uint32_t lines = data[2] % 8 + 1;
    if (data[0] & 1u)
        line_decoder((data[0] >> 1) % 16, width, lines, data[3], data + 4, size - 4);
    else
        band_call((data[0] >> 1) % 3, width, lines, data[3] % 4, data + 4, size - 4);
    return 0;
}
