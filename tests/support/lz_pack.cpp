#include "support/lz_pack.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace ovcg_test {

void MsbBitWriter::put(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        acc_ = (acc_ << 1) | ((value >> i) & 1u);
        if (++acc_bits_ == 8) {
            out_.push_back(static_cast<uint8_t>(acc_));
            acc_ = 0;
            acc_bits_ = 0;
        }
    }
}

Bytes MsbBitWriter::finish() const {
    Bytes b = out_;
    if (acc_bits_) b.push_back(static_cast<uint8_t>(acc_ << (8 - acc_bits_)));
    return b;
}

LzCode lz_build_code(const std::array<uint32_t, kLzSymbols>& freq) {
    constexpr int kN = kLzSymbols;
    std::vector<int> order(kN);
    for (int i = 0; i < kN; ++i) order[i] = i;
    for (int gap : {196, 98, 49, 24, 12, 6, 3, 1}) {
        for (int i = gap; i < kN; ++i) {
            int v = order[i], j = i;
            for (; j >= gap && freq[order[j - gap]] < freq[v]; j -= gap) order[j] = order[j - gap];
            order[j] = v;
        }
    }
    struct Node {
        uint32_t w;
        int parent;
    };
    std::vector<Node> nodes(2 * kN, Node{0, -1});
    for (int s = 0; s < kN; ++s) nodes[s].w = freq[s];
    std::vector<int> leaves(order.rbegin(), order.rend());  // least frequent first
    size_t li = 0;
    int ni = kN, made = kN;
    auto take = [&]() {
        uint32_t wl = li < leaves.size() ? nodes[leaves[li]].w : 32767u;
        uint32_t wn = ni < made ? nodes[ni].w : 32767u;
        return wl <= wn ? leaves[li++] : ni++;
    };
    while (made < 2 * kN - 1) {
        int a = take(), b = take();
        nodes[made].w = nodes[a].w + nodes[b].w;
        nodes[a].parent = nodes[b].parent = made;
        ++made;
    }
    std::vector<int> count(2 * kN + 1, 0);
    int deepest = 0;
    for (int s = 0; s < kN; ++s) {
        int d = 0;
        for (int p = s; nodes[p].parent >= 0; p = nodes[p].parent) ++d;
        ++count[d];
        deepest = std::max(deepest, d);
    }
    // Two leaves at the deepest level become one leaf a level up and one hung
    // below the nearest shorter leaf. No code is held back: all 392 symbols
    // need one, so the Kraft sum stays 1.
    for (int i = deepest; i > kLzMaxCodeLength; --i) {
        while (count[i] > 0) {
            int j = i - 2;
            while (count[j] == 0) --j;
            count[i] -= 2;
            count[i - 1] += 1;
            count[j + 1] += 2;
            count[j] -= 1;
        }
    }
    LzCode out;
    uint32_t next = 0;
    size_t pos = 0;
    for (int len = 1; len <= kLzMaxCodeLength; ++len, next <<= 1) {
        for (int k = 0; k < count[len]; ++k, ++next) {
            out.length[order[pos]] = static_cast<uint8_t>(len);
            out.code[order[pos]] = static_cast<uint16_t>(next);
            ++pos;
        }
    }
    if (pos != size_t(kN)) throw std::logic_error("code lengths do not cover every symbol");
    return out;
}

AdaptiveCoder::AdaptiveCoder() {
    freq_.fill(1);
    code_ = lz_build_code(freq_);
    counter_ = 3000;
}

bool AdaptiveCoder::put(int sym, MsbBitWriter& out) {
    out.put(code_.code[sym], code_.length[sym]);
    ++freq_[sym];
    if (++counter_ != 4096) return false;
    code_ = lz_build_code(freq_);
    freq_.fill(1);
    counter_ = kLzSymbols;
    ++rebuilds_;
    return true;
}

uint32_t lz_class(uint32_t v) {
    uint32_t n = 0;
    for (; v; v >>= 1) ++n;
    return n;
}

void lz77_parse(const Bytes& data, uint32_t max_match, uint32_t max_chain,
                const std::function<void(uint8_t)>& literal,
                const std::function<void(uint32_t distance, uint32_t length)>& match) {
    constexpr uint32_t kHashBits = 15;
    constexpr uint32_t kNone = 0xFFFFFFFFu;
    const size_t n = data.size();
    auto hash3 = [&](size_t p) {
        const uint32_t v = (uint32_t{data[p]} << 16) | (uint32_t{data[p + 1]} << 8) | data[p + 2];
        return (v * 2654435761u) >> (32 - kHashBits);
    };
    std::vector<uint32_t> head(size_t{1} << kHashBits, kNone), prev(n, kNone);
    auto insert = [&](size_t p) {
        if (p + kLzMinMatch > n) return;
        const uint32_t h = hash3(p);
        prev[p] = head[h];
        head[h] = static_cast<uint32_t>(p);
    };
    uint32_t last_distance = 1;
    size_t i = 0;
    while (i < n) {
        uint32_t best_len = 0, best_dist = 0;
        if (max_match >= kLzMinMatch && i + kLzMinMatch <= n) {
            const size_t limit = std::min<size_t>(std::min(max_match, kLzMaxMatch), n - i);
            uint32_t cand = head[hash3(i)];
            for (uint32_t tries = 0; cand != kNone && tries < max_chain; ++tries, cand = prev[cand]) {
                const uint32_t dist = static_cast<uint32_t>(i - cand);
                if (dist > kLzMaxDistance) break;
                uint32_t len = 0;
                while (len < limit && data[cand + len] == data[i + len]) ++len;
                if (len > best_len || (len == best_len && dist == last_distance)) {
                    best_len = len;
                    best_dist = dist;
                }
                if (len == limit && dist == last_distance) break;  // nothing better can follow
            }
        }
        if (best_len >= kLzMinMatch) {
            match(best_dist, best_len);
            last_distance = best_dist;
            for (size_t k = 0; k < best_len; ++k) insert(i + k);
            i += best_len;
        } else {
            literal(data[i]);
            insert(i);
            ++i;
        }
    }
}

}  // namespace ovcg_test
