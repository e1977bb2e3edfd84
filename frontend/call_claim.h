// One call at a time. The library keeps process-wide state (the context, the
// installed allocator, the caller's raster pipelines), and any thread may
// make the next call, but never two at once. Every exported function that
// touches that state claims the library for the duration of the call; a
// call made while another call is inside (from another thread, or from a
// callback of the running call such as the output function or a raster
// sink) does not get the claim and is refused without touching anything.
// Code already inside a claimed call uses the unclaimed internals.
//
// The claim is one atomic flag: taking it acquires, dropping it releases, so
// whatever one call wrote is visible to the next, whichever thread makes it.
#pragma once

#include <atomic>

namespace ovcg::frontend {

class CallClaim {
public:
    CallClaim() noexcept : held_(!busy().exchange(true, std::memory_order_acquire)) {}
    ~CallClaim() {
        if (held_) busy().store(false, std::memory_order_release);
    }
    CallClaim(const CallClaim&) = delete;
    CallClaim& operator=(const CallClaim&) = delete;
    explicit operator bool() const { return held_; }

private:
    static std::atomic<bool>& busy();
    bool held_;
};

}  // namespace ovcg::frontend
