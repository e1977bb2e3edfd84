#include "engine/isv_tool.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "engine/debug_export.h"
#include "engine/engine_error.h"
#include "engine/hxr_dll.h"
#include "engine/ovf_memory.h"

namespace {

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

constexpr uint32_t kOpenPageLength = IRAC_OPEN_PAGE_LENGTH;

}  // namespace

// ---------------------------------------------------------------------------
// Adapters

IsvToolTable DefaultIsvToolTable() {
    return IsvToolTable{&ISVTool_OpenPort, &ISVTool_ClosePort, &ISVTool_GetCidData, &ISVTool_GetImsData,
                        &ISVTool_GetHeadData};
}

BrsCoreTable DefaultBrsCoreTable() {
    return BrsCoreTable{&BRSCore_Start,           &BRSCore_End,      &BRSCore_GetCorrection,
                        &BRSCore_GetCorrectionEx, &BRSCore_PageInit, &BRSCore_ResetPageInfo};
}

CdgCoreTable DefaultCdgCoreTable() {
    return CdgCoreTable{&CDG_CreateInstance, &CDG_DeleteInstance, &CDG_GenerateData,
                        &CDG_GetData,        &CDG_ReleaseData,    &CDG_Option};
}

bool AllBound(const IsvToolTable& t) {
    return t.OpenPort && t.ClosePort && t.GetCidData && t.GetImsData && t.GetHeadData;
}
bool AllBound(const BrsCoreTable& t) {
    return t.Start && t.End && t.GetCorrection && t.GetCorrectionEx && t.PageInit && t.ResetPageInfo;
}
bool AllBound(const CdgCoreTable& t) {
    return t.CreateInstance && t.DeleteInstance && t.GenerateData && t.GetData && t.ReleaseData && t.Option;
}

// ---------------------------------------------------------------------------
// CISVTool

CISVTool::~CISVTool() {
    if (m_dll && m_portOpen) m_dll->Bound().ClosePort(m_port);
    m_portOpen = false;
    delete m_dll;
    m_cid.Close();
    m_ims.Close();
    m_rc.Close();
}

int CISVTool::CreateFilePathName(const char* name, const char* dir) {
    m_cidPath[0] = m_imsPath[0] = m_rcPath[0] = '\0';
    if (!name || !dir) return 0;
    char* paths[3] = {m_cidPath, m_imsPath, m_rcPath};
    static const char* const kExtensions[3] = {".HC1", ".CA1", ".BZ1"};
    for (int i = 0; i < 3; ++i) {
        const int n = std::snprintf(paths[i], kPathSize, "%s/%s%s", dir, name, kExtensions[i]);
        if (n < 0 || static_cast<size_t>(n) >= kPathSize) {
            m_cidPath[0] = m_imsPath[0] = m_rcPath[0] = '\0';
            return 0;
        }
    }
    return 1;
}

int CISVTool::Reload(CFILECTRL& file, const char* path) {
    file.Close();
    return file.Open(path);
}

int CISVTool::OpenCidFile() { return Reload(m_cid, m_cidPath); }
int CISVTool::OpenIMSFile() { return Reload(m_ims, m_imsPath); }
int CISVTool::OpenRCFile() { return Reload(m_rc, m_rcPath); }

int CISVTool::ConnectPrinter(const tag_CalibDataReq_1* request) {
    if (!request) return -10;
    if (!m_dll) {
        try {
            m_dll = new CISVTOOLDLL(request->lpszToolLib, m_table);
        } catch (int code) {
            return code;
        } catch (...) {
            return CISVTOOLDLL::kBindError;
        }
    }
    if (!CreateFilePathName(request->lpszPrinterName, request->lpszDirPath)) return -10;
    if (m_portOpen) {
        m_dll->Bound().ClosePort(m_port);
        m_port = nullptr;
        m_portOpen = false;
    }
    void* port = nullptr;
    const int r = ConvertISVToolError(m_dll->Bound().OpenPort(&port, request->lpszPrinterName, request->PortKind));
    if (r == 0) {
        m_port = port;
        m_portOpen = true;
    }
    return r;
}

int CISVTool::GetCidData() {
    if (!m_dll || !m_portOpen) return ConvertISVToolError(10000);
    return ConvertISVToolError(m_dll->Bound().GetCidData(m_port, m_cidPath));
}

int CISVTool::GetImsData() {
    if (!m_dll || !m_portOpen) return ConvertISVToolError(10000);
    return ConvertISVToolError(m_dll->Bound().GetImsData(m_port, m_imsPath));
}

int CISVTool::GetHeadData() {
    if (!m_dll || !m_portOpen) return ConvertISVToolError(10000);
    return ConvertISVToolError(m_dll->Bound().GetHeadData(m_port, m_rcPath));
}

