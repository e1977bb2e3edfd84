#include "support/hxr_packer.h"

#include <algorithm>
#include <bit>
#include <stdexcept>
#include <vector>

namespace ovcg_test {

namespace {

constexpr int kN = kHxrPackSymbols;
constexpr int kLimit = 12;
constexpr uint32_t kRing = 16384;

}  // namespace

HxrPackCode hxr_pack_build_code(const std::array<uint32_t, kN>& freq) {
    // Shell sort by decreasing frequency with the model's gap sequence.
    std::vector<int> order(kN);
    for (int i = 0; i < kN; ++i) order[i] = i;
    for (int gap : {196, 98, 49, 24, 12, 6, 3, 1}) {
        for (int i = gap; i < kN; ++i) {
            int v = order[i], j = i;
            for (; j >= gap && freq[order[j - gap]] < freq[v]; j -= gap) order[j] = order[j - gap];
            order[j] = v;
        }
    }
    // Two-queue Huffman merge.
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
    // Length limiting as in the JPEG code-size adjustment, without its
    // reserved all-ones code.
    for (int i = deepest; i > kLimit; --i) {
        while (count[i] > 0) {
            int j = i - 2;
            while (count[j] == 0) --j;
            count[i] -= 2;
            count[i - 1] += 1;
            count[j + 1] += 2;
            count[j] -= 1;
        }
    }
    HxrPackCode out;
    uint32_t next = 0;
    size_t pos = 0;
    for (int len = 1; len <= kLimit; ++len, next <<= 1) {
        for (int k = 0; k < count[len]; ++k, ++next) {
            out.length[order[pos]] = static_cast<uint8_t>(len);
            out.code[order[pos]] = static_cast<uint16_t>(next);
            ++pos;
        }
    }
    if (pos != size_t(kN)) throw std::logic_error("code lengths do not cover every symbol");
    return out;
}

HxrStreamWriter::HxrStreamWriter() {
    freq_.fill(1);
    code_ = hxr_pack_build_code(freq_);
    counter_ = 3000;
}

void HxrStreamWriter::bits(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        acc_ = (acc_ << 1) | ((value >> i) & 1u);
        if (++acc_bits_ == 8) {
            out_.push_back(static_cast<uint8_t>(acc_));
            acc_ = 0;
            acc_bits_ = 0;
        }
    }
}

void HxrStreamWriter::symbol(int sym) {
    bits(code_.code[sym], code_.length[sym]);
    ++symbols_;
    ++freq_[sym];
    if (++counter_ == 4096) {
        code_ = hxr_pack_build_code(freq_);
        freq_.fill(1);
        counter_ = kN;
        ++rebuilds_;
    }
}

void HxrStreamWriter::match(int dclass, uint32_t dextra, int lclass, uint32_t lextra) {
    symbol(257 + dclass * 9 + lclass);
    if (dclass > 1) bits(dextra, dclass - 1);
    if (lclass > 1) bits(lextra, lclass - 1);
}

Bytes HxrStreamWriter::finish(uint32_t count) const {
    Bytes b{uint8_t(count), uint8_t(count >> 8), uint8_t(count >> 16), uint8_t(count >> 24)};
    b.insert(b.end(), out_.begin(), out_.end());
    if (acc_bits_) b.push_back(static_cast<uint8_t>(acc_ << (8 - acc_bits_)));
    return b;
}

Bytes hxr_pack_stream(const Bytes& data, int max_match) {
    HxrStreamWriter w;
    const size_t n = data.size();
    std::vector<int> head(1 << 16, -1), prev(n, -1);
    auto hash = [&](size_t i) { return ((data[i] << 8) ^ (data[i + 1] << 4) ^ data[i + 2]) & 0xFFFF; };
    uint32_t last_dist = 1, last_len = 1;
    size_t i = 0;
    auto insert = [&](size_t at) {
        if (at + 2 < n) {
            int h = hash(at);
            prev[at] = head[h];
            head[h] = int(at);
        }
    };
    while (i < n) {
        size_t best_len = 0, best_dist = 0;
        if (max_match >= 3 && i + 2 < n) {
            int steps = 0;
            for (int c = head[hash(i)]; c >= 0 && steps < 128; c = prev[c], ++steps) {
                size_t dist = i - size_t(c);
                if (dist >= kRing) break;
                size_t len = 0, lim = std::min<size_t>(size_t(max_match), n - i);
                while (len < lim && data[size_t(c) + len] == data[i + len]) ++len;
                if (len > best_len || (len == best_len && dist == last_dist)) {
                    best_len = len;
                    best_dist = dist;
                }
            }
        }
        if (best_len >= 3) {
            uint32_t v = uint32_t(best_len - 2);
            int dclass = 0, lclass = 0;
            uint32_t dextra = 0, lextra = 0;
            if (best_dist != last_dist) {
                dclass = std::bit_width(uint32_t(best_dist));
                dextra = uint32_t(best_dist) - (1u << (dclass - 1));
            }
            if (v != last_len) {
                lclass = std::bit_width(v);
                lextra = v - (1u << (lclass - 1));
            }
            w.match(dclass, dextra, lclass, lextra);
            last_dist = uint32_t(best_dist);
            last_len = v;
            for (size_t k = 0; k < best_len; ++k) insert(i + k);
            i += best_len;
        } else {
            w.literal(data[i]);
            insert(i);
            ++i;
        }
    }
    return w.finish(static_cast<uint32_t>(n));
}

Bytes hxr_envelope(const Bytes& stream, bool lut) {
    Bytes b{0x7A, 0xCF, 0x86, 0x5C, 0x7D, 0x90, 0x3C, uint8_t(lut ? 0xBA : 0xB9)};
    uint32_t len = static_cast<uint32_t>(stream.size());
    for (int k = 0; k < 4; ++k) b.push_back(uint8_t(len >> (8 * k)));
    b.insert(b.end(), stream.begin(), stream.end());
    return b;
}

Bytes hxr_pack(const Bytes& data) { return hxr_envelope(hxr_pack_stream(data), false); }

Bytes hxr_pack_lut(const Bytes& interleaved, size_t body_offset, size_t nodes, size_t channels) {
    Bytes planar = interleaved;
    for (size_t k = 0; k < nodes; ++k)
        for (size_t c = 0; c < channels; ++c)
            planar.at(body_offset + c * nodes + k) = interleaved.at(body_offset + k * channels + c);
    return hxr_envelope(hxr_pack_stream(planar), true);
}

}  // namespace ovcg_test
