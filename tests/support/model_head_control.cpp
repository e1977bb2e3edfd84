#include "support/model_head_control.h"

#include "support/irac_packer.h"
#include "support/model.h"
#include "support/model_links.h"

#include <algorithm>
#include <functional>
#include <stdexcept>

namespace ovcg_test {

namespace {

// Bytes of one section or entry, with the fields it named.
class Out {
public:
    void u8(uint8_t v, const std::string& name = {}) { put(v, 1, name); }
    void i8(int8_t v, const std::string& name = {}) { put(uint8_t(v), 1, name); }
    void u16(uint16_t v, const std::string& name = {}) { put(v, 2, name); }
    void i16(int16_t v, const std::string& name = {}) { put(uint16_t(v), 2, name); }
    void u32(uint32_t v, const std::string& name = {}) { put(v, 4, name); }
    void i32(int32_t v, const std::string& name = {}) { put(uint32_t(v), 4, name); }
    void bytes(const Bytes& v) { b.insert(b.end(), v.begin(), v.end()); }
    template <class T>
    void words(const std::vector<T>& v) {
        for (T x : v) put(uint64_t(x), sizeof(T), {});
    }
    // A count of entries, as the resource's signed 16-bit count.
    void count(size_t n, const std::string& name) {
        if (n > 0x7FFF) throw std::invalid_argument(name + ": too many entries");
        u16(uint16_t(n), name);
    }
    void append(const Out& child) {
        for (const auto& [name, f] : child.fields) fields[name] = HcField{f.offset + b.size(), f.width};
        bytes(child.b);
    }
    void mark(const std::string& name, size_t width) { fields[name] = HcField{b.size(), width}; }

