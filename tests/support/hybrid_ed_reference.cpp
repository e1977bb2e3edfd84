#include "support/hybrid_ed_reference.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>

namespace ovcg_test {

namespace {

struct CaseText {
    const char* name;
    const char* shares;
};

// The share tables as the kernels' documentation lists them.
const CaseText k1x1[] = {
    {"Z", "+1: q2; +2: q5+q4 | -2: q3; -1: q3+q4; 0: q2"},
    {"D", "+1: q2; +2: q3; +3: q5+q4; +4: q5+q4 | -3: q5; -2: q4; -1: q5+q4; 0: q3+q4; +1: q4"},
    {"M1", "+1: q3; +2: q3; +3: q4; +4: q4; +5: q5; +6: q5 | -6..-3: q5 each; -2: q4; -1: q3; 0: q3; +1: q3"},
    {"M2", "+1: q3; +2: q5+q4; +3: q5+q4; +4: q4; +5: q4; +6: q5; +7: q5 | -7..-5: q5 each; -4..-1: q4 each; "
           "0: q3; +1: q5"},
    {"M3", "+1..+8: q4 each; +9, +10: q5 each | -10..-2: q5 each; -1: q4; 0: q4"},
};
const CaseText k2x1[] = {
    {"Z", "+1: q3; +2: q5+q4; +3: q4; +4: q4 | -4: q4; -3: q4; -2: q5+q4; -1: q3; 0: q3; +1: q5+q4"},
    {"G", "+1: q3; +2..+4: q5+q4 each | -4..-1: q5+q4 each; 0: q3; +1: q5+q4"},
    {"N", "+1..+3: q3 each; +4: q4 | -4: q4; -3: q4; -2..0: q3 each; +1: q4"},
    {"M1", "+1..+4: q4 each; +5..+10: q5 each | -10..-5: q5 each; -4..+1: q4 each"},
    {"M2", "+1, +2: q4 each; +3..+12: q5 each | -12..-3: q5 each; -2..+1: q4 each"},
    {"M3", "+1..+15: q5 each | -15..0: q5 each"},
};
const CaseText k4x1[] = {
    {"Z", "+1: q2; +2..+4: q3 each | -2: q5; -1: q4; 0: q3; +1: q4"},
    {"G", "+1: q3+q4; +2: q3; +3: q3; +4: q4 | -4..-2: q5 each; -1: q3; 0: q5+q3+q4; +1: q4"},
    {"N", "+1: q2; +2..+4: q3 each | -2: q4; -1: q4; 0: q4+q3; +1: q4"},
    {"M1", "+1: q3; +2: q4; +3..+10: q5 each | -10..-2: q5 each; -1: q4; 0: q3; +1: q4+q5"},
    {"M2", "+1: q4+q5; +2: q4; +3..+12: q5 each | -11..-2: q5 each; -1: q4; 0: q4+q5; +1: q4"},
    {"M3", "+1..+15: q5 each | -15..0: q5 each"},
};
const CaseText k1x2[] = {
    {"Z", "+1: q5+q3; +2: q3 | -2: q3; -1: q3; 0: q2; +1: q3"},
    {"G", "+1: q2; +2: q3; +3: q5 | -3: q5; -2: q4; -1: q3; 0: q2; +1: q3"},
    {"N", "+1: q2; +2: q3; +3: q5 | -2: q5; -1: q2; 0: q2; +1: q4"},
    {"M1", "+1: q2; +2: q4; +3: q5; +4: q5 | -3: q4; -2: q4; -1: q3; 0: q2; +1: q3"},
    {"M2", "+1: q2; +2: q3; +3: q4; +4: q5; +5: q5 | -4: q5; -3: q5; -2: q4; -1: q4; 0: q2; +1: q4"},
    {"M3", "+1: q5+q4; +2: q5+q4; +3: q4; +4..+8: q5 each | -8..-4: q5 each; -3: q4; -2: q4; -1: q5+q4; "
           "0: q5+q4; +1: q5+q4"},
};
const CaseText kAll1x1[] = {
    {"Z", "+1: q2; +2: q5+q4 | -2: q3; -1: q3+q4; 0: q2"},
    {"G", "+1: q2; +2: q3; +3: q5 | -3: q5; -2: q4; -1: q3; 0: q2; +1: q3"},
    {"N", "+1: q2; +2: q3; +3: q3; +4: q5 | -2: q4+q5; -1: q3; 0: q2"},
    {"M1", "+1: q3+q4; +2: q3+q5; +3: q4; +4: q5 | -4: q5; -3: q5; -2: q4; -1: q3; 0: q3+q4; +1: q3"},
    {"M2", "+1: q3+q4; +2..+4: q4 each; +5, +6: q5 each | -6..-4: q5 each; -3: q4; -2: q4; -1: q4+q5; "
           "0: q3+q4; +1: q4"},
    {"M3", "+1: q4+q5; +2: q4; +3: q4; +4..+9: q5 each | -9..-5: q5 each; -4..-1: q4 each; 0: q4+q5; +1: q4"},
};

template <size_t N>
const char* find(const CaseText (&table)[N], const std::string& name) {
    for (const CaseText& c : table)
        if (name == c.name) return c.shares;
    return nullptr;
}

// One share: the shifts of the residual it adds.
struct Share {
    bool next;
    int offset;
    std::vector<int> shifts;
};

// "+9, +10: q5 each" / "-6..-3: q5 each" / "0: q4+q3".
void parse_side(const std::string& text, bool next, std::vector<Share>& out) {
    std::stringstream items(text);
    std::string item;
    while (std::getline(items, item, ';')) {
        const size_t colon = item.find(':');
        if (colon == std::string::npos) throw std::invalid_argument("share without a colon: " + item);
        std::string where = item.substr(0, colon), what = item.substr(colon + 1);
        std::vector<int> offsets;
        std::stringstream list(where);
        std::string one;
        while (std::getline(list, one, ',')) {
            const size_t dots = one.find("..");
            const int from = std::stoi(one.substr(0, dots));
            const int to = dots == std::string::npos ? from : std::stoi(one.substr(dots + 2));
            for (int k = from; k <= to; ++k) offsets.push_back(k);
        }
        std::vector<int> shifts;
        for (size_t q = what.find('q'); q != std::string::npos; q = what.find('q', q + 1))
            shifts.push_back(what[q + 1] - '0');
        for (int k : offsets) out.push_back({next, k, shifts});
    }
}

std::vector<Share> parse(const char* text) {
    const std::string s(text);
    const size_t bar = s.find('|');
    std::vector<Share> out;
    parse_side(s.substr(0, bar), false, out);
    parse_side(s.substr(bar + 1), true, out);
    return out;
}

int32_t wrap(int64_t v) { return int32_t(uint32_t(uint64_t(v))); }

}  // namespace

const char* reference_shares(EdFamily family, const char* name) {
    const std::string n(name);
    switch (family) {
        case EdFamily::k1x1: return find(k1x1, n == "G" || n == "N" ? "D" : n);
        case EdFamily::k2x1: return find(k2x1, n);
        case EdFamily::k4x1: return find(k4x1, n);
        case EdFamily::k1x2: return find(k1x2, n);
        case EdFamily::kAllEDOnly1x1: return find(kAll1x1, n);
    }
    return nullptr;
}

int64_t reference_share(EdFamily family, const char* name, bool next, int k, int32_t r) {
    int64_t v = 0;
    for (const Share& s : parse(reference_shares(family, name)))
        if (s.next == next && s.offset == k)
            for (int shift : s.shifts) v += r >> shift;
    return v;
}

void reference_hybrid_ed(const EdKernelSpec& recipe, const EdRun& run, std::vector<uint8_t>& plane, uint32_t* counts,
                         std::vector<int32_t>& line) {
    if (run.n <= 0) return;
    static const char* const kCases[] = {"Z", "G", "N", "M1", "M2", "M3"};
    std::map<std::string, std::vector<Share>> cases;
    for (const char* c : kCases) cases[c] = parse(reference_shares(recipe.family, c));

    const int64_t margin = 30, x0 = run.x0, end = x0 + run.n;
    const int64_t per = 8 / recipe.bits, first = x0 / per * per;
    auto at = [&](int64_t x) -> size_t { return size_t(x + margin); };
    std::vector<int32_t> cur = line, next(line.size(), 0), past_end(line.size(), 0);
    const int32_t* a = run.thresholds;
    const int32_t* b = run.thresholds + 256;

    for (int64_t x = x0; x < end; ++x) {
        const uint32_t p = run.ink[x];
        const uint32_t cell = reference_cell(*run.dither, run.offset, run.nozzle, first, x);
        auto prints = [&](uint32_t level) { return ((cell - level) >> 12) & 1u; };
        // Level and dither count m: 1 bit, the dither bit; 2 bits, the values
        // above the threshold (none for ink 0). The test size is k + 1.
        const uint32_t* r3 = run.rates + (recipe.bits == 1 ? p : 3 * p);
        const uint32_t level = recipe.bits == 1 ? r3[0] : r3[recipe.k];
        const uint32_t m = recipe.bits == 1 ? prints(level) : p ? prints(r3[0]) + prints(r3[1]) + prints(r3[2]) : 0;
        const int32_t big_l = level > 7 ? wrap(int64_t(level) * 4) : 0;
        const int64_t index = level > 4087 ? 255 : (int64_t(big_l) + 32) >> 6;
        const int32_t e = wrap(int64_t(cur[at(x)]) + big_l);
        uint32_t code = m;
        if (m <= recipe.k + 1) code = (m == recipe.k + 1 ? b[index] : a[index]) < e ? recipe.k + 1 : 0;
        const int32_t r = code ? wrap(int64_t(e) - 16320) : e;
        // Fold and case.
        int32_t folded = big_l;
        bool minority = code != 0;
        if (big_l > 8191) {
            folded = wrap(16320 - int64_t(big_l));
            minority = code == 0;
        }
        const char* name;
        if (folded == 0) name = "Z";
        else if (minority && folded <= 576) name = folded >= 321 ? "M1" : folded >= 129 ? "M2" : "M3";
        else name = folded > 576 ? "G" : "N";
        for (const Share& s : cases[name]) {
            int64_t v = 0;
            for (int shift : s.shifts) v += r >> shift;
            const int64_t to = x + s.offset;
            if (s.next) {
                next[at(to)] = wrap(next[at(to)] + v);
            } else {
                cur[at(to)] = wrap(cur[at(to)] + v);
                if (to >= end && s.offset >= 3) past_end[at(to)] = wrap(past_end[at(to)] + v);
            }
        }
        // Output and counts.
        const size_t byte = size_t(x / per);
        if (x == x0 || x % per == 0) plane[byte] = 0;
        plane[byte] = uint8_t(plane[byte] | code << (8 - recipe.bits * (x % per + 1)));
        if (code) ++counts[code];
    }
    // The after-run rule.
    for (int64_t c = x0 - 15; c < x0 - 3; ++c)
        line[at(c)] = wrap((run.mend_margins ? 0 : int64_t(line[at(c)])) + next[at(c)]);
    for (int64_t c = x0 - 3; c < end; ++c) line[at(c)] = next[at(c)];
    for (int64_t c = end; c < end + 15; ++c)
        line[at(c)] = wrap((run.mend_margins ? 0 : int64_t(line[at(c)])) + past_end[at(c)]);
}

}  // namespace ovcg_test
