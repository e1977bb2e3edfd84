// Where the halftoning pipeline hands its dot rows: the output module. For
// level-2 jobs it is CMWOutput, which passes every run of rasters to the
// head-control engine through its CIRAC. HeadControl bundles the engine's
// adapter and the output module for the engine core.
#pragma once

#include <memory>

#include "engine/engine_interfaces.h"
#include "engine/irac_dll.h"

class COutModule {
public:
    COutModule() = default;
    virtual ~COutModule() = default;
    COutModule(const COutModule&) = delete;
    COutModule& operator=(const COutModule&) = delete;

    // A run of count rasters from page raster position on; lines holds one
    // pointer per raster, width the bytes from one colour's row to the next.
    virtual int RasterOut(unsigned int count, unsigned int position, unsigned char** lines,
                          unsigned int width) = 0;
    // A run of blank rasters.
    virtual int EmptyRasterOut(unsigned int count, unsigned int position) = 0;

    // The head-control queries of the halftoning's upper skip. A module
    // without a head-control engine answers as one that has none of them:
    // no switching positions, no minimum length (0x7FFFFFFF), any skip taken.
    // out[0] = count, out[1..count] = positions, at most capacity words.
    virtual int GetSwitchingPosition(int* out, int capacity) {
        (void)out, (void)capacity;
        return 0;
    }
    virtual int GetMinimumLength(int* out) {
        if (out) *out = 0x7FFFFFFF;
        return 0;
    }
    // The rasters skipped at the top of the page.
    virtual int SetSkipLength(int skipped) {
        (void)skipped;
        return 0;
    }
};

class CMWOutput : public COutModule {
public:
    // Creates the CIRAC; an integer it throws passes on unchanged.
    explicit CMWOutput(const ovcg::tagIRACINITSTRUCT* init) : m_irac(std::make_unique<CIRAC>(init)) {}
    ~CMWOutput() override = default;

    int RasterOut(unsigned int count, unsigned int position, unsigned char** lines, unsigned int width) override {
        return m_irac->RasterOut(count, position, lines, width);
    }
    // Blank rasters need no output: the caller only advances its position.
    int EmptyRasterOut(unsigned int, unsigned int) override { return 0; }
    int GetSwitchingPosition(int* out, int capacity) override {
        return m_irac->GetSwitchingPosition(out, capacity);
    }
    int GetMinimumLength(int* out) override { return m_irac->GetMinimumLength(out); }
    int SetSkipLength(int skipped) override { return m_irac->SetSkipLength(skipped); }

    CIRAC* Irac() const { return m_irac.get(); }

private:
    std::unique_ptr<CIRAC> m_irac;
};

namespace ovcg {

// The head-control side of a level-2 job as the engine core holds it: the
// engine adapter (the record's, or one of its own bound to `table`) and the
// output module with its CIRAC.
class HeadControl : public IHeadControl {
public:
    HeadControl(const tagIRACINITSTRUCT* init, const char* enginePath,
                const IracEngineTable& table = DefaultIracEngineTable());
    ~HeadControl() override;

    int StartJob() override { return m_output->Irac()->StartJob(); }
    int StartPage(IHalftoner* halftoner) override { return m_output->Irac()->StartPage(halftoner); }
    int EndPage(int abort) override { return m_output->Irac()->EndPage(abort); }
    int EndJob() override { return m_output->Irac()->EndJob(); }
    // The engine's use-head record; -2093 (the engine's "no record") when
    // the engine gives none.
    int GetUseHead(int* count, const uint8_t** heads) override;
    uint32_t FirstRaster() const override { return m_output->Irac()->FirstRaster(); }
    uint32_t NextRaster() const override { return m_output->Irac()->NextRaster(); }
    uint32_t SkippedRasters() const override { return m_output->Irac()->SkippedRasters(); }
    void* OutModule() override { return static_cast<COutModule*>(m_output.get()); }

    CIRAC* Irac() const { return m_output->Irac(); }
    CMWOutput* Output() const { return m_output.get(); }
    CIRACDLL* Dll() const { return m_dll; }

private:
    std::unique_ptr<CIRACDLL> m_ownDll;
    CIRACDLL* m_dll = nullptr;
    std::unique_ptr<CMWOutput> m_output;
};

std::unique_ptr<IHeadControl> MakeHeadControl(const tagIRACINITSTRUCT* init, const char* enginePath);

}  // namespace ovcg
