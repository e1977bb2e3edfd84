#include "hxr/control/hxr_decomp.h"

#include "common/byte_cursor.h"
#include "common/lzh_unpack.h"

namespace {

// The longest match (257 bytes) from the shortest code (1 bit).
constexpr uint64_t kMaxBytesPerBit = 257;

}  // namespace

struct HXRDeCompState {
    ovcg::lzh::Work work;
};

int32_t HXRDeCompNew(HXRDeCompState** state, HXRMemMgr* mm) {
    if (!state || !mm) {
        HXRSetErrorInfo(kHxrDeCompBadArgument);
        return kHxrDeCompBadArgument;
    }
    *state = static_cast<HXRDeCompState*>(HXRAllocMem(mm, sizeof(HXRDeCompState)));
    if (!*state) {
        HXRSetErrorInfo(kHxrDeCompNoMemory);
        return kHxrDeCompNoMemory;
    }
    return 0;
}

int32_t HXRDeCompDelete(HXRDeCompState* state, HXRMemMgr* mm) {
    if (!state || !mm) {
        HXRSetErrorInfo(kHxrDeCompBadArgument);
        return kHxrDeCompBadArgument;
    }
    return static_cast<int32_t>(HXRFreeMem(mm, state));
}

uint32_t HXRDecompress(const uint8_t* src, uint32_t srcLen, uint8_t* dst, uint32_t dstLen,
                       HXRDeCompState* st) {
    if (!src || !st) return 0;
    ovcg::ByteCursor in(src, srcLen);
    uint32_t count = 0;
    if (!in.u32le(count)) return 0;
    if (count == 0) return srcLen;
    if (!dst) return 0;
    ovcg::ByteCursor stream;
    in.tail_at(4, stream);
    const ovcg::lzh::Result r = ovcg::lzh::unpack(st->work, stream, dst, dstLen, count);
    return r.stop == ovcg::lzh::Stop::kDone ? static_cast<uint32_t>(r.written) : 0u;
}

namespace {

bool is_tag(const uint8_t* p) { return p[0] == 'c' && p[1] == 'l' && p[2] == 'u' && p[3] == 't'; }

// Finds the body of a packed colour look-up table: offset, node count and
// channel count. Every offset and count is checked against the bytes produced.
bool locate_lut_body(const uint8_t* d, uint32_t n, uint64_t& start, uint64_t& nodes, uint32_t& ch) {
    ovcg::ByteCursor cur(d, n);
    uint8_t b0 = 0, b1 = 0, b14 = 0, b15 = 0, b16 = 0;
    if (!cur.peek_u8(0, b0) || !cur.peek_u8(1, b1) || b0 != 'O' || b1 != 'V') return false;
    cur.peek_u8(14, b14);
    cur.peek_u8(15, b15);
    cur.peek_u8(16, b16);
    if ((b14 == ' ' || b14 == '2') && (b15 == '1' || b15 == '2' || b15 == '3')) {
        uint8_t g[4];
        for (int i = 0; i < 4; ++i)
            if (!cur.peek_u8(72 + size_t(i), g[i])) return false;
        ch = g[3];
        start = 76u + uint64_t(g[0]) + g[1] + g[2];
        nodes = uint64_t(g[0]) * g[1] * g[2];
        return true;
    }
    if (b15 != '5' || b16 != '5') return false;
    uint64_t tag = 0;
    bool found = false;
    for (uint64_t pos = 16; pos + 4 <= n; pos += 4) {
        if (is_tag(d + pos)) {
            tag = pos;
            found = true;
            break;
        }
    }
    uint32_t off = 0;
    if (!found || !cur.peek_u32le(size_t(tag + 4), off)) return false;
    uint8_t dims = 0, chan = 0;
    if (uint64_t(off) + 4 > n || !is_tag(d + off)) return false;
    if (!cur.peek_u8(size_t(off) + 4, dims) || !cur.peek_u8(size_t(off) + 5, chan)) return false;
    if (dims != 3 && dims != 4) return false;
    uint64_t sum = 0;
    nodes = 1;
    for (int i = 0; i < dims; ++i) {
        uint8_t g = 0;
        if (!cur.peek_u8(size_t(off) + 7 + size_t(i), g)) return false;
        sum += g;
        nodes *= g;
    }
    ch = chan;
    start = uint64_t(off) + 7 + dims + ch + sum;
    return true;
}

// Rewrites the table body from planar (all of channel 0, then channel 1, ...)
// to interleaved (the channels of each node together).
int32_t interleave_lut(uint8_t* d, uint32_t n, HXRMemMgr* mm) {
    uint64_t start = 0, nodes = 0;
    uint32_t ch = 0;
    if (!locate_lut_body(d, n, start, nodes, ch)) return kHxrDeCompBadLut;
    if (ch == 0) return kHxrDeCompBadLut;
    // Grid sizes are at most 255 per axis, so the product fits in 64 bits.
    const uint64_t size = nodes * ch;
    if (start > n || size > n - start) return kHxrDeCompBadLut;
    if (size == 0) return 0;
    auto* tmp = static_cast<uint8_t*>(HXRAllocMem(mm, static_cast<uint32_t>(size)));
    if (!tmp) return kHxrDeCompNoMemory;
    uint8_t* body = d + start;
    for (uint64_t c = 0; c < ch; ++c)
        for (uint64_t k = 0; k < nodes; ++k) tmp[k * ch + c] = body[c * nodes + k];
    for (uint64_t i = 0; i < size; ++i) body[i] = tmp[i];
    HXRFreeMem(mm, tmp);
    return 0;
}

}  // namespace

