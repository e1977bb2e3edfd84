#include "support/model_band_path.h"

#include "support/model.h"

#include <stdexcept>

namespace ovcg_test {

Bytes band_path_resource(const ModelBandPath& b, HcLayout* layout) {
    if (b.colours.size() != b.inks.size()) throw std::invalid_argument("band path: one colour code per ink");
    if (b.inks.size() > 0xFFFF) throw std::invalid_argument("band path: too many inks");
    Bytes out;
    HcLayout fields;
    auto mark = [&](const char* name, size_t width) { fields[name] = HcField{out.size(), width}; };
    mark("version", 2);
    put16(out, b.version);
    mark("kept", 3);
    out.insert(out.end(), b.kept.begin(), b.kept.end());
    mark("lines", 4);
    put32(out, b.lines);
    mark("run_length", 1);
    out.push_back(uint8_t(b.run_length));
    mark("ink_count", 2);
    put16(out, b.ink_count.value_or(uint16_t(b.inks.size())));
    mark("inks", 1);
    out.insert(out.end(), b.inks.begin(), b.inks.end());
    mark("colours", 1);
    out.insert(out.end(), b.colours.begin(), b.colours.end());
    if (layout) *layout = fields;
    return out;
}

ModelBandPath default_band_path(const ModelDescription& model) {
    ModelBandPath b;
    for (const auto& [ink, colour] : model.head_control.color_table) {
        b.inks.push_back(ink);
        b.colours.push_back(colour);
    }
    return b;
}

void add_model_band_path(ResWriter& writer, const ModelDescription& model) {
    writer.add(kResTypeHeadControl, kBandPathModelId, band_path_resource(default_band_path(model)));
}

}  // namespace ovcg_test
