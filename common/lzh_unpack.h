// The code stream of packed resources, as both engines store them: LZ77 over
// a 16384-byte window whose literals, end mark and match classes share one
// adaptive canonical Huffman code of 392 symbols, its lengths limited to 12
// bits so that one 12-bit look-up decodes any symbol.
//
// The halftone engine and the head-control engine wrap the same stream in
// envelopes of their own (magic bytes and lengths, or a header whose size
// bytes are shuffled; the halftone engine's stream also opens with its
// 4-byte count) and report failures with codes of their own. They read the
// envelope, then hand the stream, the count of bytes it must produce and
// their output buffer to lzh::unpack, and map its Stop to their codes.
//
// The stream:
//  - symbols 0-255 literal bytes, 256 the end mark, 257-391 matches: for
//    s = symbol - 257, distance class s / 9 (0..14) and length class s % 9
//    (0..8). Class 0 repeats the previous value (1 at the start), class 1 is
//    1, class c > 1 is 2^(c-1) plus the next c - 1 bits; a match copies
//    length value + 2 bytes (3..257) from `distance` (1..16383) back in the
//    window, byte by byte (so it may overlap itself), never more than the
//    bytes still to produce; the window starts as zeros;
//  - bits are read most significant first; a code may be looked up over the
//    stream's end (those bits read as 0), but a symbol or extra bits that
//    need them end the stream early: a packer writes every bit it means;
//  - the code starts with every frequency 1 and the symbol counter at 3000;
//    every symbol read adds 1 to its frequency and to the counter, and at
//    4096 the code is rebuilt from the frequencies (which then restart at 1,
//    the counter at 392): first after 1096 symbols, then every 3704;
//  - a stream ends when its count is produced; an end mark is a failure.
#pragma once

#include "common/byte_cursor.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace ovcg::lzh {

inline constexpr int kSymbols = 392;
inline constexpr int kEndMark = 256;
inline constexpr int kFirstMatch = 257;
inline constexpr int kLengthClasses = 9;
inline constexpr int kDistanceClasses = 15;
inline constexpr int kMaxCodeLength = 12;
inline constexpr uint32_t kTableSize = 1u << kMaxCodeLength;
inline constexpr uint32_t kWindowSize = 16384;
inline constexpr uint16_t kCounterStart = 3000;
inline constexpr uint16_t kCounterRebuild = 4096;
inline constexpr uint16_t kCounterAfterRebuild = 392;

static_assert(kFirstMatch + kDistanceClasses * kLengthClasses == kSymbols);

struct MergeNode {
    uint16_t first;  // below 392: a position in the symbol order; 392 + k: node k
    uint16_t second;
    uint16_t weight;
};

// The adaptive code: frequencies in; lengths, canonical codes and the order
// they were given in out.
struct CodeState {
    uint16_t freq[kSymbols];
    uint16_t counter;
    int16_t length[kSymbols];
    uint16_t code[kSymbols];   // canonical code of each symbol, length[] bits
    uint16_t order[kSymbols];  // symbols by descending frequency
    int16_t weight[kSymbols];  // the frequencies in that order
    MergeNode nodes[kSymbols - 1];
    uint16_t node_depth[kSymbols - 1];
    int32_t depth_count[kSymbols + 1];  // codes per length; a tree is at most 391 deep
};

