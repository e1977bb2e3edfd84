#include "headcontrol/decompress.h"

#include "common/byte_cursor.h"
#include "common/byte_writer.h"
#include "ovcg/irac.h"

#include <new>

namespace ovcg::irac {

void RDM_MakecodeReverse(RdmWork& work) { rdm::make_code(work.code, work.decode); }

uint32_t rdm_unpacked_size(const uint8_t header[rdm::kHeaderSize]) {
    // The four size bytes are stored in the order bits 16-23, 0-7, 24-31, 8-15.
    return (static_cast<uint32_t>(header[5]) << 16) | static_cast<uint32_t>(header[6]) |
           (static_cast<uint32_t>(header[7]) << 24) | (static_cast<uint32_t>(header[8]) << 8);
}

namespace {

// MSB-first bit reader over the code stream. Bytes past the end read as 0 so
// that the 12-bit look-ahead never touches memory outside the stream; a
// symbol or extra bits that need those phantom bits mark the stream as
// having ended early.
class BitReader {
public:
    explicit BitReader(ByteCursor in) : in_(in), avail_bits_(uint64_t{in.size()} * 8) {}

    uint32_t peek(uint32_t n) {
        fill(n);
        return (acc_ >> (bits_ - n)) & ((1u << n) - 1u);
    }
    void consume(uint32_t n) {
        bits_ -= n;
        consumed_ += n;
    }
    uint32_t read(uint32_t n) {
        if (n == 0) return 0;
        const uint32_t v = peek(n);
        consume(n);
        return v;
    }
    bool overrun() const { return consumed_ > avail_bits_; }

private:
    void fill(uint32_t n) {
        while (bits_ < n) {
            uint8_t b = 0;
            if (!in_.at_end()) in_.u8(b);
            acc_ = (acc_ << 8) | b;
            bits_ += 8;
        }
    }

    ByteCursor in_;
    uint64_t avail_bits_;
    uint64_t consumed_ = 0;
    uint32_t acc_ = 0;   // holds at most 24 live bits: 12 + 13 extra never exceed it
    uint32_t bits_ = 0;
};

// Value of a distance or base class: 0 keeps the previous value, 1 is 1,
// c > 1 is 2^(c-1) plus the next c-1 bits.
inline uint32_t class_value(uint32_t cls, uint32_t previous, BitReader& bits) {
    if (cls == 0) return previous;
    if (cls == 1) return 1;
    return (1u << (cls - 1)) + bits.read(cls - 1);
}

struct WorkGuard {
    const OVF_COMMON* ovf;
    void* block;
    ~WorkGuard() {
        if (block) ovf->free(block);
    }
};

enum class Stop { Done, EndMark, Overrun, StreamEnded };

Stop unpack_body(RdmWork& w, BitReader& bits, ByteWriter& out, uint32_t unpacked) {
    uint32_t remaining = unpacked;
    uint32_t distance = 1;
    uint32_t base = 1;
    uint32_t pos = 0;  // window position of the next byte
    constexpr uint32_t kMask = rdm::kWindowSize - 1;
    while (remaining > 0) {
        const int sym = w.decode[bits.peek(rdm::kMaxCodeLength)];
        bits.consume(static_cast<uint32_t>(w.code.length[sym]));
        if (bits.overrun()) return Stop::StreamEnded;
        rdm::count_symbol(w.code, sym, w.decode);
        if (sym < rdm::kEndMark) {
            const uint8_t b = static_cast<uint8_t>(sym);
            if (!out.u8(b)) return Stop::Overrun;
            w.window[pos++ & kMask] = b;
            --remaining;
            continue;
        }
        if (sym == rdm::kEndMark) return Stop::EndMark;
        const uint32_t s = static_cast<uint32_t>(sym - rdm::kFirstMatch);
        distance = class_value(s / rdm::kLengthClasses, distance, bits);
        base = class_value(s % rdm::kLengthClasses, base, bits);
        if (bits.overrun()) return Stop::StreamEnded;
        uint32_t length = base + 2;
        if (length > remaining) length = remaining;
        for (uint32_t i = 0; i < length; ++i) {
            // distance < window size, so the source is never the slot written.
            const uint8_t b = w.window[(pos - distance) & kMask];
            if (!out.u8(b)) return Stop::Overrun;
            w.window[pos++ & kMask] = b;
        }
        remaining -= length;
    }
    return Stop::Done;
}

}  // namespace
}  // namespace ovcg::irac

