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
        first.reset(&g_b);    // frees a
        *first.put() = &g_c;  // frees b before a call fills it
        second = std::move(first);
        second = std::move(*&second);  // a self move keeps it
        Owner third(std::move(second));
        EXPECT_TRUE(!first && !second && third.get() == &g_c && g_freed == "ab") << g_freed;
        second.reset(&g_a);
        third = std::move(second);  // frees the target's own
        EXPECT_TRUE(!second && third.get() == &g_a && g_freed == "abc") << g_freed;
        EXPECT_EQ(third.release(), &g_a);  // handed on unfreed
        first.reset(&g_b);
        EXPECT_TRUE(first.close() && !first && g_freed == "abcb") << g_freed;
        second.reset(&g_c);
    }
    EXPECT_EQ(g_freed, "abcbc") << "only what was still held, as the owners went";
}

}  // namespace
