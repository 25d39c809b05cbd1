#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "devicefiles/DeviceEntry.h"
#include "tests/devicelink/NotetakerFixture.h"

namespace {

struct Fields {
    std::string name = "note.txt";
    int type = 1;
    uint32_t size = 0;
    int hour = 9, minute = 26, month = 3, day = 14, year = 46;
};

std::string Record(const Fields& f)
{
    std::string r(31, '\0');
    r.replace(0, std::min<size_t>(f.name.size(), 21), f.name.substr(0, 21));
    r[21] = static_cast<char>(f.type);
    for (int i = 0; i < 4; ++i) r[22 + i] = static_cast<char>(f.size >> (8 * i));
    r[26] = static_cast<char>(f.hour);
    r[27] = static_cast<char>(f.minute);
    r[28] = static_cast<char>(f.month);
    r[29] = static_cast<char>(f.day);
    r[30] = static_cast<char>(f.year);
    return r;
}

std::string Count(int n) { return Bytes({n & 0xFF, n >> 8}); }

class Listing : public NotetakerFixture {
protected:
    void SetUp() override
    {
        nt_ = make(2, 2);
        identify(*nt_, CNotetaker::FW_VARDEN);
    }

    // Lists folder "d" holding one record; the entry, or an empty one.
    DeviceEntry listOne(const std::string& record)
    {
        script_.On(Cmd('F') + "d\r", Count(1)).On("C", record).On("X", "");
        DeviceEntry e;
        EXPECT_EQ(nt_->EnumFolder("d"), 1);
        nt_->GetEntry(0, e);
        return e;
    }

