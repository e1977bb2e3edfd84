#include "hxr/control/hxr_decomp.h"

#include "common/byte_cursor.h"

namespace {

constexpr int kMaxTreeDepth = 2 * kHxrSymbolCount;
constexpr uint8_t kGaps[] = {196, 98, 49, 24, 12, 6, 3, 1};
// The longest match (257 bytes) from the shortest code (1 bit).
constexpr uint64_t kMaxBytesPerBit = 257;

// Most significant bit first, a byte at a time. Bytes past the end read as
// zero so that the 12-bit peek may look beyond the last code, but consuming a
// bit that is not in the source is a failure the caller checks.
struct BitReader {
    const uint8_t* src;
    size_t size;
    size_t pos = 0;
    uint64_t buf = 0;
    int count = 0;
    uint64_t consumed = 0;

    void fill() {
        while (count <= 56) {
            buf = (buf << 8) | (pos < size ? src[pos] : 0u);
            if (pos <= size) ++pos;
            count += 8;
        }
    }
    uint32_t peek12() {
        if (count < kHxrMaxCodeLength) fill();
        return static_cast<uint32_t>(buf >> (count - kHxrMaxCodeLength)) & (kHxrPeekSize - 1);
    }
    void consume(int n) {
        count -= n;
        consumed += static_cast<uint64_t>(n);
    }
    uint32_t take(int n) {
        if (n == 0) return 0;
        if (count < n) fill();
        uint32_t v = static_cast<uint32_t>(buf >> (count - n)) & ((1u << n) - 1u);
        consume(n);
        return v;
    }
    bool overrun() const { return consumed > static_cast<uint64_t>(size) * 8; }
};

}  // namespace

struct HXRDeCompState {
    HXRHuffCode code;
    uint32_t counter;
    uint8_t ring[kHxrRingSize];
};

