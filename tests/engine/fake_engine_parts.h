// Recording fakes of the parts the job engine owns but does not build
// itself. Every call lands in one ordered event list; results, thrown codes
// and the print-mode information are chosen by the test.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/engine_interfaces.h"

namespace ovcg_test {

// The interfaces live in namespace ovcg; the fakes use them unqualified.
using ovcg::CalibRecord;
using ovcg::CLinkRscDLL;
using ovcg::CommandLevel;
using ovcg::EngineParts;
using ovcg::IBrsSession;
using ovcg::ICalibTool;
using ovcg::ICdgSession;
using ovcg::IEncodeBuffer;
using ovcg::IHalftoner;
using ovcg::IHeadControl;
using ovcg::IHxrAdapter;
using ovcg::IMWCmd;
using ovcg::IPixelConverter;
using ovcg::IPrintMode;
using ovcg::MWCmdArgs;
using ovcg::tagHTINITSTRUCT;
using ovcg::tagIRACINITSTRUCT;
using ovcg::tagPRTINFOSTRUCT;

struct FakeBandCall {
    tagRECT clip;
    tagRECT band;
    uint32_t width_bytes;
    std::vector<uint8_t> first_line;  // the converted band's first line
    bool second;
    bool descriptor;
};

// What the fakes share: the event list and the test's choices.
struct FakeWorld {
    std::vector<std::string> events;
    // Result of a call by its event name ("irac.StartJob"); 0 when not set.
    std::map<std::string, int> results;
    // Calls that throw: an integer code, or the message "HT Exception" (code
    // 0) or "Spooler Exception" (code 1).
    std::map<std::string, int> throws;

    // Print mode.
    std::function<void(tagPRTINFOSTRUCT&)> tweak_info;
    int refresh_pages_seen = 0;
    std::vector<int> refresh_args;

    // Generator.
    std::vector<int> start_doc_headers;
    std::vector<int> start_page_counts;
    struct PageValues {
        uint32_t page, feed_start, feed, feed_extra, empty, abort;
    };
    std::vector<PageValues> page_ends;
    std::vector<uint32_t> dot_counts;  // last SetDotCount
    int dot_count_planes = -1;
    double job_length_mm = -1;
    bool generator_has_color_option = true;
    std::vector<std::vector<int>> color_options;
    std::string doc_start_bytes = "<DOC>";  // sent through the spooler by SendStartDocCmd
    std::string doc_end_bytes = "<END>";    // sent and flushed by SendEndDocCmd
    uint16_t generator_selector_seen = 0;
    CommandLevel generator_level_seen = CommandLevel::kLevel2;

    // Head control.
    tagIRACINITSTRUCT irac_init{};
    uint32_t first_raster = 0, next_raster = 0, skipped = 0;
    std::vector<uint8_t> use_heads;  // GetUseHead's list (empty: the call fails)
    std::vector<int> irac_end_page_aborts;

    // Halftoner.
    std::vector<tagHTINITSTRUCT> halftoner_inits;  // one per construction
    std::vector<int> halftoner_ctor_args;          // level3, rotation, overprint per construction
    int reset_page_answer = 1;
    std::vector<FakeBandCall> bands;
    std::vector<uint64_t> page_dots;          // added by each GetDotCount, three per plane
    std::vector<int> empty_calls;             // EmptyPageEndOut: 100 + flag; EmptyPageEndFlush: 200 + flag
    std::vector<int> page_lengths;            // ResetPageLength
    const tagHTSTRUCT3_5* kept_ht = nullptr;  // the record pointer the halftoner holds

    // Level 3.
    uint16_t records_version = 0;
    uint16_t encoder_kind = 0xFFFF;
    uint32_t base_position = 0, last_write = 0;
    std::vector<uint32_t> page_heights;

    // Calibration.
    std::vector<uint8_t> raster_calib, ims_calib;
    bool cid_available = false;
    std::vector<int> cdg_mode_info;  // mode, then the values
    std::vector<std::pair<int, int>> cdg_halftone_info;
    unsigned ims_head_count = 0;
    std::vector<int32_t> ims_heads;
    std::string tool_name, tool_dir;
    int brs_start_result = 0;
    bool cdg_generates_raster = true;  // raster calibration comes out of the tool's data

    bool Has(const std::string& e) const;
    int Count(const std::string& e) const;
    // Index of the first event e, -1 when absent.
    int IndexOf(const std::string& e) const;
};

// A print-mode information record that a plain level-2 colour job can run
// with: 4 planes, the flags expanded from the job record, all selectors and
// per-page values not given.
tagPRTINFOSTRUCT DefaultFakeInfo(const tagPRTSTRUCT3_12& job);

class FakeEngineParts : public EngineParts {
public:
    explicit FakeEngineParts(FakeWorld* world) : w_(world) {}

    std::unique_ptr<IHxrAdapter> CreateHxrAdapter(const char* path) override;
    std::unique_ptr<CLinkRscDLL> CreateLinkResources(const char* const* files, int count) override;
    std::unique_ptr<IPixelConverter> CreatePixelConverter() override;
    std::unique_ptr<IPrintMode> CreatePrintMode(const tagPRTSTRUCT3_12* job, CLinkRscDLL* links) override;
    std::unique_ptr<IMWCmd> CreateMWCmd(const MWCmdArgs& args) override;
    std::unique_ptr<IHeadControl> CreateHeadControl(const tagIRACINITSTRUCT* init, const char* path) override;
    std::unique_ptr<IHalftoner> CreateHalftoner(bool level3, const tagHTINITSTRUCT* init, int rotation,
                                                int overprint) override;
    std::unique_ptr<ovcg::CTRAQ3V1> CreateLevel3Records(uint16_t version,
                                                        const tagPRTSTRUCT3_12& job) override;
    std::unique_ptr<IEncodeBuffer> CreateEncodeBuffer(uint16_t kind, CPlimoSpooler* spooler,
                                                      ovcg::CTRAQ3V1* records, uint32_t height) override;
    std::unique_ptr<ICalibTool> CreateCalibTool() override;
    std::unique_ptr<IBrsSession> CreateBrsSession(const CalibRecord& record, const int32_t* mode,
                                                  uint32_t page_length) override;
    std::unique_ptr<ICdgSession> CreateCdgSession(IHxrAdapter* hxr) override;

private:
    FakeWorld* w_;
};

// A small RGB job (300 dpi source, 600 dpi print, level 2) and its page
// record; mw and ex are added to the mode word and the extra options.
tagPRTSTRUCT3_12 PlainJob(uint32_t mw = 0, uint32_t ex = 0);
tagHTSTRUCT3_5 PlainHalftone();

// Installs a fake factory as the process-wide default for its lifetime.
class ScopedDefaultParts {
public:
    explicit ScopedDefaultParts(ovcg::EngineParts* parts) { ovcg::SetDefaultEngineParts(parts); }
    ~ScopedDefaultParts() { ovcg::SetDefaultEngineParts(nullptr); }
    ScopedDefaultParts(const ScopedDefaultParts&) = delete;
    ScopedDefaultParts& operator=(const ScopedDefaultParts&) = delete;
};

}  // namespace ovcg_test
