#include "support/model_index.h"

#include "support/hxr_packer.h"
#include "support/model_cfg.h"
#include "support/model_dither.h"
#include "support/model_links.h"
#include "support/model_lut.h"
#include "support/model_rate.h"
#include "support/model_sml.h"

#include <algorithm>
#include <stdexcept>

namespace ovcg_test {

const std::vector<std::string> kIndexColumns = {
    "CMM-ID", "INK-ID", "cSMB-ID", "mSMB-ID", "SMB-ID", "bSMB-ID", "ubec_dither", "ubec_vinfo", "ink_set", "Micro",
    "Halftone", "media", "H-RES", "V-RES", "DocType", "subType", "OUT_BIT", "cDbG0", "cDbG255", "mDbg0", "mDbg255"};

namespace {

std::string join(const std::vector<std::string>& names, size_t from, size_t to) {
    std::string s;
    for (size_t i = from; i < to; ++i) s += (i > from ? " " : "") + names[i];
    return s;
}

}  // namespace

std::string write_index_text(const IndexTextSpec& s) {
    std::string t;
    const auto line = [&](const std::string& l) { t += l + s.eol; };
    for (const std::string& l : s.preamble) line(l);
    line(s.header);
    line(s.comment);
    line(join(s.columns, 0, s.columns.size()));
    for (const auto& row : s.rows) {
        std::vector<std::string> cells;
        for (const std::string& c : s.columns) {
            const auto it = row.find(c);
            cells.push_back(it == row.end() ? "-" : it->second);
        }
        line(join(cells, 0, cells.size()));
    }
    line(s.rows_end);
    line(join(s.halftones, 0, s.halftones.size()));
    std::vector<std::string> media = s.media;
    if (!s.media_base.empty()) media.insert(media.begin(), s.media_base);
    const size_t per_line = s.media_per_line ? s.media_per_line : std::max<size_t>(media.size(), 1);
    for (size_t i = 0; i < media.size() || i == 0; i += per_line) {
        const size_t end = std::min(media.size(), i + per_line);
        std::string l = join(media, i, end);
        if (end < media.size()) l += s.blank_before_at ? " @" : "@";
        line(l);
    }
    line(join(s.doc_a, 0, s.doc_a.size()));
    line(join(s.doc_b, 0, s.doc_b.size()));
    for (const std::string& l : s.trailer) line(l);
    return t;
}

Bytes text_bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// ---- The model's ink sets -----------------------------------------------------

namespace {

// The engine's ink codes of the model's ink letters.
uint8_t ink_code(char letter) {
    switch (letter) {
        case 'K': return 0;
        case 'C': return 1;
        case 'M': return 2;
        case 'Y': return 3;
        case 'c': return 4;
        case 'm': return 5;
        default: throw std::invalid_argument(std::string("no ink code for ") + letter);
    }
}

const ModelInkSet& find_ink_set(const ModelDescription& model, int32_t ink_set) {
    for (const ModelInkSet& s : model.ink_sets)
        if (s.prt_format == ink_set) return s;
    throw std::invalid_argument("the model has no ink set " + std::to_string(ink_set));
}

}  // namespace

int32_t model_colour_ink_set(const ModelDescription& model) {
    if (!model.links.format_aliases.empty()) return model.links.format_aliases.front().second;
    for (const ModelInkSet& s : model.ink_sets)
        if (s.inks.size() > 1) return s.prt_format;
    throw std::invalid_argument("the model has no colour ink set");
}

std::vector<uint8_t> model_output_codes(const ModelDescription& model, int32_t ink_set) {
    std::vector<uint8_t> codes;
    for (char c : find_ink_set(model, ink_set).inks) codes.push_back(ink_code(c));
    return codes;
}

std::vector<uint8_t> model_lut_codes(int32_t ink_set) {
    // The order in which the engine's colour tables deliver the inks.
    switch (ink_set) {
        case 0: return {0};
        case 1: return {1, 2, 3, 0};
        case 3: return {1, 4, 2, 5, 3, 0};
        default: throw std::invalid_argument("no LUT order for ink set " + std::to_string(ink_set));
    }
}

std::vector<uint8_t> model_colour_codes(const ModelDescription& model) {
    std::vector<uint8_t> codes;
    for (const ModelInkSet& s : model.ink_sets) {
        if (s.prt_format == 0) continue;
        for (uint8_t c : model_output_codes(model, s.prt_format))
            if (std::find(codes.begin(), codes.end(), c) == codes.end()) codes.push_back(c);
    }
    return codes;
}

// ---- The model's print modes --------------------------------------------------

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;
const std::vector<std::string> kHalftoneNames = {"HT0", "HT1", "HT2", "DITHER", "HT4", "HED", "HED_P"};
const std::vector<std::string> kDocTypesA = {"NORMAL", "DOC1",  "DOC2",  "DOC3",  "DOC4",  "DOC5",  "DOC6", "TNMX",
                                             "DOC8",   "DOC9",  "DOC10", "DOC11", "DOC12", "DOC13", "DOC14"};

size_t resolution_index(const ModelDescription& model, uint32_t h, uint32_t v) {
    for (size_t i = 0; i < model.resolutions.size(); ++i)
        if (uint32_t(model.resolutions[i].x) == h && uint32_t(model.resolutions[i].y) == v) return i;
    throw std::invalid_argument("resolution not in the model");
}

// Media list entries by calibration identifier, from the smallest.
std::vector<std::pair<uint32_t, std::string>> media_names(const ModelDescription& model) {
    std::vector<std::pair<uint32_t, std::string>> m;
    for (const ModelMedia& media : model.media) {
        std::string name = media.name;
        std::replace(name.begin(), name.end(), ' ', '_');
        m.emplace_back(model_media_modes(model, media.number).calibration_id, name);
    }
    std::sort(m.begin(), m.end());
    return m;
}

}  // namespace