int CISVTool::ConvertISVToolError(uint32_t code) {
    if (code == 0 || code == 8 || code == 14) return 0;
    if (code == 10000) return -10000;
    return ovcg::Saturate32(-10000 - static_cast<int64_t>(code));
}

const uint8_t* CISVTool::RasterCalib(uint32_t* size) {
    if (!m_rc.IsOpen()) OpenRCFile();
    if (size) *size = m_rc.IsOpen() ? m_rc.Size() : 0;
    return m_rc.IsOpen() ? m_rc.Data() : nullptr;
}

const uint8_t* CISVTool::ImsCalib(uint32_t* size) {
    if (!m_ims.IsOpen()) OpenIMSFile();
    if (size) *size = m_ims.IsOpen() ? m_ims.Size() : 0;
    return m_ims.IsOpen() ? m_ims.Data() : nullptr;
}

// ---------------------------------------------------------------------------
// CBRS

CBRS::CBRS(const tagBRSINITSTRUCT* init, const BrsCoreTable& table) : m_dll(init ? init->dll : nullptr) {
    if (!init) ovcg::ThrowMessage(ovcg::kIllegalParameterException);
    if (!m_dll) {
        m_ownDll = std::make_unique<CBRSDLL>(init->file, table);
        m_dll = m_ownDll.get();
    }
    for (int i = 0; i < 5; ++i) m_mode[i] = init->mode[i];
    m_path = init->file ? init->file : "";
    m_identifier = init->identifier;
    m_noSecondTable = init->second_table ? 0 : 1;
    m_paperSource = m_mode[4] == 1 ? 3 : 1;
    m_pageLength = m_mode[0] ? kOpenPageLength : init->page_length;
    m_values[0] = init->values[0];
    m_values[1] = init->values[1];

    m_ovf.alloc = &ovcg::OvfAlloc;
    m_ovf.free = &ovcg::OvfFree;
    m_ovf.copy = &ovcg::OvfCopy;
    m_ovf.move = &Mem_Move;
    m_ovf.fill = &Mem_Set;
    m_ovf.lead_zero_search = &OVF_memsearch;
    m_ovf.trail_zero_search = &OVF_memrsearch;
    m_ovf.debug_log = &OVF_DebugLog;
}

CBRS::~CBRS() { EndBRS(); }

std::array<uint8_t, 24> CBRS::StartRecordBytes() const {
    std::array<uint8_t, 24> b{};
    PutLe32(&b[0], m_identifier);
    PutLe32(&b[4], m_noSecondTable);
    PutLe32(&b[8], m_paperSource);
    PutLe32(&b[12], m_pageLength);
    PutLe32(&b[16], static_cast<uint32_t>(m_values[0]));
    PutLe32(&b[20], static_cast<uint32_t>(m_values[1]));
    return b;
}

