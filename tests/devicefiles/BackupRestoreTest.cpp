// Backup and restore against the stand-in note-taker over the in-memory line.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "devicefiles/BackupIndex.h"
#include "devicefiles/ErrorText.h"
#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"
#include "tests/support/SimOnLine.h"

namespace {

const char kReplaceBackup[] = "Are you sure you want to delete the existing backup?";
const char kForeignFolder[] =
    "This folder is not empty and holds no Pellor backup. Are you sure you want to back up into it?";
const char kReplaceOnDevice[] =
    "Files on the notetaker will be replaced by their backed-up copies. Are you sure you want to restore?";

std::vector<std::string> g_boxes;
int g_boxAnswer = IDOK;
int RecordBox(HWND, const char* text, UINT)
{
    g_boxes.emplace_back(text);
    return g_boxAnswer;
}

std::string Pattern(size_t size, int seed)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 7 + i / 251 + seed);
    return s;
}

FILETIME WriteTime(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

// The device of the round trip: two levels of folders below R:\notes, the
// same folder and name on both drives, and a special entry at the root.
class BackupRestoreTest : public ::testing::Test {
protected:
    BackupRestoreTest() : previousBox_(SetMessageBoxHook(RecordBox))
    {
        g_boxes.clear();
        g_boxAnswer = IDOK;
        for (const auto& f : files_) sim_.put(f.first, f.second);
        sim_.put("special\\clock", "");
    }
    ~BackupRestoreTest() override { SetMessageBoxHook(previousBox_); }

    int fetches() { return sim_.device->CommandCount('S'); }
    void wipeDevice()
    {
        for (const auto& f : files_) DeleteFileA(sim_.path(f.first).c_str());
        for (const char* folder : {"R\\notes\\deep\\deeper", "R\\notes\\deep", "R\\notes", "R\\letters", "F\\letters"})
            RemoveDirectoryA(sim_.path(folder).c_str());
    }

    const std::vector<std::pair<std::string, std::string>> files_ = {
        {"R\\letters\\ann.txt", Pattern(5000, 1)},
        {"F\\letters\\ann.txt", Pattern(7000, 2)},
        {"R\\notes\\todo.txt", Pattern(10, 3)},
        {"R\\notes\\deep\\deeper\\plan.brl", Pattern(70000, 4)},
    };
    SimOnLine sim_{3, {"R", "F", "special", "R\\letters", "F\\letters", "R\\notes", "R\\notes\\deep",
                       "R\\notes\\deep\\deeper"}};
    TempDir pc_;
    CNotetaker nt_{2, 500, 5, 3};
    MessageBoxHook previousBox_;
};

TEST_F(BackupRestoreTest, EveryFileAtAnyDepthOnBothDrivesRoundTrips)
{
    const std::string folder = pc_.file("backups\\monday");  // does not exist yet
    ASSERT_EQ(nt_.Backup(nullptr, folder.c_str()), S_OK);
    // The special entry is named in the closing list; nothing was asked.
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], "Not attempted:\nclock");
    for (const auto& f : files_) {
        SCOPED_TRACE(f.first);
        EXPECT_TRUE(TempDir::ReadAll(folder + "\\" + f.first) == f.second);
    }
    const std::string index = folder + "\\backup-restore.index";
    EXPECT_TRUE(GetFileAttributesA(index.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(TempDir::ReadAll(index), "F:\\letters\\ann.txt\r\nR:\\notes\\todo.txt\r\n"
                                       "R:\\notes\\deep\\deeper\\plan.brl\r\nR:\\letters\\ann.txt\r\n");
    EXPECT_EQ(sim_.device->Display(), "Backup complete");

    // The copy carries the device's time, to the minute.
    nt_.EnumFolder("R:\\letters");
    DeviceEntry listed;
    nt_.GetEntry(0, listed);
    FILETIME local, device;
    SystemTimeToFileTime(&listed.stTime, &local);
    LocalFileTimeToFileTime(&local, &device);
    const FILETIME copy = WriteTime(folder + "\\R\\letters\\ann.txt");
    EXPECT_EQ(CompareFileTime(&copy, &device), 0);

    g_boxes.clear();
    wipeDevice();
    ASSERT_EQ(nt_.Restore(nullptr, folder.c_str()), S_OK);
    EXPECT_TRUE(g_boxes.empty());  // nothing on the device to replace
    EXPECT_EQ(nt_.TransferList().size(), 4u);
    Sleep(200);
    for (const auto& f : files_) {
        SCOPED_TRACE(f.first);
        EXPECT_TRUE(sim_.read(f.first) == f.second);
    }
    EXPECT_EQ(sim_.device->Display(), "Restore complete");
}

TEST_F(BackupRestoreTest, ASecondBackupFetchesOnlyWhatChangedAndDropsWhatLeft)
{
    const std::string folder = pc_.file("b");
    ASSERT_EQ(nt_.Backup(nullptr, folder.c_str()), S_OK);

    int start = fetches();
    ASSERT_EQ(nt_.Backup(nullptr, folder.c_str()), S_OK);
    EXPECT_EQ(fetches(), start);
    ASSERT_GE(g_boxes.size(), 2u);
    EXPECT_EQ(g_boxes[1], kReplaceBackup);

    sim_.put("R\\letters\\ann.txt", "changed");
    DeleteFileA(sim_.path("R\\notes\\todo.txt").c_str());
    start = fetches();
    ASSERT_EQ(nt_.Backup(nullptr, folder.c_str()), S_OK);
    EXPECT_EQ(fetches(), start + 1);
    EXPECT_EQ(TempDir::ReadAll(folder + "\\R\\letters\\ann.txt"), "changed");
    EXPECT_FALSE(TempDir::Exists(folder + "\\R\\notes\\todo.txt"));
    EXPECT_TRUE(TempDir::ReadAll(folder + "\\R\\notes\\deep\\deeper\\plan.brl") == files_[3].second);
    EXPECT_EQ(TempDir::ReadAll(folder + "\\backup-restore.index"),
              "F:\\letters\\ann.txt\r\nR:\\notes\\deep\\deeper\\plan.brl\r\nR:\\letters\\ann.txt\r\n");

    // Cancel at the question changes nothing.
    g_boxAnswer = IDCANCEL;
    start = fetches();
    EXPECT_EQ(nt_.Backup(nullptr, folder.c_str()), static_cast<HRESULT>(1));
    EXPECT_EQ(fetches(), start);
}

TEST_F(BackupRestoreTest, AFetchCancelledHalfwayKeepsTheEarlierBackupWhole)
{
    const std::string folder = pc_.file("b");
    ASSERT_EQ(nt_.Backup(nullptr, folder.c_str()), S_OK);
    const std::string index = TempDir::ReadAll(folder + "\\backup-restore.index");

    // A changed file cancelled in the middle, and a file gone from the device.
    sim_.put("R\\letters\\ann.txt", Pattern(60000, 9));
    DeleteFileA(sim_.path("R\\notes\\todo.txt").c_str());
    sim_.line.SetPacing(true);  // 11,520 bytes/s: the file takes about five seconds
    std::thread presser([] {
        for (int i = 0; i < 400; ++i, Sleep(50)) {
            HWND dialog = FindWindowA(nullptr, "Receiving file(s)");
            if (!dialog) continue;
            Sleep(2000);
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            return;
        }
    });
    EXPECT_EQ(nt_.Backup(nullptr, folder.c_str()), ErrorHResult(CYModem::ERR_ABORTED));
    presser.join();

    EXPECT_TRUE(TempDir::ReadAll(folder + "\\R\\letters\\ann.txt") == files_[0].second);
    EXPECT_TRUE(TempDir::ReadAll(folder + "\\R\\notes\\todo.txt") == files_[2].second);
    EXPECT_FALSE(TempDir::Exists(folder + "\\R\\letters\\ann.txt.pellor-new"));
    EXPECT_EQ(TempDir::ReadAll(folder + "\\backup-restore.index").size(), index.size());
}

TEST_F(BackupRestoreTest, AFolderThatIsNoBackupIsAskedForAndNeverEmptied)
{
    // Numbered folders look like a type-digit layout but hold no index.
    const std::string photos = pc_.file("photos");
    CreateDirectoryA(photos.c_str(), nullptr);
    CreateDirectoryA((photos + "\\2023").c_str(), nullptr);
    TempDir::WriteAll(photos + "\\2023\\beach.jpg", "sand");
    const std::string visibleIndex = pc_.file("visible");
    CreateDirectoryA(visibleIndex.c_str(), nullptr);
    TempDir::WriteAll(visibleIndex + "\\backup-restore.index", "R:\\letters\\ann.txt\r\n");

    g_boxAnswer = IDCANCEL;
    for (const std::string& folder : {photos, visibleIndex}) {
        SCOPED_TRACE(folder);
        g_boxes.clear();
        EXPECT_EQ(nt_.Backup(nullptr, folder.c_str()), static_cast<HRESULT>(1));
        ASSERT_EQ(g_boxes.size(), 1u);
        EXPECT_EQ(g_boxes[0], kForeignFolder);
        EXPECT_FALSE(TempDir::Exists(folder + "\\R"));
    }
    g_boxAnswer = IDOK;
    EXPECT_EQ(nt_.Backup(nullptr, photos.c_str()), S_OK);
    EXPECT_EQ(TempDir::ReadAll(photos + "\\2023\\beach.jpg"), "sand");
    nt_.BackupRemove(pc_.file("photos").c_str());  // its index is ours now: only our files go
    EXPECT_EQ(TempDir::ReadAll(photos + "\\2023\\beach.jpg"), "sand");
    EXPECT_FALSE(TempDir::Exists(photos + "\\R"));
}

TEST_F(BackupRestoreTest, RestoreAsksOnceBeforeReplacingAndMakesMissingFolders)
{
    const std::string folder = pc_.file("b");
    ASSERT_EQ(nt_.Backup(nullptr, folder.c_str()), S_OK);
    g_boxes.clear();
    g_boxAnswer = IDCANCEL;
    const int sends = sim_.device->CommandCount('R');
    EXPECT_EQ(nt_.Restore(nullptr, folder.c_str()), static_cast<HRESULT>(1));
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], kReplaceOnDevice);
    EXPECT_EQ(sim_.device->CommandCount('R'), sends);

    // The deepest folders are gone: they are made again.
    g_boxes.clear();
    g_boxAnswer = IDOK;
    DeleteFileA(sim_.path("R\\notes\\deep\\deeper\\plan.brl").c_str());
    RemoveDirectoryA(sim_.path("R\\notes\\deep\\deeper").c_str());
    RemoveDirectoryA(sim_.path("R\\notes\\deep").c_str());
    ASSERT_EQ(nt_.Restore(nullptr, folder.c_str()), S_OK);
    EXPECT_EQ(g_boxes.size(), 1u);  // asked once for the files still there
    Sleep(200);
    EXPECT_TRUE(sim_.read("R\\notes\\deep\\deeper\\plan.brl") == files_[3].second);
}

