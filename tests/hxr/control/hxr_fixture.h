// Shared fixture: a counting service table and a memory manager over it.
// Every test ends with every block released and the error record cleared.
#pragma once

#include "hxr/control/hxr_memory.h"
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

    ovcg_test::CountingServices svc;
    HXRMemMgr* mm = nullptr;
};
