// Folder listings against a scripted device: the exchange on the wire and
// the entries that come of it.
#include <gtest/gtest.h>

#include "devicefiles/DeviceEntry.h"
#include "tests/devicelink/NotetakerFixture.h"

namespace {

constexpr int kFile = DeviceEntry::TYPE_FILE, kFolderR = DeviceEntry::TYPE_FOLDER_R,
              kFolderF = DeviceEntry::TYPE_FOLDER_F, kSpecial = DeviceEntry::TYPE_SPECIAL;
constexpr int kErr = CNotetaker::ERR_RESPONSE;

struct When {
    int hour = 9, minute = 26, month = 3, day = 14, year = 46;  // years count from 1980
};

// One 31-byte record: name (21), type, size (4, little-endian), hour, minute, month, day, year.
std::string Record(const std::string& name = "note.txt", int type = kFile, uint32_t size = 0, When t = When())
{
    std::string r(31, '\0');
    r.replace(0, std::min<size_t>(name.size(), 21), name.substr(0, 21));
    r[21] = static_cast<char>(type);
    for (int i = 0; i < 4; ++i) r[22 + i] = static_cast<char>(size >> (8 * i));
    const int time[] = {t.hour, t.minute, t.month, t.day, t.year};
    for (int i = 0; i < 5; ++i) r[26 + i] = static_cast<char>(time[i]);
    return r;
}

std::string Count(int n) { return Bytes({n & 0xFF, n >> 8}); }
std::string List(const std::string& folder) { return NotetakerScript::Command('F') + folder + "\r"; }
std::string ListD() { return List("d"); }
std::string ListRoot() { return List("\\"); }

class Listing : public NotetakerFixture {
protected:
    void SetUp() override { start(2); }
    void start(DWORD retries)
    {
        nt_ = make(2, retries);
        identify(*nt_, CNotetaker::FW_VARDEN);
    }
    // Lists folder "d" holding one record; the entry, or an empty one.
    DeviceEntry listOne(const std::string& record)
    {
        script_.On(ListD(), Count(1)).On("C", record).On("X", "");
        DeviceEntry e;
        EXPECT_EQ(nt_->EnumFolder("d"), 1);
        nt_->GetEntry(0, e);
        return e;
    }
    std::unique_ptr<CNotetaker> nt_;
};

TEST_F(Listing, TheDriveIsStrippedBeforeThePathGoesOutAndFoldersCarryTheirWholePath)
{
    const struct { const char* listed; const char* sent; int type; const char* name; } cases[] = {
        {"R:\\notes\\deep\\", "notes\\deep", kFolderR, "R:\\notes\\deep\\deeper"},
        {"F:\\books", "F:\\books", kFolderF, "F:\\books\\deeper"},
        {"notes", "notes", kFolderR, "R:\\notes\\deeper"}, {"\\", "\\", kFolderF, "F:\\deeper"},
        {"r:\\Notes\\", "Notes", 0, nullptr}, {"R:\\letters\\", "letters", 0, nullptr},
        {"F:\\books\\", "F:\\books", 0, nullptr}, {nullptr, "\\", 0, nullptr},  // a null path is not the root
    };
    for (const auto& c : cases) {
        settle();
        script_.ClearReceived();
        const std::string command = List(c.sent);
        if (c.name) script_.On(command, Count(1)).On("C", Record("deeper", c.type)).On("X", "");
        else script_.On(command, Count(0)).On("X", "");
        ASSERT_EQ(nt_->EnumFolder(c.listed), c.name ? 1 : 0) << c.sent;
        DeviceEntry e;
        nt_->GetEntry(0, e);
        EXPECT_EQ(e.sName, c.name ? c.name : "") << c.sent;
        settle();
        EXPECT_EQ(script_.Received(), command + (c.name ? "CX" : "X"));
    }
}

// A listing that goes wrong: what the device says, and what the PC must do.
struct Exchange {
    const char* what;
    DWORD retries;
    std::vector<std::pair<std::string, std::string>> script;
    int result;
    std::string received;  // everything the PC sent; empty: not compared
    int kept;              // entries that stay readable
    DWORD maxMs;
};

const Exchange kExchanges[] = {
    {"RecordByRecordThenTheEnd", 2,
     {{ListRoot(), Count(4)}, {"C", Record()}, {"C", Record()}, {"C", Record()}, {"C", Record()}, {"X", ""}},
     4, ListRoot() + "CCCCX", 4, 5000},
    {"EmptyRootAskedAgainThenRefused", 2,
     {{ListRoot(), Count(0)}, {"X", ""}, {ListRoot(), Count(0)}, {"X", ""}, {ListRoot(), Count(0)}, {"X", ""}},
     kErr, ListRoot() + "X" + ListRoot() + "X" + ListRoot() + "X", 0, 5000},
    {"EmptyRootReadyOnTheSecondRequest", 2,
     {{ListRoot(), Count(0)}, {"X", ""}, {ListRoot(), Count(1)}, {"C", Record()}, {"X", ""}},
     1, ListRoot() + "X" + ListRoot() + "CX", 1, 5000},
    {"BadRecordsAskedAgainTheBudgetRestoredByAGoodOne", 2,
     {{ListD(), Count(2)}, {"C", Record("a", 0)}, {"R", Record("a", 5)}, {"R", Record()},
      {"C", Record("a", 5)}, {"R", Record("a", 0)}, {"R", Record()}, {"X", ""}},
     2, ListD() + "CRRCRRX", 2, 5000},
    {"BadRecordsPastTheBudget", 2,
     {{ListD(), Count(1)}, {"C", Record("a", 0)}, {"R", Record("a", 0)}, {"R", Record("a", 0)}},
     kErr, ListD() + "CRR", 0, 5000},
    {"WithNoRetriesTheFirstBadRecordEndsIt", 0,
     {{ListD(), Count(3)}, {"C", Record()}, {"C", Record("a", 9)}}, kErr, ListD() + "CC", 1, 5000},
    {"ACutRecordAskedAgainThenSilence", 2,
     {{ListD(), Count(2)}, {"C", Record().substr(0, 20)}}, kErr, ListD() + "CR", 0, 4 * 100 + 1000},
    {"EndlessCountThenSilence", 2, {{ListD(), Count(65535)}}, kErr, "", 0, 2 * 100 + 1000},
    {"ACountCutShort", 2, {{ListD(), Bytes({1})}}, kErr, "", 0, 5000},
    {"SixtyThreeEntriesLookLikeARepeatRequest", 2,
     {{ListD(), Count(63)}, {"X", ""}, {ListD(), Count(63)}, {"X", ""}}, kErr, ListD() + "X" + ListD() + "X", 0, 5000},
};

class FailingListing : public Listing, public ::testing::WithParamInterface<Exchange> {};

TEST_P(FailingListing, EndsAsTheDeviceAllows)
{
    const Exchange& x = GetParam();
    if (x.retries != 2) start(x.retries);
    for (const auto& step : x.script) script_.On(step.first, step.second);
    const DWORD start = GetTickCount();
    EXPECT_EQ(nt_->EnumFolder(x.script[0].first == ListRoot() ? "\\" : "d"), x.result);
    EXPECT_LT(GetTickCount() - start, x.maxMs);
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

// Names end at their NUL or the field; dates out of range are brought into it.
TEST_F(Listing, EachRecordsNameTypeSizeAndDate)
{
    const struct { std::string name; int type; uint32_t size; std::string listed; } rows[] = {
        {"ann.txt", kFile, 0x01020304, "ann.txt"},  // the size little-endian
        {std::string(20, 'n'), kFile, 0, std::string(20, 'n')},
        {std::string(21, 'm'), kFile, 0, std::string(21, 'm')},  // no NUL in the field
        {std::string(21, 'f'), kFolderF, 0, "F:\\d\\" + std::string(21, 'f')},  // folders carry their drive
        {"clock", kSpecial, 7, "clock"},
    };
    for (const auto& row : rows) {
        const DeviceEntry e = listOne(Record(row.name, row.type, row.size));
        EXPECT_TRUE(e.sName == row.listed && e.nType == row.type && e.nSize == row.size) << e.sName;
    }
    const struct { When sent; int wYear, wMonth, wDay, wHour, wMinute; } cases[] = {
        {{12, 30, 6, 15, 79}, 2059, 6, 15, 12, 30},   {{0, 0, 1, 1, 80}, 1980, 1, 1, 0, 0},
        {{1, 2, 7, 4, 102}, 2002, 7, 4, 1, 2},        {{24, 0, 2, 30, 21}, 2001, 2, 28, 23, 0},
        {{25, 60, 2, 30, 20}, 2000, 2, 29, 23, 59},   {{0, 0, 0, 0, 0}, 1980, 1, 1, 0, 0},
        {{255, 255, 13, 31, 5}, 1985, 12, 31, 23, 59}, {{0, 0, 9, 99, 255}, 2155, 9, 30, 0, 0},
        {{0, 0, 4, 31, 90}, 1990, 4, 30, 0, 0},       {{0, 0, 6, 31, 90}, 1990, 6, 30, 0, 0},
        {{0, 0, 11, 31, 90}, 1990, 11, 30, 0, 0},
    };
    for (const auto& c : cases) {
        const SYSTEMTIME t = listOne(Record("note.txt", kFile, 0, c.sent)).stTime;
        EXPECT_TRUE(t.wYear == c.wYear && t.wMonth == c.wMonth && t.wDay == c.wDay && t.wHour == c.wHour &&
                    t.wMinute == c.wMinute && t.wSecond + t.wMilliseconds + t.wDayOfWeek == 0)
            << "became " << t.wYear << "/" << t.wMonth << "/" << t.wDay << " " << t.wHour << ":" << t.wMinute;
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
