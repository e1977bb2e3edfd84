#include "codecs/jpeg/output_stream.h"

#include <algorithm>
#include <cstring>

namespace ovcg::jpeg {

void COutputStream::InitStream(unsigned char* buffer, int size) {
    buffer_ = buffer;
    limit_ = buffer ? std::max(size, 0) : 0;
    count_ = 0;
    // The carried bytes open the new buffer; what does not fit stays carried,
    // moved to the front of the carry area in its order.
    const int k = carryCount_;
    const int first = std::min(k, limit_);
    if (first > 0) std::memcpy(buffer_, carry_, static_cast<size_t>(first));
    count_ = first;
    if (k > first) std::memmove(carry_, carry_ + first, static_cast<size_t>(k - first));
    carryCount_ = k - first;
}

void COutputStream::CopyByte(const void* src, int n) {
    const auto* p = static_cast<const uint8_t*>(src);
    for (int i = 0; i < n; ++i) PutByte(p[i]);
}

void COutputStream::SetDataAll() {
    if (bitCount_ > 0) {
        const int fill = 8 - bitCount_;
        const uint8_t b = static_cast<uint8_t>((acc_ << fill) | ((1u << fill) - 1u));
        PutByte(b);
        if (b == 0xFF) PutByte(0x00);
        bitCount_ = 0;
    }
    PutByte(0xFF);
    PutByte(0xD9);
}

void COutputStream::CarryTail(int n) {
    if (n <= 0) return;
    if (n > count_) n = count_;
    if (carryCount_ + n > kCarrySize) throw ERR_CARRY_FULL;
    std::memmove(carry_ + n, carry_, static_cast<size_t>(carryCount_));
    std::memcpy(carry_, buffer_ + (count_ - n), static_cast<size_t>(n));
    carryCount_ += n;
    count_ -= n;
}

}  // namespace ovcg::jpeg
