#include "foundation/DbgLog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/support/TempDir.h"

namespace {

std::string g_debugger;  // every line sent to the debugger output (by this thread only)

// The file's lines; bare, without the thread id before them.
std::vector<std::string> Lines(const std::string& file, bool bare = false)
{
    std::vector<std::string> lines;
    std::istringstream in(TempDir::ReadAll(file));
    for (std::string line; std::getline(in, line);) lines.push_back(bare ? line.substr(line.find(": ") + 2) : line);
    return lines;
}

class DbgLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = DbgSetDebuggerOutput([](const char* text) { g_debugger += text; });
        DbgOpen(DBG_TO_FILE, log("reset.log").c_str(), 0);  // the stored size limit at 0, as in a fresh process
        DbgClose();
        g_debugger.clear();
    }
    void TearDown() override
    {
        DbgOpen(0, "", 0);
        DbgClose();
        DbgSetDebuggerOutput(previous_);
    }
    std::string log(const char* name) { return dir_.file(name); }
    std::vector<std::string> messages(const char* name) { return Lines(log(name), true); }

    TempDir dir_;
    DbgDebuggerOutput previous_ = nullptr;
};

TEST_F(DbgLogTest, LinesGoOnlyWhereTheFlagsSayInTheirFormatAndOnlyToTheFileOpenFirst)
{
    DbgOpen(0, log("quiet.log").c_str(), 0);
    DbgPrint("nothing %d", 1);
    DbgClose();
    EXPECT_FALSE(TempDir::Exists(log("quiet.log")) || g_debugger.find("nothing") != std::string::npos);
    // A file that cannot be made leaves the debugger output working.
    EXPECT_TRUE(DbgOpen(DBG_TO_FILE | DBG_TO_DEBUGGER, log("no-such-folder\\pellor.log").c_str(), 0));
    DbgPrint("still %s", "here");
    DbgClose();
    EXPECT_NE(g_debugger.find(": still here\n"), std::string::npos) << g_debugger;

    // A second open keeps the open file and takes the new flags.
    DbgOpen(DBG_TO_FILE, log("first.log").c_str(), 0);
    DbgPrint("plain");
    DbgOpen(DBG_TO_FILE | DBG_TIMESTAMP, log("second.log").c_str(), 0);
    DbgPrint("stamped");
    DbgPrint("%s", "100% done %d %s %n");  // percent signs in an argument stay as they are
    DbgEnter("copy %s", "50%s");
    DbgPrint("%s", std::string(5000, 'x').c_str());
    DbgClose();
    const auto lines = Lines(log("first.log"));
    ASSERT_TRUE(lines.size() == 5 && !TempDir::Exists(log("second.log")));
    EXPECT_TRUE(std::regex_match(lines[0], std::regex("0x[0-9A-F]+: plain"))) << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(\[[^ \]]+ [^\]]*\d\d:\d\d[^\]]*\] 0x[0-9A-F]+: stamped)")))
        << lines[1];
    std::vector<std::string> written = {"plain", "stamped", "100% done %d %s %n", "+Entered copy 50%s",
                                        std::string(1023, 'x')};
    EXPECT_EQ(messages("first.log"), written);
    EXPECT_EQ(TempDir::ReadAll(log("first.log")).back(), '\n');

    // Reopening appends; a new file and a reset start empty.
    written.insert(written.end(), {"before", "two"});
    const std::tuple<uint32_t, bool, const char*, std::vector<std::string>> steps[] = {
        {DBG_TO_FILE, false, "two", written},
        {DBG_TO_FILE | DBG_NEWFILE, false, "three", {"before", "three"}},
        {DBG_TO_FILE, true, "after", {"after"}},
    };
    for (const auto& [flags, reset, word, kept] : steps) {
        DbgOpen(flags, log("first.log").c_str(), 0);
        DbgPrint("before");
        EXPECT_TRUE(!reset || DbgReset());
        DbgPrint("%s", word);
        DbgClose();
        EXPECT_EQ(messages("first.log"), kept) << word;
    }
    EXPECT_FALSE(DbgReset());  // nothing open
}

// Each open cuts an existing file to its newest bytes with the limit stored
// before it, then keeps its own for the next; close cuts with the current one.
TEST_F(DbgLogTest, OpenAndCloseCutTheFileToItsNewestBytes)
{
    const std::tuple<size_t, uint32_t, size_t, size_t> rows[] = {
        {20000, 0, 20000, 20000},
        {3000, 4096, 3000, 3000},
        {10240, 100, 4096, 100},
    };
    for (const auto& [size, limit, atOpen, atClose] : rows) {
        std::string old(size, '\0');
        for (size_t i = 0; i < size; ++i) old[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
        ASSERT_TRUE(TempDir::WriteAll(log("cut.log"), old));
        DbgOpen(DBG_TO_FILE, log("cut.log").c_str(), limit);
        EXPECT_EQ(TempDir::ReadAll(log("cut.log")).size(), atOpen) << size << "/" << limit;
        DbgClose();
        EXPECT_TRUE(TempDir::ReadAll(log("cut.log")) == old.substr(old.size() - atClose)) << size << "/" << limit;
    }
    DbgOpen(DBG_TO_FILE, log("cut.log").c_str(), 100);
    DbgPrint("last line");
    DbgClose();
    const std::string cut = TempDir::ReadAll(log("cut.log"));
    EXPECT_TRUE(cut.size() == 100 && cut.substr(88) == ": last line\n") << cut;
}

// A settings save closes and reopens the log while a transfer's worker writes:
// every line stays whole.
TEST_F(DbgLogTest, LinesFromManyThreadsStayWholeThroughReopens)
{
    DbgOpen(DBG_TO_FILE | DBG_FLUSH, log("reopen.log").c_str(), 0);
    std::atomic<int> writing{2};
    std::vector<std::thread> writers;
    for (int t = 0; t < 2; ++t)
        writers.emplace_back([&writing] {
            for (int i = 0; i < 250; ++i) DbgPrint("writer %s", std::string(200, 'a').c_str());
            --writing;
        });
    for (int save = 0; save < 300 || writing; ++save) {
        DbgClose();
        DbgOpen(DBG_TO_FILE | DBG_FLUSH, log("reopen.log").c_str(), 0);
    }
    for (auto& writer : writers) writer.join();
    DbgClose();
    for (const auto& line : messages("reopen.log")) ASSERT_EQ(line, "writer " + std::string(200, 'a'));
}

// Sixty-four bytes a line labelled by offset, units read little-endian; the
// port's trace shows control bytes as hex.
TEST_F(DbgLogTest, DumpsShowEveryByte)
{
    std::vector<uint8_t> bytes(130);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
    const uint8_t few[] = {0x41, 0x0D, 0x42, 0xFF, ' ', '%', 'd', 0x00};
    DbgOpen(DBG_TO_FILE, log("dump.log").c_str(), 0);
    DbgDump(bytes.data(), bytes.size(), 2);
    DbgDump(few, sizeof few, -1);
    DbgClose();
    const auto lines = messages("dump.log");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(lines[1].substr(0, 13) == "0064: 0x4140 " && lines[2] == "0128: 0x8180 ") << lines[1];
    EXPECT_EQ(lines[3], "0000: A\\0x0DB\\0xFF %d\\0x00");
}

}  // namespace
