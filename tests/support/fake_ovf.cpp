#include "support/fake_ovf.h"

#include <cstdlib>
#include <cstring>

namespace ovcg_test {

FakeOvf* FakeOvf::current_ = nullptr;

FakeOvf::FakeOvf() {
    current_ = this;
    table_.alloc = &FakeOvf::alloc;
    table_.realloc = &FakeOvf::realloc;
    table_.free = &FakeOvf::free;
    table_.copy = &FakeOvf::copy;
    table_.move = &FakeOvf::move;
    table_.fill = &FakeOvf::fill;
    table_.lead_zero_search = &FakeOvf::lead_zero;
    table_.trail_zero_search = &FakeOvf::trail_zero;
    table_.send_data = &FakeOvf::send;
    table_.send_context = this;
    table_.get_resource = &FakeOvf::get_resource;
    table_.resource_context = this;
    table_.free_resource = &FakeOvf::free_resource;
    table_.debug_log = &FakeOvf::debug_log;
    table_.resource_context2 = this;
}

FakeOvf::~FakeOvf() {
    for (auto& b : blocks_) std::free(b.first);
    for (auto& r : resources_out_) std::free(r.first);
    if (current_ == this) current_ = nullptr;
}

std::vector<uint8_t> FakeOvf::sent_bytes() const {
    std::vector<uint8_t> all;
    for (const auto& p : sent_) all.insert(all.end(), p.bytes.begin(), p.bytes.end());
    return all;
}

void* FakeOvf::alloc(uint32_t size) {
    FakeOvf* f = current_;
    ++f->alloc_calls_;
    if (f->fail_from_ && f->alloc_calls_ >= f->fail_from_) return nullptr;
    if (size == 0) return nullptr;
    void* p = std::malloc(size);
    if (!p) return nullptr;
    std::memset(p, 0xCD, size);
    f->blocks_[p] = size;
    if (size > f->largest_) f->largest_ = size;
    return p;
}

void* FakeOvf::realloc(void* block, uint32_t size) {
    FakeOvf* f = current_;
    if (!block) return alloc(size);
    auto it = f->blocks_.find(block);
    if (it == f->blocks_.end()) {
        ++f->bad_frees_;
        return nullptr;
    }
    if (size == 0) return nullptr;
    ++f->alloc_calls_;
    if (f->fail_from_ && f->alloc_calls_ >= f->fail_from_) return nullptr;
    void* p = std::malloc(size);
    if (!p) return nullptr;
    std::memset(p, 0xCD, size);
    std::memcpy(p, block, it->second < size ? it->second : size);
    std::free(block);
    f->blocks_.erase(it);
    f->blocks_[p] = size;
    return p;
}

void FakeOvf::free(void* block) {
    FakeOvf* f = current_;
    if (!block) return;
    auto it = f->blocks_.find(block);
    if (it == f->blocks_.end()) {
        ++f->bad_frees_;
        return;
    }
    std::free(block);
    f->blocks_.erase(it);
}

void* FakeOvf::copy(void* dst, const void* src, uint32_t count) {
    if (count) std::memcpy(dst, src, count);
    return dst;
}

void* FakeOvf::move(void* dst, const void* src, uint32_t count) {
    if (count) std::memmove(dst, src, count);
    return dst;
}

void* FakeOvf::fill(void* dst, int value, uint32_t count) {
    if (count) std::memset(dst, value & 0xFF, count);
    return dst;
}

int FakeOvf::lead_zero(const void* bytes, int count) {
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    int i = 0;
    while (i < count && p[i] == 0) ++i;
    return i;
}

int FakeOvf::trail_zero(const void* bytes, int count) {
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    int i = 0;
    while (i < count && p[count - 1 - i] == 0) ++i;
    return i;
}

int FakeOvf::send(void* context, const void* bytes, uint32_t length, int flag) {
    FakeOvf* f = static_cast<FakeOvf*>(context);
    SentPiece piece;
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    piece.bytes.assign(p, p + length);
    piece.flag = flag;
    f->sent_.push_back(std::move(piece));
    if (f->send_fail_from_ && f->sent_.size() >= f->send_fail_from_) return 0;
    return 1;
}

void* FakeOvf::get_resource(void* context, int kind, uint32_t* size) {
    FakeOvf* f = static_cast<FakeOvf*>(context);
    ++f->fetches_;
    if (size) *size = 0;
    auto it = f->resources_.find(kind);
    if (it == f->resources_.end()) return nullptr;
    const size_t n = it->second.size();
    void* p = std::malloc(n ? n : 1);
    if (!p) return nullptr;
    if (n) std::memcpy(p, it->second.data(), n);
    f->resources_out_[p] = n;
    if (size) *size = static_cast<uint32_t>(n);
    return p;
}

void FakeOvf::free_resource(void* context, void* resource) {
    FakeOvf* f = static_cast<FakeOvf*>(context);
    auto it = f->resources_out_.find(resource);
    if (it == f->resources_out_.end()) {
        ++f->bad_resource_frees_;
        return;
    }
    std::free(resource);
    f->resources_out_.erase(it);
}

void FakeOvf::debug_log(const char*, ...) {}

}  // namespace ovcg_test
