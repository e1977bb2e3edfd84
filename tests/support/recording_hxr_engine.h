// A recording fake of the halftone engine, bound through the engine adapter's
// table (CHXRDLL(path, engine.Table())).
//
// Every call is recorded with its arguments; Halftone and ConvertColor also
// record the samples they read from each plane entry. Any call can be made to
// fail on demand. The output is deterministic and row-separable: an output
// row's dots depend only on that row's input lines, its row number and the
// channel, so a serial and a parallel band path compare exactly.
//
// What the fake computes:
//  - a pixel is inked when its input is not white: RGB input (colour mode 3)
//    is white when all three samples are 255; CMYK (4), ten-component (110)
//    and direct ink planes (101..112) when every sample is 0; ink rows of a
//    per-channel instance (100 + N) when the channel's byte is 0;
//  - an output row stands for config.lines_per_row input lines and is inked
//    where any of them is; its row number is first_row / lines_per_row + r;
//  - Halftone writes, for every pixel x of the span and every output colour k
//    whose row pointer is not null, the pixel's dot at column x_offset + x
//    (bits: 1 for output bits 1, else 2; MSB first): 1 + (column + row + k)
//    mod (2^bits - 1) where the pixel is inked, else 0. Like the engine's
//    kernels it replaces exactly the bits of its span, never beyond
//    config.row_bytes bytes;
//    it reports any_dot = 1 exactly when some input line is not white;
//  - ConvertColor writes ink 255 (inked) or 0 into out[line x C + k] at column
//    x_offset + x (C the output colour count), lines_per_row ignored;
//  - the main instance's output rows are out[row x C + k]; a per-channel
//    instance of N channels reads ink rows planes[line x N + m] and writes
//    out[row x N + k].
//
// The band calls (Halftone, ConvertColor) and ResetSwitchingPos can be
// slowed down: each sleeps a random time up to config.max_delay_us, and
// those of config.slow_instance config.slow_delay_us more, so that threads
// calling it interleave in many orders.
//
// The engine's entries have no context for the fake, so one fake is the
// "current" one while it lives; create one per test. Calls may come from
// several threads, one at a time on an instance, as the engine's instances
// require: a band or page call that begins while another runs on its
// instance is refused (kBusyInstance) and recorded.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "engine/hxr_dll.h"
#include "ovcg/hxr.h"

namespace ovcg_test {

enum class HxrCall : uint8_t {
    kGetDefaultValue,
    kGetOutputColorOrderRough,
    kCreateInstance,
    kDeleteInstance,
    kSetBRSFunc,
    kStartPage,
    kHalftone,
    kConvertColor,
    kEndPage,
    kGetOutputColorOrder,
    kGetOutputBufferSize,
    kGetDotCount,
    kGetSlut,
    kResetSwitchingPos,
};

struct HxrCallRecord {
    HxrCall kind{};
    int instance = -1;  // creation index of the handle; -1 for none or unknown
    uint32_t result = 0;
    // CreateInstance
    _HXR_IMAGE_INFO image{};
    _HXR_HALFTONE_INFO halftone{};
    _HXR_OPTION_INFO option{};
    int flags = 0;
    std::vector<uint8_t> printer_id;   // the blob bytes the engine copied
    std::vector<uint8_t> calibration;  // likewise
    // StartPage, ResetSwitchingPos: the six words of the record
    std::vector<int> switching;
    // SetBRSFunc: the hook's two words
    const void* brs_function = nullptr;
    const void* brs_context = nullptr;
    // Halftone, ConvertColor
    int pixels = 0, x_offset = 0, lines = 0, first_row = 0;
    std::vector<const void*> plane_pointers;   // the entries the fake read
    std::vector<std::vector<uint8_t>> planes;  // samples read per entry (pixels each)
    std::vector<const void*> attribute_pointers;  // null list: empty
    std::vector<unsigned char*> out_rows;         // the output entries the fake could write
    int any_dot = 0;
    // GetDotCount
    int shift = 0;
};

class RecordingHxrEngine {
public:
    static constexpr uint32_t kBusyInstance = 8999;