TEST_F(BackupRestoreTest, RestoreFromATypeDigitLayoutAndFromOlderIndexes)
{
    nt_.TransferList().push_back({"R:\\stale\\row.txt", "C:\\stale.txt", 1, 0, {}});  // an earlier operation's
    const std::string folder = pc_.file("layout");
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "\\2letters").c_str(), nullptr);
    TempDir::WriteAll(folder + "\\2letters\\note.txt", "from the layout");
    EXPECT_EQ(nt_._isRestorePath(folder.c_str(), true), 1);  // one file, no index
    ASSERT_EQ(nt_.Restore(nullptr, folder.c_str()), S_OK);
    ASSERT_EQ(nt_.TransferList().size(), 1u);
    EXPECT_EQ(nt_.TransferList()[0].sName, "R:\\letters\\note.txt");
    Sleep(200);
    EXPECT_EQ(sim_.read("R\\letters\\note.txt"), "from the layout");

    // A file at the top breaks the layout.
    TempDir::WriteAll(folder + "\\stray.txt", "x");
    EXPECT_EQ(nt_._isRestorePath(folder.c_str(), true), 0);
    EXPECT_EQ(nt_.Restore(nullptr, folder.c_str()), ErrorHResult(CNotetaker::ERR_INVALIDPATH));

    // A backup that kept both drives in one tree; a line for a file deleted since is skipped.
    const std::string older = pc_.file("older");
    CreateDirectoryA(older.c_str(), nullptr);
    CreateDirectoryA((older + "\\notes").c_str(), nullptr);
    TempDir::WriteAll(older + "\\notes\\a.txt", "a");
    const std::string index = older + "\\backup-restore.index";
    TempDir::WriteAll(index, "R:\\notes\\gone.txt\r\nR:\\notes\\a.txt\r\n");
    SetFileAttributesA(index.c_str(), FILE_ATTRIBUTE_HIDDEN);
    ASSERT_EQ(nt_.Restore(nullptr, older.c_str()), S_OK);
    ASSERT_EQ(nt_.TransferList().size(), 1u);
    EXPECT_EQ(nt_.TransferList()[0].sName, "R:\\notes\\a.txt");
    Sleep(200);
    EXPECT_EQ(sim_.read("R\\notes\\a.txt"), "a");

    // An index whose last line lacks its CR LF.
    TempDir::WriteAll(index, "R:\\notes\\a.txt\r\nR:\\notes\\a.txt");
    EXPECT_EQ(nt_.Restore(nullptr, older.c_str()), ErrorHResult(CNotetaker::ERR_INVALIDINDEXFILE));
}

