// The library's own parts for a job, with the level-2 band driver made for
// a given number of parallel-path workers (0: the serial path); installed as
// the engine's default factory while it lives.
#pragma once

#include <memory>

#include "commands/traq3_records.h"
#include "engine/engine_interfaces.h"
#include "halftoning/halftoner_part.h"
#include "halftoning/intent_x.h"

namespace ovcg_test {

class WorkerParts final : public ovcg::EngineParts {
public:
    explicit WorkerParts(unsigned workers) : m_workers(workers) { ovcg::SetDefaultEngineParts(this); }
    ~WorkerParts() override { ovcg::SetDefaultEngineParts(nullptr); }
    WorkerParts(const WorkerParts&) = delete;
    WorkerParts& operator=(const WorkerParts&) = delete;

    std::unique_ptr<ovcg::IHalftoner> CreateHalftoner(bool level3, const ovcg::tagHTINITSTRUCT* init,
                                                      int rotation, int overprint) override {
        if (level3) return Base().CreateHalftoner(level3, init, rotation, overprint);
        auto part = std::make_unique<ovcg::HalftonerPart<ovcg::CIntentX>>(init, m_workers);
        parallel += part->Object().ParallelPath();
        return part;
    }

    std::unique_ptr<ovcg::IHxrAdapter> CreateHxrAdapter(const char* path) override {
        return Base().CreateHxrAdapter(path);
    }
    std::unique_ptr<ovcg::CLinkRscDLL> CreateLinkResources(const char* const* files, int count) override {
        return Base().CreateLinkResources(files, count);
    }
    std::unique_ptr<ovcg::IPixelConverter> CreatePixelConverter() override { return Base().CreatePixelConverter(); }
    std::unique_ptr<ovcg::IPrintMode> CreatePrintMode(const tagPRTSTRUCT3_12* job, ovcg::CLinkRscDLL* links) override {
        return Base().CreatePrintMode(job, links);
    }
    std::unique_ptr<ovcg::IMWCmd> CreateMWCmd(const ovcg::MWCmdArgs& args) override {
        return Base().CreateMWCmd(args);
    }
    std::unique_ptr<ovcg::IHeadControl> CreateHeadControl(const ovcg::tagIRACINITSTRUCT* init,
                                                          const char* path) override {
        return Base().CreateHeadControl(init, path);
    }
    std::unique_ptr<ovcg::CTRAQ3V1> CreateLevel3Records(uint16_t selector, const tagPRTSTRUCT3_12& job) override {
        return Base().CreateLevel3Records(selector, job);
    }
    std::unique_ptr<ovcg::IEncodeBuffer> CreateEncodeBuffer(uint16_t selector, CPlimoSpooler* spooler,
                                                            ovcg::CTRAQ3V1* records, uint32_t height) override {
        return Base().CreateEncodeBuffer(selector, spooler, records, height);
    }
    std::unique_ptr<ovcg::ICalibTool> CreateCalibTool() override { return Base().CreateCalibTool(); }
    std::unique_ptr<ovcg::IBrsSession> CreateBrsSession(const ovcg::CalibRecord& record, const int32_t* mode,
                                                        uint32_t length) override {
        return Base().CreateBrsSession(record, mode, length);
    }
    std::unique_ptr<ovcg::ICdgSession> CreateCdgSession(ovcg::IHxrAdapter* hxr) override {
        return Base().CreateCdgSession(hxr);
    }

    int parallel = 0;  // band drivers made that take the parallel path

private:
    static ovcg::EngineParts& Base() { return ovcg::BuiltInEngineParts(); }
    unsigned m_workers;
};

}  // namespace ovcg_test
