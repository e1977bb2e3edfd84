#include "support/model.h"

#include "support/model_dither.h"
#include "support/model_head_control.h"
#include "support/model_index.h"
#include "support/model_links.h"

namespace ovcg_test {

ModelDescription default_model() {
    ModelDescription m;
    m.printer_id = 0x0101;
    m.name = "Synthetic LF-24";
    // The driver's settings: printer resolution and bits per dot.
    const ModelDriverPrint d300x600{300, 600, 2}, d600{600, 600, 2}, d600x1200{600, 1200, 2},
        d1200x600{1200, 600, 2}, d1200{1200, 1200, 2}, d1200b1{1200, 1200, 1}, d2400{2400, 1200, 2},
        d2400b1{2400, 1200, 1};
    m.media = {
        {0, "Plain paper", true},
        {1, "Coated paper", true, 1, 0xFFFF, 0, {d300x600, d600, d600x1200, d1200}},
        {2, "Photo paper glossy", true, 3},
        {3, "Photo paper matte", false},
        {4, "Film", false},
        // The front end's "Media274" choices: colour by hybrid error diffusion.
        {274, "Hybrid photo paper", true, 1, 6, 6, {d1200, d2400}},
    };
    // The rest of the driver's media, each with the halftone type its print
    // modes give colour pages (gray pages print by dither) and its own
    // calibration identifier.
    const struct {
        uint16_t number;
        const char* name;
        bool roll;
        uint16_t halftone_type;
        std::vector<ModelDriverPrint> prints;
    } driver_media[] = {
        {332, "Bond paper", true, 3, {d300x600, d600, d600x1200, d1200}},
        {330, "Heavy coated paper", true, 5, {d600x1200, d1200x600, d1200}},
        {334, "Recycled paper", false, 3, {d600, d600x1200, d1200}},
        {279, "Satin photo paper", true, 5, {d600x1200, d1200x600, d1200}},
        {306, "Lustre photo paper", true, 6, {d1200, d2400}},
        {318, "Semi-gloss paper", false, 5, {d1200x600, d1200}},
        {422, "Tracing paper", true, 3, {d600, d600x1200, d1200}},
        {423, "Translucent film", false, 3, {d600, d600x1200, d1200}},
        {363, "Canvas", true, 5, {d1200x600, d1200, d2400b1}},
        {364, "Fine art paper", true, 3, {d1200x600, d1200, d2400b1}},
        {281, "Backlit film", false, 6, {d1200x600, d1200, d2400b1}},
        {275, "Proofing paper", true, 5, {d1200x600, d1200, d2400b1}},
        {284, "Poster paper", true, 3, {d1200x600, d1200, d2400b1}},
        {396, "Banner vinyl", false, 6, {d1200x600, d1200, d2400b1}},
        {421, "Adhesive vinyl", true, 5, {d1200x600, d1200, d2400b1}},
        {333, "Economy bond paper", true, 3, {d600, d600x1200, d1200}},
        {394, "Matte film", false, 3, {d600, d600x1200, d1200b1}},
        {425, "Water resistant paper", true, 5, {d600, d600x1200, d1200}},
        {429, "Synthetic paper", true, 3, {d1200x600, d1200}},
        {428, "Polyester film", false, 5, {d1200x600, d1200}},
        {427, "Textile", true, 6, {d1200x600, d1200}},
        {288, "Wallpaper", false, 3, {d1200x600, d1200}},
        {426, "Heavyweight matte paper", true, 5, {d1200, d2400b1}},
        {436, "High quality plain paper", true, 3, {d300x600, d600, d600x1200, d1200}},
    };
    uint16_t calibration = 7;
    for (const auto& d : driver_media)
        m.media.push_back({d.number, d.name, d.roll, 1, d.halftone_type, calibration++, d.prints, false});
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
    add_driver_head_modes(m.head_control, m);
    return m;
}

ResWriter build_model(const ModelDescription& model) {
    ResWriter w;
    // Each resource kind adds its writer call here.
    add_model_dither(w, model);
    add_model_links(w, model);
    add_model_head_control(w, model);
    add_model_halftone(w, model);
    (void)model;
    return w;
}

}  // namespace ovcg_test