    struct Config {
        std::vector<signed char> colours{0, 1, 2, 3};  // output colour codes
        unsigned lines_per_row = 1;
        unsigned row_bytes = 0;  // writable bytes of an output row (0: no dots)
        // The printer-side halftoning package GetSlut hands out (a level-3
        // job sends it behind its slut record).
        std::vector<uint8_t> slut{'S', 'L', 'U', 'T', 0x00, 0x01, 0x02, 0x03, 0xFC, 0xFD, 0xFE, 0xFF};
        unsigned max_delay_us = 0;
        int slow_instance = -1;
        unsigned slow_delay_us = 0;
    };

    RecordingHxrEngine();
    ~RecordingHxrEngine();
    RecordingHxrEngine(const RecordingHxrEngine&) = delete;
    RecordingHxrEngine& operator=(const RecordingHxrEngine&) = delete;

    HxrEngineTable Table() const;
    Config config;

    // The next `times` calls of the kind fail with `code`.
    void FailTimes(HxrCall kind, int times, uint32_t code);
    // Consulted before every call (after FailTimes): a non-zero answer fails
    // the call with that code.
    void SetFailHook(std::function<uint32_t(const HxrCallRecord&)> hook);

    std::vector<HxrCallRecord> Calls() const;
    std::vector<HxrCallRecord> CallsOf(HxrCall kind) const;
    void ClearCalls();
    int LiveInstances() const;
    // The creation index of an instance (-1: not one of the fake's).
    static int InstanceOf(void* handle) { return IndexOf(handle); }
    // The dot counts of an instance (three dot sizes per colour).
    std::vector<uint64_t> DotCounts(int instance) const;

private:
    struct Instance;
    struct BandInput;
    class OneCall;
    static RecordingHxrEngine* current_;

    // Records a band call's arguments, reads its lines and answers the
    // instance, or records the refusal (a clash: kBusyInstance) or failure
    // and answers null.
    // A call that only records its handle (and switching record): the
    // refusal for an unknown handle, else the on-demand failure.
    static uint32_t PageCall(HxrCall kind, void* handle, uint32_t refusal, const int* switching);
    static Instance* BeginBandCall(HxrCallRecord& r, void* handle, unsigned char** out, const void** planes,
                                   const unsigned char** attributes, unsigned outEntries, uint32_t refusal,
                                   bool clash);

    uint32_t Fail(const HxrCallRecord& r);
    void Delay(int instance);
    void Record(HxrCallRecord r);
    static int IndexOf(void* handle);
    static void ReadLines(HxrCallRecord& r, const _HXR_IMAGE_INFO& image, const void** planes, unsigned entries,
                          const unsigned char** attributes);

    static uint32_t GetDefaultValue(void* option);
    static uint32_t GetOutputColorOrderRough(int inkSet, signed char* order, const HXRServiceTable* services);
    static uint32_t CreateInstance(void** handle, const void* image, const void* halftone, const void* option,
                                   const HXRServiceTable* services, int flags);
    static void DeleteInstance(void* handle);
    static uint32_t SetBRSFunc(void* handle, const void* brs);
    static uint32_t StartPage(void* handle, const int* switching);
    static uint32_t Halftone(void* handle, unsigned char** out, int* anyDot, const void** planes,
                             const unsigned char** attributes, int pixels, int xOffset, int lines, int firstRow);
    static uint32_t ConvertColor(void* handle, unsigned char** out, int* start, int* length, const void** planes,
                                 const unsigned char** attributes, int pixels, int xOffset, int lines,
                                 int firstRow);
    static uint32_t EndPage(void* handle);
    static uint32_t GetOutputColorOrder(void* handle, signed char* order);
    static uint32_t GetOutputBufferSize(void* handle, int* sizes);
    static uint32_t GetDotCount(void* handle, unsigned int* counts, int shift);
    static uint32_t GetSlut(void* handle, unsigned char** data, int* size);
    static uint32_t ResetSwitchingPos(void* handle, const int* switching);

    mutable std::mutex mutex_;
    std::vector<HxrCallRecord> calls_;
    std::map<HxrCall, std::pair<int, uint32_t>> fail_times_;
    std::function<uint32_t(const HxrCallRecord&)> fail_hook_;
    std::map<int, Instance*> instances_;
    int created_ = 0;
    std::atomic<uint64_t> delays_{0};
};

}  // namespace ovcg_test
