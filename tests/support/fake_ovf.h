// A fake platform for the head-control engine: an OVF_COMMON whose callbacks
// record what the engine does with them.
//
// Allocations are counted and tracked (a leak or a double free shows in
// live_blocks() / bad_frees()), can be made to fail from the n-th call on,
// and hand out memory filled with 0xCD so that code relying on zeroed blocks
// is caught. Sends are captured piece by piece with their flags and can be
// made to fail; resources are served by kind from a map, each fetch a fresh
// copy that must come back through free-resource.
//
// The callbacks have no context argument for memory, so one FakeOvf is the
// "current" one while it lives; create one per test.
#pragma once

#include "ovcg/irac.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace ovcg_test {

struct SentPiece {
    std::vector<uint8_t> bytes;
    int flag;
};

class FakeOvf {
public:
    FakeOvf();
    ~FakeOvf();
    FakeOvf(const FakeOvf&) = delete;
    FakeOvf& operator=(const FakeOvf&) = delete;

    // The table, every word filled (debug log included), contexts pointing here.
    const OVF_COMMON& table() const { return table_; }
    OVF_COMMON& table() { return table_; }

    // Memory.
    void fail_alloc_from(size_t nth) { fail_from_ = nth; }  // 1-based; 0 never fails
    size_t alloc_calls() const { return alloc_calls_; }
    size_t live_blocks() const { return blocks_.size(); }
    size_t bad_frees() const { return bad_frees_; }
    size_t largest_alloc() const { return largest_; }

    // Output.
    void fail_send_from(size_t nth) { send_fail_from_ = nth; }  // 1-based; 0 never fails
    const std::vector<SentPiece>& sent() const { return sent_; }
    std::vector<uint8_t> sent_bytes() const;

    // Resources.
    void set_resource(int kind, std::vector<uint8_t> bytes) { resources_[kind] = std::move(bytes); }
    size_t resources_out() const { return resources_out_.size(); }
    size_t resource_fetches() const { return fetches_; }
    size_t bad_resource_frees() const { return bad_resource_frees_; }

private:
    static FakeOvf* current_;
    static void* alloc(uint32_t size);
    static void* realloc(void* block, uint32_t size);
    static void free(void* block);
    static void* copy(void* dst, const void* src, uint32_t count);
    static void* move(void* dst, const void* src, uint32_t count);
    static void* fill(void* dst, int value, uint32_t count);
    static int lead_zero(const void* bytes, int count);
    static int trail_zero(const void* bytes, int count);
    static int send(void* context, const void* bytes, uint32_t length, int flag);
    static void* get_resource(void* context, int kind, uint32_t* size);
    static void free_resource(void* context, void* resource);
    static void debug_log(const char* format, ...);

    OVF_COMMON table_{};
    std::map<void*, size_t> blocks_;
    size_t alloc_calls_ = 0;
    size_t fail_from_ = 0;
    size_t bad_frees_ = 0;
    size_t largest_ = 0;
    std::vector<SentPiece> sent_;
    size_t send_fail_from_ = 0;
    std::map<int, std::vector<uint8_t>> resources_;
    std::map<void*, size_t> resources_out_;
    size_t fetches_ = 0;
    size_t bad_resource_frees_ = 0;
};

}  // namespace ovcg_test
