// A host service table for halftone-engine tests: it counts every block the
// engine allocates and frees, serves resources from memory and counts their
// fetches, and can make an allocation fail on purpose.
#pragma once

#include "ovcg/hxr.h"
#include "support/res_writer.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>

namespace ovcg_test {

// One instance at a time (the allocation hooks are plain functions, so the
// counters are process-wide while an instance lives).
class CountingServices {
public:
    CountingServices();
    ~CountingServices();
    CountingServices(const CountingServices&) = delete;
    CountingServices& operator=(const CountingServices&) = delete;

    // The table; Context points at this object.
    HXRServiceTable* table() { return &table_; }

    size_t allocations() const;   // successful allocations so far
    size_t frees() const;         // blocks released
    size_t live_blocks() const;   // allocated and not yet released
    size_t live_bytes() const;
    size_t bad_frees() const;     // releases of a pointer that was never handed out
    // The allocation after `n` more successful ones fails (n < 0: never).
    void fail_allocation_after(long n);

    // Resources served by GetResource, by engine identifier.
    void add_resource(int id, Bytes data);
    // Every record of `type` of a .RES writer, as the host adapter serves
    // them: engine identifier = record identifier - offset.
    void add_resources_from(const ResWriter& writer, uint16_t type = 2000, int offset = 100);
    size_t fetches(int id) const;
    int last_kind(int id) const;
    size_t live_resources() const;  // fetched and not yet released
    size_t bad_resource_frees() const;

private:
    static void* alloc(size_t count, size_t size);
    static void release(void* block);
    static void* get_resource(void* context, unsigned int* size, int id, int kind);
    static int free_resource(void* context, void* data);

    HXRServiceTable table_{};
    std::map<int, Bytes> resources_;
    std::map<int, size_t> fetches_;
    std::map<int, int> kinds_;
    std::set<void*> fetched_;
    size_t bad_resource_frees_ = 0;
};

}  // namespace ovcg_test
