#include "support/recording_hxr_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace ovcg_test {

struct RecordingHxrEngine::Instance {
    int index;
    _HXR_IMAGE_INFO image;
    _HXR_HALFTONE_INFO halftone;
    _HXR_OPTION_INFO option;
    uint64_t dots[12 * 3];
    std::atomic<int> calls;  // running on it
};

// A call on the instance of `handle` while it runs; clash(): another ran.
class RecordingHxrEngine::OneCall {
public:
    explicit OneCall(void* handle) : inst_(IndexOf(handle) >= 0 ? static_cast<Instance*>(handle) : nullptr) {
        clash_ = inst_ && inst_->calls.fetch_add(1) > 0;
    }
    ~OneCall() {
        if (inst_) inst_->calls.fetch_sub(1);
    }
    OneCall(const OneCall&) = delete;
    OneCall& operator=(const OneCall&) = delete;
    bool clash() const { return clash_; }

private:
    Instance* inst_;
    bool clash_ = false;
};

RecordingHxrEngine* RecordingHxrEngine::current_ = nullptr;

namespace {

// Engine codes of the fake's refusals (the real engine's numbers).
constexpr uint32_t kCreateFailed = 201;

// Plane entries per line of an image colour mode.
unsigned EntriesOf(unsigned mode) {
    if (mode == 3) return 3;
    if (mode == 4) return 4;
    if (mode == 110) return 10;
    if (mode > 100 && mode <= 112) return mode - 100;
    return 0;
}
bool InkPlanes(unsigned mode) { return mode > 100 && mode <= 112; }

uint8_t Sample(const void* plane, const _HXR_IMAGE_INFO& image, size_t index) {
    const auto* p = static_cast<const uint8_t*>(plane);
    const size_t at = index * image.pixelOffset * (image.sampleBytes == 2 ? 2u : 1u);
    if (image.sampleBytes != 2) return p[at];
    uint16_t v;
    std::memcpy(&v, p + at, 2);
    return static_cast<uint8_t>(v >> 8);
}

// The blob lengths the engine trusts.
size_t PrinterIdLength(const unsigned char* b) {
    if (b[0] == 0x20) return size_t{b[1]} + 2;
    if (b[0] == 0x30) return size_t{b[1]} + 256u * b[2] + 3;
    return 0;
}
size_t CalibrationLength(const unsigned char* b) {
    return size_t{b[0]} | size_t{b[1]} << 8 | size_t{b[2]} << 16 | size_t{b[3]} << 24;
}

}  // namespace

RecordingHxrEngine::RecordingHxrEngine() {
    EXPECT_EQ(current_, nullptr) << "one recording halftone engine at a time";
    current_ = this;
}

RecordingHxrEngine::~RecordingHxrEngine() {
    for (auto& [index, instance] : instances_) delete instance;
    current_ = nullptr;
}

HxrEngineTable RecordingHxrEngine::Table() const {
    return HxrEngineTable{&GetDefaultValue,   &GetOutputColorOrderRough, &CreateInstance,      &DeleteInstance,
                          &SetBRSFunc,        &StartPage,                &Halftone,            &ConvertColor,
                          &EndPage,           &GetOutputColorOrder,      &GetOutputBufferSize, &GetDotCount,
                          &GetSlut,           &ResetSwitchingPos,       nullptr};
}

void RecordingHxrEngine::FailTimes(HxrCall kind, int times, uint32_t code) {
    std::lock_guard<std::mutex> lock(mutex_);
    fail_times_[kind] = {times, code};
}

void RecordingHxrEngine::SetFailHook(std::function<uint32_t(const HxrCallRecord&)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    fail_hook_ = std::move(hook);
}

std::vector<HxrCallRecord> RecordingHxrEngine::Calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

std::vector<HxrCallRecord> RecordingHxrEngine::CallsOf(HxrCall kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<HxrCallRecord> out;
    for (const HxrCallRecord& c : calls_)
        if (c.kind == kind) out.push_back(c);
    return out;
}

void RecordingHxrEngine::ClearCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
}

int RecordingHxrEngine::LiveInstances() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(instances_.size());
}

