// Variants of the default model for the parallel halftoning's jobs: its
// one-bit 1200-dpi medium (the front end's Media394) printing colour by
// hybrid error diffusion, and the front end's colour format printed with
// the model's widest ink set instead of CMYK.
#pragma once

#include <cstddef>

#include "support/model.h"

namespace ovcg_test {

inline ModelDescription hybrid_model(bool widestInkSet) {
    ModelDescription m = default_model();
    for (ModelMedia& media : m.media)
        if (media.number == 394) media.halftone_type = 6;
    if (widestInkSet) {
        int32_t widest = m.ink_sets.front().prt_format;
        size_t inks = 0;
        for (const ModelInkSet& s : m.ink_sets)
            if (s.inks.size() > inks) inks = s.inks.size(), widest = s.prt_format;
        for (auto& alias : m.links.format_aliases)
            if (alias.first == 101) alias.second = widest;
    }
    return m;
}

}  // namespace ovcg_test
