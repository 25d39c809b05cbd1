#include "foundation/DbgLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TempDir.h"

namespace {

std::mutex g_debuggerMutex;
std::vector<std::string> g_debuggerLines;

void CaptureDebugger(const char* text)
{
    std::lock_guard<std::mutex> guard(g_debuggerMutex);
    g_debuggerLines.emplace_back(text);
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string Pattern(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
    return bytes;
}

class DbgLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = DbgSetDebuggerOutput(CaptureDebugger);
        // Leave the stored size limit at 0, as in a fresh process.
        DbgOpen(DBG_TO_FILE, dir_.file("reset.log").c_str(), 0);
        DbgClose();
        std::lock_guard<std::mutex> guard(g_debuggerMutex);
        g_debuggerLines.clear();
    }
    void TearDown() override
    {
        DbgOpen(0, "", 0);
        DbgClose();
        DbgSetDebuggerOutput(previous_);
    }
    std::vector<std::string> debuggerLines()
    {
        std::lock_guard<std::mutex> guard(g_debuggerMutex);
        return g_debuggerLines;
    }

    TempDir dir_;
    DbgDebuggerOutput previous_ = nullptr;
};

TEST_F(DbgLogTest, LinesGoOnlyWhereTheFlagsSay)
{
    const std::string quiet = dir_.file("quiet.log");
    DbgOpen(0, quiet.c_str(), 0);
    DbgPrint("nothing %d", 1);
    DbgClose();
    EXPECT_FALSE(TempDir::Exists(quiet));
    for (const auto& line : debuggerLines()) EXPECT_EQ(line.find("nothing"), std::string::npos);

    // A file that cannot be made leaves the debugger output working.
    const std::string missing = dir_.file("no-such-folder\\deeper\\pellor.log");
    EXPECT_TRUE(DbgOpen(DBG_TO_FILE | DBG_TO_DEBUGGER, missing.c_str(), 4096));
    DbgPrint("still %s", "here");
    EXPECT_FALSE(DbgReset());
    DbgClose();
    EXPECT_FALSE(TempDir::Exists(missing));
    char expected[64];
    snprintf(expected, sizeof expected, "0x%lX: still here\n", GetCurrentThreadId());
    const auto lines = debuggerLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end());
}

TEST_F(DbgLogTest, LineFormatWithAndWithoutTimestamp)
{
    const std::string name = dir_.file("format.log");
    DbgOpen(DBG_TO_FILE, name.c_str(), 0);
    DbgPrint("plain");
    DbgClose();
    DbgOpen(DBG_TO_FILE | DBG_TIMESTAMP, name.c_str(), 0);
    DbgPrint("stamped");
    DbgPrint("%s", "100% done %d %s %n");  // percent signs in an argument stay as they are
    DbgEnter("copy %s", "50%s");
    DbgPrint("%s", std::string(5000, 'x').c_str());
    DbgClose();

    const auto lines = SplitLines(TempDir::ReadAll(name));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex("0x[0-9A-F]+: plain"))) << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(\[[^ \]]+ [^\]]*\d\d:\d\d[^\]]*\] 0x[0-9A-F]+: stamped)")))
        << lines[1];
    EXPECT_NE(lines[2].find(": 100% done %d %s %n"), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find(": +Entered copy 50%s"), std::string::npos) << lines[3];
    EXPECT_EQ(lines[4].substr(lines[4].find(": ") + 2), std::string(1023, 'x'));  // cut to 1023 characters
    EXPECT_EQ(TempDir::ReadAll(name).back(), '\n');
}

TEST_F(DbgLogTest, CloseCutsTheFileToItsNewestBytes)
{
    const std::string name = dir_.file("cut.log");
    const std::string old = Pattern(10 * 1024);
    ASSERT_TRUE(TempDir::WriteAll(name, old));

    DbgOpen(DBG_TO_FILE, name.c_str(), 4096);  // opening cuts with the earlier limit, 0
    DbgClose();
    EXPECT_TRUE(TempDir::ReadAll(name) == old.substr(old.size() - 4096));

    // The next open cuts with the limit stored before it (4096), then keeps the new one.
    ASSERT_TRUE(TempDir::WriteAll(name, old));
    DbgOpen(DBG_TO_FILE, name.c_str(), 100);
    EXPECT_EQ(TempDir::ReadAll(name).size(), 4096u);
    DbgPrint("last line");
    DbgClose();
    const std::string cut = TempDir::ReadAll(name);
    ASSERT_EQ(cut.size(), 100u);
    EXPECT_EQ(cut.substr(cut.size() - 12), ": last line\n");
}

TEST_F(DbgLogTest, OnlyFilesOverTheLimitAreCutEvenAcrossManyChunks)
{
    const struct { size_t size; uint32_t limit; size_t kept; } cases[] = {
        {20000, 0, 20000}, {200000, 70000, 70000}, {3000, 4096, 3000},  // each open cuts with the limit before it
    };
    for (const auto& c : cases) {
        const std::string name = dir_.file("cut" + std::to_string(c.size) + ".log");
        const std::string old = Pattern(c.size);
        ASSERT_TRUE(TempDir::WriteAll(name, old));
        DbgOpen(DBG_TO_FILE, name.c_str(), c.limit);
        DbgClose();
        EXPECT_TRUE(TempDir::ReadAll(name) == old.substr(old.size() - c.kept)) << c.size;
    }
}