std::vector<uint64_t> RecordingHxrEngine::DotCounts(int instance) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = instances_.find(instance);
    if (it == instances_.end()) return {};
    return std::vector<uint64_t>(std::begin(it->second->dots), std::end(it->second->dots));
}

uint32_t RecordingHxrEngine::Fail(const HxrCallRecord& r) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = fail_times_.find(r.kind);
    if (it != fail_times_.end() && it->second.first > 0) {
        --it->second.first;
        return it->second.second;
    }
    return fail_hook_ ? fail_hook_(r) : 0u;
}

void RecordingHxrEngine::Delay(int instance) {
    uint64_t us = 0;
    if (config.max_delay_us > 0) {
        // splitmix64 of a call counter: a different delay for every call.
        uint64_t z = (delays_.fetch_add(1) + 1) * 0x9E3779B97F4A7C15u;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        us = (z ^ (z >> 31)) % (uint64_t{config.max_delay_us} + 1);
    }
    if (instance >= 0 && instance == config.slow_instance) us += config.slow_delay_us;
    if (us > 0) std::this_thread::sleep_for(std::chrono::microseconds(us));
}

void RecordingHxrEngine::Record(HxrCallRecord r) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(r));
}

int RecordingHxrEngine::IndexOf(void* handle) {
    if (!handle || !current_) return -1;
    std::lock_guard<std::mutex> lock(current_->mutex_);
    for (auto& [index, instance] : current_->instances_)
        if (instance == handle) return index;
    return -1;
}

void RecordingHxrEngine::ReadLines(HxrCallRecord& r, const _HXR_IMAGE_INFO& image, const void** planes,
                                   unsigned entries, const unsigned char** attributes) {
    if (!planes) return;
    for (int j = 0; j < r.lines; ++j) {
        for (unsigned m = 0; m < entries; ++m) {
            const void* p = planes[static_cast<size_t>(j) * entries + m];
            r.plane_pointers.push_back(p);
            std::vector<uint8_t> samples(p && r.pixels > 0 ? static_cast<size_t>(r.pixels) : 0);
            for (size_t x = 0; x < samples.size(); ++x)
                samples[x] = Sample(p, image, static_cast<size_t>(r.x_offset) + x);
            r.planes.push_back(std::move(samples));
        }
        if (attributes) r.attribute_pointers.push_back(attributes[j]);
    }
}

// ---------------------------------------------------------------------------
// Entries

uint32_t RecordingHxrEngine::GetDefaultValue(void* option) {
    HxrCallRecord r;
    r.kind = HxrCall::kGetDefaultValue;
    if (!option) r.result = 101;
    if (!r.result) r.result = current_->Fail(r);
    if (!r.result) {
        auto* o = static_cast<_HXR_OPTION_INFO*>(option);
        *o = _HXR_OPTION_INFO{};
        o->tone[0] = -1;
        o->tone[9] = 220;
        for (unsigned& v : o->colorValue) v = 1024;
        o->inkSelectionMode = 0;
        o->secondDocType = 0xFFFFFFFFu;
        o->channelMode1 = 0xFFFFFFFFu;
    }
    current_->Record(r);
    return r.result;
}

uint32_t RecordingHxrEngine::GetOutputColorOrderRough(int, signed char* order, const HXRServiceTable*) {
    HxrCallRecord r;
    r.kind = HxrCall::kGetOutputColorOrderRough;
    const uint32_t fail = current_->Fail(r);
    const auto& colours = current_->config.colours;
    uint32_t count = 0;
    if (!fail && order) {
        std::copy(colours.begin(), colours.end(), order);
        count = static_cast<uint32_t>(colours.size());
    }
    r.result = count;
    current_->Record(r);
    return count;
}

