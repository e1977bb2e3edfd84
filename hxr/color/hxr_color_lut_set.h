// What the colour converters take from the job's host-halftoning data set:
// the colour tables of both intents, the monochrome-photo tables and the user
// colour table. The data set fills this view from its own getters when the
// job's tables are ready and hands it to HXRSetColorCvtData; tests fill it by
// hand. The converters keep the pointers (the data set owns the tables and
// outlives the converters) but not the view.
#pragma once

#include "hxr/control/hxr_lut_data.h"

#include <cstdint>

struct HXRColorCvtLutSet {
    const HXRLutData* lut3D[2];  // per intent; null when the intent has none
    const HXRLutData* lut4D[2];
    const HXRLutTNMXData* lutTNMX[2];
    const HXRLutUserData* userTable;  // null when the job has none
    uint32_t userChannels;            // channels per user-table entry (the table has no header)
};
