// A model resource parsed by the model resource reader on its own fake
// platform, for the tests of the modules built on its blocks. Derived
// fixtures free their module first; at the end nothing may be left
// allocated. One fake platform is current at a time: keep one alive.
#pragma once

#include "headcontrol/model_resource.h"
#include "support/fake_ovf.h"
#include "support/res_writer.h"

#include <gtest/gtest.h>

namespace ovcg::irac {

struct ParsedModel {
    ovcg_test::FakeOvf ovf;
    CallbackTable cb;
    RscObject* rsc = nullptr;

    ParsedModel(const ovcg_test::Bytes& resource, uint32_t modeId) {
        ovf.set_resource(kModelResourceKind, resource);
        cb = relay_callbacks(ovf.table());
        EXPECT_EQ(RSC_Constructor(&rsc, {modeId, 1}, IRAC_OPT_ENGINE, &cb), 0u);
    }
    ~ParsedModel() {
        RSC_Destructor(rsc);
        EXPECT_EQ(ovf.live_blocks(), 0u);
        EXPECT_EQ(ovf.bad_frees(), 0u);
    }
};

}  // namespace ovcg::irac
