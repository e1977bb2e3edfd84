#include "support/hxr_engine_fakes.h"

#include "hxr/control/hxr_alloc_array.h"

namespace hxr_test {
namespace {

FakeBinarizerWorld* g_world = nullptr;

struct Fake {
    uint32_t bits;
    uint32_t pixels;
    const HXRClrMgr* colours;
};

const Fake* fake(const HXRBinarizeController* c) { return reinterpret_cast<const Fake*>(c); }

uint32_t note(const char* call) {
    g_world->calls.push_back(call);
    return g_world->fail.count(call) ? 1 : 0;
}

HXRBinarizeController* create(const _HXR_HALFTONE_INFO* h, const void* printMode, uint32_t, uint32_t pixels, uint32_t,
                              const HXRClrMgr* colours, HXRMemMgr* mm) {
    g_world->createdPixels = pixels;
    if (note("create") || !h || !printMode || !colours) return nullptr;
    Fake* f = HXRAllocRecord<Fake>(mm);
    if (!f) return nullptr;
    *f = {h->outputBits & 15, (pixels + 7) / 8 * 8, colours};
    return reinterpret_cast<HXRBinarizeController*>(f);
}

uint32_t hybrid(HXRBinarizeController*, const _HXR_HALFTONE_INFO*, uint32_t, uint32_t, const HXRClrMgr*,
                const HXRIntermediateData*, HXRRandNum*, HXRMemMgr*) {
    return note("setHybridED");
}
uint32_t brs(HXRBinarizeController*, const void* b) {
    g_world->lastBrs = b;
    return note("setBrs");
}
uint32_t shift(HXRBinarizeController*, const void*, const HXRClrMgr*) { return note("setDataShift"); }
uint32_t data(HXRBinarizeController*, const HXRTRAQ2Data* set, const HXRClrMgr*, HXRMemMgr*) {
    g_world->lastData = set;
    return note("setData");
}
uint32_t switch_pos(HXRBinarizeController*, const HXRSwitchPosList* list, uint32_t mode, HXRMemMgr*) {
    g_world->lastSwitchMode = mode;
    if (list) g_world->lastSwitch = *list;
    return note(mode == 0 ? "setSwitchPos0" : "setSwitchPos1") || !list || list->count > kHxrMaxSwitchPos;
}

// Plane of halftone colour k, line l: ink k's row thresholded, most
// significant bit first, `bits` per pixel (all ones for a dot).
uint32_t binarize(HXRBinarizeController* c, const HXRIntermediateData* ink, HXRRandNum*, uint8_t* const* planes,
                  uint32_t* anyDot, int32_t lines, int32_t, const void* tnmx) {
    g_world->lastTnmx = tnmx;
    if (note("binarize")) return 1;
    const Fake* f = fake(c);
    const uint32_t hc = HXRGetHalftoneColorNum(f->colours);
    uint32_t start = 0, count = 0;
    HXRGetWrittenArea(ink, &start, &count);
    bool dot = false;
    for (int32_t l = 0; l < lines; ++l)
        for (uint32_t k = 0; k < hc; ++k) {
            uint8_t* plane = planes[size_t(l) * hc + k];
            const uint8_t* row = HXRGetInkQuantityBuf(ink, int32_t(k), uint32_t(l));
            if (!plane || !row) continue;
            for (uint32_t x = start; x < start + count && x < f->pixels; ++x) {
                if (row[x] < 128) continue;
                dot = true;
                const uint32_t bit = x * f->bits;
                const uint32_t mask = (1u << f->bits) - 1;
                plane[bit / 8] |= static_cast<uint8_t>(mask << (8 - f->bits - bit % 8));
            }
        }
    if (anyDot) *anyDot = dot ? 1 : 0;
    return 0;
}
uint32_t reset(HXRBinarizeController*, HXRRandNum* r) { return note("resetErrorBuffer") || !r; }
uint32_t counter(HXRBinarizeController*, uint64_t* out, uint32_t capacity) {
    if (note("dotCounter")) return 0;
    uint32_t n = 0;
    for (uint64_t v : g_world->counts)
        if (n < capacity) out[n++] = v;
    return n;
}
uint32_t text(const HXRColorCvtController*, const HXRBinarizeController*, const uint8_t* const*, uint8_t* const*,
              int32_t, int32_t, int32_t) {
    return note("textEnhance");
}
uint32_t text_condition(const _HXR_HALFTONE_INFO*, const HXRClrMgr*) { return g_world->textEdge; }

template <uint32_t V>
uint32_t constant(const HXRBinarizeController* c) {
    return c ? V : 0;
}
uint32_t bits(const HXRBinarizeController* c) { return c ? fake(c)->bits : 0; }
uint32_t pixels(const HXRBinarizeController* c) { return c ? fake(c)->pixels : 0; }
uint32_t order(const HXRBinarizeController* c, uint32_t code) {
    return c ? HXRGetOutputColorOrder(fake(c)->colours, code) : 0xFFFFFFFFu;
}
uint32_t halftone_colours(const HXRBinarizeController* c) { return c ? HXRGetHalftoneColorNum(fake(c)->colours) : 0; }

const HXRBinarizeOps kOps = {create,         hybrid,        brs,          shift,         data,          switch_pos,
                             binarize,       reset,         counter,      text,          text_condition,
                             constant<256>,  constant<1>,   constant<1>,  constant<8192>, constant<2>,  constant<1>,
                             constant<4>,    constant<0>,   constant<1>,  constant<1>,   constant<1>,   bits,
                             pixels,         order,         halftone_colours};

}  // namespace

bool FakeBinarizerWorld::has(const std::string& call) const {
    for (const std::string& c : calls)
        if (c == call) return true;
    return false;
}

FakeBinarizerScope::FakeBinarizerScope() {
    g_world = &world_;
    HXRSetBinarizeOps(&kOps);
}

FakeBinarizerScope::~FakeBinarizerScope() {
    HXRSetBinarizeOps(nullptr);
    g_world = nullptr;
}

const HXRBinarizeOps* FakeBinarizeOps() { return &kOps; }

}  // namespace hxr_test