int32_t HXRDeComp(HXRDeCompState* st, const void* input, uint32_t inputSize, void** output,
                  uint32_t* outputSize, HXRMemMgr* mm) {
    if (!st || !input || !output || !mm) return kHxrDeCompBadStream;
    const auto* in = static_cast<const uint8_t*>(input);
    bool packed = inputSize >= 8;
    for (int i = 0; packed && i < 7; ++i) packed = in[i] == kHxrMagicPacked[i];
    const bool lut = packed && in[7] == kHxrMagicPackedLutLast;
    if (packed && !lut && in[7] != kHxrMagicPacked[7]) packed = false;
    if (!packed) {
        *output = const_cast<void*>(input);
        if (outputSize) *outputSize = inputSize;
        return 0;
    }
    ovcg::ByteCursor cur(input, inputSize);
    uint32_t packed_len = 0, unpacked_len = 0;
    if (!cur.peek_u32le(8, packed_len) || !cur.peek_u32le(12, unpacked_len)) return kHxrDeCompBadStream;
    // The stream (from offset 12, its own 4-byte count first) must lie inside
    // the resource, and cannot yield more than its bits can code.
    if (packed_len < 4 || packed_len > inputSize - 12) return kHxrDeCompBadStream;
    const uint64_t stream_bits = uint64_t(packed_len - 4) * 8;
    if (unpacked_len > stream_bits * kMaxBytesPerBit) return kHxrDeCompBadStream;
    if (uint64_t(unpacked_len) + kHxrResourceSlack > UINT32_MAX) return kHxrDeCompBadStream;

    auto* out = static_cast<uint8_t*>(HXRAllocMem(mm, unpacked_len + kHxrResourceSlack));
    if (!out) {
        HXRSetErrorInfo(kHxrDeCompNoMemory);
        return kHxrDeCompNoMemory;
    }
    if (unpacked_len > 0 && HXRDecompress(in + 12, packed_len, out, unpacked_len, st) != unpacked_len) {
        HXRFreeMem(mm, out);
        return kHxrDeCompBadStream;
    }
    if (lut) {
        int32_t rc = interleave_lut(out, unpacked_len, mm);
        if (rc != 0) {
            HXRFreeMem(mm, out);
            if (rc == kHxrDeCompNoMemory) HXRSetErrorInfo(kHxrDeCompNoMemory);
            return rc;
        }
    }
    *output = out;
    if (outputSize) *outputSize = unpacked_len;
    return 0;
}