    std::unique_ptr<CNotetaker> nt_;
};

TEST_F(Listing, AFolderIsListedRecordByRecordAndTheExchangeEnded)
{
    Fields letter;
    letter.name = "ann.txt";
    letter.size = 0x01020304;
    Fields folderR, folderF, special;
    folderR.name = "letters", folderR.type = 2;
    folderF.name = "books", folderF.type = 3;
    special.name = "clock", special.type = 4;
    script_.On(Cmd('F') + "\\\r", Count(4));
    for (const Fields* f : {&letter, &folderR, &folderF, &special}) script_.On("C", Record(*f));
    script_.On("X", "");
    ASSERT_EQ(nt_->EnumFolder("\\"), 4);
    settle();
    EXPECT_EQ(script_.Received(), Cmd('F') + "\\\rCCCCX");

    DeviceEntry e;
    ASSERT_EQ(nt_->GetEntry(0, e), 0);
    EXPECT_EQ(e.sName, "ann.txt");
    EXPECT_EQ(e.nType, 1);
    EXPECT_EQ(e.nSize, 0x01020304u);
    const SYSTEMTIME& t = e.stTime;
    EXPECT_TRUE(t.wYear == 2026 && t.wMonth == 3 && t.wDay == 14 && t.wHour == 9 && t.wMinute == 26 &&
                t.wSecond + t.wMilliseconds + t.wDayOfWeek == 0);
    const char* names[] = {"R:\\letters", "F:\\books", "clock"};  // folders named with their drive
    for (int i = 1; i < 4; ++i) {
        nt_->GetEntry(i, e);
        EXPECT_EQ(e.sName, names[i - 1]);
        EXPECT_EQ(e.nType, i + 1);
    }

    EXPECT_EQ(nt_->GetEntry(4, e), CComPort::ERR_BADPARAM);
    EXPECT_TRUE(e.sName.empty());
    EXPECT_EQ(e.nType, 0);
}

TEST_F(Listing, AFolderInsideAFolderCarriesItsWholePath)
{
    const struct { const char* listed; const char* sent; int type; const char* name; } cases[] = {
        {"R:\\notes\\deep\\", "notes\\deep", 2, "R:\\notes\\deep\\deeper"},
        {"F:\\books", "F:\\books", 3, "F:\\books\\deeper"},
        {"notes", "notes", 2, "R:\\notes\\deeper"},
    };
    for (const auto& c : cases) {
        Fields folder;
        folder.name = "deeper", folder.type = c.type;
        script_.On(Cmd('F') + c.sent + "\r", Count(1)).On("C", Record(folder)).On("X", "");
        ASSERT_EQ(nt_->EnumFolder(c.listed), 1) << c.listed;
        DeviceEntry e;
        nt_->GetEntry(0, e);
        EXPECT_EQ(e.sName, c.name);
        settle();
    }
}

TEST_F(Listing, TheDriveIsStrippedBeforeThePathGoesOut)
{
    const struct { const char* path; const char* sent; } cases[] = {
        {"r:\\Notes\\", "Notes"}, {"R:\\letters\\", "letters"}, {"F:\\books\\", "F:\\books"},
        {"Notes", "Notes"}, {nullptr, "\\"},
    };
    for (const auto& c : cases) {
        settle();
        script_.ClearReceived();
        script_.On(Cmd('F') + c.sent + "\r", Count(0)).On("X", "");
        EXPECT_EQ(nt_->EnumFolder(c.path), 0) << c.sent;  // empty; a null path is not the root
        settle();
        EXPECT_EQ(script_.Received(), Cmd('F') + c.sent + "\rX");
    }
}

TEST_F(Listing, AnEmptyRootIsAskedAgainThenRefused)
{
    for (int i = 0; i < 3; ++i) script_.On(Cmd('F') + "\\\r", Count(0)).On("X", "");
    EXPECT_EQ(nt_->EnumFolder("\\"), CNotetaker::ERR_RESPONSE);
    EXPECT_EQ(nt_->LastResult(), CNotetaker::ERR_RESPONSE);
    settle();
    EXPECT_EQ(script_.Received(), Cmd('F') + "\\\rX" + Cmd('F') + "\\\rX" + Cmd('F') + "\\\rX");

    // Ready on the second request.
    settle();
    script_.ClearReceived();
    script_.On(Cmd('F') + "\\\r", Count(0)).On("X", "").On(Cmd('F') + "\\\r", Count(1));
    script_.On("C", Record(Fields())).On("X", "");
    EXPECT_EQ(nt_->EnumFolder("\\"), 1);
}

TEST_F(Listing, BadRecordsAreAskedForAgainWithinTheRetryBudget)
{
    Fields bad0, bad5, good;
    bad0.type = 0;
    bad5.type = 5;
    script_.On(Cmd('F') + "d\r", Count(2));
    script_.On("C", Record(bad0)).On("R", Record(bad5)).On("R", Record(good));          // budget 2 used up
    script_.On("C", Record(bad5)).On("R", Record(bad0)).On("R", Record(good)).On("X", "");  // and restored
    EXPECT_EQ(nt_->EnumFolder("d"), 2);
    settle();
    EXPECT_EQ(script_.Received(), Cmd('F') + "d\rCRRCRRX");

    settle();
    script_.ClearReceived();
    script_.On(Cmd('F') + "d\r", Count(1));
    script_.On("C", Record(bad0)).On("R", Record(bad0)).On("R", Record(bad0));
    EXPECT_EQ(nt_->EnumFolder("d"), CNotetaker::ERR_RESPONSE);
    settle();
    EXPECT_EQ(script_.Received(), Cmd('F') + "d\rCRR");
}

TEST_F(Listing, WithNoRetriesTheFirstBadRecordEndsTheListing)
{
    nt_ = make(2, 0);
    identify(*nt_, CNotetaker::FW_VARDEN);
    Fields bad;
    bad.type = 9;
    script_.On(Cmd('F') + "d\r", Count(3)).On("C", Record(Fields())).On("C", Record(bad));
    EXPECT_EQ(nt_->EnumFolder("d"), CNotetaker::ERR_RESPONSE);
    DeviceEntry e;
    EXPECT_EQ(nt_->GetEntry(0, e), 0);  // what came before the failure stays
}

TEST_F(Listing, ShortRecordsSilenceAndEndlessCountsEndInBadResponse)
{
    // A cut record is asked for again; then nothing comes at all.
    script_.On(Cmd('F') + "d\r", Count(2)).On("C", Record(Fields()).substr(0, 20));
    DWORD start = GetTickCount();
    EXPECT_EQ(nt_->EnumFolder("d"), CNotetaker::ERR_RESPONSE);
    EXPECT_LT(GetTickCount() - start, 4 * kTimeout + 1000);
    settle();
    EXPECT_EQ(script_.Received(), Cmd('F') + "d\rCR");

    // 65535 entries announced, then silence.
    script_.On(Cmd('F') + "d\r", Count(65535));
    start = GetTickCount();
    EXPECT_EQ(nt_->EnumFolder("d"), CNotetaker::ERR_RESPONSE);
    EXPECT_LT(GetTickCount() - start, 2 * kTimeout + 1000);

    // A count cut short.
    script_.On(Cmd('F') + "d\r", Bytes({1}));
    EXPECT_EQ(nt_->EnumFolder("d"), CNotetaker::ERR_RESPONSE);
}

TEST_F(Listing, ADeviceThatNeverStopsTalkingEndsTheListing)
{
    std::atomic<bool> stop{false};
    std::thread babbler([&] {
        const std::string noise(64, 'A');  // a count of 16705, then records of type 65
        while (!stop) {
            line_.Write(MemoryLine::Side::Device, noise.data(), noise.size());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const DWORD start = GetTickCount();
    EXPECT_EQ(nt_->EnumFolder("d"), CNotetaker::ERR_RESPONSE);
    EXPECT_LT(GetTickCount() - start, 2000u);
    stop = true;
    babbler.join();
}

TEST_F(Listing, SixtyThreeEntriesLookLikeARepeatRequest)
{
    for (int i = 0; i < 2; ++i) script_.On(Cmd('F') + "d\r", Count(63)).On("X", "");
    EXPECT_EQ(nt_->EnumFolder("d"), CNotetaker::ERR_RESPONSE);
    settle();
    EXPECT_EQ(script_.Received(), Cmd('F') + "d\rX" + Cmd('F') + "d\rX");
}

TEST_F(Listing, NamesEndAtTheirNulOrTheField)
{
    Fields f;
    f.name = std::string(20, 'n');
    EXPECT_EQ(listOne(Record(f)).sName, std::string(20, 'n'));
    f.name = std::string(21, 'm');  // no NUL in the field
    EXPECT_EQ(listOne(Record(f)).sName, std::string(21, 'm'));
    f.name = std::string(21, 'f');
    f.type = 3;
    EXPECT_EQ(listOne(Record(f)).sName, "F:\\d\\" + std::string(21, 'f'));
}

TEST_F(Listing, DatesFromTheDeviceAreBroughtIntoRange)
{
    const struct { int year, month, day, hour, minute; int wYear, wMonth, wDay, wHour, wMinute; } cases[] = {
        {79, 6, 15, 12, 30, 2059, 6, 15, 12, 30}, {80, 1, 1, 0, 0, 1980, 1, 1, 0, 0},
        {102, 7, 4, 1, 2, 2002, 7, 4, 1, 2},      {21, 2, 30, 24, 0, 2001, 2, 28, 23, 0},
        {20, 2, 30, 25, 60, 2000, 2, 29, 23, 59}, {0, 0, 0, 0, 0, 1980, 1, 1, 0, 0},
        {5, 13, 31, 255, 255, 1985, 12, 31, 23, 59}, {255, 9, 99, 0, 0, 2155, 9, 30, 0, 0},
    };
    for (const auto& c : cases) {
        Fields f;
        f.year = c.year, f.month = c.month, f.day = c.day, f.hour = c.hour, f.minute = c.minute;
        const SYSTEMTIME t = listOne(Record(f)).stTime;
        EXPECT_TRUE(t.wYear == c.wYear && t.wMonth == c.wMonth && t.wDay == c.wDay && t.wHour == c.wHour &&
                    t.wMinute == c.wMinute)
            << c.year << "/" << c.month << "/" << c.day << " " << c.hour << ":" << c.minute << " became " << t.wYear
            << "/" << t.wMonth << "/" << t.wDay << " " << t.wHour << ":" << t.wMinute;
    }
}

TEST(EntryAttributes, TypesAndShellAttributesMapBothWays)
{
    EXPECT_EQ(EntryAttributes(3), 0x14u);
    EXPECT_EQ(EntryAttributes(5), 0u);
    for (int type = 1; type <= 4; ++type) EXPECT_EQ(EntryTypeOf(EntryAttributes(type)), type);
    EXPECT_EQ(EntryTypeOf(0x20), 1);                    // archive, no directory bit
    EXPECT_EQ(EntryTypeOf(0x10 | 0x1000 | 0x4), 3);     // system wins over offline
}

}  // namespace