using namespace ovcg;
using namespace ovcg::irac;

extern "C" uint32_t IRAC_GetResourceDataSize(const void* packed, uint32_t packed_size, uint32_t* size) {
    if (!packed || !size) return IRAC_RDM_SIZE_NULL;
    if (packed_size <= rdm::kHeaderSize) return IRAC_RDM_PACKED_TOO_SHORT;
    const uint8_t* p = static_cast<const uint8_t*>(packed);
    if (p[4] != 1) return IRAC_RDM_SIZE_NOT_PACKED;
    const uint32_t unpacked = rdm_unpacked_size(p);
    // The sum is taken only below the cap, so it cannot wrap.
    if (unpacked > IRAC_RDM_MAX_UNPACKED) return IRAC_RDM_DEST_TOO_SMALL;
    *size = unpacked + rdm::kHeaderSize;
    return 0;
}

extern "C" uint32_t IRAC_DecompressResource(const void* packed, uint32_t packed_size, void* dest,
                                            uint32_t dest_size, void* reserved,
                                            const OVF_COMMON* ovf) {
    if (reserved) return IRAC_RDM_RESERVED;
    if (!dest || !ovf || !packed) return IRAC_RDM_NULL_ARGUMENT;
    // The four words this call uses must be there too.
    if (!ovf->alloc || !ovf->free || !ovf->copy || !ovf->fill) return IRAC_RDM_NULL_ARGUMENT;
    if (packed_size <= rdm::kHeaderSize) return IRAC_RDM_PACKED_TOO_SHORT;

    ByteCursor in(packed, packed_size);
    const uint8_t* header = in.take(rdm::kHeaderSize);
    const uint32_t unpacked = rdm_unpacked_size(header);
    if (unpacked < 3) return IRAC_RDM_SIZE_TOO_SMALL;
    // In 64 bits: a size near 2^32 must not wrap past a small destination.
    if (unpacked > IRAC_RDM_MAX_UNPACKED ||
        uint64_t{unpacked} + rdm::kHeaderSize > uint64_t{dest_size}) {
        return IRAC_RDM_DEST_TOO_SMALL;
    }
    if (header[4] != 1) return IRAC_RDM_NOT_PACKED;

    uint8_t* out_bytes = static_cast<uint8_t*>(dest);
    ovf->copy(out_bytes, header, rdm::kHeaderSize);

    void* block = ovf->alloc(static_cast<uint32_t>(sizeof(RdmWork)));
    if (!block) return IRAC_RDM_NO_MEMORY;
    WorkGuard guard{ovf, block};
    RdmWork& work = *new (block) RdmWork;
    // The window starts as zeros: a match reaching before the first byte
    // copies zeros.
    ovf->fill(work.window, 0, static_cast<uint32_t>(sizeof work.window));
    rdm::init_code(work.code, work.decode);

    ByteCursor stream;
    in.tail_at(rdm::kHeaderSize, stream);
    BitReader bits(stream);
    ByteWriter out(out_bytes + rdm::kHeaderSize, unpacked);
    const Stop stop = unpack_body(work, bits, out, unpacked);
    if (stop == Stop::EndMark) return IRAC_RDM_END_MARK;
    if (stop == Stop::Overrun) return IRAC_RDM_OVERRUN;

    const size_t written = out.size();
    if (written == 0) return IRAC_RDM_NOTHING_WRITTEN;
    if (written != unpacked) return IRAC_RDM_SHORT_OUTPUT;
    const uint8_t* body = out_bytes + rdm::kHeaderSize;
    if (body[0] != rdm::kSignature[0] || body[1] != rdm::kSignature[1] ||
        body[2] != rdm::kSignature[2]) {
        return IRAC_RDM_BAD_SIGNATURE;
    }
    out_bytes[4] = 0;
    return 0;
}
