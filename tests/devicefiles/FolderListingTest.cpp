// Folder listings against a scripted device: the exchange on the wire and the entries that come of it.
#include <gtest/gtest.h>

#include "devicefiles/FolderPath.h"
#include "tests/devicefiles/DeviceFixture.h"
#include "tests/devicelink/LinkTest.h"

namespace {

constexpr int kFile = DeviceEntry::TYPE_FILE, kFolderR = DeviceEntry::TYPE_FOLDER_R,
              kFolderF = DeviceEntry::TYPE_FOLDER_F, kSpecial = DeviceEntry::TYPE_SPECIAL;
constexpr int kErr = CNotetaker::ERR_RESPONSE;

using link_test::Bytes;
std::string Count(int n) { return Bytes({n & 0xFF, n >> 8}); }
std::string List(const std::string& folder) { return link_test::NotetakerTest::Cmd('F') + folder + "\r"; }
const std::string kListD = List("d"), kListRoot = List("\\");

// The note-taker object against a device answering by script, on the link tests' clock.
class Listing : public link_test::NotetakerTest {
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
    const char* const rows[] = {
        "R:\\notes\\deep\\", "notes\\deep", "F:\\books", "books", "f:\\books\\", "books", "notes", "notes", "\\", "\\",
        "r:\\Notes\\",       "Notes",       nullptr,     "\\"};  // listed, sent
    for (size_t i = 0; i < std::size(rows); i += 2) EXPECT_EQ(FolderPathToSend(rows[i]), rows[i + 1]) << rows[i + 1];
    On(kListRoot, Count(0)).On("X", "");  // a null path is no root: its empty answer stands
    EXPECT_EQ(nt_->EnumFolder(nullptr), 0);
    EXPECT_EQ(received(), kListRoot + "X");
}

// A listing that goes wrong: what the device says, and what the PC must do. `script`: what the device
// hears and its answer, by turns; `received`: everything the PC sent (empty: not compared); `kept`:
// entries that stay readable; `maxMs`: on the link tests' clock.
struct Exchange {
    const char* what;
    DWORD retries;
    int result;
    std::string received;
    int kept, maxMs;
    std::vector<std::string> script;
};
Exchange X(const char* what, DWORD retries, int result, std::string received, int kept, int maxMs,
           std::vector<std::string> script)
{
    return {what, retries, result, std::move(received), kept, maxMs, std::move(script)};
}
const std::string kC = "C", kR = "R", kX = "X", kNothing;
const Exchange kExchanges[] = {
    X("RecordByRecordThenTheEnd", 2, 4, kListRoot + "CCCCX", 4, 5000,
      {kListRoot, Count(4), kC, Record(), kC, Record(), kC, Record(), kC, Record(), kX, kNothing}),
    X("EmptyRootAskedAgainThenRefused", 2, kErr, kListRoot + "X" + kListRoot + "X" + kListRoot + "X", 0, 5000,
      {kListRoot, Count(0), kX, kNothing, kListRoot, Count(0), kX, kNothing, kListRoot, Count(0), kX, kNothing}),
    X("BadRecordsAskedAgainTheBudgetRestoredByAGoodOne", 2, 2, kListD + "CRRCRRX", 2, 5000,
      {kListD, Count(2), kC, Record("a", 0), kR, Record("a", 5), kR, Record(), kC, Record("a", 5), kR, Record("a", 0),
       kR, Record(), kX, kNothing}),
    X("WithNoRetriesTheFirstBadRecordEndsIt", 0, kErr, kListD + "CC", 1, 5000,
      {kListD, Count(3), kC, Record(), kC, Record("a", 9)}),
    X("ACutRecordAskedAgainThenSilence", 2, kErr, kListD + "CR", 0, 4 * 100 + 1000,
      {kListD, Count(2), kC, Record().substr(0, 20)}),
    X("EndlessCountThenSilence", 2, kErr, "", 0, 2 * 100 + 1000, {kListD, Count(65535)}),
    X("SixtyThreeEntriesLookLikeARepeatRequest", 2, kErr, kListD + "X" + kListD + "X", 0, 5000,
      {kListD, Count(63), kX, kNothing, kListD, Count(63), kX, kNothing}),
};

class FailingListing : public Listing, public ::testing::WithParamInterface<Exchange> {};

TEST_P(FailingListing, EndsAsTheDeviceAllows)
{
    const Exchange& x = GetParam();
    if (x.retries != 2) start(x.retries);
    for (size_t i = 0; i < x.script.size(); i += 2) On(x.script[i], x.script[i + 1]);
    const DWORD start = now();
    EXPECT_EQ(nt_->EnumFolder(x.script[0] == kListRoot ? "\\" : "d"), x.result);
    EXPECT_LT(now() - start, static_cast<DWORD>(x.maxMs));
    if (x.result < 0) {
        EXPECT_EQ(nt_->LastResult(), x.result);
    }
    if (!x.received.empty()) {
        EXPECT_EQ(received(), x.received);
    }
    DeviceEntry e;
    if (x.kept > 0) {
        EXPECT_EQ(nt_->GetEntry(x.kept - 1, e), 0);
    }
    EXPECT_EQ(nt_->GetEntry(x.kept, e), CComPort::ERR_BADPARAM);
    EXPECT_TRUE(e.sName.empty() && e.nType == 0);
}

INSTANTIATE_TEST_SUITE_P(Exchanges, FailingListing, ::testing::ValuesIn(kExchanges),
                         [](const ::testing::TestParamInfo<Exchange>& info) { return info.param.what; });

// Names end at their NUL or the field, folders carry drive and path; dates out of range are brought into it.
TEST_F(Listing, EachRecordsNameTypeSizeAndDateAndTheAttributesOfEachType)
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
        {"r:\\Notes\\", "a", kFolderR, 0, {0, 0, 6, 31, 90}, "R:\\Notes\\a", "1990-06-30 00:00"},
    };
    for (const auto& row : rows) {
        const std::string command = List(FolderPathToSend(row.folder));
        clear();
        On(command, Count(1)).On("C", Record(row.name, row.type, row.size, row.sent)).On("X", "");
        DeviceEntry e;
        ASSERT_EQ(nt_->EnumFolder(row.folder), 1);
        nt_->GetEntry(0, e);
        const SYSTEMTIME& t = e.stTime;
        char date[32];
        snprintf(date, sizeof date, "%04d-%02d-%02d %02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute);
        EXPECT_TRUE(e.sName == row.listed && e.nType == row.type && e.nSize == row.size) << e.sName;
        EXPECT_EQ(date, row.date) << row.date;
        EXPECT_EQ(t.wSecond + t.wMilliseconds + t.wDayOfWeek, 0);
        EXPECT_EQ(received(), command + "CX");
    }
    // Types and the shell's attributes map both ways.
    EXPECT_EQ(EntryAttributes(kFolderF), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_EQ(EntryAttributes(5), 0u);
    for (int type = kFile; type <= kSpecial; ++type) EXPECT_EQ(EntryTypeOf(EntryAttributes(type)), type);
    EXPECT_EQ(EntryTypeOf(FILE_ATTRIBUTE_ARCHIVE), kFile);
}

// Bad names (the same when asked again) are left out and named; a folder inside itself ends a walk, naming it.
TEST_F(Listing, BadNamesAreLeftOutAndAFolderInsideItselfEndsTheWalk)
{
    const std::vector<std::string> bad = {"", ".", "..", "a\\b", "x/y", "b:c", std::string("c\x01", 2) + "d"};
    On(kListD, Count(9)).On(kC, Record("first.txt"));
    for (const std::string& name : bad) On(kC, Record(name, kFolderR));
    On(kC, Record("last", kFolderR)).On(kX, kNothing);
    EXPECT_EQ(nt_->EnumFolder("d"), 2) << "first.txt and last";
    EXPECT_EQ(received(), kListD + "CCCCCCCCCX") << "no record asked again";
    EXPECT_EQ(nt_->LeftOutNames(), (std::vector<std::string>{"", ".", "..", "a\\b", "x/y", "b:c", "c\\x01d"}));

    std::string folder = "R:\\a";
    On(kListRoot, Count(1)).On(kC, Record("a", kFolderR)).On(kX, kNothing);
    for (size_t depth = 1; depth <= kMaxWalkDepth; ++depth, folder += "\\a")
        On(List(FolderPathToSend(folder.c_str())), Count(1)).On(kC, Record("a", kFolderR)).On(kX, kNothing);
    EXPECT_EQ(nt_->getFileNames("C:\\backup", nullptr, false), CNotetaker::ERR_FOLDERLOOP);
    EXPECT_EQ(nt_->GetErrorString(0),
              "The notetaker lists folders inside " + folder + " without end; it was not read further.");
}

}  // namespace
