#include "support/model.h"

#include "support/model_dither.h"
#include "support/model_band_path.h"
#include "support/model_head_control.h"
#include "support/model_index.h"
#include "support/model_links.h"

namespace ovcg_test {

ModelDescription default_model() {
    ModelDescription m;
    m.printer_id = 0x0101;
    m.name = "Synthetic LF-24";
    m.media = {
        {0, "Plain paper", true},
        {1, "Coated paper", true},
        {2, "Photo paper glossy", true, 3},
        {3, "Photo paper matte", false},
        {4, "Film", false},
        // The front end's "Media274" choices: colour by hybrid error diffusion.
        {274, "Hybrid photo paper", true, 1, 6, 6},
    };
    m.resolutions = {{300, 300}, {600, 600}, {1200, 1200}};
    m.ink_sets = {
        {0, {'K'}},
        {1, {'C', 'M', 'Y', 'K'}},
        {3, {'C', 'M', 'Y', 'K', 'c', 'm'}},
    };
    m.head = {180, 180, 6};
    // The front end prints colour as format 101 with the CMYK ink set.
    m.links = {{{101, 1}}, 0x21, 24};
    m.head_control = default_head_control(m);
    return m;
}

ResWriter build_model(const ModelDescription& model) {
    ResWriter w;
    // Each resource kind adds its writer call here.
    add_model_dither(w, model);
    add_model_links(w, model);
    add_model_head_control(w, model);
    add_model_band_path(w, model);
    add_model_halftone(w, model);
    (void)model;
    return w;
}

}  // namespace ovcg_test
