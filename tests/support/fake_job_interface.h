// A recording fake of the print engine's job interface, for testing the
// front end without an engine: it keeps a copy of what each call received
// and answers with results the test chooses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/job_interface.h"
#include "ovcg/ovcg_records.h"

namespace ovcg_test {

struct FakeBand {
    tagRECT clip;
    tagRECT band;
    uint32_t width_bytes;
    std::vector<uint8_t> lines;  // the two buffered lines (2 x width_bytes)
    bool second_bitmap;          // a second bitmap was passed
    bool descriptor;             // a band descriptor was passed
};

class FakeJobInterface {
public:
    FakeJobInterface();
    ~FakeJobInterface();
    FakeJobInterface(const FakeJobInterface&) = delete;
    FakeJobInterface& operator=(const FakeJobInterface&) = delete;

    // The table to bind (ovcg::frontend::set_job_interface); its calls reach
    // the most recently constructed fake that is still alive.
    static const ovcg::frontend::ovcg_job_interface& table();

    // Results.
    int32_t init_job_result = 0;
    int32_t init_page_result = 0;
    int32_t band_out_result = 0;
    int band_out_fail_at = -1;  // 0-based BandOut call that fails with band_out_result
    int32_t terminate_result = 0;
    int32_t destroy_result = 0;
    // Bytes InitJob, InitPage and DestroyJob send through the spool callback, as an engine would.
    std::vector<uint8_t> spool_at_init_job, spool_at_init_page, spool_at_destroy;
    std::vector<int32_t> spool_results;  // what the spool callback returned

    // Records.
    std::vector<std::string> calls;  // "InitJob", "InitPage", "BandOut", "TerminatePageEx", "DestroyJob"
    tagPRTSTRUCT3_12 job{};
    bool has_media_options = false;
    tagMEDIAOPT_8 media_options{};
    bool has_cut = false;
    tagCUTCMD cut{};
    tagOPTION options{};
    std::vector<std::string> resource_files;
    tagHTSTRUCT3_5 halftone{};
    std::vector<FakeBand> bands;
    std::vector<tagTPINFOSTRUCT> page_ends;
    std::vector<HPLIMO3> handles_seen;  // handle of every call after InitJob
    HPLIMO3 handle;                     // what InitJob hands out

private:
    FakeJobInterface* previous_;
};

}  // namespace ovcg_test
