#include "halftoning/ht_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace {

using namespace ovcg;

struct Worker {
    std::atomic<int>* finished;
    int index;
    int order = -1;
};

void Finish(void* p) {
    auto* w = static_cast<Worker*>(p);
    ht_sleep(w->index % 3);
    w->order = (*w->finished)++;
}

TEST(HtThreadTest, ArgumentChecks) {
    CTHREAD_STRUCT_tag records[17] = {};
    const struct {
        CTHREAD_STRUCT_tag* list;
        int count;
        int want;
    } cases[] = {{records, 0, -10}, {records, 17, -10}, {records, -1, -10}, {nullptr, 1, -10},
                 {records, 1, 0},   {records, 16, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(ht_wait_multi_thread(c.list, c.count), c.want) << c.count;
        EXPECT_EQ(ht_close_handle(c.list, c.count), c.want) << c.count;
    }
    EXPECT_EQ(ht_begin_thread(nullptr), -10);
    EXPECT_EQ(ht_begin_thread(&records[0]), -10);  // no function
    EXPECT_EQ(ht_init_event(nullptr), -10);
    EXPECT_EQ(ht_set_event(nullptr), -10);
    EXPECT_EQ(ht_reset_event(nullptr), -10);
    EXPECT_EQ(ht_wait_single_thread(nullptr), -10);
    EXPECT_EQ(ht_cs_init(nullptr), 0);
    EXPECT_EQ(ht_cs_enter(nullptr), 1);
    ht_cs_leave(nullptr);
    ht_cs_delete(nullptr);
}

TEST(HtThreadTest, SixteenThreadsRunAndAreJoined) {
    std::atomic<int> finished{0};
    std::vector<Worker> workers(16);
    CTHREAD_STRUCT_tag records[16] = {};
    for (int i = 0; i < 16; ++i) {
        workers[static_cast<size_t>(i)] = Worker{&finished, i};
        records[i].function = &Finish;
        records[i].argument = &workers[static_cast<size_t>(i)];
        records[i].status = 99;
        ASSERT_EQ(ht_begin_thread(&records[i]), 0);
        EXPECT_EQ(records[i].status, 0u);
    }
    // Seventeen is refused and joins nothing; the sixteen are still running
    // or done, and a valid call joins them all.
    EXPECT_EQ(ht_wait_multi_thread(records, 17), -10);
    EXPECT_EQ(ht_wait_multi_thread(records, 16), 0);
    EXPECT_EQ(finished.load(), 16);
    std::vector<bool> seen(16);
    for (const Worker& w : workers) {
        ASSERT_GE(w.order, 0);
        seen[static_cast<size_t>(w.order)] = true;
    }
    for (bool s : seen) EXPECT_TRUE(s);
    // Joined records are not joined twice.
    EXPECT_EQ(ht_wait_multi_thread(records, 16), 0);
    EXPECT_EQ(ht_close_handle(records, 16), 0);
}

struct EventUser {
    CTHREAD_STRUCT_tag* record;
    pthread_mutex_t* cs;
    int* counter;
    bool woke = false;
};

void WaitThenCount(void* p) {
    auto* u = static_cast<EventUser*>(p);
    ht_wait_single_thread(&u->record->event);
    u->woke = true;
    for (int i = 0; i < 1000; ++i) {
        ht_cs_enter(u->cs);
        ++*u->counter;
        ht_cs_leave(u->cs);
    }
}

TEST(HtThreadTest, EventsAndCriticalSections) {
    CTHREAD_STRUCT_tag gate{};
    ASSERT_EQ(ht_init_event(&gate), 0);
    EXPECT_EQ(gate.event.flag, 0u);
    pthread_mutex_t cs;
    ASSERT_EQ(ht_cs_init(&cs), 1);
    int counter = 0;
    EventUser users[4];
    CTHREAD_STRUCT_tag records[4] = {};
    for (int i = 0; i < 4; ++i) {
        users[i] = EventUser{&gate, &cs, &counter};
        records[i].function = &WaitThenCount;
        records[i].argument = &users[i];
        ASSERT_EQ(ht_begin_thread(&records[i]), 0);
    }
    ht_sleep(5);
    for (const EventUser& u : users) EXPECT_FALSE(u.woke);
    EXPECT_EQ(ht_set_event(&gate), 0);
    EXPECT_EQ(gate.event.flag, 1u);
    EXPECT_EQ(ht_wait_multi_thread(records, 4), 0);
    for (const EventUser& u : users) EXPECT_TRUE(u.woke);
    EXPECT_EQ(counter, 4000);
    EXPECT_EQ(ht_reset_event(&gate), 0);
    EXPECT_EQ(gate.event.flag, 0u);
    ht_cs_delete(&cs);
    pthread_mutex_destroy(&gate.event.mutex);
    pthread_cond_destroy(&gate.event.cond);
}

}  // namespace
