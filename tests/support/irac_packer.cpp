#include "support/irac_packer.h"

#include "headcontrol/rdm_code.h"

#include <algorithm>
#include <stdexcept>

namespace ovcg_test {

namespace rdm = ovcg::irac::rdm;

namespace {

void put_size(Bytes& out, uint32_t size) {
    out[5] = static_cast<uint8_t>(size >> 16);
    out[6] = static_cast<uint8_t>(size);
    out[7] = static_cast<uint8_t>(size >> 24);
    out[8] = static_cast<uint8_t>(size >> 8);
}

class BitWriter {
public:
    explicit BitWriter(Bytes& out) : out_(out) {}
    void put(uint32_t value, uint32_t n) {
        for (uint32_t i = n; i-- > 0;) {
            acc_ = static_cast<uint8_t>((acc_ << 1) | ((value >> i) & 1u));
            if (++bits_ == 8) {
                out_.push_back(acc_);
                acc_ = 0;
                bits_ = 0;
            }
        }
    }
    void finish() {
        if (bits_) out_.push_back(static_cast<uint8_t>(acc_ << (8 - bits_)));
        acc_ = 0;
        bits_ = 0;
    }

private:
    Bytes& out_;
    uint8_t acc_ = 0;
    uint32_t bits_ = 0;
};

uint32_t bit_length(uint32_t v) {
    uint32_t n = 0;
    while (v) {
        ++n;
        v >>= 1;
    }
    return n;
}

class Encoder {
public:
    Encoder(Bytes& out, const IracPackOptions& opt, IracPackStats* stats)
        : bits_(out), opt_(opt), stats_(stats) {
        rdm::init_code(code_, nullptr);
    }

    void literal(uint8_t b) {
        symbol(b);
        if (stats_) ++stats_->literals;
    }

    void match(uint32_t distance, uint32_t length) {
        const uint32_t base = length - 2;
        uint32_t d = 0, l = 0;
        const bool same_d = opt_.repeat_classes && distance == prev_distance_;
        const bool same_l = opt_.repeat_classes && base == prev_base_;
        if (!same_d) d = bit_length(distance);
        if (!same_l) l = bit_length(base);
        symbol(static_cast<int>(rdm::kFirstMatch + d * rdm::kLengthClasses + l));
        if (d > 1) bits_.put(distance - (1u << (d - 1)), d - 1);
        if (l > 1) bits_.put(base - (1u << (l - 1)), l - 1);
        prev_distance_ = distance;
        prev_base_ = base;
        if (stats_) {
            ++stats_->match_symbols;
            stats_->longest_match = std::max<size_t>(stats_->longest_match, length);
            stats_->farthest_distance = std::max<size_t>(stats_->farthest_distance, distance);
        }
    }

    void finish() { bits_.finish(); }

private:
    void symbol(int sym) {
        bits_.put(code_.code[sym], static_cast<uint32_t>(code_.length[sym]));
        if (stats_) ++stats_->symbols;
        if (rdm::count_symbol(code_, sym, nullptr) && stats_) {
            ++stats_->rebuilds;
            if (stats_->record_lengths) {
                std::array<int16_t, 392> lengths{};
                std::copy(std::begin(code_.length), std::end(code_.length), lengths.begin());
                stats_->lengths_after_rebuild.push_back(lengths);
            }
        }
    }

    BitWriter bits_;
    const IracPackOptions& opt_;
    IracPackStats* stats_;
    rdm::CodeState code_{};
    uint32_t prev_distance_ = 1;
    uint32_t prev_base_ = 1;
};

constexpr uint32_t kHashBits = 15;
constexpr uint32_t kNone = 0xFFFFFFFFu;

uint32_t hash3(const uint8_t* p) {
    const uint32_t v = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    return (v * 2654435761u) >> (32 - kHashBits);
}

}  // namespace

Bytes irac_plain_resource(const std::array<uint8_t, 4>& prefix, const Bytes& body) {
    Bytes out(rdm::kHeaderSize + body.size(), 0);
    std::copy(prefix.begin(), prefix.end(), out.begin());
    put_size(out, static_cast<uint32_t>(body.size()));
    for (size_t i = 0; i < body.size(); ++i) out[rdm::kHeaderSize + i] = body[i];
    return out;
}

Bytes irac_pack(const Bytes& resource, const IracPackOptions& options, IracPackStats* stats) {
    if (resource.size() < rdm::kHeaderSize) throw std::invalid_argument("resource shorter than its header");
    const uint8_t* data = resource.data() + rdm::kHeaderSize;
    const size_t n = resource.size() - rdm::kHeaderSize;

    Bytes out(rdm::kHeaderSize, 0);
    std::copy(resource.begin(), resource.begin() + 4, out.begin());
    out[4] = 1;
    put_size(out, static_cast<uint32_t>(n));

    Encoder enc(out, options, stats);
    std::vector<uint32_t> head(size_t{1} << kHashBits, kNone);
    std::vector<uint32_t> prev(n, kNone);
    auto insert = [&](size_t pos) {
        if (pos + 3 > n) return;
        const uint32_t h = hash3(data + pos);
        prev[pos] = head[h];
        head[h] = static_cast<uint32_t>(pos);
    };

    size_t i = 0;
    while (i < n) {
        uint32_t best_len = 0, best_dist = 0;
        if (options.matches && i + rdm::kMinMatch <= n) {
            const size_t limit = std::min<size_t>(rdm::kMaxMatch, n - i);
            uint32_t cand = head[hash3(data + i)];
            for (uint32_t tries = 0; cand != kNone && tries < options.max_chain; ++tries) {
                const size_t dist = i - cand;
                if (dist > rdm::kMaxDistance) break;
                size_t len = 0;
                while (len < limit && data[cand + len] == data[i + len]) ++len;
                if (len > best_len) {
                    best_len = static_cast<uint32_t>(len);
                    best_dist = static_cast<uint32_t>(dist);
                    if (len == limit) break;
                }
                cand = prev[cand];
            }
        }
        if (best_len >= rdm::kMinMatch) {
            enc.match(best_dist, best_len);
            for (size_t k = 0; k < best_len; ++k) insert(i + k);
            i += best_len;
        } else {
            enc.literal(data[i]);
            insert(i);
            ++i;
        }
    }
    enc.finish();
    return out;
}

}  // namespace ovcg_test
