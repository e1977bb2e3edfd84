#include "fake_engine_parts.h"

#include <algorithm>

#include "commands/traq3_records.h"
#include "engine/engine_error.h"
#include "engine/pixel_expander.h"
#include "engine/spooler.h"
#include "support/null_encode_buffer.h"

namespace ovcg_test {

bool FakeWorld::Has(const std::string& e) const { return IndexOf(e) >= 0; }

int FakeWorld::Count(const std::string& e) const {
    return static_cast<int>(std::count(events.begin(), events.end(), e));
}

int FakeWorld::IndexOf(const std::string& e) const {
    auto it = std::find(events.begin(), events.end(), e);
    return it == events.end() ? -1 : static_cast<int>(it - events.begin());
}

namespace {

// Records the call and answers its chosen result, or throws.
int Call(FakeWorld* w, const std::string& name) {
    w->events.push_back(name);
    auto t = w->throws.find(name);
    if (t != w->throws.end()) {
        if (t->second == 0) ovcg::ThrowMessage(ovcg::kHTException);
        if (t->second == 1) ovcg::ThrowMessage(ovcg::kSpoolerException);
        throw t->second;
    }
    auto r = w->results.find(name);
    return r == w->results.end() ? 0 : r->second;
}

void* NoResource(int, int, uint32_t* size) {
    if (size) *size = 0;
    return nullptr;
}
int NoRelease(void*) { return 1; }

class Hxr final : public IHxrAdapter {
public:
    explicit Hxr(FakeWorld* w) : w_(w) {}
    ~Hxr() override { w_->events.emplace_back("hxr.delete"); }
    void* Native() override { return this; }

private:
    FakeWorld* w_;
};

class Converter final : public IPixelConverter {
public:
    explicit Converter(FakeWorld* w) : w_(w) {}
    ~Converter() override { w_->events.emplace_back("conv.delete"); }
    int GetSrcFormat(int format) override { return real_.GetSrcFormat(format); }
    int Convert(unsigned lines, unsigned pixels, tagBANDBMP* in, tagBANDBMP* out) override {
        if (Call(w_, "conv.Convert") != 0) return 0;
        return real_.Convert(lines, pixels, in, out);
    }
    int End() override {
        Call(w_, "conv.End");
        return real_.End();
    }

private:
    FakeWorld* w_;
    ovcg::PixelExpander real_;
};

class PrintMode final : public IPrintMode {
public:
    PrintMode(FakeWorld* w, const tagPRTSTRUCT3_12& job) : w_(w), job_(job), info_(DefaultFakeInfo(job)) {
        if (w_->tweak_info) w_->tweak_info(info_);
        media_.Init(job.lpMediaOpt);
    }
    ~PrintMode() override { w_->events.emplace_back("print_mode.delete"); }
    const tagPRTINFOSTRUCT& Info() const override { return info_; }
    const tagPRTSTRUCT3_12& Job() const override { return job_; }
    ovcg::CMediaOpt& MediaOpt() override { return media_; }
    void RefreshInitPage(int page) override {
        w_->events.emplace_back("print_mode.RefreshInitPage");
        w_->refresh_args.push_back(page);
        ++w_->refresh_pages_seen;
    }

private:
    FakeWorld* w_;
    tagPRTSTRUCT3_12 job_;
    tagPRTINFOSTRUCT info_;
    ovcg::CMediaOpt media_;
};

class Generator final : public IMWCmd {
public:
    Generator(FakeWorld* w, const MWCmdArgs& a) : w_(w), spooler_(a.spooler) {}
    ~Generator() override { w_->events.emplace_back("mwcmd.delete"); }
    void SetLinkResource(CLinkRscDLL*) override { w_->events.emplace_back("mwcmd.SetLinkResource"); }
    void SetResetting(int) override {}
    void SetMarginValue(uint16_t, uint16_t) override {}
    void SendStartDocCmd(int header) override {
        w_->start_doc_headers.push_back(header);
        Call(w_, "mwcmd.SendStartDocCmd");
        spooler_->SendData(w_->doc_start_bytes.data(), static_cast<unsigned>(w_->doc_start_bytes.size()));
    }
    bool SetColorOption(int a, int b, int c, int d, int e, int f, int g) override {
        Call(w_, "mwcmd.SetColorOption");
        w_->color_options.push_back({a, b, c, d, e, f, g});
        return w_->generator_has_color_option;
    }
    void SendStartPageCmd(int count) override {
        w_->start_page_counts.push_back(count);
        Call(w_, "mwcmd.SendStartPageCmd");
    }
    void SetPageValues(uint32_t page, uint32_t fs, uint32_t f, uint32_t fx, uint32_t empty) override {
        pending_ = {page, fs, f, fx, empty, 0};
    }
    void SetAbort(uint32_t abort) override { pending_.abort = abort; }
    void SendEndPageCmd() override {
        w_->page_ends.push_back(pending_);
        Call(w_, "mwcmd.SendEndPageCmd");
    }
    void SetDotCount(const uint32_t* counts, int planes) override {
        w_->dot_counts.assign(counts, counts + planes * 3);
        w_->dot_count_planes = planes;
    }
    void SetJobLength(double mm) override { w_->job_length_mm = mm; }
    void SendEndDocCmd() override {
        Call(w_, "mwcmd.SendEndDocCmd");
        spooler_->SendData(w_->doc_end_bytes.data(), static_cast<unsigned>(w_->doc_end_bytes.size()));
        spooler_->Flush();
    }
    void* Native() override { return this; }

private:
    FakeWorld* w_;
    CPlimoSpooler* spooler_;
    FakeWorld::PageValues pending_{};
};

class HeadControl final : public IHeadControl {
public:
    explicit HeadControl(FakeWorld* w) : w_(w) {}
    ~HeadControl() override { w_->events.emplace_back("irac.delete"); }
    int StartJob() override { return Call(w_, "irac.StartJob"); }
    int StartPage(IHalftoner*) override { return Call(w_, "irac.StartPage"); }
    int EndPage(int abort) override {
        w_->irac_end_page_aborts.push_back(abort);
        return Call(w_, "irac.EndPage");
    }
    int EndJob() override { return Call(w_, "irac.EndJob"); }
    int GetUseHead(int* count, const uint8_t** heads) override {
        if (w_->use_heads.empty()) return -2093;
        *count = static_cast<int>(w_->use_heads.size());
        *heads = w_->use_heads.data();
        return 0;
    }
    uint32_t FirstRaster() const override { return w_->first_raster; }
    uint32_t NextRaster() const override { return w_->next_raster; }
    uint32_t SkippedRasters() const override { return w_->skipped; }
    void* OutModule() override { return this; }

private:
    FakeWorld* w_;
};

class Halftoner final : public IHalftoner {
public:
    Halftoner(FakeWorld* w, const tagHTINITSTRUCT* init) : w_(w) { w_->kept_ht = init->ht_struct; }
    ~Halftoner() override { w_->events.emplace_back("halftoner.delete"); }
    int ResetPage(const tagHTINITSTRUCT* init) override {
        Call(w_, "halftoner.ResetPage");
        // Takes the record's pointers afresh, as a kept object must.
        w_->kept_ht = init->ht_struct;
        return w_->reset_page_answer;
    }
    int StartPage() override { return Call(w_, "halftoner.StartPage"); }
    int BandOut(const tagRECT* clip, tagBANDBMP* in, tagBANDBMP* second, const tagRECT* band,
                tagOSDEP3* descriptor) override {
        FakeBandCall c{*clip, *band, in->WidthBytes, {}, second != nullptr, descriptor != nullptr};
        if (in->Bits) c.first_line.assign(in->Bits, in->Bits + in->WidthBytes);
        w_->bands.push_back(c);
        // The record the object was built from is read on every band.
        if (w_->kept_ht) (void)w_->kept_ht->halftone_type;
        return Call(w_, "halftoner.BandOut");
    }
    int EndPage() override { return Call(w_, "halftoner.EndPage"); }
    int EmptyPageEndOut(int flag) override {
        w_->empty_calls.push_back(100 + flag);
        return Call(w_, "halftoner.EmptyPageEndOut");
    }
    int EmptyPageEndFlush(int flag) override {
        w_->empty_calls.push_back(200 + flag);
        return Call(w_, "halftoner.EmptyPageEndFlush");
    }
    int GetDotCount(uint64_t* counts, int planes) override {
        const int r = Call(w_, "halftoner.GetDotCount");
        for (size_t i = 0; i < w_->page_dots.size() && i < static_cast<size_t>(planes) * 3; ++i)
            counts[i] += w_->page_dots[i];
        return r;
    }
    int GetFlipHBand(tagBANDBMP*, tagBANDBMP*, const tagRECT*, tagRECT*) override {
        return Call(w_, "halftoner.GetFlipHBand");
    }
    int ResetPageLength(int length) override {
        w_->page_lengths.push_back(length);
        return Call(w_, "halftoner.ResetPageLength");
    }
    int GetHalftoneColor(uint8_t* order) override {
        std::fill(order, order + 32, 0);
        return 0;
    }
    int FlushHeldRows() override { return Call(w_, "halftoner.FlushHeldRows"); }

private:
    FakeWorld* w_;
};

class EncodeBuffer final : public NullEncodeBuffer {
public:
    explicit EncodeBuffer(FakeWorld* w) : w_(w) {}
    ~EncodeBuffer() override { w_->events.emplace_back("encode.delete"); }
    bool bFlushENCODEBuff() override { return Call(w_, "encode.Flush") == 0; }
    uint32_t ulGetBaseVPosition() const override { return w_->base_position; }
    uint32_t ulGetLastWritePos() const override { return w_->last_write; }
    void ResetPageHeight(uint32_t h) override { w_->page_heights.push_back(h); }
    void vBaseVPositionIncriment() override { w_->events.emplace_back("encode.Increment"); }

private:
    FakeWorld* w_;
};

class Records final : public ovcg::CTRAQ3V1 {
public:
    explicit Records(FakeWorld* w) : w_(w) {}
    ~Records() override { w_->events.emplace_back("records.delete"); }

private:
    FakeWorld* w_;
};

class CalibTool final : public ICalibTool {
public:
    explicit CalibTool(FakeWorld* w) : w_(w) {}
    ~CalibTool() override { w_->events.emplace_back("isvtool.delete"); }
    int CreateFilePathName(const char* name, const char* dir) override {
        w_->tool_name = name ? name : "(null)";
        w_->tool_dir = dir ? dir : "(null)";
        return name && dir ? 1 : 0;
    }
    int OpenCidFile() override {
        w_->events.emplace_back("isvtool.OpenCidFile");
        return w_->cid_available ? 1 : 0;
    }
    const void* CidData() const override { return w_->cid_available ? &cid_ : nullptr; }
    const uint8_t* RasterCalib(uint32_t* size) override {
        *size = static_cast<uint32_t>(w_->raster_calib.size());
        return w_->raster_calib.empty() ? nullptr : w_->raster_calib.data();
    }
    const uint8_t* ImsCalib(uint32_t* size) override {
        *size = static_cast<uint32_t>(w_->ims_calib.size());
        return w_->ims_calib.empty() ? nullptr : w_->ims_calib.data();
    }

private:
    FakeWorld* w_;
    int cid_ = 7;
};

class Cdg final : public ICdgSession {
public:
    explicit Cdg(FakeWorld* w) : w_(w) {}
    ~Cdg() override { w_->events.emplace_back("cdg.delete"); }
    int SetPrintModeInfo(int mode, const int32_t* info, int count) override {
        w_->cdg_mode_info.assign(1, mode);
        w_->cdg_mode_info.insert(w_->cdg_mode_info.end(), info, info + count);
        return Call(w_, "cdg.SetPrintModeInfo");
    }
    int SetHalftoneInfo(int a, int b) override {
        w_->cdg_halftone_info.emplace_back(a, b);
        return Call(w_, "cdg.SetHalftoneInfo");
    }
    int GenerateRasterCalibData(const uint8_t*, int size) override {
        rasterSize_ = w_->cdg_generates_raster ? size : 0;
        return Call(w_, "cdg.GenerateRasterCalib");
    }
    const void* GeneratedRasterCalib(int32_t* size) const override {
        *size = rasterSize_;
        return rasterSize_ > 0 ? &raster_ : nullptr;
    }
    int GenerateIMSCalib(const uint8_t*, int, unsigned count, const int32_t* heads) override {
        w_->ims_head_count = count;
        w_->ims_heads.assign(heads, heads + 8);
        return Call(w_, "cdg.GenerateIMSCalib");
    }
    int GenerateRasterCalibSlut() override { return Call(w_, "cdg.GenerateRasterCalibSlut"); }
    int GenerateIMSCalibSlut() override { return Call(w_, "cdg.GenerateIMSCalibSlut"); }
    const void* ImsCalib() const override { return &ims_; }
    const void* RasterSlut(int32_t* size) const override {
        *size = 4;
        return &raster_;
    }
    const void* ImsSlut(int32_t* size) const override {
        *size = 4;
        return &imsSlut_;
    }

private:
    FakeWorld* w_;
    int ims_ = 1, raster_ = 2, imsSlut_ = 3;
    int32_t rasterSize_ = 0;
};

class Brs final : public IBrsSession {
public:
    explicit Brs(FakeWorld* w) : w_(w) {}
    ~Brs() override { w_->events.emplace_back("brs.delete"); }
    int StartBRS() override {
        Call(w_, "brs.StartBRS");
        return w_->brs_start_result;
    }
    int StartPageBRS() override { return Call(w_, "brs.StartPageBRS"); }
    int EndBRS() override { return Call(w_, "brs.EndBRS"); }
    void* Native() override { return this; }

private:
    FakeWorld* w_;
};

}  // namespace

tagPRTINFOSTRUCT DefaultFakeInfo(const tagPRTSTRUCT3_12& job) {
    tagPRTINFOSTRUCT info;
    ovcg::PresetPrtInfo(&info);
    for (int b = 0; b < 19; ++b) info.mw_type_flags[b] = (job.mw_type >> b) & 1u;
    for (int b = 0; b < 32; ++b) info.ex_option_flags[b] = (job.ex_option >> b) & 1u;
    for (int b = 0; b < 4; ++b) info.ex_option2_flags[b] = (job.ex_option2 >> b) & 1u;
    info.num_planes = 4;
    info.key10000 = 3;
    info.key11014 = 0;
    info.key11015 = 1;
    info.key11016 = 0xFFFF;
    info.head_id_bytes[0] = 0x21;
    info.head_id_bytes[1] = 0xFFFF;
    info.head_id_bytes[2] = 0x05;
    info.head_id_bytes[3] = 0xFFFF;
    info.halftone_type_override = -1;
    info.color_correction_override = -1;
    info.page_color_correction = 0xFFFF;
    info.page_halftone_type = 0xFFFF;
    info.generator_selector = 0xFFFF;
    info.encoder_selector = 0xFFFF;
    info.record_selector = 0xFFFF;
    info.dot_count_scale = 1;
    info.remote_flags3 = 0;
    info.key12000 = 1;
    info.key12001 = 0;
    info.key12002_3 = 0;
    info.top_margin_offset_on = 0;
    info.page_length_extra = 0;
    info.page_gap = 0;
    return info;
}

std::unique_ptr<IHxrAdapter> FakeEngineParts::CreateHxrAdapter(const char*) {
    Call(w_, "hxr.create");
    return std::make_unique<Hxr>(w_);
}

std::unique_ptr<CLinkRscDLL> FakeEngineParts::CreateLinkResources(const char* const* files, int count) {
    Call(w_, "links.create");
    return std::make_unique<CLinkRscDLL>(const_cast<char**>(files), count,
                                         RscFetchFunctions{&NoResource, &NoRelease});
}

std::unique_ptr<IPixelConverter> FakeEngineParts::CreatePixelConverter() {
    Call(w_, "conv.create");
    return std::make_unique<Converter>(w_);
}

std::unique_ptr<IPrintMode> FakeEngineParts::CreatePrintMode(const tagPRTSTRUCT3_12* job, CLinkRscDLL*) {
    Call(w_, "print_mode.create");
    return std::make_unique<PrintMode>(w_, *job);
}

std::unique_ptr<IMWCmd> FakeEngineParts::CreateMWCmd(const MWCmdArgs& args) {
    w_->generator_selector_seen = args.selector;
    w_->generator_level_seen = args.level;
    Call(w_, "mwcmd.create");
    return std::make_unique<Generator>(w_, args);
}

std::unique_ptr<IHeadControl> FakeEngineParts::CreateHeadControl(const tagIRACINITSTRUCT* init, const char*) {
    w_->irac_init = *init;
    Call(w_, "irac.create");
    return std::make_unique<HeadControl>(w_);
}

std::unique_ptr<IHalftoner> FakeEngineParts::CreateHalftoner(bool level3, const tagHTINITSTRUCT* init,
                                                             int rotation, int overprint) {
    w_->halftoner_inits.push_back(*init);
    w_->halftoner_ctor_args = {level3 ? 1 : 0, rotation, overprint};
    Call(w_, "halftoner.create");
    return std::make_unique<Halftoner>(w_, init);
}

std::unique_ptr<ovcg::CTRAQ3V1> FakeEngineParts::CreateLevel3Records(uint16_t version,
                                                                     const tagPRTSTRUCT3_12&) {
    w_->records_version = version;
    Call(w_, "records.create");
    return std::make_unique<Records>(w_);
}

std::unique_ptr<IEncodeBuffer> FakeEngineParts::CreateEncodeBuffer(uint16_t kind, CPlimoSpooler*,
                                                                   ovcg::CTRAQ3V1*, uint32_t height) {
    w_->encoder_kind = kind;
    w_->page_heights.push_back(height);
    Call(w_, "encode.create");
    return std::make_unique<EncodeBuffer>(w_);
}

std::unique_ptr<ICalibTool> FakeEngineParts::CreateCalibTool() {
    Call(w_, "isvtool.create");
    return std::make_unique<CalibTool>(w_);
}

std::unique_ptr<IBrsSession> FakeEngineParts::CreateBrsSession(const CalibRecord&, const int32_t*, uint32_t) {
    Call(w_, "brs.create");
    return std::make_unique<Brs>(w_);
}

std::unique_ptr<ICdgSession> FakeEngineParts::CreateCdgSession(IHxrAdapter*) {
    Call(w_, "cdg.create");
    return std::make_unique<Cdg>(w_);
}

tagPRTSTRUCT3_12 PlainJob(uint32_t mw, uint32_t ex) {
    tagPRTSTRUCT3_12 j{};
    j.version = OVCG_PRTSTRUCT3_VERSION;
    j.src_format = 1;  // RGB
    j.prt_format = 1;
    j.src_resolution = {300, 300};
    j.prt_resolution = {600, 600};
    j.src_paper_size = {120, 60};
    j.src_print_area = {100, 50};
    j.src_print_area_ex = {110, 55};
    j.src_margin = {5, 5};
    j.bit_p_color = 1;
    j.num_copy = 1;
    j.mw_type = mw;
    j.ex_option = OVCG_EXO_DM | ex;
    j.lut_format = 1;
    j.quality_type = 1;
    return j;
}

tagHTSTRUCT3_5 PlainHalftone() {
    tagHTSTRUCT3_5 h{};
    h.version = OVCG_HTSTRUCT3_VERSION;
    h.color_correction = 2;
    h.halftone_type = 1;
    return h;
}

}  // namespace ovcg_test
