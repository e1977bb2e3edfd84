// Job start over the default model: every flag, image mode and document
// type, the refusals of the two-to-one reduction, and the answers a started
// job gives.
#include "hxr_job_fixture.h"

#include <cstdio>

namespace hxr_test {
namespace {

class HxrJobStart : public HxrJobTest {};

TEST_F(HxrJobStart, Explore) {
    struct C { uint32_t ink, doc, ht, bits, sub, colourMode, scale; int flags; } cases[] = {
        {1,0,3,2,0,3,1,1},{1,0,3,1,0,3,1,1},{0,0,3,2,0,3,1,1},{1,0,5,2,0,3,1,1},{1,0,6,2,0,3,1,1},
        {1,0,3,2,1,4,1,1},{1,7,3,2,0,3,1,1},{0,7,3,2,0,3,1,1},{1,0,3,2,0,104,1,1},{0,0,3,2,0,101,1,1},
        {1,0,3,2,0,105,1,1},{1,0,3,2,0,102,1,1},{1,0,3,2,0,3,0x20001,1},{1,0,3,2,0,3,1,2},{1,0,3,2,0,3,1,4},{1,0,3,2,0,3,1,0},
    };
    for (const C& c : cases) {
        JobRecords r = records(c.ink, nullptr);
        const auto m = mode(c.doc, c.ht, c.bits, c.sub);
        r = records(c.ink, &m);
        r.image.colorMode = c.colourMode;
        r.image.pixelOffset = c.colourMode > 100 ? 1 : c.colourMode;
        r.halftone.scale = c.scale;
        void* h = nullptr;
        const uint32_t code = create_started(r, &h, c.flags);
        std::printf("ink %u doc %u ht %u bits %u sub %u mode %u scale %x flags %d -> %u err %u allocs %zu\n", c.ink, c.doc, c.ht, c.bits, c.sub, c.colourMode, c.scale, c.flags, code, error(), svc.allocations());
        drop(h);
    }
}

}  // namespace
}  // namespace hxr_test
