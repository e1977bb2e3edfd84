#include "support/model_binarize.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace ovcg_test {

namespace {

constexpr uint32_t kDotMode34 = 34;
// Ink codes beside the model's colour inks: ink set 26's fifth output colour.
constexpr uint8_t kExtraCode = 18;

struct Ratio {
    uint32_t h, v;
    bool hybrid;
};
constexpr Ratio kRatios[] = {
    {720, 720, true}, {1440, 720, true}, {2880, 720, true}, {720, 1440, true}, {1080, 720, false},
};

// Dot sizes of an ink at an output bits value: ink set 11's cyan and magenta
// have five at dot mode 34.
int dots_of(uint8_t code, uint32_t out_bits) {
    if (out_bits == 1) return 1;
    return out_bits == kDotMode34 && (code == 1 || code == 2) ? 5 : 3;
}

}  // namespace

std::vector<ModelBnrzMode> model_binarize_modes(const ModelDescription& model) {
    const uint32_t media = model_print_modes(model).front().media;
    std::vector<ModelBnrzMode> modes;
    for (const Ratio& r : kRatios)
        for (uint32_t bits : {1u, 2u, kDotMode34})
            for (uint32_t ht : {3u, 5u, 6u})
                if (bits != kDotMode34 || ht == 3) modes.push_back({{media, 0, 0, ht, r.h, r.v, bits}, r.hybrid});
    return modes;
}

IndexTextSpec model_binarize_index(const ModelDescription& model) {
    IndexTextSpec s = model_index(model);
    const std::vector<ModelPrintMode> base = model_print_modes(model);
    for (const ModelBnrzMode& m : model_binarize_modes(model)) {
        // The row of the model's first resolution with the same halftone type
        // and (for dot mode 34) output bits 2, at the new resolution.
        const uint32_t bits = m.mode.out_bits == kDotMode34 ? 2 : m.mode.out_bits;
        size_t i = 0;
        while (i < base.size() && !(base[i].media == m.mode.media && base[i].doc_type == 0 && base[i].sub_type == 0 &&
                                    base[i].ht_type == m.mode.ht_type && base[i].out_bits == bits))
            ++i;
        if (i == base.size()) throw std::invalid_argument("model index: no row to derive from");
        auto row = s.rows.at(i);
        row["H-RES"] = std::to_string(m.mode.h_res);
        row["V-RES"] = std::to_string(m.mode.v_res);
        row["OUT_BIT"] = std::to_string(m.mode.out_bits);
        row["cSMB-ID"] = std::to_string(kModelBnrzSmlId + m.mode.out_bits);
        s.rows.push_back(row);
    }
    return s;
}

SmlSpec model_binarize_sml(const ModelDescription& model, uint32_t out_bits, ModelBnrzSml shape) {
    SmlSpec s;
    s.grad = shape == ModelBnrzSml::kLevels255 ? 255 : 256;
    std::vector<uint8_t> codes = model_colour_codes(model);
    codes.push_back(kExtraCode);
    for (uint8_t code : codes) {
        const int dots = dots_of(code, out_bits);
        const uint16_t g0 = kModelColourDbg0, g255 = kModelColourDbg255;
        if (dots == 3 && shape == ModelBnrzSml::kNoSmall) {
            s.inks.push_back(model_sml_ink(code, 3, g0, g255, s.grad, 0));
        } else if (dots == 3 && shape == ModelBnrzSml::kLargeOnly) {
            // One ramp on the large dot; the other two keep their weights.
            SmlInk ink = model_sml_ink(code, 3, g0, g255, s.grad);
            const SmlInk one = model_sml_ink(code, 1, g0, g255, s.grad);
            ink.rates.assign(ink.rates.size(), 0);
            std::copy(one.rates.begin(), one.rates.end(), ink.rates.begin() + 2 * s.grad);
            s.inks.push_back(ink);
        } else {
            s.inks.push_back(model_sml_ink(code, dots, g0, g255, s.grad));
        }
    }
    return s;
}

void add_model_binarize(ResWriter& w, const ModelDescription& model, ModelBnrzSml shape) {
    const auto id = [](uint32_t v) { return uint16_t(v + 100); };
    if (!w.replace(kResTypeHalftone, id(kModelIndexId), text_bytes(write_index_text(model_binarize_index(model)))))
        throw std::invalid_argument("model without an index");
    for (uint32_t bits : {1u, 2u, kDotMode34})
        w.add(kResTypeHalftone, id(kModelBnrzSmlId + bits), write_sml(model_binarize_sml(model, bits, shape)));
}

}  // namespace ovcg_test