TEST_F(BackupRestoreTest, AnIndexNeverHoldsALineItsReaderRefuses)
{
    const std::string longest(kMaxIndexLine + 1, 'x');  // 259 characters
    const std::vector<std::string> paths = {"R:\\" + longest.substr(3), "R:\\" + longest.substr(4), "F:\\a.txt"};
    ASSERT_TRUE(WriteBackupIndex(pc_.path(), paths));
    std::vector<DeviceEntry> rows;
    HANDLE index = CreateFileA(pc_.file("backup-restore.index").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(ReadBackupIndex(pc_.path(), index, rows), 0);
    CloseHandle(index);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].sName.size(), kMaxIndexLine);
    EXPECT_EQ(rows[1].sPcName, pc_.file("F\\a.txt"));
}

TEST_F(BackupRestoreTest, HostileDeviceNamesStayInsideTheBackupFolder)
{
    SimRawListing listing;
    listing.count = {5, 0};
    for (const char* name : {"..\\..\\evil.txt", "C:\\win.ini", "a:b*c?.txt", "CON", "dots..."}) {
        std::vector<uint8_t> record(31, 0);
        memcpy(record.data(), name, strlen(name));
        record[21] = 1;  // a file
        record[28] = 1, record[29] = 1;
        listing.records.push_back(record);
    }
    sim_.device->SetRawListing(listing);
    const std::string base = pc_.file("safe");
    ASSERT_EQ(nt_.getFileNames(base.c_str(), "R:\\letters", false), 5);
    for (const DeviceEntry& row : nt_.TransferList()) {
        SCOPED_TRACE(row.sName);
        ASSERT_EQ(row.sPcName.compare(0, base.size() + 3, base + "\\R\\"), 0);
        const std::string below = row.sPcName.substr(base.size() + 1);
        EXPECT_EQ(("\\" + below + "\\").find("\\..\\"), std::string::npos);
        EXPECT_EQ(below.find(':'), std::string::npos);
        EXPECT_EQ(below.find_first_of("*?\"<>|"), std::string::npos);
    }
}

}  // namespace
