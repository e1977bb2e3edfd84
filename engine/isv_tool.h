// Calibration and correction sessions of a job:
//  - CISVTool holds the job's three calibration files and the calibration
//    tool's port;
//  - CBRS is a correction session over the correction core;
//  - CCDG is a calibration-data generation session over the generation core.
// Each session reaches its service through an adapter that binds a table of
// function pointers; the default tables bind the library's (empty) services,
// tests bind fakes.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/engine_interfaces.h"
#include "engine/platform.h"
#include "ovcg/calib_services.h"
#include "ovcg/hxr.h"
#include "ovcg/irac.h"
#include "ovcg/ovcg_jobif.h"

// ---------------------------------------------------------------------------
// Adapters

struct IsvToolTable {
    uint32_t (*OpenPort)(void** port, const char* printerName, int32_t portNumber);
    uint32_t (*ClosePort)(void* port);
    uint32_t (*GetCidData)(void* port, const char* path);
    uint32_t (*GetImsData)(void* port, const char* path);
    uint32_t (*GetHeadData)(void* port, const char* path);
};
IsvToolTable DefaultIsvToolTable();

struct BrsCoreTable {
    int32_t (*Start)(void** handle, const void* startRecord, const void* data, uint32_t size,
                     const OVF_COMMON* callbacks);
    int32_t (*End)(void* handle);
    int32_t (*GetCorrection)(void* handle, const void* in, void* out);
    int32_t (*GetCorrectionEx)(void* handle, const void* in, void* out, uint32_t flags);
    int32_t (*PageInit)(void* handle);
    int32_t (*ResetPageInfo)(void* handle, uint32_t pageLength);
};
BrsCoreTable DefaultBrsCoreTable();

struct CdgCoreTable {
    int32_t (*CreateInstance)(void** handle, const HXRServiceTable* services);
    int32_t (*DeleteInstance)(void* handle);
    int32_t (*GenerateData)(void* handle, int32_t kind, const int32_t* printModeInfo, int32_t halftoneType,
                            int32_t colorCorrection, const void* input, int32_t size, uint32_t mask,
                            const int32_t* list);
    int32_t (*GetData)(void* handle, void** data, int32_t* size);
    int32_t (*ReleaseData)(void* handle, void* data);
    int32_t (*Option)(void* handle, int32_t a, int32_t b, int32_t c, int32_t d);
};
CdgCoreTable DefaultCdgCoreTable();

bool AllBound(const IsvToolTable& table);
bool AllBound(const BrsCoreTable& table);
bool AllBound(const CdgCoreTable& table);

class CISVTOOLDLL : public CBoundDLL<IsvToolTable, -10000> {
public:
    explicit CISVTOOLDLL(const char* path, const IsvToolTable& table = DefaultIsvToolTable())
        : CBoundDLL(path, table) {}
};
class CBRSDLL : public CBoundDLL<BrsCoreTable, -103> {
public:
    explicit CBRSDLL(const char* path, const BrsCoreTable& table = DefaultBrsCoreTable())
        : CBoundDLL(path, table) {}
};
class CCDGDLL : public CBoundDLL<CdgCoreTable, -601> {
public:
    explicit CCDGDLL(const char* path, const CdgCoreTable& table = DefaultCdgCoreTable())
        : CBoundDLL(path, table) {}
};

// ---------------------------------------------------------------------------
// CISVTool

class CISVTool : public ovcg::ICalibTool {
public:
    // Room for one file path, terminator included.
    static constexpr size_t kPathSize = 260;

    CISVTool() = default;
    // The port adapter is created from `table` on the first connection.
    explicit CISVTool(const IsvToolTable& table) : m_table(table) {}
    ~CISVTool() override;
    CISVTool(const CISVTool&) = delete;
    CISVTool& operator=(const CISVTool&) = delete;

    // dir + "/" + name + ".HC1", ".CA1", ".BZ1". 1 on success; 0 when either
    // is null or a path would not fit kPathSize (the paths are then empty).
    int CreateFilePathName(const char* name, const char* dir) override;
    // Reload the ".HC1", ".CA1" or ".BZ1" file: 1 when loaded, else 0.
    int OpenCidFile() override;
    int OpenIMSFile();
    int OpenRCFile();

    // Creates the port adapter when there is none, forms the paths, opens
    // the port. -10 when the paths cannot be formed; else the mapped result.
    int ConnectPrinter(const tag_CalibDataReq_1* request);
    // Let the port store its data in the file of the matching path. -10000
    // without a connection.
    int GetCidData();
    int GetImsData();
    int GetHeadData();
    static int ConvertISVToolError(uint32_t code);

    const void* CidData() const override { return m_cid.IsOpen() ? m_cid.Data() : nullptr; }
    // The ".BZ1" and ".CA1" images, loaded on first use; null when absent.
    const uint8_t* RasterCalib(uint32_t* size) override;
    const uint8_t* ImsCalib(uint32_t* size) override;

    const char* CidPath() const { return m_cidPath; }
    const char* ImsPath() const { return m_imsPath; }
    const char* RcPath() const { return m_rcPath; }
    const CFILECTRL& CidFile() const { return m_cid; }
    const CFILECTRL& ImsFile() const { return m_ims; }
    const CFILECTRL& RcFile() const { return m_rc; }

private:
    static int Reload(CFILECTRL& file, const char* path);

    IsvToolTable m_table = DefaultIsvToolTable();
    CISVTOOLDLL* m_dll = nullptr;
    void* m_port = nullptr;
    bool m_portOpen = false;
    char m_cidPath[kPathSize] = {};
    char m_imsPath[kPathSize] = {};
    char m_rcPath[kPathSize] = {};
    CFILECTRL m_cid;
    CFILECTRL m_ims;
    CFILECTRL m_rc;
};

