// A command generator wired to a recording spooler in header mode, with a
// hand-filled job record, print-mode information and media options, for the
// generator tests. Every capture is taken apart and validated.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "commands/mw_cmd.h"
#include "commands/mw_cmd_traq2.h"
#include "engine/media_opt.h"
#include "engine/prtinfo.h"
#include "engine/spooler.h"
#include "support/spool_deframer.h"
#include "support/stream_validator.h"

namespace ovcg::test {

using ovcg_test::bytes_of;
using ovcg_test::hex_of;

// A byte list as the hex text the captures are compared in.
inline std::string H(const std::string& text) { return hex_of(bytes_of(text)); }

// A fixed clock for the time stamp: 2024-03-05 06:07:08.
inline void FixedTime(OVS_SYSTEMTIME* t) {
    *t = OVS_SYSTEMTIME{};
    t->wYear = 2024;
    t->wMonth = 3;
    t->wDay = 5;
    t->wHour = 6;
    t->wMinute = 7;
    t->wSecond = 8;
}

enum class Gen { kBase, kTraq2, kTraq2_1, kTraq2_2 };

inline std::unique_ptr<CMWCmd> MakeGenerator(Gen kind, const tagPRTSTRUCT3_12* job, const tagPRTINFOSTRUCT* info,
                                             CPlimoSpooler* spooler, CMediaOpt* m, tagCUTCMD* c, tagTRIMINFO* t,
                                             tagJOBDATA_6* d) {
    switch (kind) {
        case Gen::kTraq2: return std::make_unique<CMWCmd_TRAQ2>(job, info, spooler, m, c, t, d);
        case Gen::kTraq2_1: return std::make_unique<CMWCmd_TRAQ2_1>(job, info, spooler, m, c, t, d);
        case Gen::kTraq2_2: return std::make_unique<CMWCmd_TRAQ2_2>(job, info, spooler, m, c, t, d);
        default: return std::make_unique<CMWCmd>(job, info, spooler, m, c, t, d);
    }
}

struct Harness {
    tagPRTSTRUCT3_12 job{};
    tagPRTINFOSTRUCT info{};
    tagMEDIAOPT_8 mediaRecord{};
    bool withMedia = false;
    CMediaOpt media;
    tagCUTCMD cut{1, OVCG_CUT_ONECUT, 100, 200};
    bool withCut = false;
    tagTRIMINFO trim{};
    bool withTrim = false;
    tagJOBDATA_6 jobData{};
    bool withJobData = false;
    ovcg_test::SpoolRecorder recorder;
    std::unique_ptr<CPlimoSpooler> spooler;
    std::unique_ptr<CMWCmd> gen;

    Harness() {
        job.version = 12;
        job.prt_format = 1;
        job.src_resolution = {600, 600};
        job.prt_resolution = {720, 720};
        job.src_paper_size = {4000, 6000};
        job.src_print_area = {3900, 5800};
        job.src_print_area_ex = {3950, 5900};
        job.src_margin = {50, 100};
        job.num_copy = 1;
        job.bin_ID = 1;
        PresetPrtInfo(&info);
        // An older-set sheet model with nothing switched on.
        info.remote_flags = 0;
        info.remote_flags2 = 0;
        info.remote_flags3 = 0;
        info.num_planes = 4;
        mediaRecord.version = 8;
    }

    void SetEx(int bit, bool on = true) { info.ex_option_flags[bit] = on ? 1 : 0; }
    void SetMedia(uint32_t bit) {
        withMedia = true;
        mediaRecord.field |= bit;
    }

    CMWCmd& Make(Gen kind = Gen::kBase) {
        spooler = std::make_unique<CPlimoSpooler>(1, ovcg_test::SpoolRecorder::Callback, &recorder);
        if (withMedia) media.Init(&mediaRecord);
        gen = MakeGenerator(kind, &job, &info, spooler.get(), withMedia ? &media : nullptr, withCut ? &cut : nullptr,
                            withTrim ? &trim : nullptr, withJobData ? &jobData : nullptr);
        gen->SetLocalTimeFunction(FixedTime);
        return *gen;
    }

    // Flushes, validates the whole capture so far and returns it; records a
    // test failure when the stream is malformed.
    ovcg_test::SpoolCheck Check(bool paired = true) {
        spooler->Flush();
        ovcg_test::SpoolCheck c = ovcg_test::ValidateSpool(recorder.stream(), paired);
        EXPECT_TRUE(c.ok) << c.error;
        return c;
    }
    // The data bytes of the capture (escape markers removed), validated.
    std::vector<uint8_t> Data(bool paired = true) { return Check(paired).spool.data; }
    std::string Hex(bool paired = true) { return hex_of(Data(paired)); }
    void Clear() {
        spooler->Flush();
        recorder.clear();
    }
};

// The bytes of the remote-mode frame around `inner`.
inline std::string Remote(const std::string& inner) {
    return "1B 28 52 08 00 00 'REMOTE1'" + std::string(inner.empty() ? "" : " ") + inner + " 1B 00 00 00";
}

}  // namespace ovcg::test
