// Fuzzes the level-3 encode buffers: whatever sequence of band windows,
// positions, flushes, banners, page starts and base rows they are given, they
// read only the band bytes they are shown (each band an exactly sized heap
// block) and never crash. A JPEG encoder failure may leave as its ERR value,
// as the engine core expects.
//
// Input: 4 set-up bytes, then operations of 8 bytes each, then pixel bytes.
//   byte 0: encoder (mod 3: JPEG with identification data, RHV2, JPEG)
//   byte 1: format (mod 4: 0, 4, 7, 8)   byte 2: bit 0 colour job
//   byte 3: page height
//   operation: byte 0 kind (mod 6: buffered write, unbuffered write, flush,
//   banner, page start, base row up or down), bytes 1-2 row, byte 3 rows
//   (1..32), byte 4 column, byte 5 width (1..64), byte 6 line padding,
//   byte 7 window left within the band (mod 4).
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/jpeg/jpeg_errors.h"
#include "commands/encode_buffer.h"
#include "commands/traq3_records.h"
#include "engine/spooler.h"

namespace {

int Discard(void*, char*, unsigned int length) { return static_cast<int>(length); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    static constexpr int kFormats[4] = {0, 4, 7, 8};
    CPlimoSpooler spooler(0, &Discard, nullptr);
    ovcg::CTRAQ3V1_2 records({300, 300}, {600, 600}, {100, 100}, {90, 90}, {5, 5});
    std::unique_ptr<ovcg::CEncodeBuffer> buffer;
    switch (data[0] % 3) {
        case 0: buffer = std::make_unique<ovcg::CEncodeJpegPlusBuffer>(&spooler, &records, data[3]); break;
        case 1: buffer = std::make_unique<ovcg::CEncodeRhv2Buffer>(&spooler, &records, data[3]); break;
        default: buffer = std::make_unique<ovcg::CEncodeJpegBuffer>(&spooler, &records, data[3]); break;
    }
    if (!buffer->bInitEncodeBuffa(300, kFormats[data[1] % 4], data[2] & 1, tagPOINT{600, 600})) return 0;
    const unsigned bpp = buffer->BytesPerPixel();
    size_t ops = (size - 4) / 8;
    if (ops > 64) ops = 64;
    const uint8_t* pixels = data + 4 + ops * 8;
    const size_t pixelBytes = size - 4 - ops * 8;
    try {
        for (size_t i = 0; i < ops; ++i) {
            const uint8_t* op = data + 4 + 8 * i;
            switch (op[0] % 6) {
                case 0:
                case 1: {
                    const uint32_t row = uint32_t(op[1]) | uint32_t(op[2]) << 8;
                    const uint32_t rows = 1 + op[3] % 32, width = 1 + op[5] % 64, left = op[7] % 4;
                    const uint32_t stride = (left + width) * bpp + op[6] % 8;
                    std::unique_ptr<uint8_t[]> band(new uint8_t[size_t{stride} * rows]);
                    for (size_t b = 0; b < size_t{stride} * rows; ++b)
                        band[b] = pixelBytes ? pixels[b % pixelBytes] : uint8_t(b);
                    const ovcg::TRAQ3_tagBitmapParam bitmap{band.get(), 0, rows, tagRECT{left, 0, left + width, rows}};
                    const ovcg::TRAQ3_tagTargetPositionForBitmap target{op[4], row, width, rows, row, rows};
                    buffer->bWriteENCODEBuff(&bitmap, stride, &target, op[0] % 6 == 0);
                    break;
                }
                case 2: buffer->bFlushENCODEBuff(); break;
                case 3: buffer->bOutBunnerObject(); break;
                case 4: buffer->vStartPage(); break;
                default:
                    if (op[1] & 1)
                        buffer->vBaseVPositionIncriment();
                    else
                        buffer->vBaseVPositionDecriment();
                    break;
            }
        }
        buffer->bFlushENCODEBuff();
    } catch (ovcg::jpeg::ERR) {
    }
    return 0;
}
