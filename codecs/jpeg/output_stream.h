// Byte sink of the JPEG encoder.
//
// The encoder writes into the caller's fixed-size output chunk. Coding one MCU
// may run past the end of the chunk; those bytes go to a carry area inside the
// sink and open the next chunk, so no coded byte is ever dropped and nothing is
// allocated. The bit accumulator survives chunk changes, so one Huffman code may
// straddle two chunks.
#pragma once

#include "codecs/jpeg/jpeg_errors.h"

#include <cstddef>
#include <cstdint>

namespace ovcg::jpeg {

class COutputStream {
public:
    static constexpr int kCarrySize = 9216;

    COutputStream() = default;
    virtual ~COutputStream() = default;
    COutputStream(const COutputStream&) = delete;
    COutputStream& operator=(const COutputStream&) = delete;

    // Attaches a new buffer; bytes held in the carry area are written first.
    void InitStream(unsigned char* buffer, int size);

    // One byte, without stuffing: into the buffer while it has room, else into
    // the carry area; throws ERR_CARRY_FULL when that is full too.
    void PutByte(uint8_t b) {
        if (count_ < limit_) {
            buffer_[count_++] = b;
        } else if (carryCount_ < kCarrySize) {
            carry_[carryCount_++] = b;
        } else {
            throw ERR_CARRY_FULL;
        }
    }
    void CopyByte(const void* src, int n);
    void PutU16BE(uint32_t v) { PutByte(static_cast<uint8_t>(v >> 8)); PutByte(static_cast<uint8_t>(v)); }
    void WriteWord(uint32_t v) { PutByte(static_cast<uint8_t>(v)); PutByte(static_cast<uint8_t>(v >> 8)); }
    void WriteDoubleWord(uint32_t v) {
        for (int i = 0; i < 4; ++i) PutByte(static_cast<uint8_t>(v >> (8 * i)));
    }
    void Fill(uint8_t value, int n) {
        for (int i = 0; i < n; ++i) PutByte(value);
    }

    // Appends the n low bits of `bits` (most significant first) to the entropy
    // coded data; every complete byte is written, an FF followed by a 00.
    // n is at most 25, so at most four bytes (eight with stuffing) complete.
    void PutBits(uint32_t bits, int n) {
        acc_ = (acc_ << n) | bits;
        bitCount_ += n;
        if (bitCount_ < 8) return;
        if (limit_ - count_ >= 8) {
            // Room for every byte this call can complete: no per-byte limit test.
            do {
                bitCount_ -= 8;
                const uint8_t b = static_cast<uint8_t>(acc_ >> bitCount_);
                buffer_[count_++] = b;
                if (b == 0xFF) buffer_[count_++] = 0x00;
            } while (bitCount_ >= 8);
            return;
        }
        while (bitCount_ >= 8) {
            bitCount_ -= 8;
            const uint8_t b = static_cast<uint8_t>(acc_ >> bitCount_);
            PutByte(b);
            if (b == 0xFF) PutByte(0x00);
        }
    }

    // Pads the pending bits with one-bits to a whole byte (stuffed if FF) and
    // writes the end-of-image marker.
    void SetDataAll();

    // Moves the last n bytes of the buffer to the front of the carry area, so
    // that they open the next buffer in their order.
    void CarryTail(int n);

    // Direct writing for a coder that knows the most bytes it can write:
    // while the buffer has room for them it may take the pending bits and
    // the write position, write complete bytes itself (stuffed) and hand
    // both back; the bytes land exactly where PutBits would have put them.
    bool HasRoom(int bytes) const { return limit_ - count_ >= bytes; }
    unsigned char* Cursor() const { return buffer_ + count_; }
    uint64_t PendingBits(int* n) const {
        *n = bitCount_;
        return acc_;
    }
    void EndDirect(unsigned char* end, uint64_t acc, int n) {
        count_ = static_cast<int>(end - buffer_);
        acc_ = acc;
        bitCount_ = n;
    }

    int count() const { return count_; }
    int limit() const { return limit_; }
    int carryCount() const { return carryCount_; }
    int bitCount() const { return bitCount_; }
    const uint8_t* carry() const { return carry_; }
    unsigned char* buffer() const { return buffer_; }

private:
    unsigned char* buffer_ = nullptr;
    int count_ = 0;
    uint64_t acc_ = 0;  // only the low bitCount_ bits are pending
    int bitCount_ = 0;
    int limit_ = 0;
    int carryCount_ = 0;
    uint8_t carry_[kCarrySize] = {};
};

}  // namespace ovcg::jpeg
