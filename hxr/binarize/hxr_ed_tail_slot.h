// The hand-over of a line's second half from the thread that binarises a
// colour to one that helps it. Error diffusion carries from pixel to pixel
// and from line to line, so one colour's lines cannot be spread over threads
// as they are; but a line's second half touches only cells that the next
// line's first half reaches at its very end. So the binarising thread walks
// a long run's first half, posts the second half (the tail) here and goes on
// to the next line; a helper takes the tail and walks it meanwhile. Before
// the next line's walk reaches the cells the tail touches, and before any
// other use of those error lines, the binarising thread joins the tail: it
// waits for the helper, or walks the tail itself if nobody took it. The
// lines come out as the serial walk gives them, whoever walks the tails and
// whenever.
//
// One slot holds one tail at a time. The posting thread owns the slot's
// fields; a helper only takes a posted tail and marks it done. The state's
// release and acquire order the tail's inputs before its walk, and its
// output before the join returns.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

struct HXRHybridEDTailSlot {
    enum : uint32_t { kEmpty, kPosted, kRunning, kDone };
    std::atomic<uint32_t> state{kEmpty};
    void (*run)(void* job) = nullptr;
    void* job = nullptr;
    const void* owner = nullptr;  // the binariser whose error lines the tail walks
};

inline void HXRTailSlotPause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// The poster: the slot must be empty.
inline void HXRPostHybridEDTail(HXRHybridEDTailSlot* s, void (*run)(void*), void* job, const void* owner) {
    s->run = run;
    s->job = job;
    s->owner = owner;
    s->state.store(HXRHybridEDTailSlot::kPosted, std::memory_order_release);
}

// A helper: walks the posted tail, if there is one; true when it did.
inline bool HXRTakeHybridEDTail(HXRHybridEDTailSlot* s) {
    uint32_t expected = HXRHybridEDTailSlot::kPosted;
    if (s->state.load(std::memory_order_relaxed) != expected ||
        !s->state.compare_exchange_strong(expected, HXRHybridEDTailSlot::kRunning, std::memory_order_acquire))
        return false;
    s->run(s->job);
    s->state.store(HXRHybridEDTailSlot::kDone, std::memory_order_release);
    return true;
}

// The poster: returns when the tail is walked (by itself, if no helper has
// taken it) and the slot is empty again.
inline void HXRJoinHybridEDTail(HXRHybridEDTailSlot* s) {
    uint32_t state = s->state.load(std::memory_order_acquire);
    if (state == HXRHybridEDTailSlot::kEmpty) return;
    if (state == HXRHybridEDTailSlot::kPosted &&
        s->state.compare_exchange_strong(state, HXRHybridEDTailSlot::kRunning, std::memory_order_acquire)) {
        s->run(s->job);
    } else {
        // A helper walks it: about as long as the line's first half took.
        for (unsigned spins = 0; s->state.load(std::memory_order_acquire) != HXRHybridEDTailSlot::kDone; ++spins) {
            if (spins < 4096) HXRTailSlotPause();
            else std::this_thread::yield();
        }
    }
    s->state.store(HXRHybridEDTailSlot::kEmpty, std::memory_order_relaxed);
}

// Whether a tail is posted and not yet joined (the poster only).
inline bool HXRHybridEDTailPending(const HXRHybridEDTailSlot* s) {
    return s->state.load(std::memory_order_relaxed) != HXRHybridEDTailSlot::kEmpty;
}
