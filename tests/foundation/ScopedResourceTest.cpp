#include "foundation/ScopedHandle.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Stands in for GlobalFree, FreeLibrary and the rest: records what it frees by its letter.
std::string g_freed;
void RecordFree(char* value) { g_freed += *value; }
using Owner = ScopedResource<char*, RecordFree>;
char g_a = 'a', g_b = 'b', g_c = 'c';

// A module or a global block freed twice crashes: each owner frees what it
// still holds exactly once, and a move or a release leaves the source empty.
TEST(ScopedResource, FreesWhatItHoldsOnceAndMovesAndReleasesLeaveTheSourceEmpty)
{
    g_freed.clear();
    {
        Owner first(&g_a), second;
        *first.put() = &g_b;  // frees a before a call fills it
        second = std::move(first);
        second = std::move(*&second);  // a self move keeps it
        Owner third(std::move(second));
        EXPECT_TRUE(!first && !second && third.get() == &g_b && g_freed == "a") << g_freed;
        EXPECT_EQ(third.release(), &g_b);  // handed on unfreed
        first.reset(&g_c);
    }
    EXPECT_EQ(g_freed, "ac") << "only what was still held, as the owners went";
}

}  // namespace
