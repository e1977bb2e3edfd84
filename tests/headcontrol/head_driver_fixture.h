// Head-control jobs through the engine's entry points on a fake platform,
// random pages to print with them, and what the virtual printer should read
// back from a page.
#pragma once

#include "headcontrol/icm_driver.h"
#include "ovcg/irac.h"
#include "support/fake_ovf.h"
#include "support/model.h"
#include "support/model_head_control.h"
#include "support/virtual_printer.h"

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace ovcg::irac::test {

// The default model's head control in variant v.
inline ovcg_test::ModelHeadControl variant(ovcg_test::HcVariant v) {
    return ovcg_test::head_control_variant(ovcg_test::default_model(), v);
}

struct JobRequest {
    uint32_t subMode = 1;
    uint32_t rasterWidth = 16;  // bytes per colour line
    uint32_t pageLength = 400;
    uint16_t colours = 6;
    uint32_t optionFlags = IRAC_OPT_ENGINE;
    int16_t direction = 0;
};

// A job of the default model's print mode, started by IRAC_StartJob.
class DriverJob {
public:
    explicit DriverJob(const ovcg_test::ModelHeadControl& hc, const JobRequest& request = {});
    ~DriverJob();
    DriverJob(const DriverJob&) = delete;
    DriverJob& operator=(const DriverJob&) = delete;

    IcmJob* job() const { return reinterpret_cast<IcmJob*>(handle); }
    uint32_t state() const { return job()->state; }
    // Ends the job (when started); "" when every block and resource came back.
    std::string release();

    ovcg_test::FakeOvf ovf;
    JobRequest request;
    IRAC_INSTANCE_DEF* handle = nullptr;
    IRACS_VALUE value{};
    std::array<int8_t, 32> shifts{};
    uint32_t code = 0;  // IRAC_StartJob's
};

// A page: per colour, per raster, the line bytes; dots start at `left`.
struct Page {
    uint32_t width = 0;
    uint32_t length = 0;
    int32_t left = 0;
    std::vector<std::vector<std::vector<uint8_t>>> planes;  // [colour][raster]
};

enum class PageKind { Sparse, Dense, OneDot, BlankStretches, Blank, BlankTop };
Page random_page(std::mt19937& rng, PageKind kind, uint32_t colours, uint32_t length, uint32_t width);

// Sends the page as runs of one or two rasters (a line width of the raster
// width plus `pad`), leaving out some blank rasters when `skip`, then ends
// it; with `length`, sets it (Set 1) after the page start. Without `start`
// the page has been started already. The first failing call's code.
uint32_t print_page(IRAC_INSTANCE_DEF* handle, const Page& page, const std::vector<uint8_t>& inks, std::mt19937& rng,
                    bool skip = true, uint32_t pad = 3, uint32_t length = 0, bool start = true);
inline uint32_t print_page(DriverJob& d, const Page& page, const std::vector<uint8_t>& inks, std::mt19937& rng,
                           bool skip = true, uint32_t pad = 3, uint32_t length = 0, bool start = true) {
    return print_page(d.handle, page, inks, rng, skip, pad, length, start);
}

// What the printer should read: colour c's plane, page rasters
// [top, length - bottom) printed from raster 0.
ovcg_test::VpPlane expected_plane(const Page& page, uint32_t colour, uint32_t top, uint32_t bottom, int bits);

// The bytes sent from piece `from` on.
std::vector<uint8_t> sent_from(const ovcg_test::FakeOvf& ovf, size_t from);
// What the platform saw go wrong after a job's end: blocks left, a bad
// free, a resource kept; empty when nothing.
std::string platform_trouble(const ovcg_test::FakeOvf& ovf);

// The default model's inks K C M Y c m: ink codes and command colours.
std::vector<uint8_t> model_inks();

}  // namespace ovcg::irac::test
