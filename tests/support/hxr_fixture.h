// Shared fixture: a counting service table and a memory manager over it.
// Every test ends with every block released and the error record cleared.
#pragma once

#include "hxr/control/hxr_memory.h"
#include "hxr/control/hxr_resmgr.h"
#include "support/counting_services.h"

#include <gtest/gtest.h>

class HxrTest : public ::testing::Test {
protected:
    void SetUp() override {
        HXRSetErrorInfo(0);
        mm = HXRCreateMemMgr(svc.table()->Alloc, svc.table()->Free);
        ASSERT_NE(mm, nullptr);
    }
    void TearDown() override {
        if (mm) {
            EXPECT_EQ(HXRDeleteMemMgr(mm), 0u);
        }
        EXPECT_EQ(svc.live_blocks(), 0u);
        EXPECT_EQ(svc.bad_frees(), 0u);
        EXPECT_EQ(svc.live_resources(), 0u);
        EXPECT_EQ(svc.bad_resource_frees(), 0u);
        HXRSetErrorInfo(0);
    }
    uint32_t error() { return HXRGetErrorInfo(nullptr); }
    // A resource manager over the counting services.
    HXRResMgr* resources() {
        const HXRServiceTable* t = svc.table();
        return HXRCreateResMgr(t->GetResource, t->FreeResource, t->Context, t->MemCpy, mm);
    }
    // Checks the error record, then clears it.
    void expect_error(uint32_t code) {
        EXPECT_EQ(error(), code);
        HXRSetErrorInfo(0);
    }

    ovcg_test::CountingServices svc;
    HXRMemMgr* mm = nullptr;
};
