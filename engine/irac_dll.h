// The job side of the head-control engine: the adapter that binds the
// engine's entry points (CIRACDLL) and the engine's job object (CIRAC), which
// builds the engine's start records and callback table, drives its job and
// pages, maps its codes and makes its copies of resources.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "engine/engine_interfaces.h"
#include "engine/platform.h"
#include "ovcg/irac.h"

class CPlimoBuffer;

// ---------------------------------------------------------------------------
// The engine's entry points as the adapter binds them, in binding order.
struct IracEngineTable {
    uint32_t (*StartJob)(IRAC_INSTANCE_DEF** instance, const IRACS_IDENTIFIER* identifier,
                         const IRACS_PRINTDATA_INFO* printData, const IRACS_OPTION* option, IRACS_VALUE* value,
                         const OVF_COMMON* callbacks);
    void (*EndJob)(IRAC_INSTANCE_DEF* instance);
    uint32_t (*StartPage)(IRAC_INSTANCE_DEF* instance, int32_t leftOffset, const uint8_t* inkCodes);
    uint32_t (*EndPage)(IRAC_INSTANCE_DEF* instance);
    uint32_t (*DrawData)(IRAC_INSTANCE_DEF* instance, const IRACS_RASTERDATA* data);
    void (*AbortJob)(IRAC_INSTANCE_DEF* instance);
    uint32_t (*GetValue)(IRAC_INSTANCE_DEF* instance, int32_t code, void* out);
    uint32_t (*SetValue)(IRAC_INSTANCE_DEF* instance, int32_t code, const void* in);
    uint32_t (*DecompressResource)(const void* packed, uint32_t packedSize, void* dest, uint32_t destSize,
                                   void* reserved, const OVF_COMMON* callbacks);
    uint32_t (*GetResourceDataSize)(const void* packed, uint32_t packedSize, uint32_t* size);
};

// The engine linked into this library. Entries of engine functions that are
// not linked yet are null.
IracEngineTable DefaultIracEngineTable();
bool AllBound(const IracEngineTable& table);

// Throws kBindError (-401) when an entry of the table is empty.
class CIRACDLL : public CBoundDLL<IracEngineTable, -401> {
public:
    explicit CIRACDLL(const char* path, const IracEngineTable& table = DefaultIracEngineTable())
        : CBoundDLL(path, table) {}

    uint32_t IRAC_StartJob(IRAC_INSTANCE_DEF** instance, const IRACS_IDENTIFIER* identifier,
                           const IRACS_PRINTDATA_INFO* printData, const IRACS_OPTION* option, IRACS_VALUE* value,
                           const OVF_COMMON* callbacks) {
        return m_bound.StartJob(instance, identifier, printData, option, value, callbacks);
    }
    void IRAC_EndJob(IRAC_INSTANCE_DEF* instance) { m_bound.EndJob(instance); }
    uint32_t IRAC_StartPage(IRAC_INSTANCE_DEF* instance, int32_t leftOffset, const uint8_t* inkCodes) {
        return m_bound.StartPage(instance, leftOffset, inkCodes);
    }
    uint32_t IRAC_EndPage(IRAC_INSTANCE_DEF* instance) { return m_bound.EndPage(instance); }
    uint32_t IRAC_DrawData(IRAC_INSTANCE_DEF* instance, const IRACS_RASTERDATA* data) {
        return m_bound.DrawData(instance, data);
    }
    void IRAC_AbortJob(IRAC_INSTANCE_DEF* instance) { m_bound.AbortJob(instance); }
    uint32_t IRAC_GetValue(IRAC_INSTANCE_DEF* instance, int32_t code, void* out) {
        return m_bound.GetValue(instance, code, out);
    }
    uint32_t IRAC_SetValue(IRAC_INSTANCE_DEF* instance, int32_t code, const void* in) {
        return m_bound.SetValue(instance, code, in);
    }
    uint32_t IRAC_DecompressResource(const void* packed, uint32_t packedSize, void* dest, uint32_t destSize,
                                     void* reserved, const OVF_COMMON* callbacks) {
        return m_bound.DecompressResource(packed, packedSize, dest, destSize, reserved, callbacks);
    }
    uint32_t IRAC_GetResourceDataSize(const void* packed, uint32_t packedSize, uint32_t* size) {
        return m_bound.GetResourceDataSize(packed, packedSize, size);
    }
};

// ---------------------------------------------------------------------------
// Value codes of the engine that the job object uses.
namespace ovcg::irac_value {
inline constexpr int32_t kLength = 1;             // set: page length in rasters
inline constexpr int32_t kBitLength = 2;          // set: bits per dot (band path)
inline constexpr int32_t kMinimumLength = 6;      // get: shortest page length
inline constexpr int32_t kSwitchingPosition = 7;  // get: IracSwitchingPositions
inline constexpr int32_t kUseHead = 8;            // get: IRACS_USE_HEAD*
}  // namespace ovcg::irac_value

// What the engine writes for the switching-position query: the number of
// positions and a pointer to them (owned by the engine).
struct IracSwitchingPositions {
    int32_t count;
    const uint32_t* positions;
};

// An engine code as the job engine reports it: 0 and below unchanged, e > 0
// becomes -2000 - e (saturated at the smallest 32-bit value).
int32_t ConvertIracError(uint32_t code);