// Rebuilds the code from the frequencies: lengths, canonical codes and, when
// decode is not null, the 4096-entry decode table (symbol by the next 12
// bits). Then resets every frequency to 1 and the counter to 392.
inline void make_code(CodeState& s, int16_t* decode) {
    // 1. Shell sort into descending frequency, carrying the symbol order;
    //    an element moves past strictly smaller ones only (signed 16-bit
    //    compare: frequencies stay below 4097 within a stream).
    for (int i = 0; i < kSymbols; ++i) {
        s.order[i] = static_cast<uint16_t>(i);
        s.weight[i] = static_cast<int16_t>(s.freq[i]);
    }
    static constexpr int kGaps[] = {196, 98, 49, 24, 12, 6, 3, 1};
    for (int gap : kGaps) {
        for (int i = gap; i < kSymbols; ++i) {
            const int16_t w = s.weight[i];
            const uint16_t o = s.order[i];
            int j = i;
            while (j >= gap && s.weight[j - gap] < w) {
                s.weight[j] = s.weight[j - gap];
                s.order[j] = s.order[j - gap];
                j -= gap;
            }
            s.weight[j] = w;
            s.order[j] = o;
        }
    }

    // 2. Huffman merge with two queues: leaves from the least frequent end,
    //    merge nodes in the order made; the leaf wins a tie, an exhausted
    //    queue weighs 32767.
    int leaf = kSymbols - 1;
    int next_node = 0;
    for (int k = 0; k < kSymbols - 1; ++k) {
        uint16_t child[2];
        int32_t sum = 0;
        for (uint16_t& c : child) {
            const int32_t lw = leaf >= 0 ? s.weight[leaf] : 32767;
            const int32_t nw = next_node < k ? s.nodes[next_node].weight : 32767;
            if (lw <= nw) {
                c = static_cast<uint16_t>(leaf--);
                sum += lw;
            } else {
                c = static_cast<uint16_t>(kSymbols + next_node++);
                sum += nw;
            }
        }
        s.nodes[k] = MergeNode{child[0], child[1], static_cast<uint16_t>(sum)};
    }

    // 3. Codes per depth. A node's children are always earlier nodes, so one
    //    pass from the root (the last node) down gives every depth.
    for (int32_t& c : s.depth_count) c = 0;
    const int root = kSymbols - 2;
    s.node_depth[root] = 0;
    for (int k = root; k >= 0; --k) {
        const uint16_t d = static_cast<uint16_t>(s.node_depth[k] + 1);
        for (uint16_t c : {s.nodes[k].first, s.nodes[k].second}) {
            if (c >= kSymbols) {
                s.node_depth[c - kSymbols] = d;
            } else {
                ++s.depth_count[d];
            }
        }
    }

    // 4. Limit the lengths to 12 (the JPEG code-length adjustment): two codes
    //    of the deepest length leave, one joins the length above, and the
    //    nearest shorter code becomes two one level longer. All 392 symbols
    //    keep a code, so the Kraft sum stays 1.
    int max_len = kSymbols;
    while (max_len > 0 && s.depth_count[max_len] == 0) --max_len;
    for (int i = max_len; i > kMaxCodeLength; --i) {
        while (s.depth_count[i] > 1) {
            int j = i - 2;
            while (j > 0 && s.depth_count[j] == 0) --j;
            if (j == 0) break;  // cannot happen for a full tree
            s.depth_count[i] -= 2;
            s.depth_count[i - 1] += 1;
            s.depth_count[j + 1] += 2;
            s.depth_count[j] -= 1;
        }
    }

    // 5. Canonical codes, most frequent symbol first, shortest length first.
    uint32_t code = 0;
    int idx = 0;
    for (int len = 1; len <= kMaxCodeLength; ++len) {
        for (int32_t n = 0; n < s.depth_count[len] && idx < kSymbols; ++n) {
            const uint16_t sym = s.order[idx++];
            s.length[sym] = static_cast<int16_t>(len);
            s.code[sym] = static_cast<uint16_t>(code);
            if (decode) {
                const uint32_t shift = static_cast<uint32_t>(kMaxCodeLength - len);
                const uint32_t first = code << shift;
                const uint32_t last = (code + 1) << shift;
                for (uint32_t e = first; e < last && e < kTableSize; ++e) {
                    decode[e] = static_cast<int16_t>(sym);
                }
            }
            ++code;
        }
        code <<= 1;
    }

    // 6. Start counting afresh.
    for (uint16_t& f : s.freq) f = 1;
    s.counter = kCounterAfterRebuild;
}

// The fixed code every stream starts from.
inline void init_code(CodeState& s, int16_t* decode) {
    for (uint16_t& f : s.freq) f = 1;
    make_code(s, decode);
    s.counter = kCounterStart;
}

// Counts one symbol; rebuilds the code when the counter reaches 4096.
// True when it rebuilt.
inline bool count_symbol(CodeState& s, int sym, int16_t* decode) {
    ++s.freq[sym];
    if (++s.counter == kCounterRebuild) {
        make_code(s, decode);
        return true;
    }
    return false;
}

