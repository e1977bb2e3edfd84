#include "support/model_links.h"

#include "support/model_index.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

namespace ovcg_test {

// ---- Table bytes ----------------------------------------------------------

Bytes link_words(const std::vector<uint16_t>& words) {
    Bytes b;
    b.reserve(words.size() * 2);
    for (uint16_t w : words) {
        b.push_back(uint8_t(w));
        b.push_back(uint8_t(w >> 8));
    }
    return b;
}

Bytes link_chain_entry(uint16_t type, uint16_t value, uint16_t next) {
    return link_words({type, value, next});
}

Bytes link_leaf(uint16_t def, const std::vector<LeafAxis>& axes, const std::vector<uint16_t>& values) {
    // One or two axes are looked up: their value table has one value per
    // combination of key values.
    if (axes.size() == 1 || axes.size() == 2) {
        size_t combinations = 1;
        for (const LeafAxis& a : axes) combinations *= a.keys.size();
        if (values.size() != combinations)
            throw std::invalid_argument("leaf table: " + std::to_string(values.size()) + " values for " +
                                        std::to_string(combinations) + " key combinations");
    }
    std::vector<uint16_t> w = {def, uint16_t(axes.size())};
    for (const LeafAxis& a : axes) {
        w.push_back(a.key_id);
        w.push_back(uint16_t(a.keys.size()));
        w.insert(w.end(), a.keys.begin(), a.keys.end());
    }
    w.insert(w.end(), values.begin(), values.end());
    return link_words(w);
}

Bytes link_multikey(const std::vector<uint16_t>& key_ids, const std::vector<uint16_t>& types,
                    const std::vector<std::vector<uint16_t>>& rows) {
    for (const auto& r : rows)
        if (r.size() != key_ids.size() + types.size())
            throw std::invalid_argument("multi-key row of " + std::to_string(r.size()) + " words, want " +
                                        std::to_string(key_ids.size() + types.size()));
    std::vector<uint16_t> w = {0, 0, uint16_t(rows.size()), uint16_t(key_ids.size()), uint16_t(types.size())};
    w.insert(w.end(), key_ids.begin(), key_ids.end());
    w.insert(w.end(), types.begin(), types.end());
    for (const auto& r : rows) w.insert(w.end(), r.begin(), r.end());
    return link_words(w);
}

void LinkTableWriter::chain(uint16_t id, const std::vector<Entry>& entries) {
    uint16_t current = id;
    for (size_t i = 0; i < entries.size(); ++i) {
        const uint16_t next = i + 1 < entries.size() ? fresh_id() : kLinkEnd;
        w_.add(kResTypeLink, current, link_chain_entry(entries[i].type, entries[i].value, next));
        current = next;
    }
}

uint16_t LinkTableWriter::leaf(uint16_t def, const std::vector<LeafAxis>& axes,
                               const std::vector<uint16_t>& values) {
    const uint16_t id = fresh_id();
    w_.add(kResTypeLink, id, link_leaf(def, axes, values));
    return id;
}

uint16_t LinkTableWriter::multikey(const std::vector<uint16_t>& key_ids, const std::vector<uint16_t>& types,
                                   const std::vector<std::vector<uint16_t>>& rows) {
    const uint16_t id = fresh_id();
    w_.add(kResTypeLink, id, link_multikey(key_ids, types, rows));
    return id;
}

// ---- The model's values ---------------------------------------------------

namespace {

// Key ids of the job properties the tables look at.
constexpr uint16_t kKeyMedia = 1;
constexpr uint16_t kKeyBin = 5;
constexpr uint16_t kKeyPrtResX = 3;
constexpr uint16_t kKeyPrtResY = 4;
constexpr uint16_t kKeyBitsPerColor = 6;
constexpr uint16_t kKeyHighSpeed = 9;  // mode word bit 0x4
constexpr uint16_t kKeyFormat = 10;
constexpr uint16_t kKeyLevel3 = 66;   // mode word bit 0x800
constexpr uint16_t kKeyPageLang = 59; // mode word bit 0x4000
constexpr uint16_t kKeyPage = 1001;
constexpr uint16_t kKeyPage2 = 2002;

// The send rule of the SN table's cut entry (code 0x84).
constexpr int kSnCutRule = 28020;

// Flag-word bits.
constexpr uint32_t kBorderControl = 0x40000000;
constexpr uint32_t kSn04 = 0x1000;
constexpr uint32_t kRemote = 0x800;
constexpr uint32_t kAdjustFeed = 0x8;
constexpr uint32_t kAdjustFeedEx = 0x40;
constexpr uint32_t kRemoteOnly = 0x8000;
constexpr uint32_t kMonoRule = 0x400;
constexpr uint32_t kDotCounting = 0x08000000;

const ModelMedia* find_media(const ModelDescription& model, uint16_t media) {
    for (const ModelMedia& m : model.media)
        if (m.number == media) return &m;
    return nullptr;
}

ModelMediaModes fallback_modes() { return {false, 0, 100, 0x3F, 0x5F, 0x70, 2, 0, kLinkAny}; }

}  // namespace

ModelMediaModes model_media_modes(const ModelDescription& model, uint16_t media) {
    const ModelMedia* m = find_media(model, media);
    if (!m) return fallback_modes();
    ModelMediaModes r{};
    const bool odd = (m->number & 1) != 0;
    // Roll media use the newer remote-mode set with the SN 04H block and the
    // border control; cut sheets the older set.
    r.newer_set = m->roll;
    if (m->roll)
        r.flag_word = kBorderControl | kSn04 | kRemote | (odd ? kAdjustFeedEx : kAdjustFeed);
    else
        r.flag_word = odd ? (kRemoteOnly | kMonoRule) : 0;
    if (m->dot_counting) r.flag_word |= kDotCounting;
    r.calibration_id = m->calibration_id ? m->calibration_id : uint16_t(m->number + 1);
    r.paper_id = uint16_t(0x40 + m->number);
    r.remote_paper_id = uint16_t(0x60 + m->number);
    r.key20003 = odd ? kLinkAny : uint16_t(0x70 + m->number);
    r.thickness = m->roll ? 2 : 3;
    r.feed_adjustment = m->roll ? -3 : 0;
    r.halftone_type = m->halftone_type;
    return r;
}

ModelLevel3Modes model_level3_modes(uint16_t media) {
    // Every encoder with both record versions across the media, the two
    // level-3 generators alternating.
    static constexpr ModelLevel3Modes kModes[] = {
        {kLinkAny, 0, 1}, {1, 1, 2}, {kLinkAny, 2, 1}, {1, 0, 2}, {kLinkAny, 1, 1},
    };
    return kModes[media % (sizeof kModes / sizeof kModes[0])];
}

std::vector<std::pair<uint16_t, uint16_t>> model_sn04_pairs(const ModelDescription& model) {
    return {
        {22000, uint16_t(model.printer_id & 0xFF)},
        {23001, 0x0123},
        {23002, uint16_t(model.head.nozzles_per_row)},
        {22005, uint16_t(model.head.rows)},
        {21003, 0x0456},
        {22010, 0x0A},
        {22011, 0x0B},
    };
}

int model_planes(const ModelDescription& model, int32_t prt_format) {
    for (const auto& alias : model.links.format_aliases)
        if (alias.first == prt_format) prt_format = alias.second;
    for (const ModelInkSet& s : model.ink_sets)
        if (s.prt_format == prt_format) return int(s.inks.size());
    return 0;
}

// ---- The model's tables ---------------------------------------------------

namespace {

using Entry = LinkTableWriter::Entry;
using Rows = std::vector<std::vector<uint16_t>>;

uint16_t u16(int v) { return uint16_t(v); }

// Printer formats the tables know: the ink sets' and the aliases'.
std::vector<int32_t> known_formats(const ModelDescription& model) {
    std::vector<int32_t> f;
    for (const ModelInkSet& s : model.ink_sets) f.push_back(s.prt_format);
    for (const auto& a : model.links.format_aliases) f.push_back(a.first);
    return f;
}

void add_general(LinkTableWriter& t) {
    t.chain(20050, {{10100, 1}, {10101, 0}, {10102, 0}, {10103, 1}, {10104, 0}});
}

void add_paper(LinkTableWriter& t, const ModelDescription& model) {
    const std::vector<uint16_t> types = {10000, 10001, 10002, 10003, 10006, 10004, 12102, 10005};
    Rows rows;
    auto row = [&](uint16_t media, const ModelMediaModes& m) {
        rows.push_back({media, kLinkAny, m.calibration_id, 0, m.paper_id, m.thickness, 5, 0,
                        model.links.ink_id, 0});
    };
    for (const ModelMedia& m : model.media) row(m.number, model_media_modes(model, m.number));
    row(kLinkAny, fallback_modes());
    t.chain(20000, {{0, t.multikey({kKeyMedia, kKeyBin}, types, rows)}});
}

// The media-class tables: one multi-key table per class kind, keyed by media.
void add_media_classes(LinkTableWriter& t, const ModelDescription& model) {
    const uint16_t dot_size = t.leaf(0x10, {{kKeyBitsPerColor, {1, 2}}}, {0x10, 0x11});

    std::vector<int32_t> xs, ys;
    for (const ModelResolution& r : model.resolutions) {
        if (std::find(xs.begin(), xs.end(), r.x) == xs.end()) xs.push_back(r.x);
        if (std::find(ys.begin(), ys.end(), r.y) == ys.end()) ys.push_back(r.y);
    }
    std::vector<uint16_t> weave;
    for (size_t j = 0; j < ys.size(); ++j)
        for (size_t i = 0; i < xs.size(); ++i) weave.push_back(u16(1 + i + j));
    std::vector<uint16_t> xk, yk;
    for (int32_t x : xs) xk.push_back(u16(x));
    for (int32_t y : ys) yk.push_back(u16(y));
    const uint16_t microweave = t.leaf(1, {{kKeyPrtResX, xk}, {kKeyPrtResY, yk}}, weave);

    std::vector<uint16_t> fk, fv;
    for (int32_t f : known_formats(model)) {
        fk.push_back(u16(f));
        fv.push_back(u16(model_planes(model, f)));
    }
    const uint16_t planes = t.leaf(kLinkAny, {{kKeyFormat, fk}}, fv);

    const auto table = [&](bool colour) {
        std::vector<uint16_t> types = {11000, 11001, 11002, 11003, 11004, 11005, 11006, 11007, 11008,
                                       11009, 11010, 11011, 11012, 11013, 11014, 11015, 11018, 11019,
                                       11020, 11021, 11022, 11026, 11023, 11024, 11025, 11035, 11036,
                                       11037, 11027, 11029, 11030, 11032, 11033, 11034, 11038};
        types.push_back(colour ? 11016 : 11017);
        Rows rows;
        // Keys: media, printer resolution, bits per dot and the high-speed
        // bit of the mode word; the driver's settings of a media come first
        // with their sub-type, output bits, head mode and halftone type (the
        // high-speed ones with their high-speed head mode), then the media's
        // row for the rest.
        auto row = [&](uint16_t media, const ModelMediaModes& m, const ModelDriverPrint* p, bool fast) {
            const uint32_t f = m.flag_word;
            const uint32_t head = p ? model_driver_head_mode_id(*p, fast) : model_head_mode_id();
            uint16_t ht = m.halftone_type;
            if (p && ht == kLinkAny) ht = 3;
            rows.push_back({media, p ? u16(p->x) : kLinkAny, p ? u16(p->y) : kLinkAny, p ? p->bits : kLinkAny,
                            fast ? uint16_t(1) : kLinkAny, dot_size, 1, u16(m.newer_set ? 0x80 : 0x00), 0x01, 0x00, 0x02,
                            u16(f >> 24), u16((f >> 16) & 0xFF), u16((f >> 8) & 0xFF), u16(f & 0xFF), 0, 0,
                            0, 0, u16(p ? kModelDriverSubType : 0), u16(p ? p->bits : 2), 0, 0, 0, 0, 0, 1, 1024,
                            u16(uint8_t(m.feed_adjustment)), u16(head & 0xFF), u16((head >> 8) & 0xFF),
                            u16((head >> 16) & 0xFF), u16(head >> 24), 2, 0, 0, 0, ht, kLinkAny, 0,
                            // colour: the ink set the colour format prints with (the
                            // plane count comes with the format); monochrome: mode 1.
                            u16(colour ? model_colour_ink_set(model) : 1)});
        };
        for (bool fast : {true, false})
            for (const ModelMedia& m : model.media)
                for (const ModelDriverPrint& p : m.driver) row(m.number, model_media_modes(model, m.number), &p, fast);
        for (const ModelMedia& m : model.media) row(m.number, model_media_modes(model, m.number), nullptr, false);
        row(kLinkAny, fallback_modes(), nullptr, false);
        return t.multikey({kKeyMedia, kKeyPrtResX, kKeyPrtResY, kKeyBitsPerColor, kKeyHighSpeed}, types, rows);
    };
    const uint16_t colour = table(true);
    const uint16_t mono = table(false);
    for (uint16_t id : {20500, 20540, 20560})
        t.chain(id, {{0, colour}, {11031, planes}, {11028, microweave}});
    t.chain(20520, {{0, mono}, {11028, microweave}});
}

void add_commands(LinkTableWriter& t, const ModelDescription& model) {
    const std::vector<uint16_t> types = {
        12101, 12103, 12850, 12600, 12601, 12602, 12200, 12201, 12200, 12201, 12300, 12301,
        12500, 12501, 12500, 12501, 12240, 12241, 12210, 12211, 12250, 12251, 12220, 12221, 12222, 12700,
        12701, 12245, 12246, 13000, 13002, 12004, 12005, 12006, 12007, 12100, 12102};
    // The SN table: codes 0 and 1, code 5 (vacuum) and code 0x84, whose
    // value the generators set from the job's cutting.
    Rows rows;
    auto row = [&](uint16_t media, bool roll) {
        rows.push_back({media, u16(model.head.nozzles_per_row), 0, 1, kModelSn04Kind, model.links.sn04_length,
                        0, 0, u16(roll ? 10 : 30), 1, 5, 1, 0, 5, 2, kModelSnCut, 0, 1, u16(roll ? 0 : 1), 1, 2, 3,
                        1, 2, 7, 9, 1, 0, 0, 1, 30, 50, 10, 20, 30, 40, 8, model.links.ink_id});
    };
    for (const ModelMedia& m : model.media) row(m.number, m.roll);
    row(kLinkAny, false);
    const uint16_t common = t.multikey({kKeyMedia}, types, rows);

    // The attribute flags per media (a media the model does not list: 1).
    std::vector<uint16_t> media, high, low;
    for (const ModelMedia& m : model.media) {
        media.push_back(m.number);
        high.push_back(uint16_t(m.attribute_flags >> 8));
        low.push_back(uint16_t(m.attribute_flags & 0xFF));
    }
    // Per plane count: the dot-count indices and the ink weights.
    // Colour type 7: the engine hands RGB bands on as RGBX.
    std::vector<Entry> entries = {{12000, 7},
                                  {12001, 0},
                                  {12002, t.leaf(0, {{kKeyMedia, media}}, high)},
                                  {12003, t.leaf(1, {{kKeyMedia, media}}, low)},
                                  {0, common}};
    std::vector<int> counts;
    for (int32_t f : known_formats(model)) {
        const int n = model_planes(model, f);
        if (n > 1 && std::find(counts.begin(), counts.end(), n) == counts.end()) counts.push_back(n);
    }
    for (int n : counts) {
        std::vector<uint16_t> ptypes = {12800};
        std::vector<uint16_t> values = {u16(n)};
        for (int p = 0; p < n; ++p) {
            ptypes.push_back(u16(12801 + p));
            values.push_back(u16(p + 1));
        }
        for (int p = 0; p < n; ++p)
            for (int s = 0; s < 3; ++s) {
                ptypes.push_back(p == 0 && s == 0 ? 12901 : 12902);
                values.push_back(u16(model.links.ink_weight_base * (p + 1) + s));
            }
        Rows prow;
        for (int32_t f : known_formats(model))
            if (model_planes(model, f) == n) {
                std::vector<uint16_t> r = {u16(f)};
                r.insert(r.end(), values.begin(), values.end());
                prow.push_back(r);
            }
        entries.push_back({0, t.multikey({kKeyFormat}, ptypes, prow)});
    }
    t.chain(21000, entries);
}

void add_remote(LinkTableWriter& t, const ModelDescription& model) {
    Rows rows;
    for (const ModelMedia& m : model.media) {
        const ModelMediaModes mm = model_media_modes(model, m.number);
        rows.push_back({m.number, mm.remote_paper_id, mm.key20003});
    }
    const ModelMediaModes fb = fallback_modes();
    rows.push_back({kLinkAny, fb.remote_paper_id, fb.key20003});
    t.chain(25000, {{0, t.multikey({kKeyMedia}, {20000, 20003}, rows)}});
    t.chain(25020, {{20001, kModelRemote1}});
    t.chain(25040, {{20002, kModelRemote2}});
    t.chain(25060, {{20003, kModelRemote3}});

    std::vector<uint16_t> types, values = {kLinkAny};
    for (const auto& p : model_sn04_pairs(model)) {
        types.push_back(p.first);
        values.push_back(p.second);
    }
    t.chain(26000, {{0, t.multikey({kKeyMedia}, types, {values})}});
    t.chain(27000, {{24000, 1}, {24001, 100}, {24002, 200}, {24003, 2}});
    t.chain(27500, {{0, t.multikey({kKeyMedia}, {24100, 24101, 24102, 24103, 24104, 24105},
                                   {{kLinkAny, 1, 2, 300, 400, 3, 4}})}});
}

void add_generators(LinkTableWriter& t, const ModelDescription& model) {
    std::vector<uint16_t> types, level2 = {kLinkAny}, level3 = {1};
    for (int k = 28000; k <= 28037; ++k) {
        types.push_back(u16(k));
        // Level 2 sends the cut entry of the SN table (28020) always.
        level2.push_back(k % 3 == 0 && k != kSnCutRule ? kLinkAny : 1);
        level3.push_back(k % 2 == 0 ? 1 : kLinkAny);
    }
    t.chain(28000, {{0, t.multikey({kKeyLevel3}, types, {level3, level2})}});
    // Generators: level 2 the second variant; level 3 by media (see
    // model_level3_modes); the page language its only one.
    Rows generators, encoders;
    for (const ModelMedia& m : model.media) {
        const ModelLevel3Modes l3 = model_level3_modes(m.number);
        generators.push_back({1, kLinkAny, m.number, 0, l3.generator, 0});
        encoders.push_back({1, kLinkAny, m.number, l3.encoder, l3.records});
    }
    generators.push_back({1, kLinkAny, kLinkAny, 0, kLinkAny, 0});
    generators.push_back({kLinkAny, 1, kLinkAny, 0, kLinkAny, 0});
    generators.push_back({kLinkAny, kLinkAny, kLinkAny, 0, 2, 0});
    encoders.push_back({1, kLinkAny, kLinkAny, 1, 1});
    encoders.push_back({kLinkAny, 1, kLinkAny, 2, 0});
    encoders.push_back({kLinkAny, kLinkAny, kLinkAny, 0, 0});
    t.chain(28500, {{0, t.multikey({kKeyLevel3, kKeyPageLang, kKeyMedia}, {28500, 28501, 28502}, generators)}});
    t.chain(29000, {{0, t.multikey({kKeyLevel3, kKeyPageLang, kKeyMedia}, {29000, 29001}, encoders)}});
}

void add_page(LinkTableWriter& t, const ModelDescription& model) {
    std::vector<uint16_t> media, kind;
    for (const ModelMedia& m : model.media) {
        media.push_back(m.number);
        kind.push_back(m.roll ? 1 : 2);
    }
    // The page's colour correction by the job's: Standard (0) 2, NoCMM 4,
    // c-BIZ 10 (two intents), Gray and Black2 13, CAD 11 (two intents), GIS
    // 90; each reaches print modes of its own (model_index.h).
    t.chain(29500, {{30000, t.leaf(kLinkAny, {{kKeyPage, {0, 4, 12, 13, 14, 90}}}, {2, 4, 10, 13, 11, 90})},
                    {30001, t.leaf(kLinkAny, {{kKeyPage, {13}}}, {3})},
                    {30002, t.leaf(0, {{kKeyMedia, media}}, kind)}});
    t.chain(30000, {{0, t.multikey({kKeyPage2}, {31000, 31001, 31002, 31003},
                                   {{13, 1024, 1024, 1024, 900}, {kLinkAny, 1024, 1024, 1024, 1024}})}});
}

}  // namespace

void add_model_links(ResWriter& w, const ModelDescription& model) {
    LinkTableWriter t(w);
    add_general(t);
    add_paper(t, model);
    add_media_classes(t, model);
    add_commands(t, model);
    add_remote(t, model);
    add_generators(t, model);
    add_page(t, model);
}

}  // namespace ovcg_test