int CBRS::StartBRS() {
    if (!m_file.IsOpen()) {
        if (!m_file.Open(m_path.c_str())) {
            struct stat st {};
            const bool empty = !m_path.empty() && ::stat(m_path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                               st.st_size == 0;
            return empty ? -101 : -100;
        }
        m_dataSize = m_file.Size();
    }
    auto record = StartRecordBytes();
    uint8_t size[4];
    PutLe32(size, m_dataSize);
    ovcg::DebugExport(kExportStart, static_cast<int32_t>(record.size()), record.data());
    ovcg::DebugExport(kExportData, 4, size);
    if (m_values[0] == 0 || m_values[1] == 0) return -102;
    EndBRS();
    void* handle = nullptr;
    const int32_t r = m_dll->Bound().Start(&handle, record.data(), m_file.Data(), m_dataSize, &m_ovf);
    if (r == 0) m_handle = handle;
    return ConvertBRSError(r);
}

int CBRS::StartPageBRS() {
    if (!m_handle) return -104;
    const int32_t r = m_dll->Bound().PageInit(m_handle);
    if (r != 0) EndBRS();
    return ConvertBRSError(r);
}

int CBRS::ResetPageBRS(int skipped) {
    if (!m_handle) return -104;
    const uint32_t skip = skipped < 0 ? 0u : static_cast<uint32_t>(skipped);
    const uint32_t length = skip >= m_pageLength ? 0u : m_pageLength - skip;
    const int32_t r = m_dll->Bound().ResetPageInfo(m_handle, length);
    if (r != 0) EndBRS();
    return ConvertBRSError(r);
}

int CBRS::EndBRS() {
    if (m_handle) {
        m_dll->Bound().End(m_handle);
        m_handle = nullptr;
    }
    return 0;
}

int CBRS::ConvertBRSError(int32_t code) { return ovcg::OffsetEngineCode(code, -5000); }

// ---------------------------------------------------------------------------
// CCDG

CCDG::CCDG(CCDGDLL* dll, void* context, const CdgCoreTable& table) : m_dll(dll) {
    if (!m_dll) {
        m_ownDll = std::make_unique<CCDGDLL>(nullptr, table);
        m_dll = m_ownDll.get();
    }
    FillHxrServiceTable(&m_services, context);
}

CCDG::~CCDG() {
    DeleteInstance();
    DeleteCalibData();
}

int CCDG::SetPrintModeInfo(int mode, const int32_t* info, int count) {
    if (mode != CDG_MODE_CALIB && mode != CDG_MODE_SLUT) return kModeRefused;
    m_mode = mode;
    for (int i = 0; i < kPrintModeWords; ++i) m_printMode[i] = (info && i < count) ? info[i] : 0;
    return 0;
}

int CCDG::SetHalftoneInfo(int halftoneType, int colorCorrection) {
    if (halftoneType != m_halftoneType || colorCorrection != m_colorCorrection) {
        m_halftoneType = halftoneType;
        m_colorCorrection = colorCorrection;
        // Every result was generated for the old values, the SLUTs included.
        DeleteCalibData();
    }
    return 0;
}

int CCDG::GenerateRasterCalib(const uint8_t* input, int size) {
    if (m_mode == CDG_MODE_SLUT) return kModeRefused;
    m_input = input;
    m_inputSize = size;
    return GenerateCalibData(kRasterCalib);
}

int CCDG::GenerateIMSCalib(const uint8_t* input, int size, unsigned mask, const int32_t* list) {
    if (m_mode == CDG_MODE_SLUT) return kModeRefused;
    m_input = input;
    m_inputSize = size;
    m_mask = mask;
    m_list = list;
    return GenerateCalibData(kImsCalib);
}

int CCDG::GenerateRasterCalibSlut() {
    if (m_mode == CDG_MODE_CALIB) return kModeRefused;
    return GenerateCalibData(kRasterCalibSlut);
}

int CCDG::GenerateIMSCalibSlut() {
    if (m_mode == CDG_MODE_CALIB) return kModeRefused;
    return GenerateCalibData(kImsCalibSlut);
}

int CCDG::GenerateCalibData(Kind kind) {
    Cached& result = m_results[kind];
    if (result.data) return 0;
    result.size = 0;
    const CdgCoreTable& core = m_dll->Bound();
    if (!m_handle) {
        void* handle = nullptr;
        const int32_t r = core.CreateInstance(&handle, &m_services);
        if (r != 0) return ConvertCDGError(r);
        m_handle = handle;
    }
    int32_t r = core.GenerateData(m_handle, kind, m_printMode, m_halftoneType, m_colorCorrection, m_input,
                                  m_inputSize, m_mask, m_list);
    if (r != 0) return ConvertCDGError(r);
    // The core may deliver nothing: no data is size 0, never an unset size.
    void* data = nullptr;
    int32_t size = 0;
    r = core.GetData(m_handle, &data, &size);
    if (r != 0) return ConvertCDGError(r);
    int status = 0;
    if (data && size > 0) {
        void* copy = ovcg::OvfAlloc(static_cast<uint32_t>(size));
        if (copy) {
            ovcg::OvfCopy(copy, data, static_cast<uint32_t>(size));
            result.data = copy;
            result.size = size;
        } else {
            status = -10;
        }
    }
    if (data) core.ReleaseData(m_handle, data);
    return status;
}

const void* CCDG::Result(Kind kind, int32_t* size) const {
    if (size) *size = m_results[kind].size;
    return m_results[kind].data;
}

int CCDG::Option() { return ConvertCDGError(m_dll->Bound().Option(m_handle, 0, 1, 0, 0)); }

void CCDG::DeleteInstance() {
    if (m_handle) {
        m_dll->Bound().DeleteInstance(m_handle);
        m_handle = nullptr;
    }
}

void CCDG::DeleteCalibData() {
    for (Cached& c : m_results) {
        Mem_Free(c.data);
        c.data = nullptr;
        c.size = 0;
    }
}

int CCDG::ConvertCDGError(int32_t code) { return ovcg::OffsetEngineCode(code, -10000); }

// ---------------------------------------------------------------------------
// Factories

namespace ovcg {

std::unique_ptr<ICalibTool> MakeCalibTool() { return std::make_unique<CISVTool>(); }

std::unique_ptr<IBrsSession> MakeBrsSession(const CalibRecord& record, const int32_t* mode, uint32_t pageLength) {
    if (!record.raster_file) return nullptr;
    tagBRSINITSTRUCT init{};
    init.file = record.raster_file;
    if (mode)
        for (int i = 0; i < 5; ++i) init.mode[i] = mode[i];
    init.page_length = pageLength;
    return std::make_unique<CBRS>(&init);
}

std::unique_ptr<ICdgSession> MakeCdgSession(IHxrAdapter* hxr) {
    return std::make_unique<CCDG>(nullptr, hxr ? hxr->Native() : nullptr);
}

}  // namespace ovcg
