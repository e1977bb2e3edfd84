// Fuzzes the job driver through the entry points: a model resource and a
// job from the input, one page of rasters sent in runs of one or two, the
// queries, and the job's end.
//
// Input: u8 options (bits 0-1 sub-mode 1, 2, 3 or 1; bit 2 option 0x1; bit
// 3 leaves out every third raster; bit 4 aborts instead of ending; bit 5
// ends the job with the page open; bit 6 sets the page length (Set 1) to a
// tenth of the rasters sent after the page start; bit 7 asks the BRS values
// at the page start), u8 ink count (modulo 9), u16 page
// length (modulo 3000), u8 raster width (modulo 80), u16 rasters sent
// (modulo 3000), u8 left offset, u8 raster seed, u32 mode id, the ink
// codes, then the model resource (kind 256) to the end.
//
// Whatever the input, the driver must stay inside every array (the
// sanitizers watch), answer every call with a code, and free everything.
#include "headcontrol/callbacks.h"
#include "irac_fuzz_platform.h"
#include "ovcg/irac.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

int Discard(void*, const void*, uint32_t, int) { return 1; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kHead = 13;
    if (size < kHead) return 0;
    const uint8_t options = data[0];
    const uint16_t inks = data[1] % 9;
    const uint32_t length = (uint32_t(data[2]) | uint32_t(data[3]) << 8) % 3000;
    const uint32_t width = data[4] % 80;
    const uint32_t sent = (uint32_t(data[5]) | uint32_t(data[6]) << 8) % 3000;
    const int32_t left = data[7];
    uint32_t seed = data[8] | 1u;
    const uint32_t mode = uint32_t(data[9]) | uint32_t(data[10]) << 8 | uint32_t(data[11]) << 16 |
                          uint32_t(data[12]) << 24;
    if (size < kHead + inks) return 0;
    const uint8_t* codes = data + kHead;
    OVF_COMMON ovf = irac_fuzz::platform_table(codes + inks, size - kHead - inks);
    ovf.send_data = Discard;

    const uint32_t subModes[4] = {1, 2, 3, 1};
    const IRACS_IDENTIFIER id{0, subModes[options & 3], 1, 4, mode};
    const IRACS_PRINTDATA_INFO pd{width, length, inks};
    const int8_t shifts[32] = {};
    const IRACS_OPTION option{0, shifts, IRAC_OPT_ENGINE | ((options & 4) ? IRAC_OPT_EARLY_FEED : 0u)};
    IRACS_VALUE value{};
    IRAC_INSTANCE_DEF* h = nullptr;
    if (IRAC_StartJob(&h, &id, &pd, &option, &value, &ovf) == 0) {
        uint8_t order[32] = {};
        for (uint16_t i = 0; i < inks; ++i) order[i] = codes[i];
        uint32_t u32 = 0;
        IRACS_SWITCHING_POSITION sw{};
        IRACS_USE_HEAD* use = nullptr;
        IRAC_GetValue(h, IRAC_GET_USE_HEAD, &use);
        if (IRAC_StartPage(h, left, order) == 0) {
            IRAC_GetValue(h, IRAC_GET_MINIMUM_LENGTH, &u32);
            IRAC_GetValue(h, IRAC_GET_SWITCHING_POSITION, &sw);
            if (options & 64) {
                const uint32_t set = sent / 10 + 1;
                IRAC_SetValue(h, IRAC_SET_LENGTH, &set);
            }
            if (options & 128) {
                IRACS_BRS_JOB job{};
                IRACS_BRS_PAGE page{};
                IRAC_GetValue(h, IRAC_GET_BRS_STARTJOB, &job);
                IRAC_GetValue(h, IRAC_GET_BRS_STARTPAGE, &page);
            }
            std::vector<uint8_t> raster(size_t(width) * inks + 1);
            for (uint32_t r = 0; r < sent;) {
                const uint32_t n = (seed & 8) ? 2 : 1;
                if ((options & 8) && r % 3 == 2) {
                    ++r;
                    continue;
                }
                std::vector<uint8_t> second(raster.size());
                for (auto* line : {&raster, &second})
                    for (uint8_t& b : *line) {
                        seed = seed * 1103515245u + 12345u;
                        b = (seed >> 24) < 40 ? uint8_t(seed >> 16) : 0;
                    }
                uint8_t* lines[2] = {raster.data(), second.data()};
                const IRACS_RASTERDATA run{lines, width, n, r};
                if (IRAC_DrawData(h, &run)) break;
                r += n;
            }
        }
        if (options & 16) {
            IRAC_AbortJob(h);
        } else {
            if (!(options & 32)) IRAC_EndPage(h);
            IRAC_EndJob(h);
        }
    }
    if (irac_fuzz::g_platform.blocks != 0 || irac_fuzz::g_platform.resources != 0) std::abort();
    return 0;
}
