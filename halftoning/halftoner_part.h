// A band driver behind the engine's halftoner interface: forwards each call
// to the driver it owns and turns the driver's own conventions into the
// interface's (a mirrored band answers 0 instead of its right edge, dot
// counts are added into the caller's 64-bit table).
#pragma once

#include <algorithm>
#include <utility>

#include "commands/mw_cmd.h"
#include "engine/engine_interfaces.h"
#include "halftoning/halftone.h"

namespace ovcg {

template <class Driver>
class HalftonerPart final : public IHalftoner {
public:
    template <class... Args>
    explicit HalftonerPart(Args&&... args) : m_x(std::forward<Args>(args)...) {}

    int ResetPage(const tagHTINITSTRUCT* init) override { return m_x.ResetPage(init); }
    int StartPage() override { return m_x.StartPage(); }
    int BandOut(const tagRECT* clip, tagBANDBMP* in, tagBANDBMP* second, const tagRECT* band,
                tagOSDEP3* descriptor) override {
        return m_x.BandOut(clip, in, second, band, descriptor);
    }
    int EndPage() override { return m_x.EndPage(); }
    int EmptyPageEndOut(int flag) override { return m_x.EmptyPageEndOut(flag); }
    int EmptyPageEndFlush(int flag) override { return m_x.EmptyPageEndFlush(flag); }
    int GetDotCount(uint64_t* counts, int planes) override {
        if (!counts || planes <= 0) return 0;
        const int n = std::min(planes, static_cast<int>(CHalftone::kMaxColours));
        tagSMLDATA table[CHalftone::kMaxColours] = {};
        if (int r = m_x.GetDotCount(table, nullptr, n * kSmlDataSize, n)) return r;
        for (int p = 0; p < n; ++p)
            for (int d = 0; d < 3; ++d) counts[p * 3 + d] += table[p].count[d];
        return 0;
    }
    int GetFlipHBand(tagBANDBMP* band, tagBANDBMP* attributes, const tagRECT* rect, tagRECT* window) override {
        const int r = m_x.GetFlipHBand(band, attributes, rect, window);
        return r < 0 ? r : 0;
    }
    int ResetPageLength(int length) override {
        m_x.ResetPageLength(length < 0 ? 0u : static_cast<unsigned>(length));
        return 0;
    }
    int GetHalftoneColor(uint8_t* order) override {
        return m_x.GetHalftoneColor(reinterpret_cast<signed char*>(order));
    }
    int FlushHeldRows() override { return m_x.FlushHeldRows(); }

    Driver& Object() { return m_x; }

private:
    Driver m_x;
};

}  // namespace ovcg
