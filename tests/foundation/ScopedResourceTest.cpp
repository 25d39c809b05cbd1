#include "foundation/ScopedHandle.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

// Stands in for GlobalFree, FreeLibrary and the rest: records what it frees.
std::vector<int*> g_freed;
void RecordFree(int* value) { g_freed.push_back(value); }
using Owner = ScopedResource<int*, RecordFree>;

int g_a, g_b;

TEST(ScopedResource, FreesExactlyWhatItStillOwnsAndMovesLeaveTheSourceEmpty)
{
    const struct {
        const char* step;
        std::function<void(Owner& first, Owner& second)> run;
        std::vector<int*> freed;  // during the step
        int* first;               // what each then holds
        int* second;
    } rows[] = {
        {"reset frees the old one", [](Owner& f, Owner&) { f.reset(&g_b); }, {&g_a}, &g_b, nullptr},
        {"release hands it on unfreed", [](Owner& f, Owner&) { EXPECT_EQ(f.release(), &g_a); }, {}, nullptr, nullptr},
        {"put frees before a call fills it", [](Owner& f, Owner&) { *f.put() = &g_b; }, {&g_a}, &g_b, nullptr},
        {"move construction",
         [](Owner& f, Owner& s) {
             Owner moved(std::move(f));
             s.reset(moved.release());
         },
         {},
         nullptr,
         &g_a},
        {"move assignment frees the target's own",
         [](Owner& f, Owner& s) {
             s.reset(&g_b);
             s = std::move(f);
         },
         {&g_b},
         nullptr,
         &g_a},
        {"self move keeps it", [](Owner& f, Owner&) { f = std::move(*&f); }, {}, &g_a, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.step);
        Owner first(&g_a), second;
        g_freed.clear();
        row.run(first, second);
        EXPECT_EQ(g_freed, row.freed);
        EXPECT_EQ(first.get(), row.first);
        EXPECT_EQ(second.get(), row.second);
        g_freed.clear();
        {
            Owner gone(first.release());
        }
        second.reset();
        std::vector<int*> left;
        if (row.first) left.push_back(row.first);
        if (row.second) left.push_back(row.second);
        EXPECT_EQ(g_freed, left) << "each held one freed once at the end";
    }
}

// The port's close may fail: the owner keeps the handle for another try and
// tries once more as it goes.
int g_refusals = 0;  // how many frees still fail
struct RefusingTraits {
    using Value = int*;
    static int* Empty() { return nullptr; }
    static bool IsEmpty(int* value) { return value == nullptr; }
    static bool Free(int* value)
    {
        if (g_refusals > 0 && g_refusals--) return false;
        RecordFree(value);
        return true;
    }
};

TEST(Owned, AFreeThatFailsKeepsTheResourceForAnotherTry)
{
    g_freed.clear();
    g_refusals = 2;
    {
        Owned<RefusingTraits> owner(&g_a);
        EXPECT_TRUE(!owner.close() && !owner.close() && owner.get() == &g_a && g_freed.empty());
    }
    EXPECT_EQ(g_freed, std::vector<int*>{&g_a}) << "freed as the owner went";
}

}  // namespace