// ---------------------------------------------------------------------------
// CBRS

struct tagBRSINITSTRUCT {
    const char* file;          // the correction file
    int32_t mode[5];           // [0] continuous roll; [4] 1: paper source 3, else 1
    uint32_t identifier;
    uint32_t page_length;      // used unless the roll is continuous
    int32_t values[2];         // the core's two further start values; both required
    const void* second_table;  // null sets the start record's flag
    CBRSDLL* dll;              // null: the session makes its own adapter
};

class CBRS : public ovcg::IBrsSession {
public:
    static constexpr int32_t kExportStart = 2300;
    static constexpr int32_t kExportData = 2301;

    // Throws -103 when its own adapter cannot be bound.
    explicit CBRS(const tagBRSINITSTRUCT* init, const BrsCoreTable& table = DefaultBrsCoreTable());
    ~CBRS() override;
    CBRS(const CBRS&) = delete;
    CBRS& operator=(const CBRS&) = delete;

    // -100 the correction file does not load, -101 it is empty, -102 a start
    // value is missing; else the core's mapped result.
    int StartBRS() override;
    // -104 without a core handle; a failure ends the session.
    int StartPageBRS() override;
    int ResetPageBRS(int skipped);
    int EndBRS() override;
    // The core's correction entry and the session's core handle (null
    // before StartBRS), as the halftone engine's correction hook takes them.
    using CorrectionFunction = int32_t (*)(void* handle, const void* in, void* out);
    CorrectionFunction Correction() const { return m_dll->Bound().GetCorrection; }
    void* Native() override { return this; }
    static int ConvertBRSError(int32_t code);

    // The 24-byte start record: identifier, no-second-table flag, paper
    // source, page length, the two start values.
    std::array<uint8_t, 24> StartRecordBytes() const;
    const OVF_COMMON& Callbacks() const { return m_ovf; }
    void* Handle() const { return m_handle; }
    uint32_t PageLength() const { return m_pageLength; }
    uint32_t PaperSource() const { return m_paperSource; }

private:
    std::unique_ptr<CBRSDLL> m_ownDll;
    CBRSDLL* m_dll;
    void* m_handle = nullptr;
    int32_t m_mode[5];
    CFILECTRL m_file;
    std::string m_path;
    uint32_t m_dataSize = 0;
    uint32_t m_identifier;
    uint32_t m_noSecondTable;
    uint32_t m_paperSource;
    uint32_t m_pageLength;
    int32_t m_values[2];
    OVF_COMMON m_ovf{};
};

// ---------------------------------------------------------------------------
// CCDG

enum CDG_MODE { CDG_MODE_CALIB = 1, CDG_MODE_SLUT = 2 };

class CCDG : public ovcg::ICdgSession {
public:
    static constexpr int kModeRefused = -600;
    static constexpr int kPrintModeWords = 9;  // 36 bytes
    enum Kind { kRasterCalib = 0, kRasterCalibSlut = 1, kImsCalib = 2, kImsCalibSlut = 3 };

    // dll null: the session makes and owns an adapter over `table` (throws
    // -601 when it cannot be bound).
    CCDG(CCDGDLL* dll, void* context, const CdgCoreTable& table = DefaultCdgCoreTable());
    ~CCDG() override;
    CCDG(const CCDG&) = delete;
    CCDG& operator=(const CCDG&) = delete;

    // Mode 1 or 2 (else -600) and up to nine words of print-mode information.
    int SetPrintModeInfo(int mode, const int32_t* info, int count) override;
    // A changed value drops every generated result.
    int SetHalftoneInfo(int halftoneType, int colorCorrection) override;
    int GenerateRasterCalib(const uint8_t* input, int size);
    int GenerateIMSCalib(const uint8_t* input, int size, unsigned mask, const int32_t* list) override;
    int GenerateRasterCalibSlut() override;
    int GenerateIMSCalibSlut() override;
    int Option();
    void DeleteInstance();
    void DeleteCalibData();
    static int ConvertCDGError(int32_t code);

    const void* RasterCalib(int32_t* size) const { return Result(kRasterCalib, size); }
    const void* ImsCalib() const override { return m_results[kImsCalib].data; }
    const void* RasterSlut(int32_t* size) const override { return Result(kRasterCalibSlut, size); }
    const void* ImsSlut(int32_t* size) const override { return Result(kImsCalibSlut, size); }
    const void* ImsCalibData(int32_t* size) const { return Result(kImsCalib, size); }
    const HXRServiceTable* ServiceTable() const { return &m_services; }

private:
    struct Cached {
        void* data = nullptr;
        int32_t size = 0;
    };
    int GenerateCalibData(Kind kind);
    const void* Result(Kind kind, int32_t* size) const;

    std::unique_ptr<CCDGDLL> m_ownDll;
    CCDGDLL* m_dll;
    void* m_handle = nullptr;
    HXRServiceTable m_services{};
    int m_mode = 0;
    int32_t m_printMode[kPrintModeWords] = {};
    int m_halftoneType = 0;
    int m_colorCorrection = 0;
    const uint8_t* m_input = nullptr;
    int m_inputSize = 0;
    unsigned m_mask = 0;
    const int32_t* m_list = nullptr;
    Cached m_results[4];
};

// ---------------------------------------------------------------------------
// The engine core's factories.

namespace ovcg {

std::unique_ptr<ICalibTool> MakeCalibTool();
// Null when the record names no correction file.
std::unique_ptr<IBrsSession> MakeBrsSession(const CalibRecord& record, const int32_t* mode, uint32_t pageLength);
std::unique_ptr<ICdgSession> MakeCdgSession(IHxrAdapter* hxr);

}  // namespace ovcg