uint32_t RecordingHxrEngine::CreateInstance(void** handle, const void* image, const void* halftone,
                                            const void* option, const HXRServiceTable* services, int flags) {
    HxrCallRecord r;
    r.kind = HxrCall::kCreateInstance;
    r.flags = flags;
    if (handle) *handle = nullptr;
    if (!handle || !image || !halftone || !services) {
        r.result = kCreateFailed;
        current_->Record(r);
        return r.result;
    }
    r.image = *static_cast<const _HXR_IMAGE_INFO*>(image);
    r.halftone = *static_cast<const _HXR_HALFTONE_INFO*>(halftone);
    if (option) {
        r.option = *static_cast<const _HXR_OPTION_INFO*>(option);
    } else {
        GetDefaultValue(&r.option);
    }
    // The engine copies the blobs at creation, as long as they say they are.
    if (const unsigned char* id = r.option.printerId) {
        const size_t n = PrinterIdLength(id);
        if (n == 0) r.result = kCreateFailed;
        r.printer_id.assign(id, id + n);
    }
    if (const unsigned char* cal = r.option.calibration) {
        const size_t n = CalibrationLength(cal);
        r.calibration.assign(cal, cal + n);
    }
    if (!r.result) r.result = current_->Fail(r);
    if (!r.result) {
        auto* instance = new Instance{};
        instance->image = r.image;
        instance->halftone = r.halftone;
        instance->option = r.option;
        std::lock_guard<std::mutex> lock(current_->mutex_);
        instance->index = current_->created_++;
        current_->instances_[instance->index] = instance;
        r.instance = instance->index;
        *handle = instance;
    }
    current_->Record(r);
    return r.result;
}

void RecordingHxrEngine::DeleteInstance(void* handle) {
    HxrCallRecord r;
    r.kind = HxrCall::kDeleteInstance;
    r.instance = IndexOf(handle);
    if (r.instance >= 0) {
        std::lock_guard<std::mutex> lock(current_->mutex_);
        delete current_->instances_[r.instance];
        current_->instances_.erase(r.instance);
    }
    current_->Record(r);
}

uint32_t RecordingHxrEngine::SetBRSFunc(void* handle, const void* brs) {
    HxrCallRecord r;
    r.kind = HxrCall::kSetBRSFunc;
    r.instance = IndexOf(handle);
    if (brs) {
        const void* words[2];
        std::memcpy(words, brs, sizeof words);
        r.brs_function = words[0];
        r.brs_context = words[1];
    }
    r.result = r.instance < 0 ? 301u : current_->Fail(r);
    current_->Record(r);
    return r.result;
}

uint32_t RecordingHxrEngine::PageCall(HxrCall kind, void* handle, uint32_t refusal, const int* switching) {
    HxrCallRecord r;
    r.kind = kind;
    r.instance = IndexOf(handle);
    if (switching) r.switching.assign(switching, switching + 6);
    const OneCall one(handle);
    r.result = r.instance < 0 ? refusal : one.clash() ? kBusyInstance : current_->Fail(r);
    // A reset takes as long as a band call: calls begun meanwhile clash.
    if (kind == HxrCall::kResetSwitchingPos && !r.result) current_->Delay(r.instance);
    current_->Record(r);
    return r.result;
}

uint32_t RecordingHxrEngine::StartPage(void* handle, const int* switching) {
    return PageCall(HxrCall::kStartPage, handle, 601, switching);
}

uint32_t RecordingHxrEngine::ResetSwitchingPos(void* handle, const int* switching) {
    return PageCall(HxrCall::kResetSwitchingPos, handle, 501, switching);
}

uint32_t RecordingHxrEngine::EndPage(void* handle) { return PageCall(HxrCall::kEndPage, handle, 901, nullptr); }

// What a band call reads: whether a line is white at a pixel and whether
// colour k prints there (ink planes: plane k; other input: every colour).
struct RecordingHxrEngine::BandInput {
    const _HXR_IMAGE_INFO& image;
    const void** planes;
    unsigned entries;
    int x_offset;

    bool NotWhite(int line, int x) const {
        const size_t at = static_cast<size_t>(x_offset + x);
        for (unsigned m = 0; m < entries; ++m) {
            const void* p = planes[static_cast<size_t>(line) * entries + m];
            if (!p) continue;
            const uint8_t v = Sample(p, image, at);
            if (image.colorMode == 3 ? v != 255 : v != 0) return true;
        }
        return false;
    }
    bool Inked(int line, unsigned k, int x) const {
        if (!InkPlanes(image.colorMode)) return NotWhite(line, x);
        const void* p = k < entries ? planes[static_cast<size_t>(line) * entries + k] : nullptr;
        return p && Sample(p, image, static_cast<size_t>(x_offset + x)) != 0;
    }
};