void HXRBuildHuffCode(HXRHuffCode& c) {
    const int n = kHxrSymbolCount;
    // 1. Symbols by decreasing frequency; an element moves forward only past a
    //    strictly less frequent one, so equal frequencies keep symbol order.
    for (int i = 0; i < n; ++i) c.sorted[i] = static_cast<uint16_t>(i);
    for (uint8_t gap : kGaps) {
        for (int i = gap; i < n; ++i) {
            uint16_t v = c.sorted[i];
            int j = i;
            while (j >= gap && c.freq[c.sorted[j - gap]] < c.freq[v]) {
                c.sorted[j] = c.sorted[j - gap];
                j -= gap;
            }
            c.sorted[j] = v;
        }
    }
    // 2. Huffman tree by two queues: leaves from the least frequent end of the
    //    sorted array, internal nodes (ids n..) in the order made.
    for (int i = 0; i < n; ++i) c.weight[i] = c.freq[i];
    int leaf = n - 1;
    int node = n, next = n;
    // An exhausted queue counts as heavier than anything (as a weight of
    // 32767 would, the stream's frequencies summing to at most 4096); it is
    // never taken, whatever weights a caller passes.
    auto pick = [&]() -> int {
        if (leaf < 0) return node++;
        if (node >= next) return c.sorted[leaf--];
        if (c.weight[c.sorted[leaf]] <= c.weight[node]) return c.sorted[leaf--];
        return node++;
    };
    for (int k = 0; k < n - 1; ++k) {
        int a = pick();
        int b = pick();
        c.weight[next] = c.weight[a] + c.weight[b];
        c.parent[a] = static_cast<uint16_t>(next);
        c.parent[b] = static_cast<uint16_t>(next);
        ++next;
    }
    // Depths from the root (the last node made) downwards: parents are made
    // after their children.
    const int root = next - 1;
    c.depth[root] = 0;
    for (int i = root - 1; i >= 0; --i) c.depth[i] = static_cast<uint16_t>(c.depth[c.parent[i]] + 1);
    for (int i = 0; i < kMaxTreeDepth; ++i) c.bits[i] = 0;
    int max_depth = 0;
    for (int i = 0; i < n; ++i) {
        ++c.bits[c.depth[i]];
        if (c.depth[i] > max_depth) max_depth = c.depth[i];
    }
    // 3. Limit the lengths to 12 bits: two leaves at the deepest level become
    //    one leaf a level up plus a leaf hung below the nearest shorter leaf,
    //    which keeps the code complete.
    for (int i = max_depth; i > kHxrMaxCodeLength; --i) {
        while (c.bits[i] > 0) {
            int j = i - 2;
            while (j > 0 && c.bits[j] == 0) --j;
            c.bits[i] = static_cast<uint16_t>(c.bits[i] - 2);
            ++c.bits[i - 1];
            c.bits[j + 1] = static_cast<uint16_t>(c.bits[j + 1] + 2);
            --c.bits[j];
        }
    }
    // 4. Canonical codes: the most frequent symbols take the shortest lengths.
    int pos = 0;
    uint32_t code = 0;
    for (int len = 1; len <= kHxrMaxCodeLength; ++len) {
        for (int k = 0; k < c.bits[len]; ++k) {
            uint16_t s = c.sorted[pos++];
            c.length[s] = static_cast<uint8_t>(len);
            c.code[s] = static_cast<uint16_t>(code);
            uint32_t first = code << (kHxrMaxCodeLength - len);
            uint32_t span = 1u << (kHxrMaxCodeLength - len);
            for (uint32_t e = 0; e < span; ++e) c.peek[first + e] = s;
            ++code;
        }
        code <<= 1;
    }
    // 5. Start counting afresh.
    for (int i = 0; i < n; ++i) c.freq[i] = 1;
}

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
    if (!src || !st || srcLen < 4) return 0;
    const uint32_t count = ovcg::load_u32le(src);
    if (count == 0) return srcLen;
    if (!dst) return 0;

    HXRHuffCode& hc = st->code;
    for (uint32_t i = 0; i < kHxrRingSize; ++i) st->ring[i] = 0;
    for (int i = 0; i < kHxrSymbolCount; ++i) hc.freq[i] = 1;
    HXRBuildHuffCode(hc);
    st->counter = kHxrFirstCounter;

    BitReader in{src + 4, srcLen - 4u};
    uint32_t produced = 0;
    uint32_t distance = 1, length = 1;
    uint8_t* ring = st->ring;
    uint32_t rp = 0;
    for (;;) {
        const int sym = hc.peek[in.peek12()];
        in.consume(hc.length[sym]);
        if (in.overrun()) return 0;
        ++hc.freq[sym];
        if (++st->counter == kHxrRebuildAt) {
            HXRBuildHuffCode(hc);
            st->counter = kHxrSymbolCount;
        }
        if (sym < kHxrEndMark) {
            if (produced >= dstLen) return 0;
            dst[produced++] = static_cast<uint8_t>(sym);
            ring[rp] = static_cast<uint8_t>(sym);
            rp = (rp + 1) & (kHxrRingSize - 1);
            if (produced == count) return produced;
            continue;
        }
        if (sym == kHxrEndMark) return 0;  // a valid stream ends by its count
        const int c = sym - kHxrFirstMatch;
        const int dclass = c / 9, lclass = c % 9;
        if (dclass > 0) distance = (1u << (dclass - 1)) + in.take(dclass - 1);
        if (lclass > 0) length = (1u << (lclass - 1)) + in.take(lclass - 1);
        if (in.overrun()) return 0;
        uint32_t n = length + 2;
        if (n > count - produced) n = count - produced;
        // A stream whose count exceeds the destination can never succeed.
        if (n > dstLen - produced) return 0;
        for (uint32_t k = 0; k < n; ++k) {
            const uint8_t b = ring[(rp - distance) & (kHxrRingSize - 1)];
            dst[produced++] = b;
            ring[rp] = b;
            rp = (rp + 1) & (kHxrRingSize - 1);
        }
        if (produced == count) return produced;
    }
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