// The start records as the debug export and the engine's byte layout show
// them (little-endian, pointers as 64-bit words, padding zero).
std::array<uint8_t, 16> IracIdentifierBytes(const IRACS_IDENTIFIER& identifier);
std::array<uint8_t, 12> IracPrintDataBytes(const IRACS_PRINTDATA_INFO& printData);
std::array<uint8_t, 24> IracOptionBytes(const IRACS_OPTION& option);

class CIRAC : public CIracResourceHandler {
public:
    static constexpr uint32_t kOpenPageLength = IRAC_OPEN_PAGE_LENGTH;
    static constexpr int kPixelShifts = 32;
    static constexpr int kOrderBytes = 32;
    // Words of the halftoning's switching-position record: count + 5.
    static constexpr int kSwitchingRecordWords = 6;
    // Debug-export identifiers of the three start records.
    static constexpr int32_t kExportIdentifier = 2201;
    static constexpr int32_t kExportPrintData = 2202;
    static constexpr int32_t kExportOption = 2203;

    // Throws -401 without an engine adapter and "Illegal Parameter Exception"
    // without a resolution buffer. Registers itself with init->links.
    explicit CIRAC(const ovcg::tagIRACINITSTRUCT* init);
    virtual ~CIRAC();
    CIRAC(const CIRAC&) = delete;
    CIRAC& operator=(const CIRAC&) = delete;

    int StartJob();
    // Takes the page's output colour order from the halftoner (its non-zero
    // result is returned unchanged), then starts the engine's page.
    int StartPage(ovcg::IHalftoner* halftoner);
    int RasterOut(unsigned int count, unsigned int position, unsigned char** lines, unsigned int width);
    // abort: the engine's job is abandoned and dropped.
    int EndPage(int abort);
    int EndJob();

    // out[0] = count, out[1..count] = the positions; at most capacity words
    // are written (positions beyond capacity - 1 are not taken).
    int GetSwitchingPosition(int* out, int capacity = kSwitchingRecordWords);
    // 0x7FFFFFFF unless the engine tells a minimum.
    int GetMinimumLength(int* out);
    // Tells the engine the page length less the skipped rasters (0 when more
    // is skipped than the page holds).
    int SetSkipLength(int skipped);
    int GetUseHead(IRACS_USE_HEAD** out);

    unsigned int GetPageLength(int lines) const;
    unsigned int GetLeftOffset(unsigned int offset, unsigned int addend) const;
    uint32_t GetPaperSource() const { return m_paperSourceSelector == 1 ? 3u : 1u; }
    // Clears 32 shifts, then reads (length - 3) / 2 two-digit decimal numbers
    // from character 3 on (at most 32); stops at the first pair that is not
    // two digits.
    static void SetPixelShift(signed char* out, const char* text);

    // CIracResourceHandler: the engine's heap copy of a fetched resource,
    // unpacked when asked and stored packed. Null (size 0) when the resource
    // is packed but cannot be unpacked; a resource too short to be packed is
    // copied as it is.
    void* GetIracResource(void* data, unsigned int size, unsigned int* outSize, int unpack) override;
    void FreeIracResource(void* resource) override;

    // State, for the engine core and tests.
    IRAC_INSTANCE_DEF* Instance() const { return m_instance; }
    uint32_t LeftOffset() const { return m_leftOffset; }
    uint32_t FirstRaster() const { return m_firstRaster; }
    uint32_t NextRaster() const { return m_nextRaster; }
    uint32_t SkippedRasters() const { return m_skipped; }
    const IRACS_IDENTIFIER& Identifier() const { return m_identifier; }
    const IRACS_PRINTDATA_INFO& PrintData() const { return m_printData; }
    const IRACS_OPTION& Option() const { return m_option; }
    const OVF_COMMON& Callbacks() const { return m_ovf; }
    const signed char* PixelShifts() const { return m_pixelShift; }
    const uint8_t* ColorOrder() const { return m_colorOrder; }
    IRACS_USE_HEAD* UseHead() const { return m_useHead; }
    void* InkInfo() const { return m_inkInfo; }
    void* EnginePtr() const { return m_enginePtr; }

private:
    CIRACDLL* m_dll;
    CPlimoBuffer* m_buffer;
    IRAC_INSTANCE_DEF* m_instance = nullptr;
    uint32_t m_leftOffset = 0;
    uint32_t m_firstRaster = 0xFFFFFFFFu;
    uint32_t m_nextRaster = 0;
    uint32_t m_skipped = 0;
    uint32_t m_leftOffsetAddend;
    uint32_t m_paperSource[4];
    int8_t m_pixelShiftValue;
    IRACS_IDENTIFIER m_identifier{};
    IRACS_PRINTDATA_INFO m_printData{};
    IRACS_OPTION m_option{};
    signed char m_pixelShift[kPixelShifts] = {};
    IRACS_VALUE m_value{};
    OVF_COMMON m_ovf{};
    IRACS_USE_HEAD* m_useHead = nullptr;
    void* m_enginePtr;
    uint32_t m_bitLength;
    uint8_t m_colorOrder[kOrderBytes] = {};
    void* m_inkInfo;
    uint32_t m_paperSourceSelector;
    CRscDLL* m_links;
};