TEST_F(DbgLogTest, LinesFromManyThreadsStayWhole)
{
    const std::string name = dir_.file("threads.log");
    DbgOpen(DBG_TO_FILE | DBG_FLUSH, name.c_str(), 0);
    constexpr int kThreads = 8, kLines = 250;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) DbgPrint("thread %d line %d %s", t, i, std::string(200, 'a' + t).c_str());
        });
    for (auto& th : threads) th.join();
    DbgClose();

    const auto lines = SplitLines(TempDir::ReadAll(name));
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    const std::regex whole(R"(0x[0-9A-F]+: thread (\d) line \d+ ([a-h])\2{199})");
    std::vector<int> perThread(kThreads, 0);
    for (const auto& line : lines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, whole)) << line;
        ASSERT_EQ(m[2].str()[0] - 'a', std::stoi(m[1])) << line;
        ++perThread[std::stoi(m[1])];
    }
    for (int count : perThread) EXPECT_EQ(count, kLines);
}

// A settings save closes and reopens the log while a transfer's worker writes.
TEST_F(DbgLogTest, ReopenWhileOtherThreadsWriteKeepsLinesWhole)
{
    const std::string name = dir_.file("reopen.log");
    constexpr uint32_t kFlags = DBG_TO_FILE | DBG_FLUSH;
    DbgOpen(kFlags, name.c_str(), 0);
    std::atomic<bool> writing{true};
    std::vector<std::thread> writers;
    for (int t = 0; t < 3; ++t)
        writers.emplace_back([&writing, t] {
            while (writing) DbgPrint("writer %d %s", t, std::string(100, 'a' + t).c_str());
        });
    for (int save = 0; save < 300; ++save) {
        DbgClose();
        DbgOpen(kFlags, name.c_str(), 0);
    }
    writing = false;
    for (auto& writer : writers) writer.join();
    DbgClose();

    const std::regex whole(R"(0x[0-9A-F]+: writer (\d) ([a-c])\2{99})");
    const auto lines = SplitLines(TempDir::ReadAll(name));
    EXPECT_GT(lines.size(), 0u);
    for (const auto& line : lines) ASSERT_TRUE(std::regex_match(line, whole)) << line;
}

TEST_F(DbgLogTest, SecondOpenKeepsTheOpenFileAndReopenAppends)
{
    const std::string first = dir_.file("first.log"), second = dir_.file("second.log");
    DbgOpen(DBG_TO_FILE, first.c_str(), 0);
    DbgOpen(DBG_TO_FILE | DBG_TIMESTAMP, second.c_str(), 0);
    EXPECT_EQ(DbgFlags(), static_cast<uint32_t>(DBG_TO_FILE | DBG_TIMESTAMP));
    DbgPrint("one");
    DbgClose();
    EXPECT_FALSE(TempDir::Exists(second));

    DbgOpen(DBG_TO_FILE, first.c_str(), 0);
    DbgPrint("two");
    DbgClose();
    EXPECT_EQ(SplitLines(TempDir::ReadAll(first)).size(), 2u);

    DbgOpen(DBG_TO_FILE | DBG_NEWFILE, first.c_str(), 0);
    DbgPrint("three");
    DbgClose();
    const auto lines = SplitLines(TempDir::ReadAll(first));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("three"), std::string::npos);
}

TEST_F(DbgLogTest, ResetEmptiesTheOpenFileAndWritingGoesOn)
{
    EXPECT_FALSE(DbgReset());
    const std::string name = dir_.file("reset-me.log");
    DbgOpen(DBG_TO_FILE, name.c_str(), 0);
    DbgPrint("before");
    EXPECT_TRUE(DbgReset());
    DbgPrint("after");
    DbgClose();
    const auto lines = SplitLines(TempDir::ReadAll(name));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("after"), std::string::npos);
}

class DbgDumpTest : public DbgLogTest {
protected:
    std::vector<std::string> dump(const std::vector<uint8_t>& bytes, int unit)
    {
        const std::string name = dir_.file("dump.log");
        DbgOpen(DBG_TO_FILE | DBG_NEWFILE, name.c_str(), 0);
        DbgDump(bytes.data(), bytes.size(), unit);
        DbgClose();
        std::vector<std::string> messages;
        for (const auto& line : SplitLines(TempDir::ReadAll(name))) messages.push_back(line.substr(line.find(": ") + 2));
        return messages;
    }
};

TEST_F(DbgDumpTest, SixtyFourBytesPerLineLabelledByOffset)
{
    std::vector<uint8_t> bytes(130);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
    const auto lines = dump(bytes, 1);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].substr(0, 6), "0000: ");
    EXPECT_EQ(lines[1].substr(0, 6), "0064: ");
    EXPECT_EQ(lines[2], "0128: 0x80 0x81 ");
    EXPECT_EQ(lines[0].size(), 6u + 64 * 5);
    EXPECT_EQ(lines[1].substr(6, 10), "0x40 0x41 ");
}

TEST_F(DbgDumpTest, CharacterModeShowsControlBytesAsHex)
{
    EXPECT_EQ(dump({0x41, 0x0D, 0x42}, -1), std::vector<std::string>{"0000: A\\0x0DB"});
    EXPECT_EQ(dump({' ', '%', 'd', 0x00, 0xFF}, -1), std::vector<std::string>{"0000:  %d\\0x00\\0xFF"});
}

}  // namespace