std::vector<ModelPrintMode> model_print_modes(const ModelDescription& model) {
    std::vector<ModelPrintMode> modes;
    const struct {
        uint32_t doc, sub;
    } kinds[] = {{0, 0},
                 {kModelTnmxDocType, 0},
                 {0, 1},
                 {0, kModelNarrowSubType},
                 {kModelSecondDocType, kModelNarrowSubType},
                 {kModelTnmxDocType, kModelNarrowSubType}};
    std::vector<uint32_t> tested;
    for (const ModelMedia& media : model.media)
        if (media.test_modes) tested.push_back(model_media_modes(model, media.number).calibration_id);
    std::sort(tested.begin(), tested.end());
    for (const auto& kind : kinds)
        for (uint32_t media : tested)
            for (const ModelResolution& r : model.resolutions)
                for (uint32_t bits : {1u, 2u})
                    for (uint32_t ht : {3u, 5u, 6u})
                        modes.push_back({media, kind.doc, kind.sub, ht, uint32_t(r.x), uint32_t(r.y), bits});
    return modes;
}

std::vector<ModelPrintMode> model_driver_print_modes(const ModelDescription& model) {
    std::vector<ModelPrintMode> modes;
    for (const ModelMedia& media : model.media) {
        const ModelMediaModes links = model_media_modes(model, media.number);
        std::vector<uint32_t> types = {3};
        if (media.halftone_type != 3 && media.halftone_type != kLinkAny) types.push_back(media.halftone_type);
        for (const ModelDriverPrint& p : media.driver)
            for (uint32_t ht : types)
                modes.push_back({links.calibration_id, 0, kModelDriverSubType, ht, uint32_t(p.x), uint32_t(p.y), p.bits});
    }
    for (const ModelMedia& media : model.media) {
        const ModelMediaModes links = model_media_modes(model, media.number);
        const uint32_t colour = media.halftone_type == kLinkAny ? 3u : media.halftone_type;
        for (const ModelDriverPrint& p : media.driver) {
            for (uint32_t doc : kModelDriverColourDocTypes)
                modes.push_back({links.calibration_id, doc, kModelDriverSubType, colour, uint32_t(p.x), uint32_t(p.y),
                                 p.bits});
            modes.push_back({links.calibration_id, kModelGrayDocType, kModelDriverSubType, 3, uint32_t(p.x),
                             uint32_t(p.y), p.bits});
        }
    }
    return modes;
}

ModelModeResources model_mode_resources(const ModelDescription& model, const ModelPrintMode& m) {
    ModelModeResources r;
    if (m.sub_type == kModelDriverSubType) {
        // Every driver mode prints through the first resolution's tables (or
        // its document type's) and one dither area, whatever the head's
        // switching positions.
        r.lut = m.doc_type == 0 ? kModelLut3dId : kModelLutCorrectionId + m.doc_type;
        r.sml_colour = kModelSmlColourId + m.out_bits;
        r.sml_mono = kModelSmlMonoId + m.out_bits;
        r.rate = m.out_bits == 2 ? kModelRateId : kNone;
        r.dither = kModelDitherSwitchId;
        r.dither_offset = kModelDitherOffsetId;
        r.micro = "MW1";
        return r;
    }
    const size_t res = resolution_index(model, m.h_res, m.v_res);
    const bool narrow = m.sub_type == kModelNarrowSubType;
    if (m.doc_type == kModelTnmxDocType)
        r.lut = narrow ? kModelLutTnmx6Id : kModelLutTnmxId;
    else if (m.sub_type == 1)
        r.lut = kModelLut4dId;
    else
        r.lut = (m.doc_type == kModelSecondDocType ? kModelLut3dAltId : kModelLut3dId) + uint32_t(res);
    r.sml_colour = kModelSmlColourId + m.out_bits;
    r.sml_mono = kModelSmlMonoId + m.out_bits;
    r.rate = m.out_bits == 2 ? kModelRateId : kNone;
    r.dither = m.ht_type == 3 ? kModelDitherSwitchId : kModelDitherSwitchAreasId;
    r.dither_offset = kModelDitherOffsetId;
    if (narrow) {
        if (m.ht_type != 6) r.dither = m.ht_type == 3 ? kModelDitherSwitchFourId : kModelDitherSwitchUbecId;
        r.dither_offset = kModelDitherOffsetFlatId;
    }
    r.micro = "MW" + std::to_string(res + 1);
    return r;
}

