// Folder listings against a scripted device: the exchange on the wire and
// the entries that come of it.
#include <gtest/gtest.h>

#include "devicefiles/FolderPath.h"
#include "tests/devicefiles/DeviceFixture.h"
#include "tests/devicelink/NotetakerFixture.h"

namespace {

constexpr int kFile = DeviceEntry::TYPE_FILE, kFolderR = DeviceEntry::TYPE_FOLDER_R,
              kFolderF = DeviceEntry::TYPE_FOLDER_F, kSpecial = DeviceEntry::TYPE_SPECIAL;
constexpr int kErr = CNotetaker::ERR_RESPONSE;

std::string Count(int n) { return Bytes({n & 0xFF, n >> 8}); }
std::string List(const std::string& folder) { return NotetakerScript::Command('F') + folder + "\r"; }
const std::string kListD = List("d"), kListRoot = List("\\");

class Listing : public NotetakerFixture {
protected:
    void SetUp() override { start(2); }
    void start(DWORD retries)
    {
        nt_ = make(2, retries);
        identify(*nt_, CNotetaker::FW_VARDEN);
    }
    std::unique_ptr<CNotetaker> nt_;
};

TEST_F(Listing, TheDriveAndTheLastBackslashStayOnThePc)
{
    const struct {
        const char* listed;
        const char* sent;
    } rows[] = {
        {"R:\\notes\\deep\\", "notes\\deep"},
        {"F:\\books", "books"},
        {"f:\\books\\", "books"},
        {"notes", "notes"},
        {"\\", "\\"},
        {"r:\\Notes\\", "Notes"},
        {nullptr, "\\"},
    };
    for (const auto& row : rows) EXPECT_EQ(FolderPathToSend(row.listed), row.sent) << row.sent;
    script_.On(kListRoot, Count(0)).On("X", "");  // a null path is no root: its empty answer stands
    EXPECT_EQ(nt_->EnumFolder(nullptr), 0);
    settle();
    EXPECT_EQ(script_.Received(), kListRoot + "X");
}

// A listing that goes wrong: what the device says, and what the PC must do. `received`: everything the
// PC sent (empty: not compared); `kept`: entries that stay readable.
using Script = std::vector<std::pair<std::string, std::string>>;  // what the device hears, and its answer
// `lateMs`: the device end's thread is held back that long before its first answer.
struct Exchange {
    const char* what;
    DWORD retries;
    Script script;
    int result;
    std::string received;
    int kept, maxMs;
    unsigned lateMs = 0;
};
const Exchange kExchanges[] = {
    {"RecordByRecordThenTheEnd",
     2,
     {{kListRoot, Count(4)}, {"C", Record()}, {"C", Record()}, {"C", Record()}, {"C", Record()}, {"X", ""}},
     4,
     kListRoot + "CCCCX",
     4,
     5000},
    {"ADeviceHeldBackPastTheReplyTimeOutStillAnswers",
     2,
     {{kListRoot, Count(1)}, {"C", Record()}, {"X", ""}},
     1,
     kListRoot + "CX",
     1,
     5000,
     3 * 100},
    {"EmptyRootAskedAgainThenRefused",
     2,
     {{kListRoot, Count(0)}, {"X", ""}, {kListRoot, Count(0)}, {"X", ""}, {kListRoot, Count(0)}, {"X", ""}},
     kErr,
     kListRoot + "X" + kListRoot + "X" + kListRoot + "X",
     0,
     5000},
    {"EmptyRootReadyOnTheSecondRequest",
     2,
     {{kListRoot, Count(0)}, {"X", ""}, {kListRoot, Count(1)}, {"C", Record()}, {"X", ""}},
     1,
     kListRoot + "X" + kListRoot + "CX",
     1,
     5000},
    {"BadRecordsAskedAgainTheBudgetRestoredByAGoodOne",
     2,
     {{kListD, Count(2)},
      {"C", Record("a", 0)},
      {"R", Record("a", 5)},
      {"R", Record()},
      {"C", Record("a", 5)},
      {"R", Record("a", 0)},
      {"R", Record()},
      {"X", ""}},
     2,
     kListD + "CRRCRRX",
     2,
     5000},
    {"BadRecordsPastTheBudget",
     2,
     {{kListD, Count(1)}, {"C", Record("a", 0)}, {"R", Record("a", 0)}, {"R", Record("a", 0)}},
     kErr,
     kListD + "CRR",
     0,
     5000},
    {"WithNoRetriesTheFirstBadRecordEndsIt",
     0,
     {{kListD, Count(3)}, {"C", Record()}, {"C", Record("a", 9)}},
     kErr,
     kListD + "CC",
     1,
     5000},
    {"ACutRecordAskedAgainThenSilence",
     2,
     {{kListD, Count(2)}, {"C", Record().substr(0, 20)}},
     kErr,
     kListD + "CR",
     0,
     4 * 100 + 1000},
    {"EndlessCountThenSilence", 2, {{kListD, Count(65535)}}, kErr, "", 0, 2 * 100 + 1000},
    {"ACountCutShort", 2, {{kListD, Bytes({1})}}, kErr, "", 0, 5000},
    {"SixtyThreeEntriesLookLikeARepeatRequest",
     2,
     {{kListD, Count(63)}, {"X", ""}, {kListD, Count(63)}, {"X", ""}},
     kErr,
     kListD + "X" + kListD + "X",
     0,
     5000},
};

class FailingListing : public Listing, public ::testing::WithParamInterface<Exchange> {};

TEST_P(FailingListing, EndsAsTheDeviceAllows)
{
    const Exchange& x = GetParam();
    if (x.retries != 2) start(x.retries);
    for (const auto& step : x.script) script_.On(step.first, step.second, &step == &x.script[0] ? x.lateMs : 0);
    const DWORD start = GetTickCount();
    EXPECT_EQ(nt_->EnumFolder(x.script[0].first == kListRoot ? "\\" : "d"), x.result);
    EXPECT_LT(GetTickCount() - start, static_cast<DWORD>(x.maxMs));
    if (x.result < 0) EXPECT_EQ(nt_->LastResult(), x.result);
    settle();
    if (!x.received.empty()) EXPECT_EQ(script_.Received(), x.received);
    DeviceEntry e;
    if (x.kept > 0) EXPECT_EQ(nt_->GetEntry(x.kept - 1, e), 0);
    EXPECT_EQ(nt_->GetEntry(x.kept, e), CComPort::ERR_BADPARAM);
    EXPECT_TRUE(e.sName.empty() && e.nType == 0);
}

INSTANTIATE_TEST_SUITE_P(Exchanges, FailingListing, ::testing::ValuesIn(kExchanges),
                         [](const ::testing::TestParamInfo<Exchange>& info) { return info.param.what; });

// Names end at their NUL or the field and folders carry their drive and
// whole path; the size is little-endian; dates out of range are brought into it.
TEST_F(Listing, EachRecordsNameTypeSizeAndDate)
{
    const std::string n20(20, 'n'), m21(21, 'm'), f21(21, 'f');
    const struct {
        const char* folder;
        std::string name;
        int type;
        uint32_t size;
        When sent;
        std::string listed, date;
    } rows[] = {
        {"\\", "a", kFolderF, 0, {0, 0, 9, 99, 255}, "F:\\a", "2155-09-30 00:00"},  // first: F:\\books has no namesake
        {"d", "ann.txt", kFile, 0x01020304, {12, 30, 6, 15, 79}, "ann.txt", "2059-06-15 12:30"},
        {"d", n20, kFile, 0, {0, 0, 1, 1, 80}, n20, "1980-01-01 00:00"},
        {"d", m21, kFile, 0, {1, 2, 7, 4, 102}, m21, "2002-07-04 01:02"},
        {"d", f21, kFolderF, 0, {24, 0, 2, 30, 21}, "F:\\d\\" + f21, "2001-02-28 23:00"},
        {"d", "clock", kSpecial, 7, {25, 60, 2, 30, 20}, "clock", "2000-02-29 23:59"},
        {"R:\\notes\\deep\\", "a", kFolderR, 0, {0, 0, 0, 0, 0}, "R:\\notes\\deep\\a", "1980-01-01 00:00"},
        {"F:\\books", "a", kFolderF, 0, {255, 255, 13, 31, 5}, "F:\\books\\a", "1985-12-31 23:59"},
        {"notes", "a", kFolderR, 0, {0, 0, 4, 31, 90}, "R:\\notes\\a", "1990-04-30 00:00"},
        {"r:\\Notes\\", "a", kFolderR, 0, {0, 0, 6, 31, 90}, "R:\\Notes\\a", "1990-06-30 00:00"},
        {"F:\\books\\", "a", kFile, 0, {0, 0, 11, 31, 90}, "a", "1990-11-30 00:00"},
    };
    for (const auto& row : rows) {
        const std::string command = List(FolderPathToSend(row.folder));
        settle();
        script_.ClearReceived();
        script_.On(command, Count(1)).On("C", Record(row.name, row.type, row.size, row.sent)).On("X", "");
        DeviceEntry e;
        ASSERT_EQ(nt_->EnumFolder(row.folder), 1);
        nt_->GetEntry(0, e);
        const SYSTEMTIME& t = e.stTime;
        char date[32];
        snprintf(date, sizeof date, "%04d-%02d-%02d %02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute);
        EXPECT_TRUE(e.sName == row.listed && e.nType == row.type && e.nSize == row.size) << e.sName;
        EXPECT_EQ(date, row.date) << row.date;
        EXPECT_EQ(t.wSecond + t.wMilliseconds + t.wDayOfWeek, 0);
        settle();
        EXPECT_EQ(script_.Received(), command + "CX");
    }
}

TEST(EntryAttributes, TypesAndShellAttributesMapBothWays)
{
    EXPECT_EQ(EntryAttributes(kFolderF), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_EQ(EntryAttributes(5), 0u);
    for (int type = kFile; type <= kSpecial; ++type) EXPECT_EQ(EntryTypeOf(EntryAttributes(type)), type);
    EXPECT_EQ(EntryTypeOf(FILE_ATTRIBUTE_ARCHIVE), kFile);
    EXPECT_EQ(EntryTypeOf(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_SYSTEM), kFolderF);
}

}  // namespace
