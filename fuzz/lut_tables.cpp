#include "lut_tables.h"

#include "tests/support/synthetic_lut.h"

#include <map>
#include <memory>

namespace lut_fuzz {
namespace {

// Tables differ from the first by salt (so that a kernel reading the wrong
// one shows), node levels and gamma pair.
HXRLutData* cached(uint32_t dimension, int inks, int variant, const uint32_t (*gammas)[2]) {
    static std::map<std::pair<uint32_t, int>, std::unique_ptr<ovcg_test::SyntheticLut>> cache;
    auto& slot = cache[{dimension, inks * 8 + variant}];
    if (!slot) {
        ovcg_test::LutSpec recipe;
        recipe.inks = uint32_t(inks);
        recipe.dimension = dimension;
        recipe.salt = uint32_t(variant + 1);
        if (variant > 0) {
            const uint32_t nodes = dimension == 4 ? 32 : 64;
            recipe.levels.resize(nodes);
            for (uint32_t k = 0; k < nodes; ++k) recipe.levels[k] = k * 255 / (nodes - 1);
            recipe.gamma0 = gammas[variant - 1][0];
            recipe.gamma255 = gammas[variant - 1][1];
        }
        slot = std::make_unique<ovcg_test::SyntheticLut>(recipe);
    }
    return slot->get();
}

constexpr uint32_t kCmykGammas[][2] = {{160, 80}, {300, 50}};
constexpr uint32_t kRgbGammas[][2] = {{100, 100}, {100, 50}, {300, 50}};

}  // namespace

HXRLutData* cmyk_table(int inks, int variant) { return cached(4, inks, variant, kCmykGammas); }

HXRLutData* rgb_table(int inks, int variant) { return cached(3, inks, variant, kRgbGammas); }

const std::vector<uint32_t>& user_table(int inks, uint32_t salt) {
    static std::map<int, std::vector<uint32_t>> cache;
    auto& slot = cache[inks * 256 + int(salt & 255)];
    if (slot.empty()) slot = ovcg_test::synthetic_user_table(uint32_t(inks), salt & 255);
    return slot;
}

}  // namespace lut_fuzz
