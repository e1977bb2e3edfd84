#include "support/model_cfg.h"

#include "common/byte_cursor.h"
#include "support/model_index.h"

#include <algorithm>
#include <stdexcept>

namespace ovcg_test {

namespace {

void put_names(Bytes& b, const std::vector<CfgName>& names) {
    b.push_back(uint8_t(names.size()));
    for (const CfgName& n : names) {
        b.push_back(uint8_t(n.text.size()));
        b.insert(b.end(), n.text.begin(), n.text.end());
        b.push_back(n.number);
    }
}

}  // namespace

Bytes write_cfg(const CfgSpec& s, CfgLayout* layout) {
    CfgLayout l;
    Bytes b(32, 0);
    const char magic[4] = {'H', 'L', '<', 'c'};
    std::copy(magic, magic + 4, b.begin());
    ovcg::store_u16le(b.data() + 8, s.version);
    const auto set_offset = [&](size_t at, size_t v) { ovcg::store_u32le(b.data() + at, uint32_t(v)); };
    l.list_a = b.size();
    put_names(b, s.list_a);
    l.list_b = b.size();
    put_names(b, s.list_b);
    l.modes = b.size();
    b.push_back(uint8_t(s.modes.size()));
    b.insert(b.end(), 8 * s.modes.size(), uint8_t(0));
    const size_t value_size = s.version == 2 ? 1 : 2;
    for (const CfgBlock& blk : s.blocks) {
        l.blocks.push_back(b.size());
        b.push_back(uint8_t(blk.entries.size()));
        b.push_back(blk.width);
        for (const auto& e : blk.entries) {
            if (e.size() != blk.width) throw std::invalid_argument("cfg: width values per entry");
            for (uint16_t v : e) {
                if (value_size == 1) b.push_back(uint8_t(v));
                else put16(b, v);
            }
        }
    }
    for (size_t i = 0; i < s.modes.size(); ++i) {
        const CfgMode& m = s.modes[i];
        const size_t at = l.modes + 1 + 8 * i;
        b[at] = m.ink_set;
        b[at + 1] = m.bits;
        b[at + 2] = m.a;
        b[at + 3] = m.b;
        set_offset(at + 4, l.blocks.at(m.block));
    }
    set_offset(16, l.list_a);
    set_offset(20, l.list_b);
    set_offset(24, l.modes);
    if (layout) *layout = l;
    return b;
}

std::vector<uint16_t> model_cfg_values(size_t block, size_t entry) {
    if (entry % 3 == 2) return {uint16_t(entry + 1)};
    return {uint16_t(entry + 1), uint16_t(30 * (block + 1) + entry)};
}

CfgSpec model_cfg(const ModelDescription& model) {
    CfgSpec s;
    s.list_a = {{"0", 1}};
    const IndexTextSpec index = model_index(model);
    std::vector<std::string> micro;
    for (const auto& row : index.rows) {
        const std::string& m = row.at("Micro");
        bool seen = false;
        for (const std::string& x : micro) seen = seen || x == m;
        if (!seen) micro.push_back(m);
    }
    for (size_t i = 0; i < micro.size(); ++i) s.list_b.push_back({micro[i], uint8_t(i + 1)});
    const auto add = [&](uint8_t ink_set, uint8_t bits, uint8_t a, uint8_t b, size_t inks) {
        CfgBlock blk;
        blk.width = 2;
        const size_t dots = bits == 1 ? 1 : 3;
        for (size_t e = 0; e < inks * dots; ++e) {
            std::vector<uint16_t> v = model_cfg_values(s.blocks.size(), e);
            if (v.size() == 1) v.push_back(0xFFFF);
            blk.entries.push_back(v);
        }
        s.modes.push_back({ink_set, bits, a, b, s.blocks.size()});
        s.blocks.push_back(blk);
    };
    // A mode that needs both names comes before the catch-all of its keys.
    const int32_t colour = model_colour_ink_set(model);
    add(uint8_t(colour), 2, 1, uint8_t(s.list_b.size()), model_output_codes(model, colour).size());
    for (const ModelInkSet& set : model.ink_sets)
        for (uint8_t bits : {1, 2}) add(uint8_t(set.prt_format), bits, 255, 255, set.inks.size());
    return s;
}

}  // namespace ovcg_test
