// An independent reader of the SLUT package: walks the records one by one
// (identifiers in package order, body sizes multiples of 4 inside the
// package, format numbers, zero padding, the end record as the last 8 bytes)
// and checks every record's content against the data set it was written
// from: colour-table nodes, grid levels, dot-size rates with their correction
// blocks and index tables, threshold matrices, matrix indexes and offsets.
#pragma once

#include "hxr/control/hxr_traq2_data.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

namespace ovcg_test {

struct SlutSource {
    const HXRTRAQ2Data* set = nullptr;
    const HXRResReadController* readCtrl = nullptr;  // for the job's correction mode
    const HXRClrMgr* colours = nullptr;
    uint32_t lutType = 3;
    uint32_t gridNum = 64;
    uint32_t colourFlag = 0;
    uint32_t outBits = 0;
    HXRStrNCmpFn compare = nullptr;
};

// Success, or the first mismatch with the record it was found in.
::testing::AssertionResult WalkSlutPackage(const uint8_t* data, size_t size, const SlutSource& source);

}  // namespace ovcg_test