    Bytes b;
    HcLayout fields;

private:
    void put(uint64_t v, size_t width, const std::string& name) {
        if (!name.empty()) fields[name] = HcField{b.size(), width};
        for (size_t i = 0; i < width; ++i) b.push_back(uint8_t(v >> (8 * i)));
    }
};

struct Format {
    int16_t major, minor;
    bool at_least(int16_t m) const { return (major == 1 && minor >= m) || major > 1; }
    bool f12() const { return at_least(2); }
    bool f13() const { return at_least(3); }
    bool f14() const { return at_least(4); }
};

void require(bool ok, const std::string& what) {
    if (!ok) throw std::invalid_argument("head-control model: " + what);
}

std::string at(const std::string& base, size_t i) { return base + "[" + std::to_string(i) + "]"; }

void write_id(Out& o, const Format& f, uint32_t id, const std::string& name) {
    if (f.f12()) {
        o.u32(id, name);
    } else {
        require(id <= 0xFF, name + " does not fit one byte below format 1.2");
        o.u8(uint8_t(id), name);
    }
}

// ---- Head section ---------------------------------------------------------------------

uint16_t section_flags(const HcHeadSection& h) {
    if (h.section_flags) return *h.section_flags;
    return uint16_t((h.yds_resolution ? 0x8 : 0) | (h.yds_columns.empty() ? 0 : 0x10) |
                    (h.head_kinds.empty() ? 0 : 0x20));
}

uint16_t option_mask(const HcHeadSection& h) {
    if (h.option_mask) return *h.option_mask;
    uint16_t m = 0;
    if (!h.pol_base_a.empty()) m |= 0x1;
    if (!h.pol_base_b.empty()) m |= 0x2;
    if (!h.pol_base_c.empty()) m |= 0x4;
    if (!h.pol_offsets64.empty()) m |= 0x8;
    if (!h.pol_offsets32.empty()) m |= 0x10;
    if (!h.pol_dispersion.empty()) m |= 0x20;
    if (!h.pol_order.empty()) m |= 0x40;
    if (!h.pol_matrices.empty()) m |= 0x100;
    if (!h.pol_stored.empty()) m |= 0x200;
    if (h.pmc_model) m |= 0x400;
    return m;
}

void write_pmc_model(Out& o, const Format& f, const HcPmcModel& p) {
    const bool form1 = f.f14();
    if (form1) o.u32(p.flags, "pmc.flags");
    require(p.sets.size() <= 0xFF, "too many PMC sets");
    o.u8(uint8_t(p.sets.size()), "pmc.setCount");
    for (size_t s = 0; s < p.sets.size(); ++s) {
        for (const HcPmcTableGroup* g : {&p.sets[s].first, &p.sets[s].second}) {
            const std::string name = at("pmc.set", s) + (g == &p.sets[s].first ? ".group1" : ".group2");
            o.u16(g->rows, name + ".rows");
            o.u16(g->columns, name + ".columns");
            require(g->tables.size() <= 0xFF, "too many PMC tables");
            o.u8(uint8_t(g->tables.size()), name + ".count");
            for (const auto& t : g->tables) {
                require(t.size() == size_t{g->rows} * g->columns, name + ": table size");
                o.words(t);
            }
        }
    }
    if (form1 && !(p.flags & 1u)) return;
    o.u8(p.mask_width, "pmc.maskWidth");
    o.u16(p.mask_rows, "pmc.maskRows");
    const uint8_t mult = form1 ? p.multiplier : 1;
    if (form1) o.u8(p.multiplier, "pmc.multiplier");
    require(p.mask.size() == size_t{p.mask_width} * p.mask_rows * mult, "PMC mask size");
    o.bytes(p.mask);
}

void write_head_section(Out& o, const Format& f, const HcHeadSection& h) {
    const size_t heads = h.nozzles.size(), lines = h.line_values.size();
    require(h.overlaps.size() + 1 == std::max<size_t>(heads, 1), "one overlap per pair of heads");
    o.u16(h.value_a, "head.valueA");
    o.u32(h.value_b, "head.valueB");
    o.count(heads, "head.headNum");
    o.count(lines, "head.nozzleLineNum");
    o.u16(h.value_c, "head.valueC");
    o.u16(h.value_d, "head.valueD");
    const uint16_t flags = f.f13() ? section_flags(h) : 0;
    if (f.f13()) o.u16(flags, "head.sectionFlags");
    const uint16_t mask = option_mask(h);
    o.u16(mask, "head.optionMask");
    for (uint32_t v : h.discarded) o.u32(v);
    o.mark("head.nozzles", 2);
    o.words(h.nozzles);
    if (heads > 1) {
        o.mark("head.overlaps", 2);
        o.words(h.overlaps);
    }
    o.words(h.line_values);
    if (f.f13()) {
        if (flags & 0x8) o.u16(h.yds_resolution.value_or(0), "head.ydsResolution");
        if (flags & 0x10) {
            require(h.yds_columns.size() == lines, "one YDS column per line");
            o.words(h.yds_columns);
        }
        if (flags & 0x20) {
            require(h.head_kinds.size() == lines, "one head kind per line");
            o.mark("head.headKinds", 2);
            o.words(h.head_kinds);
        }
    }
    const bool offsets = !(mask & 0x8000);
    struct Table {
        uint16_t bit;
        bool offset;
        size_t n;
        const char* name;
    };
    const Table tables[] = {
        {0x1, false, h.pol_base_a.size(), "head.polBaseA"},  {0x2, false, h.pol_base_b.size(), "head.polBaseB"},
        {0x4, false, h.pol_base_c.size(), "head.polBaseC"},  {0x8, true, h.pol_offsets64.size(), "head.polOffset64"},
        {0x10, true, h.pol_offsets32.size(), "head.polOffset32"},
        {0x100, false, h.pol_matrices.size(), "head.polMatrices"},
        {0x200, false, h.pol_stored.size(), "head.polStored"},
        {0x20, false, h.pol_dispersion.size(), "head.polDispersion"},
        {0x40, true, h.pol_order.size(), "head.polOrder"},
    };
    bool written[std::size(tables)] = {};
    for (size_t i = 0; i < std::size(tables); ++i) {
        written[i] = (mask & tables[i].bit) && (offsets || !tables[i].offset);
        if (written[i]) o.count(tables[i].n, std::string(tables[i].name) + ".count");
    }
    if (written[0]) o.words(h.pol_base_a);
    if (written[1]) o.words(h.pol_base_b);
    if (written[2]) o.words(h.pol_base_c);
    if (written[3]) o.bytes(h.pol_offsets64);
    if (written[4]) o.bytes(h.pol_offsets32);
    if (written[5]) {
        for (size_t i = 0; i < h.pol_matrices.size(); ++i) {
            const HcMatrix& m = h.pol_matrices[i];
            require(m.rows >= 0 && m.data.size() == size_t(m.rows) * m.columns, "matrix size");
            o.i8(m.rows, at("head.matrix", i) + ".rows");
            o.u8(m.columns, at("head.matrix", i) + ".columns");
            o.bytes(m.data);
        }
    }
    if (written[6]) {
        for (size_t i = 0; i < h.pol_stored.size(); ++i) {
            const HcTaggedBytes& t = h.pol_stored[i];
            const uint32_t tags = f.f14() ? t.tags : 0;
            require(t.columns >= 0 && t.data.size() == size_t{t.rows} * size_t(t.columns), "stored pattern size");
            require((tags & 1u) ? t.extra.size() == size_t(t.columns) : t.extra.empty(), "stored pattern extra");
            if (f.f14()) o.u32(t.tags, at("head.stored", i) + ".tags");
            o.u8(t.rows, at("head.stored", i) + ".rows");
            o.i16(t.columns, at("head.stored", i) + ".columns");
            o.bytes(t.data);
            o.bytes(t.extra);
        }
    }
    if (written[7]) o.bytes(h.pol_dispersion);
    if (written[8]) o.bytes(h.pol_order);
    if (mask & 0x400) {
        require(h.pmc_model.has_value(), "option bit 0x400 without a PMC model part");
        write_pmc_model(o, f, *h.pmc_model);
    }
}

// ---- Mode entry -------------------------------------------------------------------------

uint32_t sub_mode_flags(const HcMode& m, const HcSubMode& s) { return s.function_flags.value_or(m.function_flags); }

Out write_mode(const Format& f, const HcMode& m, size_t heads) {
    Out o;
    const size_t arrays = m.color_order.size();
    uint16_t sub_mask = 0;
    for (const HcSubMode& s : m.sub_modes) {
        require(s.number < 5 && !(sub_mask & (1u << s.number)) && (sub_mask >> s.number) == 0,
                "sub-modes must be distinct, 0 to 4, ascending");
        sub_mask = uint16_t(sub_mask | (1u << s.number));
    }
    require(m.array_values.size() == arrays, "one array value per nozzle array");
    o.u16(m.value0, "value0");
    o.i16(m.value1, "value1");
    o.u16(m.bits_per_pixel, "bitsPerPixel");
    o.i16(m.value3, "value3");
    o.u16(m.color_num, "colorNum");
    o.u32(m.value5, "value5");
    o.count(m.layer_kinds.size(), "layerKindCount");
    o.count(m.mode_bytes.size(), "modeByteCount");
    o.count(arrays, "nozzleArrayNum");
    o.u16(sub_mask, "subModeMask");
    o.u16(m.unit_mask, "unitMask");
    o.u16(m.layer_value_count, "layerValueCount");
    for (size_t i = 0; i < m.layer_kinds.size(); ++i) {
        const HcLayerKind& k = m.layer_kinds[i];
        const std::string name = at("layerKind", i);
        const bool values = !(k.flags & 0x420C);
        o.u16(k.flags, name + ".flags");
        if (values) {
            o.count(k.values.size(), name + ".n");
            o.words(k.values);
        } else {
            o.i16(k.grades, name + ".n");
        }
        if (k.flags & 0x40) {
            o.u16(k.dither_row_bytes);
            o.u8(k.dither_matrix);
            o.u8(k.dither_step);
        }
        if (k.flags & 0x4000)
            for (uint16_t v : k.range) o.u16(v);
        if (k.flags & 0x200) {
            o.u16(k.stored_row_bytes);
            o.u8(k.stored_record);
        }
    }
    o.bytes(m.mode_bytes);
    if (m.unit_mask & 0x8) o.u32(m.unit_value8, "unitValue8");  // unit values
    if (m.unit_mask & 0x6) {
        o.u32(m.unit_value2, "unitValue2");
        o.u32(m.unit_value4, "unitValue4");
    }
    // Seven arrays of one entry per sub-mode.
    auto per_sub = [&](const char* field, auto write) {
        for (size_t i = 0; i < m.sub_modes.size(); ++i)
            write(m.sub_modes[i], "sub" + std::to_string(m.sub_modes[i].number) + "." + field);
    };
    per_sub("headTopValue", [&](const HcSubMode& s, const std::string& n) { o.u32(s.head_top_value, n); });
    per_sub("headTopMode", [&](const HcSubMode& s, const std::string& n) { o.i8(s.head_top_mode, n); });
    per_sub("ignoreTop", [&](const HcSubMode& s, const std::string& n) { o.u32(s.ignore_top, n); });
    per_sub("ignoreBottom", [&](const HcSubMode& s, const std::string& n) { o.u32(s.ignore_bottom, n); });
    per_sub("minLength", [&](const HcSubMode& s, const std::string& n) { o.u32(s.min_length, n); });
    per_sub("preBuffering", [&](const HcSubMode& s, const std::string& n) { o.i32(s.pre_buffering, n); });
    per_sub("functionFlags", [&](const HcSubMode& s, const std::string& n) { o.u32(sub_mode_flags(m, s), n); });

    const uint32_t ff = m.function_flags;  // lays out the rest of the entry
    const bool split = ff & 0x200;
    o.bytes(m.color_order);  // colour order of head 0
    if (!split) {
        require(m.color_order_more.size() == arrays * (std::max<size_t>(heads, 1) - 1),
                "colour order of the further heads");
        o.bytes(m.color_order_more);
    }
    o.mark("arrayValues", 2);
    o.words(m.array_values);
    if (ff & 0x800)  // optional blocks
        for (uint16_t v : m.block_a) o.u16(v);
    if (ff & 0x2000) {
        require(m.block_b.per_color.size() == m.block_b.list.size() * m.color_num, "block 0x2000 per colour");
        o.u16(m.block_b.value);
        o.count(m.block_b.list.size(), "blockB.n");
        o.words(m.block_b.list);
        o.words(m.block_b.per_color);
    }
    if (ff & 0x400) {
        o.u32(m.block_c.v0);
        o.u32(m.block_c.v1);
        o.u32(m.block_c.v2);
        o.u16(m.block_c.v3);
        o.count(m.block_c.bytes.size(), "blockC.n");
        o.bytes(m.block_c.bytes);
    }
    if (split) {
        require(m.split.n >= 1 && m.split.codes.size() == heads * arrays * size_t(m.split.n), "split order size");
        o.u8(m.split.value);
        o.i16(m.split.n, "split.n");
        o.bytes(m.split.codes);
    }
    if (ff & 0x100) {
        o.u16(m.block_d.value);
        o.count(m.block_d.list.size(), "blockD.n");
        o.words(m.block_d.list);
    }
    if (ff & 0x40) {
        const size_t n = m.block_e.colors.size();
        require(m.block_e.codes.size() == n && m.block_e.shifts.size() == n, "block 0x40 columns");
        o.u16(m.block_e.rows);
        o.count(n, "blockE.n");
        o.bytes(m.block_e.colors);
        o.bytes(m.block_e.codes);
        o.words(m.block_e.shifts);
    }
    if (ff & 0x10000) {  // head tables and loss-nozzle units
        const auto& l = m.lht;
        const size_t layers = l.starts.empty() ? 0 : l.starts[0].size();
        require(l.starts.size() == arrays && l.halftones.size() == arrays, "LHT tables per nozzle array");
        o.count(layers, "lht.layerNum");
        for (const auto& v : l.starts) {
            require(v.size() == layers, "LHT layer starts");
            o.words(v);
        }
        for (const auto& v : l.halftones) {
            require(v.size() == layers, "LHT halftone indices");
            o.words(v);
        }
        if (f.f13()) o.u8(l.stacked, "lht.stacked");
    }
    if (ff & 0x20000) {
        o.u16(m.sss.resolution, "sss.resolution");
        o.count(m.sss.shifts.size(), "sss.shiftNum");
        o.words(m.sss.shifts);
    }
    if (ff & 0x40000) {
        o.count(m.timings.size(), "rls.timingNum");
        for (size_t i = 0; i < m.timings.size(); ++i) {
            o.count(m.timings[i].size(), at("rls.timing", i) + ".n");
            o.words(m.timings[i]);
        }
    }
    if (ff & 0x80000) {
        o.u8(m.pmc_unit.kind, "pmcUnit.kind");
        if (!f.f14()) o.u8(0);
        require(m.pmc_unit.data.size() <= 0xFFFF, "PMC unit data");
        o.u16(uint16_t(m.pmc_unit.data.size()), "pmcUnit.length");
        o.bytes(m.pmc_unit.data);
    }
    if (ff & 0x200000) {
        const auto& c = m.cms_unit;
        o.u8(c.flags, "cmsUnit.flags");
        o.bytes({0, 0, 0});
        if (c.flags & 1u) {
            require(c.thresholds.size() == c.types.size() && c.types.size() <= 0xFF, "CMS unit tables");
            o.u8(uint8_t(c.types.size()), "cmsUnit.n");
            o.bytes(c.thresholds);
            o.bytes(c.types);
        }
    }
    if (ff & 0x20) o.u8(m.lower_edge_mode, "lowerEdgeMode");
    o.mark("layerValues", 2);
    o.words(m.layer_values);
    per_sub("htMaskSwitching", [&](const HcSubMode& s, const std::string& n) { o.i32(s.ht_mask_switching, n); });
    per_sub("brsMethod", [&](const HcSubMode& s, const std::string& n) { o.u32(s.brs_method, n); });
    per_sub("switchingOffset", [&](const HcSubMode& s, const std::string& n) { o.u32(s.switching_offset, n); });
    require(m.use_heads.size() == heads, "one use-head byte per head");
    o.bytes(m.use_heads);
    for (const HcSubMode& s : m.sub_modes) {  // unit selectors
        for (size_t slot = 0; slot < 4; ++slot) {
            if (!(m.unit_mask & (1u << slot))) continue;
            const std::string name = "sub" + std::to_string(s.number) + at(".unit", slot);
            o.i32(s.units[slot].logic, name + ".logic");
            if (f.f12()) o.i32(s.units[slot].variant, name + ".variant");
        }
    }
    return o;
}

// ---- Microweave unit ----------------------------------------------------------------------

Out write_logic(const HcLogic& u) {
    Out o;
    o.u16(u.pitch, "pitch");
    o.u16(u.top_offset, "topOffset");
    o.u32(uint32_t(u.layers.size()), "layerCount");
    o.count(u.head_units.size(), "headUnitCount");
    o.u16(u.flags, "flags");
    o.u16(u.flags2, "flags2");
    o.i32(int32_t(u.null_passes.size()), "nullPassCount");
    for (const auto& p : u.null_passes) o.u16(p.first);
    for (const auto& p : u.null_passes) o.u32(p.second);
    o.count(u.normal.size(), "normalCount");
    o.count(u.ftrans.size(), "fTransCount");
    o.count(u.mwsw.size(), "mwswCount");
    for (size_t i = 0; i < u.layers.size(); ++i) {
        const HcLayer& l = u.layers[i];
        const std::string name = at("layer", i);
        const size_t cycle = l.feed.size();
        require(l.range.size() == cycle, name + ": one range per feed step");
        require(l.step_values.empty() || l.step_values.size() == cycle, name + ": step values per step");
        o.i16(l.kind, name + ".kind");
        o.i32(l.start, name + ".start");
        o.i32(l.end, name + ".end");
        o.count(cycle, name + ".cycleLength");
        o.count(l.selector.size(), name + ".selectorCount");
        o.count(l.group.size(), name + ".groupCount");
        o.u16(l.step_values.empty() ? 0 : 1, name + ".hasStepValues");
        o.words(l.feed);
        for (const auto& r : l.range) {
            o.u16(r.first);
            o.u16(r.second);
        }
        o.words(l.selector);
        o.words(l.group);
        o.words(l.step_values);
    }
    if (u.flags & 0x40) {
        o.u16(u.feed_base, "feedBase");
        if ((u.flags & 0x61) == 0x61) o.u16(u.lower_sum_steps, "lowerSumSteps");
    }
    o.words(u.head_units);
    for (const auto* t : {&u.normal, &u.ftrans}) {
        for (const HcRangeRow& r : *t) o.u16(r.width);
        for (const HcRangeRow& r : *t) o.u16(r.add_remainder);
        for (const HcRangeRow& r : *t) o.i16(r.value);
        for (const HcRangeRow& r : *t) o.i16(r.phase);
    }
    for (const HcMwswRow& r : u.mwsw) o.u16(r.width);
    for (const HcMwswRow& r : u.mwsw) o.u16(r.feed);
    for (const HcMwswRow& r : u.mwsw) o.u16(r.phase);
    return o;
}

// ---- Encoder entry -------------------------------------------------------------------------

Out write_encoder(const Format& f, const HcEncoder& e, size_t sub_modes) {
    Out o;
    require(e.sub_mode_values.size() == sub_modes, "one encoder value per sub-mode");
    for (size_t i = 0; i < e.sub_mode_values.size(); ++i) o.u32(e.sub_mode_values[i], at("subModeValue", i));
    o.u8(e.dot_size, "value0");
    if (f.f12()) {
        o.u32(e.page_format, "value1");
    } else {
        o.u8(uint8_t(e.page_format), "value1");
    }
    o.i8(e.run_length, "value2");
    require(e.init_record.size() <= 0xFFFF, "extra record");
    o.u16(uint16_t(e.init_record.size()), "colorCodeNum");
    o.u16(e.base_unit, "value3");
    o.u16(e.h_resolution, "value4");
    o.u16(e.v_resolution, "value5");
    o.u16(e.word3, "word3");
    o.u16(e.flags, "flags");
    o.bytes(e.init_record);
    if (e.flags & 1u) {
        o.count(e.remap.size(), "remapNum");
        for (const auto& r : e.remap) o.u8(r.first);
        for (const auto& r : e.remap) o.u8(r.second);
    }
    return o;
}

// A table of entries: count, ids, sizes, the entries.
void write_table(Out& o, const std::string& name, const std::vector<Out>& entries,
                 const std::function<void(Out&, size_t)>& write_entry_id) {
    require(entries.size() <= 0xFFFF, name + ": too many entries");
    o.u16(uint16_t(entries.size()), name + ".count");
    for (size_t i = 0; i < entries.size(); ++i) write_entry_id(o, i);
    for (size_t i = 0; i < entries.size(); ++i) o.u32(uint32_t(entries[i].b.size()), at(name + ".size", i));
    for (size_t i = 0; i < entries.size(); ++i) {
        Out named;
        for (const auto& [field, where] : entries[i].fields) named.fields[at(name, i) + "." + field] = where;
        named.b = entries[i].b;
        o.append(named);
    }
}

}  // namespace

void patch_field(Bytes& resource, const HcLayout& layout, const std::string& name, uint64_t value) {
    const auto it = layout.find(name);
    if (it == layout.end()) throw std::invalid_argument("no field " + name);
    const HcField f = it->second;
    if (f.offset + f.width > resource.size()) throw std::invalid_argument("field " + name + " outside the resource");
    for (size_t i = 0; i < f.width; ++i) resource[f.offset + i] = uint8_t(value >> (8 * i));
}

Bytes head_control_resource(const ModelHeadControl& hc, HcLayout* layout) {
    const Format f{hc.format_major, hc.format_minor};
    Out o;
    // The rest of the 16-byte header: the body of a packed resource must
    // begin AB B0 A0.
    o.bytes({0xAB, 0xB0, 0xA0, 0, 0, 0, 0});
    write_head_section(o, f, hc.head);
    o.count(hc.color_table.size(), "colorTable.count");
    for (const auto& c : hc.color_table) o.u8(c.first);
    for (const auto& c : hc.color_table) o.u8(c.second);
    o.bytes({0, 0, 0, 0});

    std::vector<Out> modes, units, encoders;
    for (const HcMode& m : hc.modes) modes.push_back(write_mode(f, m, hc.head.nozzles.size()));
    write_table(o, "modes", modes, [&](Out& t, size_t i) { write_id(t, f, hc.modes[i].id, at("modes.id", i)); });
    for (const HcLogic& u : hc.units) units.push_back(write_logic(u));
    write_table(o, "units", units, [&](Out& t, size_t i) {
        t.i32(hc.units[i].logic_id, at("units.logic", i));
        if (f.f12()) t.i32(hc.units[i].variant_id, at("units.variant", i));
    });
    // The encoder entries take the sub-mode count of the mode with their id.
    for (const HcEncoder& e : hc.encoders) {
        size_t subs = 0;
        for (const HcMode& m : hc.modes)
            if (m.id == e.id) {
                subs = m.sub_modes.size();
                break;
            }
        encoders.push_back(write_encoder(f, e, subs == 0 ? e.sub_mode_values.size() : subs));
    }
    write_table(o, "encoders", encoders,
                [&](Out& t, size_t i) { write_id(t, f, hc.encoders[i].id, at("encoders.id", i)); });

    const std::array<uint8_t, 4> prefix = {uint8_t(hc.format_major), uint8_t(uint16_t(hc.format_major) >> 8),
                                           uint8_t(hc.format_minor), uint8_t(uint16_t(hc.format_minor) >> 8)};
    if (layout) {
        layout->clear();
        // The envelope takes the first 9 bytes.
        for (const auto& [name, where] : o.fields) (*layout)[name] = HcField{where.offset + 9, where.width};
        (*layout)["header.major"] = HcField{0, 2};
        (*layout)["header.minor"] = HcField{2, 2};
        (*layout)["header.packed"] = HcField{4, 1};
    }
    return irac_plain_resource(prefix, o.b);
}

// ---- The model's head control ----------------------------------------------------------------

uint32_t model_head_mode_id() {
    // Keys 11025, 11035, 11036 and 11037 of the media-class tables, packed
    // low byte first as the job side packs its head selectors.
    return uint32_t(kModelHeadId0) | (1u << 8) | (2u << 16) | (3u << 24);
}

uint32_t model_driver_head_mode_id(const ModelDriverPrint& p, bool high_speed) {
    return uint32_t(kModelHeadId0) | uint32_t(p.x / 300) << 8 | uint32_t(p.y / 300) << 16 |
           uint32_t((high_speed ? 0x20 : 0x10) + p.bits) << 24;
}

uint8_t model_driver_dot_size(const ModelDriverPrint& p, bool high_speed) {
    return uint8_t((high_speed ? 0x30 : 0x10) + p.bits - 1);
}

namespace {
struct InkLetter {
    char letter;
    uint8_t ink;    // halftone ink code
    uint8_t color;  // command colour code
};
constexpr InkLetter kInkLetters[] = {
    {'K', 0, 0x10}, {'C', 1, 0x11}, {'M', 2, 0x12}, {'Y', 3, 0x13},
    {'c', 4, 0x14}, {'m', 5, 0x15}, {'k', 7, 0x17},
};
const InkLetter& ink_letter(char letter) {
    for (const InkLetter& l : kInkLetters)
        if (l.letter == letter) return l;
    throw std::invalid_argument(std::string("head-control model: unknown ink letter ") + letter);
}
}  // namespace

uint8_t model_ink_code(char letter) { return ink_letter(letter).ink; }
uint8_t model_color_code(char letter) { return ink_letter(letter).color; }

ModelHeadControl default_head_control(const ModelDescription& model) {
    // Every ink of every ink set, in order of first appearance, has a nozzle
    // array of the one head.
    std::vector<char> letters;
    for (const ModelInkSet& s : model.ink_sets)
        for (char c : s.inks)
            if (std::find(letters.begin(), letters.end(), c) == letters.end()) letters.push_back(c);
    require(int32_t(letters.size()) <= model.head.rows, "more inks than nozzle arrays");
    const uint16_t nozzles = uint16_t(model.head.nozzles_per_row);
    const size_t arrays = size_t(model.head.rows);

    ModelHeadControl hc;
    hc.head.value_a = 600;  // the vertical resolution of the front end's default media
    hc.head.nozzles = {nozzles};
    hc.head.line_values.assign(arrays, 0);
    for (char c : letters) hc.color_table.push_back({model_ink_code(c), model_color_code(c)});
    std::sort(hc.color_table.begin(), hc.color_table.end());

    HcMode m;
    m.id = model_head_mode_id();
    m.value0 = 1;
    m.value1 = 600;
    m.bits_per_pixel = 2;  // the front end's media print two bits per dot
    m.color_num = 1;
    m.unit_mask = 0x1;
    for (char c : letters) m.color_order.push_back(model_color_code(c));
    m.color_order.resize(arrays, 0);  // arrays beyond the inks carry no colour
    m.array_values.assign(arrays, 0);
    m.use_heads = {1};
    // Sub-mode 1 (sheets and rolls of fixed length) and 3 (open length).
    for (uint8_t number : {uint8_t(1), uint8_t(3)}) {
        HcSubMode s;
        s.number = number;
        s.min_length = nozzles;
        s.units[0] = {1, 0};
        m.sub_modes.push_back(s);
    }
    hc.modes.push_back(m);

    // One pass per head height: pitch 1, the whole head, feed = nozzle count.
    HcLogic u;
    u.logic_id = 1;
    u.layers.push_back(HcLayer{1, 0, 0, {int16_t(nozzles)}, {{0, nozzles}}, {1}, {0}, {}});
    u.head_units = {0};
    u.normal = {{nozzles, 0, 0, 0}};
    hc.units.push_back(u);

    HcEncoder e;
    e.id = m.id;
    // The band buffer holds the head's reach: pitch x nozzles + the largest array offset.
    const uint32_t reach = uint32_t(u.pitch) * nozzles + *std::max_element(m.array_values.begin(), m.array_values.end());
    e.sub_mode_values = {reach, reach};
    e.dot_size = 0x11;
    e.run_length = 2;
    e.base_unit = 1200;
    e.h_resolution = 300;  // steps of 4
    e.v_resolution = 600;  // steps of 2
    e.word3 = 1;
    hc.encoders.push_back(e);
    return hc;
}

void add_driver_head_modes(ModelHeadControl& hc, const ModelDescription& model) {
    require(!hc.modes.empty() && !hc.encoders.empty(), "driver modes copy the first mode and encoder");
    const HcMode m = hc.modes.front();
    const HcEncoder e = hc.encoders.front();
    // A mode and an encoder per driver setting: the same head and passes at
    // the setting's bits per dot, positions counted in 1/2400 inch.
    std::vector<ModelDriverPrint> prints;
    for (const ModelMedia& media : model.media)
        for (const ModelDriverPrint& p : media.driver)
            if (std::find(prints.begin(), prints.end(), p) == prints.end()) prints.push_back(p);
    for (bool fast : {false, true})
        for (const ModelDriverPrint& p : prints) {
            require(p.x > 0 && 2400 % p.x == 0 && p.y > 0 && 2400 % p.y == 0,
                    "driver resolution not a divisor of 2400");
            HcMode dm = m;
            dm.id = model_driver_head_mode_id(p, fast);
            dm.value1 = int16_t(p.y);
            dm.bits_per_pixel = p.bits;
            hc.modes.push_back(dm);
            HcEncoder de = e;
            de.id = dm.id;
            de.dot_size = model_driver_dot_size(p, fast);
            de.base_unit = 2400;
            de.h_resolution = uint16_t(p.x);
            de.v_resolution = uint16_t(p.y);
            hc.encoders.push_back(de);
        }
}

namespace {

ModelHeadControl all_sections(const ModelDescription& model) {
    ModelHeadControl hc = default_head_control(model);
    HcHeadSection& h = hc.head;
    h = HcHeadSection{};
    h.value_a = 600;
    h.value_b = 7;
    h.value_c = 3;
    h.value_d = 4;
    h.nozzles = {10, 12};
    h.overlaps = {2};
    h.line_values = {5, 6};
    h.yds_resolution = 720;
    h.yds_columns = {0, 1};
    h.head_kinds = {1, 2};
    h.discarded = {0x11111111, 0x22222222, 0x33333333};
    h.pol_base_a = {0xA1A2A3A4, 0xB1B2B3B4};
    h.pol_base_b = {1};
    h.pol_base_c = {2};
    h.pol_offsets64 = {3};
    h.pol_offsets32 = {4};
    h.pol_matrices = {HcMatrix{1, 2, {5, 6}}};
    h.pol_stored = {HcTaggedBytes{1, 1, 2, {7, 8}, {9, 10}}};
    h.pol_dispersion = {11};
    h.pol_order = {12};
    HcPmcModel pmc;
    pmc.sets = {{HcPmcTableGroup{1, 2, {{1, 2}}}, HcPmcTableGroup{1, 1, {{3}}}}};
    pmc.mask_width = 2;
    pmc.mask_rows = 1;
    pmc.multiplier = 2;
    pmc.mask = {0xF0, 0x0F, 0xCC, 0x33};
    h.pmc_model = pmc;
    hc.color_table = {{0, 0x10}, {1, 0x11}};

    HcMode& m = hc.modes[0];
    m.value3 = 3;
    m.color_num = 2;
    m.value5 = 4;
    HcLayerKind simple;
    simple.flags = 0x10;
    simple.values = {0x55};
    HcLayerKind patterned;
    patterned.flags = 0x4240;
    patterned.grades = 8;
    patterned.dither_row_bytes = 4;
    patterned.dither_step = 1;
    patterned.range = {1, 5, 0};
    patterned.stored_row_bytes = 8;
    m.layer_kinds = {simple, patterned};
    m.mode_bytes = {1, 2};
    m.unit_mask = 0xF;
    m.unit_value8 = 0x80;
    m.unit_value2 = 0x20;
    m.unit_value4 = 0x40;
    m.layer_value_count = 1;
    m.function_flags = 0x20 | 0x40 | 0x80 | 0x100 | 0x200 | 0x400 | 0x800 | 0x1000 | 0x2000 | 0x10000 |
                       0x20000 | 0x40000 | 0x80000 | 0x200000;
    for (HcSubMode& s : m.sub_modes) {
        const uint32_t k = s.number;  // distinct values per sub-mode
        s.head_top_value = 100 * k;
        s.head_top_mode = int8_t(-int(k));
        s.ignore_top = 10 + k;
        s.ignore_bottom = 20 + k;
        s.min_length = 30 + k;
        s.pre_buffering = int32_t(40 + k);
        s.ht_mask_switching = int32_t(50 + k);
        s.brs_method = 1;
        s.switching_offset = 60 + k;
        s.units = {HcUnitSelector{1, 0}, HcUnitSelector{2, 5}, HcUnitSelector{1, 0}, HcUnitSelector{-1, -1}};
    }
    m.color_order = {0x10, 0x11};
    m.array_values = {0, 1};
    m.block_a = {1, 2, 3, 4};
    m.block_b.value = 5;
    m.block_b.list = {6};
    m.block_b.per_color = {7, 8};
    m.block_c = {9, 10, 11, 12, {13}};
    m.split.value = 14;
    m.split.n = 2;
    m.split.codes = {0x10, 0x12, 0x11, 0x13, 0x10, 0x12, 0x11, 0x13};
    m.block_d.value = 15;
    m.block_d.list = {16};
    m.block_e.rows = 2;
    m.block_e.colors = {0x10, 0x11};
    m.block_e.codes = {0x20, 0x21};
    m.block_e.shifts = {0, 1};
    m.lht.starts = {{0, 5}, {0, 6}};
    m.lht.halftones = {{1, 2}, {3, 4}};
    m.lht.stacked = 1;
    m.sss.resolution = 1440;
    m.sss.shifts = {1, 2};
    m.timings = {{1}, {2, 3}};
    m.pmc_unit.kind = 1;
    m.pmc_unit.data = {1, 2, 3};
    m.cms_unit.thresholds = {10, 20};
    m.cms_unit.types = {1, 2};
    m.lower_edge_mode = 3;
    m.layer_values = {0, 1};
    m.use_heads = {1, 0};

    HcLogic a;
    a.logic_id = 1;
    a.pitch = 2;
    a.flags = 0x61;
    a.layers = {HcLayer{1, 0, 0, {4}, {{0, 4}}, {0}, {0}, {7}}};
    a.null_passes = {{10, 3}, {2, 1}};
    a.feed_base = 1;
    a.lower_sum_steps = 2;
    a.head_units = {0};
    a.normal = {{4, 0, 0, 0}};
    a.ftrans = {{2, 1, -1, 0}};
    a.mwsw = {{3, 1, 0x0102}};
    HcLogic b;
    b.logic_id = 2;
    b.variant_id = 5;
    b.layers = {HcLayer{2, -10, -1, {2, 3}, {{0, 2}, {1, 3}}, {}, {1}, {}}};
    b.head_units = {0, 10};
    b.normal = {{5, 0, 0, 0}};
    hc.units = {a, b};

    HcEncoder& e = hc.encoders[0];
    e.sub_mode_values = {100, 300};
    e.page_format = 0x01020304;
    e.run_length = -3;
    e.base_unit = 1440;
    e.h_resolution = 180;
    e.v_resolution = 120;
    e.word3 = 2;
    e.flags = 0xD;
    e.init_record = {1, 2, 3};
    e.remap = {{0x10, 0x40}, {0x11, 0x41}};
    return hc;
}

// Each case a copy of the default mode and encoder entry under its own id.
ModelHeadControl encoder_modes(ModelHeadControl hc) {
    const HcMode mode = hc.modes[0];
    const HcEncoder enc = hc.encoders[0];
    const auto& cases = hc_encoder_cases();
    for (size_t i = 0; i < cases.size(); ++i) {
        HcMode m = mode;
        m.id = hc_encoder_mode_id(i);
        hc.modes.push_back(m);
        HcEncoder e = enc;
        e.id = m.id;
        e.run_length = cases[i].run_length;
        e.flags = cases[i].flags;
        e.base_unit = 1440;  // 1/120 inch vertically, 1/180 inch horizontally
        e.h_resolution = 180;
        e.v_resolution = 120;
        e.dot_size = uint8_t(0x20 + i);
        e.page_format = 0x0A0B0C00u + uint32_t(i);
        if (e.flags & 0x1) e.remap = {{0x10, 0x40}, {0x11, 0x41}, {0x10, 0x50}};
        if (e.flags & 0x8) e.init_record = {0xE1, 0xE2, 0xE3};
        hc.encoders.push_back(e);
    }
    return hc;
}

ModelHeadControl band_modes(ModelHeadControl hc) {
    const HcMode mode = hc.modes[0];
    const HcEncoder enc = hc.encoders[0];
    for (const HcBandMode& b : hc_band_modes()) {
        HcMode m = mode;
        m.id = hc_band_mode_id(b);
        m.value0 = b.repeat;
        m.color_num = b.planes;
        m.bits_per_pixel = b.bits;
        hc.modes.push_back(m);
        HcEncoder e = enc;
        e.id = m.id;
        e.word3 = 1;
        hc.encoders.push_back(e);
    }
    return hc;
}

ModelHeadControl mask_kinds(ModelHeadControl hc) {
    HcHeadSection& h = hc.head;
    // Base words of levels 0 to 7 (two words a level), the rotation bases,
    // one 4 x 3 threshold matrix, one stored record of 8 columns of 4-byte
    // rows, two dispersion offsets and an order table. The offset tables
    // are absent, so the defaults are built.
    for (uint32_t level = 0; level < 8; ++level) {
        h.pol_base_a.push_back(0x80000000u >> (4 * level));
        h.pol_base_a.push_back(0x00000001u << (3 * level));
    }
    h.pol_base_b = {0x80000000u, 0};
    h.pol_base_c = {0x12345678u, 0x9ABCDEF0u};
    h.pol_matrices = {HcMatrix{4, 3, {10, 200, 30, 240, 50, 60, 170, 80, 90, 100, 110, 120}}};
    Bytes stored;
    for (uint8_t i = 0; i < 32; ++i) stored.push_back(uint8_t(0x11 * (i % 16) ^ (i / 16 ? 0xFF : 0)));
    h.pol_stored = {HcTaggedBytes{0, 4, 8, stored, {}}};
    h.pol_dispersion = {0, 5};
    h.pol_order = {0, 1, 2, 3};

    HcMode& m = hc.modes[0];
    std::vector<HcLayerKind> kinds(kHcMaskKindCount);
    kinds[kHcSimple].flags = 0x10;
    kinds[kHcSimple].values = {0x55};
    kinds[kHcGradation64].flags = 0x1;
    kinds[kHcGradation64].values = {0, 1, 2, 3, 4, 5};
    kinds[kHcGradation32].flags = 0x2 | 0x4000;
    kinds[kHcGradation32].grades = 5;
    kinds[kHcGradation32].range = {2, 6, 0};
    kinds[kHcRotation64].flags = 0x4 | 0x8000;
    kinds[kHcRotation64].grades = 200;
    kinds[kHcRotation32].flags = 0x8;
    kinds[kHcRotation32].grades = 200;
    kinds[kHcDither].flags = 0x40;
    kinds[kHcDither].values = {40, 90, 130, 200};
    kinds[kHcDither].dither_row_bytes = 6;
    kinds[kHcDither].dither_matrix = 0;
    kinds[kHcDither].dither_step = 2;
    kinds[kHcDitherRange].flags = 0x40 | 0x4000;
    kinds[kHcDitherRange].dither_row_bytes = 5;
    kinds[kHcDitherRange].dither_step = 1;
    kinds[kHcDitherRange].range = {1, 250, 0};
    kinds[kHcStored].flags = 0x200;
    kinds[kHcStored].grades = 3;
    kinds[kHcStored].stored_row_bytes = 10;
    kinds[kHcStored].stored_record = 0;
    kinds[kHcSimpleSecond].flags = 0x20;
    kinds[kHcSimpleSecond].values = {0xAA};
    m.layer_kinds = kinds;
    m.layer_values.clear();
    for (uint16_t i = 0; i < kHcMaskKindCount; ++i) m.layer_values.push_back(i);
    // Two mode bytes per nozzle array: the per-colour kind table of the
    // 0x8000 kind.
    m.mode_bytes.clear();
    for (size_t i = 0; i < 2 * m.color_order.size(); ++i) m.mode_bytes.push_back(uint8_t(i + 1));
    return hc;
}

}  // namespace

HcLogic interleaved_logic(uint16_t n, uint16_t v, int16_t a) {
    require(n > v && a > 0 && (a & 1) && a < 2 * (n - v), "interleaved logic: 0 < a < 2(n - v), a odd");
    const int16_t f1 = int16_t(2 * (n - v) - a), f3 = int16_t(2 * n - a);
    const std::vector<int16_t> feeds = {a, f1, a, f3};
    HcLogic u;
    u.logic_id = 1;
    u.pitch = 2;
    u.layers = {
        HcLayer{0, 0, 1, {1}, {{0, n}}, {1}, {0}, {}},
        HcLayer{1, 2, 0, feeds, {{0, n}, {0, n}, {0, n}, {0, n}}, {1}, {0}, {}},
        // Passes 0 and 1 of a cycle share their last v nozzles with passes 2 and 3.
        HcLayer{3, 2, 0, feeds, {{uint16_t(n - v), n}, {uint16_t(n - v), n}, {0, 0}, {0, 0}}, {1}, {0}, {1, 2, 0, 0}},
        HcLayer{4, 2, 0, feeds, {{0, 0}, {0, 0}, {0, v}, {0, v}}, {1}, {0}, {0, 0, 1, 2}},
    };
    u.head_units = {0};
    u.normal = {{uint16_t(4 * n - 2 * v), 0, 0, 0}};
    return u;
}

namespace {

// A head of n nozzles printed by the interleaved logic.
void interleave(ModelHeadControl& hc, uint16_t n, uint16_t v, int16_t a) {
    hc.head.nozzles = {n};
    hc.units = {interleaved_logic(n, v, a)};
    for (HcSubMode& s : hc.modes[0].sub_modes) s.min_length = n;
    const uint32_t reach = 2u * n;
    hc.encoders[0].sub_mode_values = {reach, reach};
}

// One pass per step of `feeds`, every pass the nozzles [0, n) of the head
// with the selectors of `selectors` in turn.
HcLogic stepping_logic(uint16_t n, std::vector<int16_t> feeds, std::vector<uint16_t> selectors) {
    HcLogic u;
    u.logic_id = 1;
    const std::vector<std::pair<uint16_t, uint16_t>> ranges(feeds.size(), {0, n});
    int32_t width = 0;
    for (int16_t f : feeds) width += f;
    u.layers.push_back(HcLayer{1, 0, 0, feeds, ranges, selectors, {0}, {}});
    u.head_units = {0};
    u.normal = {{uint16_t(width), 0, 0, 0}};
    return u;
}

// The lower-edge logic whose every shared raster has its two halves: each
// normal pass's nozzles 0-1 print first half (type 3) what the pass before
// prints second half with nozzles 6-7 (type 4); an upper pass at -6
// (topOffset 6) takes the second half of the first normal pass's nozzles
// 0-1 (type 13); the first lower pass takes the last normal pass's.
HcLogic lower_logic();
HcLogic lower_edge_logic();

HcLogic paired_lower_edge_logic() {
    HcLogic u = lower_edge_logic();
    u.top_offset = 6;
    u.layers = {
        HcLayer{0, 0, 1, {6}, {{0, 8}}, {1}, {0}, {}},
        HcLayer{2, -16, 0, {3}, {{0, 8}}, {1}, {0}, {}},
        HcLayer{1, 6, -17, {6}, {{0, 8}}, {1}, {0}, {}},
        HcLayer{3, 6, -17, {6}, {{0, 2}}, {1}, {0}, {3}},
        HcLayer{4, 6, -17, {6}, {{6, 8}}, {1}, {0}, {4}},
        HcLayer{13, 6, 7, {6}, {{0, 2}}, {1}, {0}, {3}},
        HcLayer{5, 6, 0, {6}, {{0, 8}}, {1}, {0}, {}},
    };
    return u;
}

// The head's reach as the band buffer's margin, for every sub-mode.
void set_reach(ModelHeadControl& hc, uint32_t reach) {
    hc.encoders[0].sub_mode_values.assign(hc.modes[0].sub_modes.size(), reach);
}

ModelHeadControl driver_variant(const ModelDescription& model, HcVariant variant) {
    ModelHeadControl hc = default_head_control(model);
    HcMode& m = hc.modes[0];
    const uint16_t n = hc.head.nozzles[0];
    switch (variant) {
        case HcVariant::DriverOneBit: m.bits_per_pixel = 1; break;
        case HcVariant::DriverOverlapMasks: {
            hc = head_control_variant(model, HcVariant::Interleaved);
            // Row 0: the word's kind; row 1 (passes 0 and 2 of a cycle): the
            // simple mask by phase; row 2 (passes 1 and 3): a rotation mask.
            std::vector<HcLayerKind> kinds(3);
            kinds[0].flags = 0x20;
            kinds[0].values = {0x55};
            kinds[1].flags = 0x4;
            kinds[1].grades = 200;
            kinds[2].flags = 0x10;
            kinds[2].values = {0xAA};
            hc.modes[0].layer_kinds = kinds;
            hc.modes[0].layer_values = {0, 2, 1};
            hc.head.pol_base_b = {0x5A3C96E1u, 0x0F1E2D4Bu};
            break;
        }
        case HcVariant::LossNozzle: {
            hc = head_control_variant(model, HcVariant::TwoHeadsOverlap);
            HcMode& m = hc.modes[0];
            m.function_flags |= 0x10000 | 0x80000 | 0x200000;
            const size_t arrays = m.color_order.size();
            std::vector<uint16_t> starts, halftones;
            for (uint16_t n = 0; n < 8; ++n) starts.push_back(uint16_t(16 * n)), halftones.push_back(n);
            m.lht.starts.assign(arrays, starts);
            m.lht.halftones.assign(arrays, halftones);
            uint32_t virtualNozzles = 0;
            for (uint16_t n : hc.head.nozzles) virtualNozzles += n;
            m.pmc_unit.kind = 1;
            for (uint32_t v = 0; v < virtualNozzles; ++v) m.pmc_unit.data.push_back(uint8_t(1 + v % 2));
            m.cms_unit.thresholds = {2, 5};
            m.cms_unit.types = {1, 2};
            HcPmcModel pmc;
            // Set n - 1 for stacks of n passes: 2^n x n values per table.
            for (uint16_t n = 1; n <= 3; ++n) {
                std::vector<uint16_t> t(size_t(n) << n);
                for (size_t i = 0; i < t.size(); ++i) t[i] = uint16_t(10 * n + i);
                pmc.sets.push_back({HcPmcTableGroup{uint16_t(1u << n), n, {t, t}}, HcPmcTableGroup{uint16_t(1u << n), n, {t}}});
            }
            pmc.mask_width = 2;
            pmc.mask_rows = 3;
            pmc.multiplier = 1;
            pmc.mask = {1, 2, 3, 4, 5, 6};
            hc.head.pmc_model = pmc;
            break;
        }
        case HcVariant::DriverTwoHeads: {
            hc = head_control_variant(model, HcVariant::TwoHeadsOverlap);
            HcMode& t = hc.modes[0];
            t.color_order_more.clear();
            for (uint8_t c : t.color_order) t.color_order_more.push_back(uint8_t(c + 0x10));
            // Per-colour layer values (function flag 0x80): every row, the
            // shared nozzles' head-connection value 7 among them, names the
            // simple kind.
            HcLayerKind simple;
            simple.flags = 0x20;
            simple.values = {0x55};
            t.layer_kinds = {simple};
            t.function_flags |= 0x80;
            t.layer_value_count = 8;
            t.layer_values.assign(8 * t.color_order.size(), 0);
            break;
        }
        case HcVariant::DriverDeferredFeed: {
            m.function_flags |= 0x4;
            HcSubMode s2 = m.sub_modes[0];
            s2.number = 2;
            m.sub_modes.insert(m.sub_modes.begin() + 1, s2);
            set_reach(hc, hc.encoders[0].sub_mode_values[0]);
            break;
        }
        case HcVariant::DriverGrouped: {
            // Ink 8 prints with K's nozzle line, from its nozzle 90 on; every
            // pass uses nozzles [0, 90) of the pattern, starting 90 rasters
            // above the page so that the lower half reaches the top.
            hc.color_table.push_back({8, 0x30});
            m.function_flags |= 0x40;
            m.block_e.rows = 2;
            m.block_e.colors = {0x10, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15};
            m.block_e.codes = {0x10, 0x30, 0x11, 0x12, 0x13, 0x14, 0x15};
            m.block_e.shifts = {0, uint16_t(n / 2), 0, 0, 0, 0, 0};
            hc.units = {stepping_logic(n, {int16_t(n / 2)}, {1})};
            hc.units[0].layers[0].range = {{0, uint16_t(n / 2)}};
            hc.units[0].top_offset = uint16_t(n / 2);
            break;
        }
        case HcVariant::DriverSplit: {
            // The reader doubles the head: 2n nozzles, even ones the first sub-line.
            m.function_flags |= 0x200;
            m.split.n = 2;
            m.split.codes.clear();
            for (uint8_t c : m.color_order) {
                m.split.codes.push_back(c);
                m.split.codes.push_back(uint8_t(c + 0x30));
            }
            hc.units = {stepping_logic(uint16_t(2 * n), {int16_t(2 * n)}, {1})};
            for (HcSubMode& s : m.sub_modes) s.min_length = 2u * n;
            set_reach(hc, 2u * n);
            break;
        }
        case HcVariant::DriverCycle:
            m.function_flags |= 0x2000;
            m.block_b.value = m.value0;
            m.block_b.list = {1, 2};
            m.block_b.per_color = {0, 0};
            break;
        case HcVariant::DriverCorrected:
            m.function_flags |= 0x100;
            m.block_d.value = uint16_t(m.value1);
            m.block_d.list = {0, 0, 0};
            break;
        case HcVariant::DriverIgnored:
            for (HcSubMode& s : m.sub_modes) {
                s.ignore_top = 7;
                s.ignore_bottom = 5;
            }
            break;
        case HcVariant::DriverLowerEdge:
        case HcVariant::DriverMwsw:
        case HcVariant::DriverFTrans: {
            const HcVariant edge = variant == HcVariant::DriverLowerEdge ? HcVariant::LowerEdge
                                   : variant == HcVariant::DriverMwsw    ? HcVariant::Mwsw
                                                                         : HcVariant::FTrans;
            hc = head_control_variant(model, edge);
            HcLayerKind simple;
            simple.flags = 0x20;
            simple.values = {0x55};
            // Without function flag 0x80 there is one layer value per kind.
            hc.modes[0].layer_kinds.assign(10, simple);
            hc.modes[0].layer_values.assign(10, 0);
            // Every F-trans pass's overlap from the POL layer's window.
            if (variant == HcVariant::DriverFTrans) hc.units[0].flags = 0;
            if (variant == HcVariant::DriverLowerEdge) hc.units[0] = paired_lower_edge_logic();
            break;
        }
        case HcVariant::DriverSwitches: {
            m.function_flags |= 0x1 | 0x2 | 0x400;
            m.value3 = 1;
            m.block_c = {1, 0, 0, 0, {}};
            HcLogic mono = hc.units[0], brs = stepping_logic(n, {60}, {1}), bottom = lower_logic();
            mono.logic_id = 2;
            brs.logic_id = 3;
            bottom.logic_id = 4;
            hc.units.insert(hc.units.end(), {mono, brs, bottom});
            m.unit_mask = 0xF;
            for (HcSubMode& s : m.sub_modes) s.units = {HcUnitSelector{1, 0}, {2, 0}, {3, 0}, {4, 0}};
            break;
        }
        case HcVariant::DriverTwoPlanes:
            m.value0 = 2;
            m.color_num = 2;
            hc.units = {stepping_logic(n, {0, int16_t(n)}, {1, 2})};
            break;
        default: break;
    }
    return hc;
}

// The edge logics' head: one head of 8 nozzles.
void edge_head(ModelHeadControl& hc, HcLogic logic) {
    hc.head.nozzles = {8};
    hc.units = {std::move(logic)};
    for (HcSubMode& s : hc.modes[0].sub_modes) s.min_length = 8;
    hc.encoders[0].sub_mode_values = {16, 16};
}

// Pitch 1, feed 8. With one normal-table row of width 8 and the page end
// L, let G = L - 16 - ((L - 16) mod 8): the normal passes stand at 0, 8,
// ..., G - 8 (end -17 is G - 1), the segment layer carries them on to the
// page end, and the lower passes start at G - 4 (the row's value) feeding 3
// with the whole head: each takes the next 3 rasters from the virtual
// passes. Pages from 24 rasters.
HcLogic lower_logic() {
    HcLogic u;
    u.logic_id = 1;
    u.layers = {
        HcLayer{2, -16, 0, {3}, {{0, 8}}, {1}, {0}, {}},
        HcLayer{1, 0, -17, {8}, {{0, 8}}, {1}, {0}, {}},
        HcLayer{5, 0, 0, {8}, {{0, 8}}, {1}, {0}, {}},
    };
    u.head_units = {0};
    u.normal = {{8, 0, -4, 0}};
    return u;
}

// Normal passes feeding 6 whose last 2 nozzles print second half (type 4);
// the lower passes take the first half of the last normal pass's. Rows of
// width 6: G = L - 16 - ((L - 16) mod 6), normal passes to G - 6.
HcLogic lower_edge_logic() {
    HcLogic u = lower_logic();
    u.layers = {
        HcLayer{2, -16, 0, {3}, {{0, 8}}, {1}, {0}, {}},
        HcLayer{1, 0, -17, {6}, {{0, 8}}, {1}, {0}, {}},
        HcLayer{4, 0, -17, {6}, {{6, 8}}, {1}, {0}, {4}},
        HcLayer{5, 0, 0, {6}, {{0, 8}}, {1}, {0}, {}},
    };
    u.normal = {{6, 0, -4, 0}};
    return u;
}

// Normal passes of group 0 at 0, 8, ..., G' - 8 (G' = L - 8 - ((L - 8)
// mod 8)), then MWSW passes of group 1 from G' - 4 feeding 4 over 4
// nozzles to the page end: the first shares its rasters with the last
// normal pass, nozzles 0-1 through layer 7, 2-3 through layer 8. Pages
// from 23 rasters.
HcLogic mwsw_logic() {
    HcLogic u;
    u.logic_id = 1;
    u.layers = {
        HcLayer{1, 0, -16, {8}, {{0, 8}}, {1}, {0}, {}},
        HcLayer{6, -16, 0, {4}, {{0, 4}}, {1}, {1}, {}},
        HcLayer{7, -16, 0, {4}, {{0, 2}}, {1}, {1}, {5}},
        HcLayer{8, -16, 0, {4}, {{2, 4}}, {1}, {1}, {6}},
    };
    u.head_units = {0};
    u.normal = {{8, 0, 0, 0}};
    u.mwsw = {{8, 4, 0}};
    return u;
}

// Lower with five F-trans passes between, feeding 4 from 2 rasters above the
// first virtual pass (H = L - 16 - ((L - 16) mod 8) - 8 + 8: normal passes
// to H - 16, F-trans passes at H - 10 ... H + 6, lower passes from H + 8).
// Every second F-trans pass reaches 2 rasters into the virtual pass after
// the one it takes from: its overlap zone, POL index 9. Pages from 39 rasters.
HcLogic ftrans_logic() {
    HcLogic u;
    u.logic_id = 1;
    u.flags = kHcFTransFromNormal;
    u.layers = {
        HcLayer{2, -16, 0, {3}, {{0, 8}}, {1}, {0}, {}},
        HcLayer{10, -24, -10, {4}, {{0, 8}}, {1}, {0}, {}},
        HcLayer{12, -24, -10, {4}, {{0, 2}}, {1}, {0}, {9}},
        HcLayer{1, 0, -25, {8}, {{0, 8}}, {1}, {0}, {}},
        HcLayer{5, 0, 0, {8}, {{0, 8}}, {1}, {0}, {}},
    };
    u.null_passes = {{10, 3}, {2, 0}};
    u.head_units = {0};
    u.normal = {{8, 0, 8, 0}};
    u.ftrans = {{8, 0, -2, 0}};
    return u;
}

// Repeat mode, lower split 2: the normal passes print nozzles 0-3 feeding 4
// from raster 8 (topOffset 4); the upper passes at -2 and 2 and the lower
// passes from 2 rasters above the normal cycle's next pass print its
// pattern with nozzles 2-5. Pages from 39 rasters.
HcLogic repeat_logic() {
    HcLogic u;
    u.logic_id = 1;
    u.top_offset = 4;
    u.flags = kHcRepeat;
    u.layers = {
        HcLayer{0, 2, 6, {4}, {{2, 6}}, {1}, {0}, {}},
        HcLayer{1, 12, -17, {4}, {{0, 4}}, {1}, {0}, {}},
        HcLayer{2, -16, 0, {4}, {{2, 6}}, {1}, {0}, {}},
    };
    u.head_units = {0};
    u.normal = {{4, 0, -2, 0}};
    return u;
}

// The interleaved logic at pitch 2 without overlaps (feeds 5, 11, 5, 11)
// carried on by a segment layer; the normal passes end at a cycle boundary
// G (end -45 from the row), the lower passes start at G - 2 feeding 3, so
// that they take both parities in turn. Pages from 105 rasters.
HcLogic lower_interleaved_logic() {
    HcLogic u = interleaved_logic(8, 0, 5);
    u.layers.resize(2);  // upper and normal
    u.layers[1].end = -45;
    HcLayer segment = u.layers[1];
    segment.kind = 5;
    segment.end = 0;
    u.layers.insert(u.layers.begin(), HcLayer{2, -40, 0, {3}, {{0, 8}}, {1}, {0}, {}});
    u.layers.push_back(segment);
    u.normal = {{32, 0, -4, 0}};
    return u;
}

}  // namespace
const std::vector<HcEncoderCase>& hc_encoder_cases() {
    static const std::vector<HcEncoderCase> cases = {
        {0, 0}, {1, 0}, {-1, 0}, {2, 0}, {-2, 0}, {3, 0}, {-128, 0}, {2, 0x1}, {-2, 0x4}, {2, 0x8},
    };
    return cases;
}

uint32_t hc_encoder_mode_id(size_t case_index) { return 0x45000000u + uint32_t(case_index); }

const std::vector<HcBandMode>& hc_band_modes() {
    static const std::vector<HcBandMode> modes = [] {
        const std::pair<uint16_t, uint16_t> pairs[] = {{1, 1}, {1, 2}, {1, 4}, {2, 2}, {2, 4},
                                                       {2, 8}, {4, 4}, {8, 8}, {16, 16}};
        std::vector<HcBandMode> v;
        for (uint16_t bits : {uint16_t(1), uint16_t(2)})
            for (const auto& [r, p] : pairs) v.push_back({r, p, bits});
        return v;
    }();
    return modes;
}

uint32_t hc_band_mode_id(const HcBandMode& b) {
    return 0x42000000u | uint32_t(b.repeat) << 16 | uint32_t(b.planes) << 8 | b.bits;
}

ModelHeadControl head_control_variant(const ModelDescription& model, HcVariant variant) {
    ModelHeadControl hc = default_head_control(model);
    switch (variant) {
        case HcVariant::Default: break;
        case HcVariant::Format10:
        case HcVariant::Format11:
        case HcVariant::Format12:
        case HcVariant::Format13: {
            hc.format_minor = int16_t(int(variant) - int(HcVariant::Format10));
            if (!Format{1, hc.format_minor}.f12()) {
                // One-byte mode ids: the short mode number.
                for (HcMode& m : hc.modes) m.id &= 0xFF;
                for (HcEncoder& e : hc.encoders) e.id &= 0xFF;
            }
            break;
        }
        case HcVariant::AllSections: hc = all_sections(model); break;
        case HcVariant::TwoHeads: {
            // The head's nozzles in two heads that share 4 nozzles.
            const uint16_t n = hc.head.nozzles[0];
            hc.head.nozzles = {uint16_t(n / 2 + 2), uint16_t(n - n / 2 + 2)};
            hc.head.overlaps = {4};
            HcMode& m = hc.modes[0];
            m.color_order_more = m.color_order;
            m.use_heads = {1, 1};
            break;
        }
        case HcVariant::SharedUnits: {
            HcMode& m = hc.modes[0];
            m.unit_mask = 0xF;
            for (HcSubMode& s : m.sub_modes)
                s.units = {HcUnitSelector{1, 0}, HcUnitSelector{-1, -1}, HcUnitSelector{2, 0}, HcUnitSelector{1, 0}};
            HcLogic second = hc.units[0];
            second.logic_id = 2;
            second.pitch = 2;
            // A unit with the first unit's ids ahead of it: the later one is taken.
            HcLogic shadowed = hc.units[0];
            shadowed.pitch = 9;
            hc.units = {shadowed, hc.units[0], second};
            break;
        }
        case HcVariant::Interleaved: interleave(hc, hc.head.nozzles[0], 20, 91); break;
        case HcVariant::Interleaved8: interleave(hc, 8, 2, 5); break;
        case HcVariant::TwoHeadsOverlap: {
            hc = head_control_variant(model, HcVariant::TwoHeads);
            // Head 1's entry: both heads print the 4 shared nozzles, whose
            // head-connection value is 7.
            const uint16_t n = hc.head.nozzles[0];
            const uint16_t shared = uint16_t(n - hc.head.overlaps[0]);
            HcLogic& u = hc.units[0];
            u.layers.push_back(HcLayer{36, 0, 0, u.layers[0].feed, {{shared, n}}, {1}, {0}, {7}});
            break;
        }
        case HcVariant::PreNormal: {
            interleave(hc, 8, 2, 5);
            std::vector<HcLayer>& l = hc.units[0].layers;
            l[0].feed = {2};  // one upper pass, at 0
            HcLayer pre = l[0];
            pre.kind = 9;  // the pre-normal pass at 1
            pre.start = pre.end = 1;
            pre.feed = {1};
            l.insert(l.begin() + 1, pre);
            break;
        }
        case HcVariant::EveryPassLayer: {
            hc = head_control_variant(model, HcVariant::PreNormal);
            // Two heads of 6 sharing 4: virtual nozzles 0-7, head 1 from 2.
            hc.head.nozzles = {6, 6};
            hc.head.overlaps = {4};
            HcMode& m = hc.modes[0];
            m.color_order_more = m.color_order;
            m.use_heads = {1, 1};
            std::vector<HcLayer>& l = hc.units[0].layers;
            const std::vector<int16_t> feeds = l[2].feed;
            const std::vector<std::pair<uint16_t, uint16_t>> shared(4, {2, 6});
            // Upper: head 1's entry; pre-normal: the overlap with the upper pass and head 1's entry.
            l.push_back(HcLayer{35, 0, 0, {1}, {{2, 6}}, {1}, {0}, {3}});
            l.push_back(HcLayer{11, 1, 1, {1}, {{0, 2}}, {1}, {0}, {4}});
            l.push_back(HcLayer{38, 1, 1, {1}, {{2, 6}}, {1}, {0}, {5}});
            l.push_back(HcLayer{13, 2, 20, feeds, {{5, 8}, {5, 8}, {0, 0}, {0, 0}}, {1}, {0}, {6, 6, 0, 0}});
            l.push_back(HcLayer{14, 2, 30, feeds, {{0, 0}, {0, 0}, {0, 3}, {0, 3}}, {1}, {0}, {0, 0, 7, 7}});
            l.push_back(HcLayer{36, 2, 0, feeds, shared, {1}, {0}, {8, 8, 8, 8}});
            break;
        }
        case HcVariant::SplitColors: {
            // K in two rows (the second 2 nozzles further down), C in one, Y
            // in a row 1 nozzle down; the other colours one row each. The
            // passes print n - 2 nozzles, so that every row's windows stay
            // on the head.
            HcMode& m = hc.modes[0];
            m.function_flags |= 0x40;
            m.block_e.rows = 2;
            m.block_e.colors = {0x10, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15};
            m.block_e.codes = {0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36};
            m.block_e.shifts = {0, 2, 0, 0, 1, 0, 0};
            for (HcSubMode& s : m.sub_modes) s.head_top_mode = 7;
            const uint16_t w = uint16_t(hc.head.nozzles[0] - 2);
            hc.units = {stepping_logic(w, {int16_t(w)}, {1})};
            break;
        }
        case HcVariant::Corrected: {
            HcMode& m = hc.modes[0];
            m.function_flags |= 0x1000;
            m.value1 = 720;
            m.array_values = {0, 12, 4, 12, 30, 7};
            hc.head.line_values = {40, 0, 25, 40, 10, 0};
            hc.encoders[0].sub_mode_values = {210, 210};  // the head's reach and the largest offset
            for (HcSubMode& s : m.sub_modes) {
                s.head_top_mode = 7;
                s.head_top_value = 100;
            }
            break;
        }
        case HcVariant::EncoderModes: hc = encoder_modes(hc); break;
        case HcVariant::BandModes: hc = band_modes(hc); break;
        case HcVariant::MaskKinds: hc = mask_kinds(hc); break;
        case HcVariant::Lower: edge_head(hc, lower_logic()); break;
        case HcVariant::LowerEdge: {
            edge_head(hc, lower_edge_logic());
            hc.modes[0].function_flags |= 0x20;
            hc.modes[0].lower_edge_mode = 2;
            break;
        }
        case HcVariant::Mwsw: edge_head(hc, mwsw_logic()); break;
        case HcVariant::FTrans: edge_head(hc, ftrans_logic()); break;
        case HcVariant::Repeat: {
            edge_head(hc, repeat_logic());
            hc.modes[0].value3 = 2;
            break;
        }
        case HcVariant::TwoTables: {
            HcLogic u = lower_logic();
            u.flags = kHcTwoTables;
            u.feed_base = 5;
            u.layers[0].feed = {0};  // 0 + (8 - 5)
            edge_head(hc, u);
            break;
        }
        case HcVariant::LowerEdgeSlot: {
            HcLogic edge = lower_logic();
            edge.logic_id = 2;
            edge.layers[0].feed = {2};
            edge_head(hc, lower_logic());
            hc.units.push_back(edge);
            HcMode& m = hc.modes[0];
            m.unit_mask = 0x9;
            for (HcSubMode& s : m.sub_modes) s.units[3] = {2, 0};
            break;
        }
        case HcVariant::LowerInterleaved: {
            edge_head(hc, lower_interleaved_logic());
            hc.encoders[0].sub_mode_values = {32, 32};
            break;
        }
        default: hc = driver_variant(model, variant); break;
    }
    return hc;
}

Bytes head_control_variant_resource(HcVariant variant) {
    return head_control_resource(head_control_variant(default_model(), variant));
}

void add_model_head_control(ResWriter& writer, const ModelDescription& model) {
    const ModelHeadControl& hc = model.head_control;
    const Bytes plain = head_control_resource(hc);
    writer.add(kResTypeHeadControl, kHeadControlModelId, hc.packed ? irac_pack(plain) : plain);
}

}  // namespace ovcg_test