RecordingHxrEngine::Instance* RecordingHxrEngine::BeginBandCall(HxrCallRecord& r, void* handle,
                                                                unsigned char** out, const void** planes,
                                                                const unsigned char** attributes,
                                                                unsigned outEntries, uint32_t refusal, bool clash) {
    RecordingHxrEngine* e = current_;
    r.instance = IndexOf(handle);
    Instance* inst = nullptr;
    if (r.instance >= 0) {
        std::lock_guard<std::mutex> lock(e->mutex_);
        inst = e->instances_[r.instance];
    }
    if (!inst || !out || !planes || r.lines < 1 || r.pixels < 0 || clash) {
        r.result = clash ? kBusyInstance : refusal;
        e->Record(r);
        return nullptr;
    }
    e->Delay(r.instance);
    ReadLines(r, inst->image, planes, EntriesOf(inst->image.colorMode), attributes);
    for (unsigned i = 0; i < outEntries; ++i) r.out_rows.push_back(out[i]);
    r.result = e->Fail(r);
    if (r.result) {
        e->Record(r);
        return nullptr;
    }
    return inst;
}

uint32_t RecordingHxrEngine::Halftone(void* handle, unsigned char** out, int* anyDot, const void** planes,
                                      const unsigned char** attributes, int pixels, int xOffset, int lines,
                                      int firstRow) {
    RecordingHxrEngine* e = current_;
    HxrCallRecord r;
    r.kind = HxrCall::kHalftone;
    r.pixels = pixels, r.x_offset = xOffset, r.lines = lines, r.first_row = firstRow;
    const unsigned colours = static_cast<unsigned>(e->config.colours.size());
    const unsigned perRow = std::max(1u, e->config.lines_per_row);
    const unsigned rows = (static_cast<unsigned>(std::max(lines, 0)) + perRow - 1) / perRow;
    const OneCall one(handle);
    Instance* inst = BeginBandCall(r, handle, out, planes, attributes, rows * colours, 701, one.clash());
    if (!inst) return r.result;
    const BandInput in{inst->image, planes, EntriesOf(inst->image.colorMode), xOffset};
    for (int j = 0; j < lines && !r.any_dot; ++j)
        for (int x = 0; x < pixels; ++x)
            if (in.NotWhite(j, x)) {
                r.any_dot = 1;
                break;
            }
    const unsigned bits = inst->halftone.outputBits == 1 ? 1u : 2u;
    const unsigned levels = (1u << bits) - 1;
    for (unsigned row = 0; row < rows; ++row) {
        const int number = firstRow / static_cast<int>(perRow) + static_cast<int>(row);
        for (unsigned k = 0; k < colours; ++k) {
            unsigned char* q = out[row * colours + k];
            if (!q) continue;
            for (int x = 0; x < pixels; ++x) {
                bool dot = false;
                for (unsigned j = row * perRow; j < std::min<unsigned>((row + 1) * perRow, lines); ++j)
                    dot = dot || in.Inked(static_cast<int>(j), k, x);
                const unsigned column = static_cast<unsigned>(xOffset + x);
                const unsigned value = dot ? 1 + (column + static_cast<unsigned>(number) + k) % levels : 0;
                const unsigned bit = column * bits;
                if (dot && k < 12) {
                    std::lock_guard<std::mutex> lock(e->mutex_);
                    ++inst->dots[k * 3 + value - 1];
                }
                if (bit / 8 >= e->config.row_bytes) continue;
                const unsigned shift = 8 - bits - bit % 8;
                q[bit / 8] = static_cast<unsigned char>((q[bit / 8] & ~(levels << shift)) | value << shift);
            }
        }
    }
    if (anyDot) *anyDot = r.any_dot;
    e->Record(r);
    return 0;
}

