// The adaptive, length-limited Huffman code of packed head-control resources.
//
// Literals, the end mark and the match codes share one code of 392 symbols.
// Both ends start from a fixed code (every frequency 1), count every symbol
// they pass, and rebuild the code from the counts whenever the symbol counter
// reaches 4096: first after 1096 symbols, then after every 3704.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace ovcg::irac::rdm {

inline constexpr int kSymbols = 392;
inline constexpr int kEndMark = 256;
inline constexpr int kFirstMatch = 257;
inline constexpr int kLengthClasses = 9;     // match symbol s: distance class s / 9, length class s % 9
inline constexpr int kDistanceClasses = 15;
inline constexpr int kMaxCodeLength = 12;
inline constexpr uint32_t kTableSize = 1u << kMaxCodeLength;
inline constexpr uint32_t kWindowSize = 16384;
inline constexpr uint16_t kCounterStart = 3000;
inline constexpr uint16_t kCounterRebuild = 4096;
inline constexpr uint16_t kCounterAfterRebuild = 392;
inline constexpr uint32_t kHeaderSize = 9;
inline constexpr uint8_t kSignature[3] = {0xAB, 0xB0, 0xA0};

static_assert(kFirstMatch + kDistanceClasses * kLengthClasses == kSymbols);

struct MergeNode {
    uint16_t first;   // below 392: a position in the symbol order; 392 + k: node k
    uint16_t second;
    uint16_t weight;
};

struct CodeState {
    uint16_t freq[kSymbols];
    uint16_t counter;
    int16_t length[kSymbols];
    uint16_t code[kSymbols];       // canonical code of each symbol, length[] bits
    uint16_t order[kSymbols];      // symbols by descending frequency
    int16_t weight[kSymbols];      // the frequencies in that order
    MergeNode nodes[kSymbols - 1];
    uint16_t node_depth[kSymbols - 1];
    int32_t depth_count[kSymbols + 1];  // codes per length; a tree is at most 391 deep
};

// Rebuilds the code from the frequencies: lengths, canonical codes and, when
// decode is not null, the 4096-entry decode table (symbol by the next 12
// bits). Then resets every frequency to 1 and the counter to 392.
inline void make_code(CodeState& s, int16_t* decode) {
    // 1. Shell sort into descending frequency, carrying the symbol order.
    //    Equal frequencies keep their relative place only as far as the gaps
    //    allow: an element moves past strictly smaller ones only.
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
    //    merge nodes in the order made; the leaf wins a tie.
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

    // 4. Limit the lengths to 12 (the JPEG code-length adjustment). All 392
    //    symbols need a code, so no code is held back: the Kraft sum stays 1.
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

// The fixed code both ends start from.
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

}  // namespace ovcg::irac::rdm
