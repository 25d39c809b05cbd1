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
    DbgOpen(DBG_TO_DEBUGGER, log("quiet.log").c_str(), 0);
    DbgPrint("only %s", "there");
    DbgClose();
    EXPECT_TRUE(!TempDir::Exists(log("quiet.log")) && g_debugger.find(": only there\n") != std::string::npos);

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
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(\[[^ \]]+ [^\]]*\d\d:\d\d[^\]]*\] 0x[0-9A-F]+: stamped)")))
        << lines[1];
    std::vector<std::string> written = {"plain", "stamped", "100% done %d %s %n", "+Entered copy 50%s",
                                        std::string(1023, 'x')};
    EXPECT_EQ(messages("first.log"), written);
    EXPECT_EQ(TempDir::ReadAll(log("first.log")).back(), '\n');

    // Reopening appends; a reset (the settings' button) starts empty.
    written.insert(written.end(), {"before", "two"});
    const std::tuple<uint32_t, bool, const char*, std::vector<std::string>> steps[] = {
        {DBG_TO_FILE, false, "two", written},
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

// A settings save closes and reopens the log while a transfer's worker writes:
// every line stays whole.
TEST_F(DbgLogTest, LinesFromManyThreadsStayWholeThroughReopens)
{
    DbgOpen(DBG_TO_FILE | DBG_FLUSH, log("reopen.log").c_str(), 0);
    std::atomic<bool> writing{true};
    std::thread writer([&writing] {
        for (int i = 0; i < 500; ++i) DbgPrint("writer %s", std::string(200, 'a').c_str());
        writing = false;
    });
    for (int save = 0; save < 300 || writing; ++save) {
        DbgClose();
        DbgOpen(DBG_TO_FILE | DBG_FLUSH, log("reopen.log").c_str(), 0);
    }
    writer.join();
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
