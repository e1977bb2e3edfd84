// A thin thread layer over POSIX threads for the band pipeline's parallel
// path: thread records started and joined in arrays of at most 16, critical
// sections, events and a millisecond sleep.
//
// Errors: the thread functions answer 0 or -10 (a null or out-of-range
// argument, a thread that cannot be started). A record must stay in place
// from ht_begin_thread until it has been joined by ht_wait_multi_thread.
// The engine's debug log keeps its own standard mutex and does not use this
// layer.
#pragma once

#include <pthread.h>

#include <cstdint>

namespace ovcg {

inline constexpr int kHtThreadFailure = -10;
inline constexpr int kHtMaxThreads = 16;

// The event part of a thread record.
struct CEVENT {
    uint32_t flag;
    pthread_mutex_t mutex;
    pthread_cond_t cond;
};

struct CTHREAD_STRUCT_tag {
    pthread_t thread;
    void (*function)(void* argument);
    void* argument;
    CEVENT event;
    uint32_t status;   // 0 once the thread has started
    uint32_t running;  // 1 from a successful start until the join
};

// Starts a thread that calls record->function(record->argument). -10 for a
// null record or function, or when the thread cannot be created; 0 and the
// status 0 on success.
int ht_begin_thread(CTHREAD_STRUCT_tag* record);
// Joins the started threads of records 0 .. count - 1, in order (records
// never started are passed over). -10 unless 1 <= count <= 16 and records is
// given; then nothing is joined.
int ht_wait_multi_thread(CTHREAD_STRUCT_tag* records, int count);
// The same validation as ht_wait_multi_thread; releases nothing.
int ht_close_handle(CTHREAD_STRUCT_tag* records, int count);

// Waits until the event's flag is 1. -10 for a null event.
int ht_wait_single_thread(CEVENT* event);
// Clears the flag and initialises the record's event mutex and condition.
int ht_init_event(CTHREAD_STRUCT_tag* record);
// Sets the flag to 1 under the event mutex and wakes the waiters.
int ht_set_event(CTHREAD_STRUCT_tag* record);
// Clears the flag under the event mutex.
int ht_reset_event(CTHREAD_STRUCT_tag* record);

// 0 for a null mutex; else zeroes and initialises it (default attributes), 1.
int ht_cs_init(pthread_mutex_t* mutex);
// Destroys the mutex; null is ignored.
void ht_cs_delete(pthread_mutex_t* mutex);
// Lock and unlock; nothing for a null mutex. ht_cs_enter answers 1.
int ht_cs_enter(pthread_mutex_t* mutex);
void ht_cs_leave(pthread_mutex_t* mutex);

// Sleeps `milliseconds` ms (nothing for 0 or less).
void ht_sleep(int milliseconds);

}  // namespace ovcg
