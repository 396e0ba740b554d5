// The download allocates nothing: malloc, calloc and realloc (wrapped at link
// time) and operator new are counted during a download with lost replies.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "download/download.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"
#include "tests/support/fake_window.h"

namespace {
bool counting;
uint32_t allocations;

void* counted(void* block)
{
    if (counting) ++allocations;
    return block;
}
}  // namespace

extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* block, size_t size);
void* __wrap_malloc(size_t size) { return counted(__real_malloc(size)); }
void* __wrap_calloc(size_t count, size_t size) { return counted(__real_calloc(count, size)); }
void* __wrap_realloc(void* block, size_t size) { return counted(__real_realloc(block, size)); }
}

static void* allocate(size_t size)
{
    void* block = counted(__real_malloc(size != 0 ? size : 1));
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void* operator new(size_t size) { return allocate(size); }
void* operator new[](size_t size) { return allocate(size); }
void operator delete(void* block) noexcept { free(block); }
void operator delete[](void* block) noexcept { free(block); }
void operator delete(void* block, size_t) noexcept { free(block); }
void operator delete[](void* block, size_t) noexcept { free(block); }

namespace {

TEST(NoAllocation, WholeDownloadAllocatesNothing)
{
    counting = true;
    allocations = 0;
    // The counter sees every kind; volatile, so that none is optimised away.
    int* volatile number = new int(1);
    delete number;
    void* volatile block = realloc(malloc(16), 64);
    free(block);
    void* volatile zeroed = calloc(4, 4);
    free(zeroed);
    EXPECT_EQ(allocations, 4u);

    session_Begin();
    sim_AddTrack(SimTrack{40, 3, 7, 15, 8, 45, 12, 400, 21, true});
    sim_AddTrack(SimTrack{41, 4, 7, 15, 9, 10, 0, 150, 22, false});
    sim_settings.faults.lose_item_reply_ppm = 50000;
    fake_QueueAnswer(ANSWER_NO);
    allocations = 0;
    session_Run();
    counting = false;

    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(seq_state, SEQ_IDLE);
    EXPECT_EQ(expect_DiskMatchesLogger(1), 0b11u);
    session_End();
}

}  // namespace