// Everything one unpacking needs besides its buffers (about 29 KB, which
// each engine allocates its own way).
struct Work {
    int16_t decode[kTableSize];
    CodeState code;
    uint8_t window[kWindowSize];
};

// MSB-first bit reader over the stream. Bytes past the end read as 0 so that
// the 12-bit look-up never touches memory outside the stream; consuming
// those phantom bits marks the stream as having ended early.
class BitReader {
public:
    explicit BitReader(ByteCursor in) : in_(in), avail_bits_(uint64_t{in.size()} * 8) {}

    // n <= 24.
    uint32_t peek(uint32_t n) {
        while (bits_ < n) {
            uint8_t b = 0;
            if (!in_.at_end()) in_.u8(b);
            acc_ = (acc_ << 8) | b;
            bits_ += 8;
        }
        return static_cast<uint32_t>(acc_ >> (bits_ - n)) & ((1u << n) - 1u);
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
    ByteCursor in_;
    uint64_t avail_bits_;
    uint64_t consumed_ = 0;
    uint64_t acc_ = 0;  // at most 31 live bits
    uint32_t bits_ = 0;
};

enum class Stop {
    kDone,         // the count was produced
    kEndMark,      // the stream holds an end mark
    kOutputFull,   // the count is more than the output holds
    kStreamEnded,  // the stream ended before the count was produced
};

struct Result {
    Stop stop;
    size_t written;  // bytes placed in the output
};

// Value of a distance or length class: 0 keeps the previous value, 1 is 1,
// c > 1 is 2^(c-1) plus the next c-1 bits.
inline uint32_t class_value(uint32_t cls, uint32_t previous, BitReader& bits) {
    if (cls == 0) return previous;
    if (cls == 1) return 1;
    return (1u << (cls - 1)) + bits.read(cls - 1);
}

// Decodes `stream` until `count` bytes are produced into out[0, capacity).
// Starts `work` afresh (window, code). On a failure the output holds what
// was produced before it. Never reads outside `stream` nor writes outside
// the output, whatever the bytes.
inline Result unpack(Work& w, ByteCursor stream, uint8_t* out, size_t capacity, uint32_t count) {
    for (uint8_t& b : w.window) b = 0;
    init_code(w.code, w.decode);
    if (!out) capacity = 0;
    BitReader bits(stream);
    size_t written = 0;
    uint32_t remaining = count;
    uint32_t distance = 1;
    uint32_t base = 1;
    uint32_t pos = 0;  // window position of the next byte
    constexpr uint32_t kMask = kWindowSize - 1;
    while (remaining > 0) {
        const int sym = w.decode[bits.peek(kMaxCodeLength)];
        bits.consume(static_cast<uint32_t>(w.code.length[sym]));
        if (bits.overrun()) return {Stop::kStreamEnded, written};
        count_symbol(w.code, sym, w.decode);
        if (sym < kEndMark) {
            if (written == capacity) return {Stop::kOutputFull, written};
            const uint8_t b = static_cast<uint8_t>(sym);
            out[written++] = b;
            w.window[pos++ & kMask] = b;
            --remaining;
            continue;
        }
        if (sym == kEndMark) return {Stop::kEndMark, written};
        const uint32_t s = static_cast<uint32_t>(sym - kFirstMatch);
        distance = class_value(s / kLengthClasses, distance, bits);
        base = class_value(s % kLengthClasses, base, bits);
        if (bits.overrun()) return {Stop::kStreamEnded, written};
        uint32_t length = base + 2;
        if (length > remaining) length = remaining;
        // Room is checked once for the whole match.
        if (length > capacity - written) return {Stop::kOutputFull, written};
        for (uint32_t i = 0; i < length; ++i) {
            // distance < window size, so the source is never the slot written.
            const uint8_t b = w.window[(pos - distance) & kMask];
            out[written++] = b;
            w.window[pos++ & kMask] = b;
        }
        remaining -= length;
    }
    return {Stop::kDone, written};
}

}  // namespace ovcg::lzh
