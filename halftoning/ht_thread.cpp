#include "halftoning/ht_thread.h"

#include <unistd.h>

#include <cstring>

namespace ovcg {
namespace {

void* ThreadBody(void* p) {
    auto* record = static_cast<CTHREAD_STRUCT_tag*>(p);
    record->function(record->argument);
    return nullptr;
}

bool ValidList(const CTHREAD_STRUCT_tag* records, int count) {
    return records && count >= 1 && count <= kHtMaxThreads;
}

}  // namespace

int ht_begin_thread(CTHREAD_STRUCT_tag* record) {
    if (!record || !record->function) return kHtThreadFailure;
    record->running = 0;
    if (pthread_create(&record->thread, nullptr, &ThreadBody, record) != 0) return kHtThreadFailure;
    record->status = 0;
    record->running = 1;
    return 0;
}

int ht_wait_multi_thread(CTHREAD_STRUCT_tag* records, int count) {
    if (!ValidList(records, count)) return kHtThreadFailure;
    for (int i = 0; i < count; ++i) {
        if (records[i].running != 1) continue;
        pthread_join(records[i].thread, nullptr);
        records[i].running = 0;
    }
    return 0;
}

int ht_close_handle(CTHREAD_STRUCT_tag* records, int count) {
    return ValidList(records, count) ? 0 : kHtThreadFailure;
}

int ht_wait_single_thread(CEVENT* event) {
    if (!event) return kHtThreadFailure;
    pthread_mutex_lock(&event->mutex);
    while (event->flag != 1) pthread_cond_wait(&event->cond, &event->mutex);
    pthread_mutex_unlock(&event->mutex);
    return 0;
}

int ht_init_event(CTHREAD_STRUCT_tag* record) {
    if (!record) return kHtThreadFailure;
    record->event.flag = 0;
    if (pthread_mutex_init(&record->event.mutex, nullptr) != 0) return kHtThreadFailure;
    if (pthread_cond_init(&record->event.cond, nullptr) != 0) {
        pthread_mutex_destroy(&record->event.mutex);
        return kHtThreadFailure;
    }
    return 0;
}

int ht_set_event(CTHREAD_STRUCT_tag* record) {
    if (!record) return kHtThreadFailure;
    pthread_mutex_lock(&record->event.mutex);
    record->event.flag = 1;
    pthread_cond_broadcast(&record->event.cond);
    pthread_mutex_unlock(&record->event.mutex);
    return 0;
}

int ht_reset_event(CTHREAD_STRUCT_tag* record) {
    if (!record) return kHtThreadFailure;
    pthread_mutex_lock(&record->event.mutex);
    record->event.flag = 0;
    pthread_mutex_unlock(&record->event.mutex);
    return 0;
}

int ht_cs_init(pthread_mutex_t* mutex) {
    if (!mutex) return 0;
    std::memset(static_cast<void*>(mutex), 0, sizeof *mutex);
    return pthread_mutex_init(mutex, nullptr) == 0 ? 1 : 0;
}

void ht_cs_delete(pthread_mutex_t* mutex) {
    if (mutex) pthread_mutex_destroy(mutex);
}

int ht_cs_enter(pthread_mutex_t* mutex) {
    if (mutex) pthread_mutex_lock(mutex);
    return 1;
}

void ht_cs_leave(pthread_mutex_t* mutex) {
    if (mutex) pthread_mutex_unlock(mutex);
}

void ht_sleep(int milliseconds) {
    if (milliseconds > 0) usleep(static_cast<useconds_t>(milliseconds) * 1000u);
}

}  // namespace ovcg