uint32_t RecordingHxrEngine::ConvertColor(void* handle, unsigned char** out, int* start, int* length,
                                          const void** planes, const unsigned char** attributes, int pixels,
                                          int xOffset, int lines, int firstRow) {
    RecordingHxrEngine* e = current_;
    HxrCallRecord r;
    r.kind = HxrCall::kConvertColor;
    r.pixels = pixels, r.x_offset = xOffset, r.lines = lines, r.first_row = firstRow;
    const unsigned colours = static_cast<unsigned>(e->config.colours.size());
    const OneCall one(handle);
    Instance* inst = BeginBandCall(r, handle, out, planes, attributes,
                                   static_cast<unsigned>(std::max(lines, 0)) * colours, 801, one.clash());
    if (!inst) return r.result;
    const BandInput in{inst->image, planes, EntriesOf(inst->image.colorMode), xOffset};
    for (int j = 0; j < lines; ++j)
        for (unsigned k = 0; k < colours; ++k)
            if (unsigned char* q = out[static_cast<size_t>(j) * colours + k])
                for (int x = 0; x < pixels; ++x) q[xOffset + x] = in.Inked(j, k, x) ? 255 : 0;
    if (start) *start = xOffset;
    if (length) *length = pixels;
    e->Record(r);
    return 0;
}

uint32_t RecordingHxrEngine::GetOutputColorOrder(void* handle, signed char* order) {
    HxrCallRecord r;
    r.kind = HxrCall::kGetOutputColorOrder;
    r.instance = IndexOf(handle);
    const auto& colours = current_->config.colours;
    uint32_t count = 0;
    if (r.instance >= 0 && order && !current_->Fail(r)) {
        std::copy(colours.begin(), colours.end(), order);
        count = static_cast<uint32_t>(colours.size());
    }
    r.result = count;
    current_->Record(r);
    return count;
}

uint32_t RecordingHxrEngine::GetOutputBufferSize(void* handle, int* sizes) {
    HxrCallRecord r;
    r.kind = HxrCall::kGetOutputBufferSize;
    r.instance = IndexOf(handle);
    r.result = r.instance < 0 || !sizes ? 1001u : current_->Fail(r);
    if (!r.result)
        for (size_t k = 0; k < current_->config.colours.size(); ++k)
            sizes[k] = static_cast<int>(current_->config.row_bytes);
    current_->Record(r);
    return r.result;
}

uint32_t RecordingHxrEngine::GetDotCount(void* handle, unsigned int* counts, int shift) {
    HxrCallRecord r;
    r.kind = HxrCall::kGetDotCount;
    r.instance = IndexOf(handle);
    r.shift = shift;
    if (r.instance < 0 || !counts) r.result = 1201;
    if (!r.result && (shift < 0 || shift > 9)) r.result = 1203;
    if (!r.result) r.result = current_->Fail(r);
    if (!r.result) {
        // Three counts for every output colour, as the engine writes them.
        uint64_t unit = 1;
        for (int i = 0; i < shift; ++i) unit *= 10;
        const std::vector<uint64_t> dots = current_->DotCounts(r.instance);
        const size_t colours = std::min<size_t>(current_->config.colours.size(), 12);
        for (size_t i = 0; i < colours * 3; ++i) {
            const uint64_t v = (dots[i] + unit / 2) / unit;
            counts[i] = v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<unsigned>(v);
            if (v > 0xFFFFFFFFu) r.result = 1204;
        }
    }
    current_->Record(r);
    return r.result;
}

uint32_t RecordingHxrEngine::GetSlut(void* handle, unsigned char** data, int* size) {
    HxrCallRecord r;
    r.kind = HxrCall::kGetSlut;
    r.instance = IndexOf(handle);
    r.result = r.instance < 0 || !data || !size ? 1401u : current_->Fail(r);
    if (!r.result) {
        auto& slut = current_->config.slut;
        *data = slut.empty() ? nullptr : slut.data();
        *size = static_cast<int>(slut.size());
    }
    current_->Record(r);
    return r.result;
}

}  // namespace ovcg_test
