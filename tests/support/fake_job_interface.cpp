#include "support/fake_job_interface.h"

#include <cstring>

namespace ovcg_test {
namespace {

FakeJobInterface* g_current = nullptr;
char g_engine_object;  // its address is the fake's handle

void spool(const std::vector<uint8_t>& bytes) {
    FakeJobInterface& f = *g_current;
    if (bytes.empty() || !f.options.lpfuncSpool) return;
    f.spool_results.push_back(f.options.lpfuncSpool(f.options.hParam, bytes.data(),
                                                    static_cast<int32_t>(bytes.size())));
}

int32_t fake_init_job(HPLIMO3* handle, tagPRTSTRUCT3_12* job, tagOPTION* options) {
    FakeJobInterface& f = *g_current;
    f.calls.push_back("InitJob");
    f.job = *job;
    f.has_media_options = job->lpMediaOpt != nullptr;
    if (f.has_media_options) f.media_options = *job->lpMediaOpt;
    f.has_cut = job->lpCutCmdData != nullptr;
    if (f.has_cut) f.cut = *job->lpCutCmdData;
    f.options = *options;
    f.resource_files.clear();
    for (int32_t i = 0; i < options->NumRsc; ++i)
        f.resource_files.push_back(options->lppszRsc_File[i] ? options->lppszRsc_File[i] : "");
    spool(f.spool_at_init_job);
    *handle = f.init_job_result == 0 ? f.handle : nullptr;
    return f.init_job_result;
}

int32_t fake_init_page(HPLIMO3 handle, tagHTSTRUCT3_5* ht) {
    FakeJobInterface& f = *g_current;
    f.calls.push_back("InitPage");
    f.handles_seen.push_back(handle);
    f.halftone = *ht;
    spool(f.spool_at_init_page);
    return f.init_page_result;
}

int32_t fake_band_out(HPLIMO3 handle, const tagRECT* clip, tagBANDBMP* bmp, tagBANDBMP* second,
                      const tagRECT* band, tagOSDEP3* descriptor) {
    FakeJobInterface& f = *g_current;
    f.calls.push_back("BandOut");
    f.handles_seen.push_back(handle);
    FakeBand b{*clip, *band, bmp->WidthBytes, {}, second != nullptr, descriptor != nullptr};
    if (bmp->Bits) b.lines.assign(bmp->Bits, bmp->Bits + 2 * size_t{bmp->WidthBytes});
    int index = static_cast<int>(f.bands.size());
    f.bands.push_back(std::move(b));
    if (f.band_out_fail_at >= 0) return index == f.band_out_fail_at ? f.band_out_result : 0;
    return f.band_out_result;
}

int32_t fake_terminate(HPLIMO3 handle, tagTPINFOSTRUCT* end) {
    FakeJobInterface& f = *g_current;
    f.calls.push_back("TerminatePageEx");
    f.handles_seen.push_back(handle);
    f.page_ends.push_back(*end);
    return f.terminate_result;
}

int32_t fake_destroy(HPLIMO3 handle) {
    FakeJobInterface& f = *g_current;
    f.calls.push_back("DestroyJob");
    f.handles_seen.push_back(handle);
    spool(f.spool_at_destroy);
    return f.destroy_result;
}

const ovcg::frontend::ovcg_job_interface kTable = {fake_init_job, fake_init_page, fake_band_out,
                                                    fake_terminate, fake_destroy};

}  // namespace

FakeJobInterface::FakeJobInterface()
    : handle(reinterpret_cast<HPLIMO3>(&g_engine_object)), previous_(g_current) {
    g_current = this;
}

FakeJobInterface::~FakeJobInterface() { g_current = previous_; }

const ovcg::frontend::ovcg_job_interface& FakeJobInterface::table() { return kTable; }

}  // namespace ovcg_test