std::vector<ModelPrintMode> model_index_modes(const ModelDescription& model) {
    std::vector<ModelPrintMode> modes = model_print_modes(model);
    for (const ModelPrintMode& m : model_driver_print_modes(model)) modes.push_back(m);
    return modes;
}

IndexTextSpec model_index(const ModelDescription& model) {
    IndexTextSpec s;
    s.preamble = {"Synthetic print-mode index of " + model.name};
    s.header = "//" + std::to_string(model.printer_id);
    s.halftones = kHalftoneNames;
    s.doc_a = kDocTypesA;
    // No monochrome-photo mode for ink set 0: list B holds a name no row uses
    // in its place.
    s.doc_b = kDocTypesA;
    s.doc_b[kModelTnmxDocType] = "UNUSED7";
    // The media list counts from the smallest calibration identifier; gaps
    // take names no row uses.
    const auto media = media_names(model);
    const uint32_t base = media.front().first;
    for (const auto& m : media) {
        while (base + s.media.size() < m.first) s.media.push_back("unused" + std::to_string(base + s.media.size()));
        s.media.push_back(m.second);
    }
    if (base > 0) s.media_base = std::to_string(base);
    s.media_per_line = 3;
    const auto media_name = [&](uint32_t id) { return s.media.at(id - base); };

    for (const ModelPrintMode& m : model_index_modes(model)) {
        const ModelModeResources r = model_mode_resources(model, m);
        const auto id = [](uint32_t v) { return v == kNone ? std::string("-") : std::to_string(v); };
        s.rows.push_back({
            {"CMM-ID", id(r.lut)},
            {"INK-ID", id(r.rate)},
            {"cSMB-ID", id(r.sml_colour)},
            {"mSMB-ID", id(r.sml_mono)},
            {"SMB-ID", "0"},
            {"bSMB-ID", "-"},
            {"ubec_dither", id(r.dither)},
            {"ubec_vinfo", id(r.dither_offset)},
            {"ink_set", "0"},
            {"Micro", r.micro},
            {"Halftone", kHalftoneNames.at(m.ht_type)},
            {"media", media_name(m.media)},
            {"H-RES", std::to_string(m.h_res)},
            {"V-RES", std::to_string(m.v_res)},
            {"DocType", kDocTypesA.at(m.doc_type)},
            {"subType", std::to_string(m.sub_type)},
            {"OUT_BIT", std::to_string(m.out_bits)},
            {"cDbG0", std::to_string(kModelColourDbg0)},
            {"cDbG255", std::to_string(kModelColourDbg255)},
            {"mDbg0", std::to_string(kModelMonoDbg0)},
            {"mDbg255", std::to_string(kModelMonoDbg255)},
        });
    }
    return s;
}

LutSpec model_lut_correction(const ModelDescription& model, uint32_t doc_type) {
    // Each type a shade of its own, below those of the resolutions (0 to 2)
    // and of the second document type (4 to 6): 8 for type 2 up to 12 for
    // type 13, that is 60 down to 40 per cent of the plain separation.
    int shade = 8;
    for (uint32_t doc : kModelDriverColourDocTypes) {
        if (doc == doc_type) break;
        ++shade;
    }
    LutSpec s = model_lut_3d(model, shade);
    for (uint8_t& v : s.mlut->table) v = uint8_t(v * (100 - 5 * shade) / 100);
    return s;
}

void add_model_halftone(ResWriter& w, const ModelDescription& model) {
    const auto put = [&](uint32_t id, const Bytes& data) { w.add(kResTypeHalftone, uint16_t(id + 100), data); };
    put(kModelIndexId, text_bytes(write_index_text(model_index(model))));
    for (size_t r = 0; r < model.resolutions.size(); ++r) {
        put(kModelLut3dId + uint32_t(r), pack_lut_resource(model_lut_3d(model, int(r))));
        put(kModelLut3dAltId + uint32_t(r), write_lut(model_lut_3d(model, int(r) + 4)));
    }
    put(kModelLut4dId, write_lut(model_lut_4d(model)));
    for (uint32_t doc : kModelDriverColourDocTypes) put(kModelLutCorrectionId + doc, write_lut(model_lut_correction(model, doc)));
    put(kModelLutCorrectionId + kModelGrayDocType, write_lut(model_lut_correction(model, kModelGrayDocType)));
    put(kModelLutTnmxId, write_lut(model_lut_tnmx(model)));
    put(kModelLutTnmx6Id, write_lut(model_lut_tnmx(model, 3)));
    for (int bits : {1, 2}) {
        put(kModelSmlColourId + uint32_t(bits), hxr_pack(write_sml(model_sml(model, true, bits))));
        put(kModelSmlMonoId + uint32_t(bits), write_sml(model_sml(model, false, bits)));
    }
    put(kModelRateId, write_rate(model_rate(model)));
    put(kModelCfgId, write_cfg(model_cfg(model)));
}

}  // namespace ovcg_test
