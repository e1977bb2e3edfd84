#include "head_driver_fixture.h"

#include "headcontrol/model_resource.h"
#include "support/model.h"

#include <algorithm>

namespace ovcg::irac::test {

using ovcg_test::ModelHeadControl;

DriverJob::DriverJob(const ModelHeadControl& hc, const JobRequest& q) : request(q) {
    ovf.set_resource(kModelResourceKind, ovcg_test::head_control_resource(hc));
    const IRACS_IDENTIFIER id{0, q.subMode, 1, 4, ovcg_test::model_head_mode_id()};
    const IRACS_PRINTDATA_INFO pd{q.rasterWidth, q.pageLength, q.colours};
    const IRACS_OPTION option{q.direction, shifts.data(), q.optionFlags};
    code = IRAC_StartJob(&handle, &id, &pd, &option, &value, &ovf.table());
}

std::string platform_trouble(const ovcg_test::FakeOvf& ovf) {
    std::string trouble;
    if (ovf.live_blocks()) trouble += std::to_string(ovf.live_blocks()) + " blocks left; ";
    if (ovf.bad_frees()) trouble += "bad free; ";
    if (ovf.resources_out()) trouble += "resource kept; ";
    return trouble;
}

std::string DriverJob::release() {
    IRAC_EndJob(handle);
    handle = nullptr;
    return platform_trouble(ovf);
}

DriverJob::~DriverJob() { release(); }

Page random_page(std::mt19937& rng, PageKind kind, uint32_t colours, uint32_t length, uint32_t width) {
    Page p;
    p.width = width;
    p.length = length;
    p.left = int32_t(rng() % 40);
    p.planes.assign(colours, std::vector<std::vector<uint8_t>>(length, std::vector<uint8_t>(width, 0)));
    const uint32_t density = kind == PageKind::Dense ? 90 : kind == PageKind::Sparse ? 3 : 30;
    for (uint32_t c = 0; c < colours; ++c) {
        uint32_t blankFrom = length, blankTo = length;
        if (kind == PageKind::BlankStretches) {
            blankFrom = rng() % length;
            blankTo = blankFrom + rng() % (length - blankFrom + 1);
        }
        if (kind == PageKind::BlankTop) blankFrom = 0, blankTo = length * 3 / 4;
        for (uint32_t r = 0; r < length; ++r) {
            if (kind == PageKind::Blank || kind == PageKind::OneDot || (r >= blankFrom && r < blankTo)) continue;
            // Each bit set with the density's chance, 8 bits a draw.
            const uint32_t threshold = density * 256 / 100;
            for (uint8_t& b : p.planes[c][r]) {
                const uint64_t draw = uint64_t(rng()) << 32 | rng();
                for (int bit = 0; bit < 8; ++bit)
                    if (((draw >> (8 * bit)) & 0xFF) < threshold) b = uint8_t(b | (1u << bit));
            }
        }
    }
    if (kind == PageKind::OneDot) {
        const uint32_t c = rng() % colours, r = rng() % length, i = rng() % width;
        p.planes[c][r][i] = uint8_t(0x80u >> (rng() % 8));
    }
    return p;
}

uint32_t print_page(IRAC_INSTANCE_DEF* handle, const Page& page, const std::vector<uint8_t>& inks, std::mt19937& rng,
                    bool skip, uint32_t pad, uint32_t length, bool start) {
    if (start)
        if (uint32_t rc = IRAC_StartPage(handle, page.left, inks.data())) return rc;
    if (length)
        if (uint32_t rc = IRAC_SetValue(handle, IRAC_SET_LENGTH, &length)) return rc;
    const uint32_t colours = uint32_t(page.planes.size());
    const uint32_t lineWidth = page.width + pad;
    std::vector<std::vector<uint8_t>> buffers(2, std::vector<uint8_t>(size_t(lineWidth) * colours + 1, 0));
    auto blank = [&](uint32_t r) {
        for (uint32_t c = 0; c < colours; ++c)
            if (std::any_of(page.planes[c][r].begin(), page.planes[c][r].end(), [](uint8_t b) { return b != 0; }))
                return false;
        return true;
    };
    for (uint32_t r = 0; r < page.length;) {
        if (skip && blank(r) && rng() % 2) {
            ++r;
            continue;
        }
        const uint32_t n = (r + 1 < page.length && rng() % 2) ? 2 : 1;
        uint8_t* lines[2] = {};
        for (uint32_t k = 0; k < n; ++k) {
            std::fill(buffers[k].begin(), buffers[k].end(), uint8_t(0xEE));  // padding the engine must not read
            for (uint32_t c = 0; c < colours; ++c)
                std::copy(page.planes[c][r + k].begin(), page.planes[c][r + k].end(),
                          buffers[k].begin() + long(c) * lineWidth);
            lines[k] = buffers[k].data();
        }
        const IRACS_RASTERDATA run{lines, lineWidth, n, r};
        if (uint32_t rc = IRAC_DrawData(handle, &run)) return rc;
        r += n;
    }
    return IRAC_EndPage(handle);
}

ovcg_test::VpPlane expected_plane(const Page& page, uint32_t colour, uint32_t top, uint32_t bottom, int bits) {
    std::vector<std::vector<uint8_t>> rows;
    for (uint32_t r = top; r + bottom < page.length; ++r) rows.push_back(page.planes[colour][r]);
    return ovcg_test::plane_of(rows, 0, page.left, bits);
}

std::vector<uint8_t> sent_from(const ovcg_test::FakeOvf& ovf, size_t from) {
    std::vector<uint8_t> out;
    for (size_t i = from; i < ovf.sent().size(); ++i)
        out.insert(out.end(), ovf.sent()[i].bytes.begin(), ovf.sent()[i].bytes.end());
    return out;
}

std::vector<uint8_t> model_inks() {
    std::vector<uint8_t> inks;
    for (char c : {'K', 'C', 'M', 'Y', 'c', 'm'}) inks.push_back(ovcg_test::model_ink_code(c));
    return inks;
}

}  // namespace ovcg::irac::test
