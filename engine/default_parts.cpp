// The built-in factory of the job's parts: binds every part that the library
// contains. A selector without a part gives null, which the engine core
// reports with its own code.
#include <atomic>

#include "commands/encode_buffer.h"
#include "commands/mw_cmd_traq2.h"
#include "commands/mw_cmd_traq3.h"
#include "commands/traq3_records.h"
#include "engine/engine_error.h"
#include "engine/engine_interfaces.h"
#include "engine/hxr_dll.h"
#include "engine/isv_tool.h"
#include "engine/out_module.h"
#include "engine/pixel_expander.h"
#include "engine/prt_mode.h"
#include "halftoning/intent_x.h"
#include "halftoning/intent_x_traq3.h"

namespace ovcg {
namespace {

class PrintModePart final : public IPrintMode {
public:
    PrintModePart(const tagPRTSTRUCT3_12* job, CLinkRscDLL* links) : m_mode(job, links) {}
    const tagPRTINFOSTRUCT& Info() const override { return m_mode.Info(); }
    const tagPRTSTRUCT3_12& Job() const override { return m_mode.Job(); }
    CMediaOpt& MediaOpt() override { return m_mode.MediaOpt(); }
    void RefreshInitPage(int page) override { m_mode.RefreshInitPage(page); }

private:
    CPrtMode m_mode;
};

// A command generator of the library behind the engine's generator interface.
class GeneratorPart final : public IMWCmd {
public:
    explicit GeneratorPart(std::unique_ptr<CMWCmd> cmd) : m_cmd(std::move(cmd)) {}
    void SetLinkResource(CLinkRscDLL*) override {}
    void SetResetting(int) override {}
    void SetMarginValue(uint16_t first, uint16_t second) override { m_cmd->SetMarginValue(first, second); }
    void SendStartDocCmd(int header) override { m_cmd->SendStartDocCmd(header); }
    bool SetColorOption(int a, int b, int c, int d, int e, int f, int gamma) override {
        m_cmd->SetColorOption(a, b, c, d, e, f, gamma);
        return true;
    }
    void SendStartPageCmd(int count) override { m_cmd->SendStartPageCmd(count); }
    void SetPageValues(uint32_t page, uint32_t feedStart, uint32_t feed, uint32_t extra,
                       uint32_t empty) override {
        m_cmd->SetPageValues(page, feedStart, feed, extra);
        m_cmd->SetEmptyPage(empty);
    }
    void SetAbort(uint32_t abort) override { m_cmd->SetPageAbort(abort); }
    void SendEndPageCmd() override { m_cmd->SendEndPageCmd(); }
    void SetDotCount(const uint32_t* counts, int planes) override {
        std::vector<tagSMLDATA> table(static_cast<size_t>(planes > 0 ? planes : 0));
        for (size_t p = 0; p < table.size(); ++p)
            for (int k = 0; k < 3; ++k) table[p].count[k] = counts[p * 3 + k];
        m_cmd->SetDotCount(table.data(), static_cast<int>(table.size()) * kSmlDataSize, 0);
    }
    void SetJobLength(double millimetres) override {
        m_cmd->SetPrintedLength(millimetres <= 0              ? 0u
                                : millimetres >= 4294967295.0 ? 0xFFFFFFFFu
                                                              : static_cast<uint32_t>(millimetres));
    }
    void SendEndDocCmd() override { m_cmd->SendEndDocCmd(); }
    void* Native() override { return m_cmd.get(); }

private:
    std::unique_ptr<CMWCmd> m_cmd;
};

// The library's calibration-data generation session behind the engine's
// session interface, raster calibration included.
class CdgPart final : public ICdgSession {
public:
    explicit CdgPart(IHxrAdapter* hxr) : m_cdg(nullptr, hxr ? hxr->Native() : nullptr) {}
    int SetPrintModeInfo(int mode, const int32_t* info, int count) override {
        return m_cdg.SetPrintModeInfo(mode, info, count);
    }
    int SetHalftoneInfo(int halftone, int correction) override {
        return m_cdg.SetHalftoneInfo(halftone, correction);
    }
    int GenerateRasterCalibData(const uint8_t* data, int size) override {
        return m_cdg.GenerateRasterCalib(data, size);
    }
    const void* GeneratedRasterCalib(int32_t* size) const override { return m_cdg.RasterCalib(size); }
    int GenerateIMSCalib(const uint8_t* data, int size, unsigned count, const int32_t* heads) override {
        return m_cdg.GenerateIMSCalib(data, size, count, heads);
    }
    int GenerateRasterCalibSlut() override { return m_cdg.GenerateRasterCalibSlut(); }
    int GenerateIMSCalibSlut() override { return m_cdg.GenerateIMSCalibSlut(); }
    const void* ImsCalib() const override { return m_cdg.ImsCalib(); }
    const void* RasterSlut(int32_t* size) const override { return m_cdg.RasterSlut(size); }
    const void* ImsSlut(int32_t* size) const override { return m_cdg.ImsSlut(size); }

private:
    CCDG m_cdg;
};

template <class Generator, class... Links>
std::unique_ptr<CMWCmd> MakeGenerator(const MWCmdArgs& a, Links... links) {
    return std::make_unique<Generator>(a.job, a.info, a.spooler, a.media, a.cut, a.trim, a.job_data, links...);
}

class BuiltInEngineParts final : public EngineParts {
public:
    std::unique_ptr<IHxrAdapter> CreateHxrAdapter(const char* path) override { return MakeHxrAdapter(path); }
    std::unique_ptr<CLinkRscDLL> CreateLinkResources(const char* const* files, int count) override {
        return std::make_unique<CLinkRscDLL>(const_cast<char**>(files), count);
    }
    std::unique_ptr<IPixelConverter> CreatePixelConverter() override {
        return std::make_unique<PixelExpander>();
    }
    std::unique_ptr<IPrintMode> CreatePrintMode(const tagPRTSTRUCT3_12* job, CLinkRscDLL* links) override {
        return std::make_unique<PrintModePart>(job, links);
    }
    std::unique_ptr<IMWCmd> CreateMWCmd(const MWCmdArgs& a) override {
        std::unique_ptr<CMWCmd> cmd;
        switch (a.level) {
            case CommandLevel::kLevel2:
                if (a.selector == 0xFFFF) cmd = MakeGenerator<CMWCmd_TRAQ2>(a);
                if (a.selector == 1) cmd = MakeGenerator<CMWCmd_TRAQ2_1>(a);
                if (a.selector == 2) cmd = MakeGenerator<CMWCmd_TRAQ2_2>(a);
                break;
            case CommandLevel::kLevel3:
                if (a.selector == 0xFFFF) cmd = MakeGenerator<CMWCmd_TRAQ3>(a, a.records, a.encode_buffer);
                if (a.selector == 1) cmd = MakeGenerator<CMWCmd_TRAQ3_1>(a, a.records, a.encode_buffer);
                break;
            case CommandLevel::kPageLanguage:
                if (a.selector == 0xFFFF) cmd = MakeGenerator<CMWCmd_TRAQAGE>(a);
                break;
        }
        if (!cmd) return nullptr;
        return std::make_unique<GeneratorPart>(std::move(cmd));
    }
    std::unique_ptr<IHeadControl> CreateHeadControl(const tagIRACINITSTRUCT* init,
                                                    const char* path) override {
        return MakeHeadControl(init, path);
    }
    std::unique_ptr<IHalftoner> CreateHalftoner(bool level3, const tagHTINITSTRUCT* init, int rotation,
                                                int overprint) override {
        if (level3) return MakeLevel3Halftoner(init, rotation, overprint);
        return MakeSerialHalftoner(init);
    }
    std::unique_ptr<CTRAQ3V1> CreateLevel3Records(uint16_t version, const tagPRTSTRUCT3_12& job) override {
        const CTRAQ3V1::Point development{job.src_resolution.x, job.src_resolution.y};
        const CTRAQ3V1::Point resolution{job.prt_resolution.x, job.prt_resolution.y};
        const CTRAQ3V1::Point sheet{job.src_paper_size.x, job.src_paper_size.y};
        const CTRAQ3V1::Point area{job.src_print_area.x, job.src_print_area.y};
        const CTRAQ3V1::Point margin{job.src_margin.x, job.src_margin.y};
        if (version == 2) return std::make_unique<CTRAQ3V1_2>(development, resolution, sheet, area, margin);
        return std::make_unique<CTRAQ3V1_1>(development, resolution, sheet, area, margin);
    }
    std::unique_ptr<IEncodeBuffer> CreateEncodeBuffer(uint16_t selector, CPlimoSpooler* spooler, CTRAQ3V1* records,
                                                      uint32_t height) override {
        switch (selector) {
            case 0: return std::make_unique<CEncodeJpegPlusBuffer>(spooler, records, height);
            case 1: return std::make_unique<CEncodeRhv2Buffer>(spooler, records, height);
            case 2: return std::make_unique<CEncodeJpegBuffer>(spooler, records, height);
            default: return nullptr;
        }
    }
    std::unique_ptr<ICalibTool> CreateCalibTool() override { return MakeCalibTool(); }
    std::unique_ptr<IBrsSession> CreateBrsSession(const CalibRecord& record, const int32_t* mode,
                                                  uint32_t length) override {
        return MakeBrsSession(record, mode, length);
    }
    std::unique_ptr<ICdgSession> CreateCdgSession(IHxrAdapter* hxr) override {
        return std::make_unique<CdgPart>(hxr);
    }
};

BuiltInEngineParts g_builtIn;
std::atomic<EngineParts*> g_parts{nullptr};

}  // namespace

EngineParts& BuiltInEngineParts() { return g_builtIn; }

EngineParts& DefaultEngineParts() {
    EngineParts* p = g_parts.load();
    return p ? *p : g_builtIn;
}

void SetDefaultEngineParts(EngineParts* parts) { g_parts.store(parts); }

}  // namespace ovcg
