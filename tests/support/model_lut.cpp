#include "support/model_lut.h"

#include "common/byte_cursor.h"
#include "support/hxr_packer.h"
#include "support/model_index.h"

#include <algorithm>
#include <stdexcept>

namespace ovcg_test {

namespace {

void put8(Bytes& b, uint8_t v) { b.push_back(v); }
void put_s16(Bytes& b, int16_t v) { put16(b, uint16_t(v)); }
void put_bytes(Bytes& b, const std::vector<uint8_t>& v) { b.insert(b.end(), v.begin(), v.end()); }
Bytes tag(const char* t) { return Bytes(t, t + 4); }

size_t power(size_t g, size_t d) {
    size_t n = 1;
    for (size_t i = 0; i < d; ++i) n *= g;
    return n;
}

Bytes block_clut(const LutClut& c) {
    if (c.table.size() != power(c.pos.size(), c.dim) * c.inks.size()) throw std::invalid_argument("clut table size");
    Bytes b = tag("clut");
    put8(b, c.dim);
    put8(b, uint8_t(c.inks.size()));
    put8(b, c.out_type);
    for (int a = 0; a < c.dim; ++a) put8(b, uint8_t(c.pos.size()));
    put_bytes(b, c.inks);
    for (int a = 0; a < c.dim; ++a) put_bytes(b, c.pos);
    put_bytes(b, c.table);
    return b;
}

Bytes block_mlut(const LutMono& m) {
    if (m.table.size() != m.pos.size() * m.unit) throw std::invalid_argument("mlut table size");
    Bytes b = tag("mlut");
    put8(b, m.dim);
    put8(b, m.unit);
    put8(b, m.out_type);
    put8(b, uint8_t(m.pos.size()));
    put_bytes(b, m.pos);
    put_bytes(b, m.table);
    return b;
}

Bytes block_egry(const LutGray& g) {
    if (g.table.size() != g.pos.size() * g.inks.size()) throw std::invalid_argument("egry table size");
    Bytes b = tag("egry");
    put8(b, g.dim);
    put8(b, uint8_t(g.inks.size()));
    put8(b, g.out_type);
    put8(b, uint8_t(g.pos.size()));
    put_s16(b, g.gamma);  // 8
    put8(b, 0);
    put8(b, g.selector);  // 11
    put16(b, 0);
    put_bytes(b, g.inks);  // 14
    put_bytes(b, g.pos);
    for (int16_t v : g.table) put_s16(b, v);
    return b;
}

Bytes block_pair(const char* t, int16_t a, int16_t c) {
    Bytes b = tag(t);
    put_s16(b, a);
    put_s16(b, c);
    return b;
}

Bytes block_tnmx(const LutTnmx& t) {
    if (t.table.size() != t.pos.size() * t.inks.size()) throw std::invalid_argument("tnmx table size");
    Bytes b = tag("tnmx");
    put8(b, t.dim);
    put8(b, uint8_t(t.inks.size()));
    put8(b, t.out_type);
    put_s16(b, int16_t(t.pos.size()));  // 7
    put_s16(b, t.gamma);                // 9
    put8(b, 0);
    put8(b, t.selector);                // 12
    put16(b, 0);
    put_bytes(b, t.inks);               // 15
    put_bytes(b, t.pos);
    for (uint16_t v : t.table) put16(b, v);
    return b;
}

Bytes block_inkd(const std::vector<std::pair<uint8_t, int16_t>>& d) {
    Bytes b = tag("inkd");
    put8(b, 0);
    put8(b, uint8_t(d.size()));
    for (const auto& e : d) put8(b, e.first);
    for (const auto& e : d) put_s16(b, e.second);
    return b;
}

Bytes block_ctcn(const LutCtcn& c) {
    if (c.tones.size() != c.types.size() || c.rates.size() != c.types.size())
        throw std::invalid_argument("ctcn: one tone and one rate record per type");
    Bytes b = tag("ctcn");
    put8(b, uint8_t(c.types.size()));
    put8(b, 0);
    put8(b, c.tone_count);
    put8(b, c.rate_mode);
    put_bytes(b, c.types);
    for (const auto& r : c.ranges) {
        put_s16(b, r.first);
        put_s16(b, r.second);
    }
    for (const auto& t : c.tones)
        for (int16_t v : t) put_s16(b, v);
    for (const auto& r : c.rates)
        for (int16_t v : r) put_s16(b, v);
    return b;
}

}  // namespace

Bytes write_lut(const LutSpec& s, std::map<std::string, size_t>* offsets) {
    std::vector<std::pair<std::string, Bytes>> blocks;
    if (s.clut) blocks.emplace_back("clut", block_clut(*s.clut));
    if (s.mlut) blocks.emplace_back("mlut", block_mlut(*s.mlut));
    if (s.egry) blocks.emplace_back("egry", block_egry(*s.egry));
    if (s.cdbg) blocks.emplace_back("cdbg", block_pair("cdbg", s.cdbg->first, s.cdbg->second));
    if (s.mdbg) blocks.emplace_back("mdbg", block_pair("mdbg", s.mdbg->first, s.mdbg->second));
    if (s.gama) blocks.emplace_back("gama", block_pair("gama", *s.gama, 0));
    if (s.encd) blocks.emplace_back("encd", block_pair("encd", 0, 0));
    if (s.inkd) blocks.emplace_back("inkd", block_inkd(*s.inkd));
    if (s.tnmx) blocks.emplace_back("tnmx", block_tnmx(*s.tnmx));
    if (s.ctcn) blocks.emplace_back("ctcn", block_ctcn(*s.ctcn));
    for (const auto& e : s.extra) {
        if (e.first.size() != 4) throw std::invalid_argument("a tag has four characters");
        blocks.push_back(e);
    }
    if (s.version.size() != 4) throw std::invalid_argument("the version has four characters");

    const size_t table = 24;
    Bytes b(table + 8 * blocks.size(), 0);
    b[0] = 'O';
    b[1] = 'V';
    if (s.planar_mark) b[15] = '5';
    std::copy(s.version.begin(), s.version.end(), b.begin() + 16);
    ovcg::store_u32le(b.data() + 20, uint32_t(blocks.size()));
    for (size_t k = 0; k < blocks.size(); ++k) {
        b.insert(b.end(), (4 - b.size() % 4) % 4, uint8_t(0));
        const size_t at = b.size();
        std::copy_n(blocks[k].first.begin(), 4, b.begin() + long(table + 8 * k));
        ovcg::store_u32le(b.data() + table + 8 * k + 4, uint32_t(at));
        if (offsets && k < blocks.size() - s.extra.size()) (*offsets)[blocks[k].first] = at;
        b.insert(b.end(), blocks[k].second.begin(), blocks[k].second.end());
    }
    return b;
}

Bytes pack_lut_resource(const LutSpec& s) {
    if (!s.clut || !s.planar_mark) throw std::invalid_argument("a packed LUT needs its clut and the planar mark");
    std::map<std::string, size_t> at;
    const Bytes plain = write_lut(s, &at);
    const LutClut& c = *s.clut;
    const size_t body = at["clut"] + 7 + c.dim + c.inks.size() + size_t(c.dim) * c.pos.size();
    return hxr_pack_lut(plain, body, power(c.pos.size(), c.dim), c.inks.size());
}

// ---- The model's tables -----------------------------------------------------

std::vector<uint8_t> model_grid(size_t n) {
    std::vector<uint8_t> p;
    for (size_t k = 0; k < n; ++k) p.push_back(uint8_t((k * 255 + (n - 1) / 2) / (n - 1)));
    return p;
}

namespace {

// Ink amounts of a colour in the model's separation: C, M, Y after half
// under-colour removal, K the removed part, light inks half their dark ink.
uint8_t separate(uint8_t code, int c, int m, int y, int shade) {
    const int k = std::min({c, m, y});
    int v = 0;
    switch (code) {
        case 0: v = k; break;
        case 1: v = c - k / 2; break;
        case 2: v = m - k / 2; break;
        case 3: v = y - k / 2; break;
        case 4: v = (c - k / 2) / 2; break;
        case 5: v = (m - k / 2) / 2; break;
        default: v = 0;
    }
    return uint8_t(v * (100 - 5 * shade) / 100);
}

constexpr int16_t kModelGamma = 180;

void add_common(LutSpec& s) {
    s.cdbg = {int16_t(kModelColourDbg0), int16_t(kModelColourDbg255)};
    s.mdbg = {int16_t(kModelMonoDbg0), int16_t(kModelMonoDbg255)};
    s.gama = kModelGamma;
    LutMono m;
    m.pos = model_grid(17);
    for (uint8_t p : m.pos) m.table.push_back(uint8_t(255 - p));
    s.mlut = m;
}

// A clut of `nodes` per axis whose node value of each ink is ink(code,
// levels of the node's axes).
template <typename Ink>
LutClut model_clut(const std::vector<uint8_t>& codes, uint8_t dim, size_t nodes, Ink ink) {
    LutClut c;
    c.dim = dim;
    c.inks = codes;
    c.pos = model_grid(nodes);
    const size_t count = power(nodes, dim);
    for (size_t n = 0; n < count; ++n) {
        int level[4] = {};
        for (size_t a = dim, rest = n; a-- > 0; rest /= nodes) level[a] = c.pos[rest % nodes];
        for (uint8_t code : codes) c.table.push_back(ink(code, level));
    }
    return c;
}

}  // namespace

LutSpec model_lut_3d(const ModelDescription& model, int shade) {
    const std::vector<uint8_t> codes = model_lut_codes(model_colour_ink_set(model));
    LutSpec s;
    s.clut = model_clut(codes, 3, 17, [shade](uint8_t code, const int* rgb) {
        return separate(code, 255 - rgb[0], 255 - rgb[1], 255 - rgb[2], shade);
    });
    LutGray gray;
    gray.gamma = kModelGamma;
    gray.inks = codes;
    gray.pos = model_grid(33);
    for (uint8_t p : gray.pos)
        for (uint8_t code : codes) gray.table.push_back(int16_t(separate(code, 255 - p, 255 - p, 255 - p, shade)));
    s.egry = gray;
    add_common(s);
    return s;
}

LutSpec model_lut_4d(const ModelDescription& model) {
    const std::vector<uint8_t> codes = model_lut_codes(model_colour_ink_set(model));
    LutSpec s;
    s.clut = model_clut(codes, 4, 9, [](uint8_t code, const int* cmyk) {
        return code == 0 ? uint8_t(cmyk[3]) : separate(code, cmyk[0], cmyk[1], cmyk[2], 0);
    });
    add_common(s);
    return s;
}

LutSpec model_lut_tnmx(const ModelDescription& model) { return model_lut_tnmx(model, model_colour_ink_set(model)); }

LutSpec model_lut_tnmx(const ModelDescription&, int32_t ink_set) {
    const std::vector<uint8_t> codes = model_lut_codes(ink_set);
    LutSpec s;
    LutTnmx t;
    t.gamma = 100;
    t.inks = codes;
    for (int g = 0; g < 256; ++g) t.pos.push_back(uint8_t(g));
    // Node level in bits 8..15: K follows the gray level, the colours a third
    // of it, light inks a quarter.
    for (int g = 0; g < 256; ++g)
        for (uint8_t code : codes) t.table.push_back(uint16_t((code == 0 ? g : code >= 4 ? g / 4 : g / 3) << 8));
    s.tnmx = t;
    s.inkd = std::vector<std::pair<uint8_t, int16_t>>{{1, 100}, {kLutInkdTotalCode, 600}};
    LutCtcn c;
    c.types = {1, 2, 3, 4, 5, 0};
    for (int16_t i = 0; i < 6; ++i) {
        c.tones.push_back({int16_t(-60 + i), -20, 20, int16_t(60 - i)});
        c.rates.push_back({0, int16_t(5 + i), int16_t(10 + i), -5, 3, 1});
    }
    s.ctcn = c;
    add_common(s);
    return s;
}

}  // namespace ovcg_test
