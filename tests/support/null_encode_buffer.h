// An encode buffer that takes every band and sends nothing, for tests whose
// fakes override only the calls they watch.
#pragma once

#include <cstdint>

#include "engine/engine_interfaces.h"

namespace ovcg_test {

struct NullEncodeBuffer : ovcg::IEncodeBuffer {
    uint32_t ulGetNextRaster() const override { return 0; }
    bool bOutBunnerObject() override { return true; }
    void vBaseVPositionIncriment() override {}
    void vBaseVPositionDecriment() override {}
    uint32_t ulGetBaseVPosition() const override { return 0; }
    void vResetBaseVPosition() override {}
    void vSetBaseVPosition(uint32_t) override {}
    uint32_t ulGetLastWritePos() const override { return 0; }
    void vStartPage() override {}
    bool bInitEncodeBuffa(unsigned int, int, int, const tagPOINT&) override { return true; }
    bool bWriteENCODEBuff(const ovcg::TRAQ3_tagBitmapParam*, uint32_t, const ovcg::TRAQ3_tagTargetPositionForBitmap*,
                          bool) override {
        return true;
    }
    bool bFlushENCODEBuff() override { return true; }
    void ResetPageHeight(uint32_t) override {}
    bool bCanInput8bitGray() const override { return false; }
    unsigned BytesPerPixel() const override { return 4; }
};

}  // namespace ovcg_test
