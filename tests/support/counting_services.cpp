#include "support/counting_services.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace ovcg_test {

namespace {

struct AllocState {
    std::mutex lock;
    CountingServices* active = nullptr;
    std::map<void*, size_t> live;
    size_t allocations = 0;
    size_t frees = 0;
    size_t bad_frees = 0;
    long fail_after = -1;
};

AllocState& state() {
    static AllocState s;
    return s;
}

void* svc_memcpy(void* d, const void* s, size_t n) { return std::memcpy(d, s, n); }
void* svc_memset(void* d, int v, size_t n) { return std::memset(d, v, n); }
int svc_memcmp(const void* a, const void* b, size_t n) { return std::memcmp(a, b, n); }
char* svc_strcpy(char* d, const char* s) { return std::strcpy(d, s); }
int svc_strcmp(const char* a, const char* b) { return std::strcmp(a, b); }
int svc_strncmp(const char* a, const char* b, size_t n) { return std::strncmp(a, b, n); }
size_t svc_strlen(const char* s) { return std::strlen(s); }
int svc_atoi(const char* s) { return static_cast<int>(std::strtol(s, nullptr, 10)); }

}  // namespace

CountingServices::CountingServices() {
    AllocState& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    if (s.active) throw std::logic_error("one CountingServices at a time");
    s.active = this;
    s.live.clear();
    s.allocations = s.frees = s.bad_frees = 0;
    s.fail_after = -1;
    table_.Alloc = &CountingServices::alloc;
    table_.Free = &CountingServices::release;
    table_.GetResource = &CountingServices::get_resource;
    table_.FreeResource = &CountingServices::free_resource;
    table_.Context = this;
    table_.MemCpy = svc_memcpy;
    table_.MemSet = svc_memset;
    table_.MemCmp = svc_memcmp;
    table_.StrCpy = svc_strcpy;
    table_.StrCmp = svc_strcmp;
    table_.StrNCmp = svc_strncmp;
    table_.StrLen = svc_strlen;
    table_.AtoI = svc_atoi;
}

CountingServices::~CountingServices() {
    for (void* p : fetched_) std::free(p);
    AllocState& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    // Blocks the code under test leaked: release them so a failing test does
    // not also leak under the sanitizers.
    for (auto& [p, n] : s.live) std::free(p);
    s.live.clear();
    s.active = nullptr;
}

size_t CountingServices::allocations() const { return state().allocations; }
size_t CountingServices::frees() const { return state().frees; }
size_t CountingServices::live_blocks() const {
    std::lock_guard<std::mutex> g(state().lock);
    return state().live.size();
}
size_t CountingServices::live_bytes() const {
    std::lock_guard<std::mutex> g(state().lock);
    size_t total = 0;
    for (auto& [p, n] : state().live) total += n;
    return total;
}
size_t CountingServices::bad_frees() const { return state().bad_frees; }
void CountingServices::fail_allocation_after(long n) { state().fail_after = n; }

void* CountingServices::alloc(size_t count, size_t size) {
    if (count == 0 || size == 0) return nullptr;
    if (size > SIZE_MAX / count) return nullptr;
    AllocState& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    if (s.fail_after == 0) return nullptr;
    if (s.fail_after > 0) --s.fail_after;
    void* p = std::calloc(count, size);
    if (!p) return nullptr;
    s.live[p] = count * size;
    ++s.allocations;
    return p;
}

void CountingServices::release(void* block) {
    if (!block) return;
    AllocState& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    auto it = s.live.find(block);
    if (it == s.live.end()) {
        ++s.bad_frees;
        return;
    }
    s.live.erase(it);
    ++s.frees;
    std::free(block);
}

void CountingServices::add_resource(int id, Bytes data) { resources_[id] = std::move(data); }

void CountingServices::add_resources_from(const ResWriter& writer, uint16_t type, int offset) {
    for (const ResRecord& r : writer.records())
        if (r.type == type && r.numeric_type && r.numeric_id) resources_.emplace(int(r.id) - offset, r.data);
}

size_t CountingServices::fetches(int id) const {
    auto it = fetches_.find(id);
    return it == fetches_.end() ? 0 : it->second;
}
int CountingServices::last_kind(int id) const {
    auto it = kinds_.find(id);
    return it == kinds_.end() ? -1 : it->second;
}
size_t CountingServices::live_resources() const { return fetched_.size(); }
size_t CountingServices::bad_resource_frees() const { return bad_resource_frees_; }

void* CountingServices::get_resource(void* context, unsigned int* size, int id, int kind) {
    auto* self = static_cast<CountingServices*>(context);
    if (size) *size = 0;
    if (!self) return nullptr;
    auto it = self->resources_.find(id);
    if (it == self->resources_.end()) return nullptr;
    ++self->fetches_[id];
    self->kinds_[id] = kind;
    // A separate heap buffer of exactly the resource's size, so that a read
    // past its end is caught by the sanitizers.
    void* p = std::malloc(it->second.empty() ? 1 : it->second.size());
    if (!p) return nullptr;
    if (!it->second.empty()) std::memcpy(p, it->second.data(), it->second.size());
    self->fetched_.insert(p);
    if (size) *size = static_cast<unsigned int>(it->second.size());
    return p;
}

int CountingServices::free_resource(void* context, void* data) {
    auto* self = static_cast<CountingServices*>(context);
    if (!self) return -1;
    auto it = self->fetched_.find(data);
    if (it == self->fetched_.end()) {
        ++self->bad_resource_frees_;
        return -1;
    }
    self->fetched_.erase(it);
    std::free(data);
    return 0;
}

}  // namespace ovcg_test
