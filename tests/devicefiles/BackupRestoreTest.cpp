// Backup and restore against the stand-in note-taker over the in-memory line.
#include "devicefiles/BackupIndex.h"
#include "foundation/ScopedHandle.h"
#include "tests/devicefiles/DeviceFixture.h"

namespace {

const char kReplaceBackup[] =
    "This folder holds a backup. The existing backup will be updated: new and changed files are fetched, the others "
    "kept. Continue?";
const char kForeignFolder[] =
    "This folder is not empty and holds no Pellor backup. Are you sure you want to back up into it?";
const char kReplaceOnDevice[] =
    "2 file(s) on the notetaker will be replaced by their backed-up copies, and 1 file(s) not on the notetaker now "
    "will be made again. Are you sure you want to restore?";
const HRESULT kDeclined = 1;
using Files = std::vector<std::pair<std::string, std::string>>;  // relative path, bytes

// Folders at depth, one name in a folder of each drive, an empty folder, a special entry; files older than folders.
class BackupRestoreTest : public DeviceFixture {
protected:
    BackupRestoreTest()
        : DeviceFixture({"R", "F", "special", "R\\letters", "F\\post", "F\\empty", "R\\notes", "R\\notes\\deep",
                         "R\\notes\\deep\\deeper"})
    {
        for (const auto& f : files_) {
            sim_.put(f.first, f.second);
            stamp(f.first, 2026, 3, 14, 9, 26);
        }
        sim_.put("special\\clock", "");
    }

    // The device reports times to the minute.
    void stamp(const std::string& name, WORD year, WORD month, WORD day, WORD hour, WORD minute)
    {
        SYSTEMTIME local = {year, month, 0, day, hour, minute, 0, 0};
        FILETIME localFile, utc;
        SystemTimeToFileTime(&local, &localFile);
        LocalFileTimeToFileTime(&localFile, &utc);
        ScopedKernelHandle file(CreateFileA(sim_.path(name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        ASSERT_TRUE(file.valid() && SetFileTime(file.get(), nullptr, nullptr, &utc)) << name;
    }

    int fetches() { return sim_.device->CommandCount('S'); }
    std::string backedUp(const std::string& relative) { return TempDir::ReadAll(folder_ + "\\" + relative); }
    // The index as "kind path" lines: every backup, a cancelled one too, writes its folders anew with their times.
    std::vector<std::string> index()
    {
        std::vector<IndexLine> lines;
        EXPECT_EQ(ReadBackupIndex(folder_, lines), 0);
        std::vector<std::string> text;
        for (const IndexLine& l : lines) text.push_back(std::to_string(l.kind) + " " + l.devicePath);
        return text;
    }

    const Files files_ = {{"R\\letters\\ann.txt", Pattern(5000, 1)},
                          {"F\\post\\ann.txt", Pattern(7000, 2)},
                          {"R\\notes\\deep\\deeper\\plan.brl", Pattern(70000, 4)},
                          {"R\\notes\\todo.txt", Pattern(10, 3)}};
    const std::string folder_ = pc_.file("backups\\monday");  // does not exist yet
};

// Bytes, index lines, fetch counts and a restore onto wiped drives are pellor_roundtrip's; here, the rest,
// in one run since every fetch costs the receiver's start-up pause.
TEST_F(BackupRestoreTest, BackupUpdateRestoreAndACancelledFetchOfEveryFileAtAnyDepthOnBothDrives)
{
    ASSERT_EQ(nt_.Backup(nullptr, folder_.c_str()), S_OK);
    EXPECT_EQ(s_boxes, std::vector<std::string>{"Not attempted:\nclock"});  // and nothing asked
    EXPECT_TRUE(GetFileAttributesA((folder_ + "\\backup-restore.index").c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(sim_.device->Display(), "Backup complete");

    // Asked before the old backup goes; what left the device leaves the backup.
    sim_.put("R\\letters\\ann.txt", "changed");
    DeleteFileA(sim_.path("R\\notes\\todo.txt").c_str());
    ASSERT_EQ(nt_.Backup(nullptr, folder_.c_str()), S_OK);
    EXPECT_EQ(s_boxes.at(1), kReplaceBackup);
    EXPECT_EQ(backedUp("R\\letters\\ann.txt"), "changed");
    EXPECT_FALSE(TempDir::Exists(folder_ + "\\R\\notes\\todo.txt"));
    // A name whose case alone changed is the same file: its copy stays.
    DeleteFileA(sim_.path("F\\post\\ann.txt").c_str());
    sim_.put("F\\post\\Ann.txt", files_[1].second);
    ASSERT_EQ(nt_.Backup(nullptr, folder_.c_str()), S_OK);
    EXPECT_TRUE(backedUp("F\\post\\ann.txt") == files_[1].second);

    // Cancel at the question sends nothing; it counts what is replaced and what is made again.
    DeleteFileA(sim_.path("R\\notes\\deep\\deeper\\plan.brl").c_str());
    s_boxAnswer = IDCANCEL;
    s_boxes.clear();
    const int sends = sim_.device->CommandCount('R');
    EXPECT_EQ(nt_.Restore(nullptr, folder_.c_str()), kDeclined);
    EXPECT_EQ(s_boxes, std::vector<std::string>{kReplaceOnDevice});
    EXPECT_EQ(sim_.device->CommandCount('R'), sends);

    // A restore asks once.
    s_boxes.clear();
    s_boxAnswer = IDOK;
    sniffPc();
    ASSERT_EQ(nt_.Restore(nullptr, folder_.c_str()), S_OK);
    EXPECT_EQ(s_boxes.size(), 1u);
    // A folder at the top is looked for in the listing of the root, never of an empty path.
    EXPECT_NE(wire_.find(std::string("\x05\x04") + "F\\\r"), std::string::npos);
    EXPECT_EQ(wire_.find(std::string("\x05\x04") + "F\r"), std::string::npos);
    EXPECT_EQ(sim_.device->Display(), "Restore complete");

    // Changed twice within its minute, the newest on the device, keeping its size ("changed": 7 bytes).
    for (const char* bytes : {"0123456", "6543210"}) {
        sim_.put("R\\letters\\ann.txt", bytes);
        stamp("R\\letters\\ann.txt", 2030, 1, 2, 10, 0);
        const int start = fetches();
        ASSERT_EQ(nt_.Backup(nullptr, folder_.c_str()), S_OK);
        EXPECT_EQ(fetches(), start + 1) << bytes;
        EXPECT_EQ(backedUp("R\\letters\\ann.txt"), bytes);
    }

    // An index that lost its hidden attribute is still found; an empty folder gone from the device is made again.
    SetFileAttributesA((folder_ + "\\backup-restore.index").c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(RemoveDirectoryA(sim_.path("F\\empty").c_str()));
    EXPECT_EQ(nt_.Restore(nullptr, folder_.c_str()), S_OK);
    EXPECT_TRUE(TempDir::Exists(sim_.path("F\\empty")));

    // A fetch cancelled halfway keeps the earlier backup whole, a file gone from the device too.
    const std::vector<std::string> before = index();
    sim_.put("R\\letters\\ann.txt", Pattern(60000, 9));
    DeleteFileA(sim_.path(files_[2].first).c_str());
    sim_.line.SetPacing(true);  // 11,520 bytes/s: the file takes about five seconds
    std::thread presser = cancelWhen([] { return true; }, 2000);
    EXPECT_EQ(onDeviceThread([this] { return nt_.Backup(nullptr, folder_.c_str()); }),
              HRESULT_FROM_WIN32(ERROR_CANCELLED));  // the code Explorer knows for a cancel
    presser.join();
    EXPECT_TRUE(clicked_ && backedUp("R\\letters\\ann.txt") == "6543210");
    EXPECT_TRUE(backedUp(files_[2].first) == files_[2].second);
    EXPECT_FALSE(TempDir::Exists(folder_ + "\\R\\letters\\ann.txt.pellor-new"));
    EXPECT_EQ(index(), before);
}

// The user's own file where an older layout kept R:\letters\ann.txt; then names the PC does not allow.
TEST_F(BackupRestoreTest, AUserFileIsNeverTakenForACopyAndARestoreSendsTheDeviceNamesOfTheIndex)
{
    MakeFile(folder_ + "\\R\\notes\\todo.txt", files_[3].second);
    MakeFile(folder_ + "\\letters\\ann.txt", "the user's own");
    MakeFile(folder_ + "\\backup-restore.index", "R:\\letters\\ann.txt\r\nR:\\notes\\todo.txt\r\n");
    SetFileAttributesA((folder_ + "\\backup-restore.index").c_str(), FILE_ATTRIBUTE_HIDDEN);
    DeleteFileA(sim_.path("R\\letters\\ann.txt").c_str());
    ASSERT_EQ(nt_.Backup(nullptr, folder_.c_str()), S_OK);
    EXPECT_EQ(backedUp("letters\\ann.txt"), "the user's own");

    // Copies carry names the PC allows; the device gets its own names back.
    std::vector<IndexLine> lines(2);
    lines[0].devicePath = "R:\\letters\\tr.";
    lines[1].devicePath = "R:\\letters\\lpt1";
    for (const IndexLine& line : lines) MakeFile(BackupPcPath(folder_, line.devicePath), "copy");
    ASSERT_TRUE(WriteBackupIndex(folder_, lines));
    sniffPc();
    nt_.Restore(nullptr, folder_.c_str());
    for (const char* name : {"tr.", "lpt1"})  // block 0: number 0, its complement, the name
        EXPECT_NE(wire_.find(std::string("\x00\xFF", 2) + name + '\0'), std::string::npos) << name;
}

TEST_F(BackupRestoreTest, AFolderThatIsNoBackupIsAskedForAndNeverEmptied)
{
    // Numbered folders look like a type-digit layout but hold no index.
    const std::string photos = pc_.file("photos");
    MakeFile(photos + "\\2023\\beach.jpg", "sand");
    s_boxAnswer = IDCANCEL;
    EXPECT_EQ(nt_.Backup(nullptr, photos.c_str()), kDeclined);
    EXPECT_EQ(s_boxes, std::vector<std::string>{kForeignFolder});
    EXPECT_FALSE(TempDir::Exists(photos + "\\R"));
    s_boxAnswer = IDOK;
    ASSERT_TRUE(CreateDirectoryA(sim_.path("F\\letters").c_str(), nullptr));  // R:'s files as the cable answers
    EXPECT_EQ(nt_.Backup(nullptr, photos.c_str()), S_OK);
    EXPECT_FALSE(TempDir::Exists(photos + "\\F\\letters"));
    nt_.BackupRemove(photos.c_str());  // its index is ours now: only our files go
    EXPECT_EQ(TempDir::ReadAll(photos + "\\2023\\beach.jpg"), "sand");
    EXPECT_FALSE(TempDir::Exists(photos + "\\R"));
}

// Folders laid out by type digit and older indexes, one row a layout.
TEST_F(BackupRestoreTest, RestoreFromEachOlderLayout)
{
    // `files`: path and bytes by turns, the first the one restored; `kind` as _isRestorePath tells it.
    struct Layout {
        const char* what;
        std::vector<std::string> files;
        int kind;
        HRESULT result;
        const char* restored;
    };
    const std::string indexName = "backup-restore.index";
    const Layout rows[] = {
        {"folders by type digit", {"2letters\\note.txt", "from the layout"}, 1, S_OK, "R:\\letters\\note.txt"},
        {"a file at the top breaks the layout",
         {"2letters\\note.txt", "x", "stray.txt", "x"},
         0,
         ErrorHResult(CNotetaker::ERR_INVALIDPATH),
         nullptr},
        {"both drives in one tree, a line for a file deleted since skipped",
         {"notes\\a.txt", "a", indexName, "R:\\notes\\gone.txt\r\nR:\\notes\\a.txt\r\n"},
         1,
         S_OK,
         "R:\\notes\\a.txt"},
        {"an index whose last line lacks its CR LF",
         {"notes\\a.txt", "a", indexName, "R:\\notes\\a.txt\r\nR:\\notes\\a.txt"},
         1,
         ErrorHResult(CNotetaker::ERR_INVALIDINDEXFILE),
         nullptr},
    };
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string folder = pc_.file(std::to_string(n++));
        for (size_t i = 0; i < row.files.size(); i += 2) MakeFile(folder + "\\" + row.files[i], row.files[i + 1]);
        SetFileAttributesA((folder + "\\backup-restore.index").c_str(), FILE_ATTRIBUTE_HIDDEN);
        EXPECT_EQ(nt_._isRestorePath(folder.c_str(), true), row.kind);
        nt_.TransferList().assign(1, {"R:\\stale\\row.txt", "C:\\stale.txt", 1, 0, {}});  // an earlier operation's
        ASSERT_EQ(nt_.Restore(nullptr, folder.c_str()), row.result);
        if (!row.restored) continue;
        ASSERT_EQ(nt_.TransferList().size(), 1u);
        EXPECT_EQ(nt_.TransferList()[0].sName, row.restored);
        Sleep(200);
        EXPECT_EQ(sim_.read(std::string("R") + (row.restored + 2)), row.files[1]);
    }
}

TEST_F(BackupRestoreTest, AnIndexIsReadAsWrittenNorDoesANameLeaveTheBackupFolder)
{
    SHCreateDirectoryExA(nullptr, folder_.c_str(), nullptr);
    const std::string v2 = "Pellor backup index 2\r\n";
    const struct {
        const char* what;
        std::string text;
        int result;
        const char* read;
    } rows[] = {
        {"a name that starts with a blank", v2 + "recent 77 202612071725 F:\\ a\r\n", 0, "1 77 202612071725 F:\\ a;"},
        {"a line cut off by the end of the process", v2 + "file 4 202603140926 R:\\a\r\nfile 4 2026", 0,
         "0 4 202603140926 R:\\a;"},
        {"a later line for a path replaces the first",
         v2 + "recent 4 202603140926 R:\\a\r\nfile 5 202603140927 r:\\A\r\n", 0, "0 5 202603140927 r:\\A;"},
        {"a line without a path", v2 + "file 4 202603140926\r\n", CNotetaker::ERR_INVALIDINDEXFILE, ""},
        {"an index of a later version", "Pellor backup index 3\r\nfile 4 202603140926 R:\\a\r\n",
         CNotetaker::ERR_INVALIDINDEXFILE, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(TempDir::WriteAll(folder_ + "\\backup-restore.index", row.text));
        std::vector<IndexLine> lines;
        EXPECT_EQ(ReadBackupIndex(folder_, lines), row.result);
        std::string read;
        for (const IndexLine& l : lines)
            read += std::to_string(l.kind) + " " + std::to_string(l.size) + " " + std::to_string(DeviceMinute(l.time)) +
                    " " + l.devicePath + ";";
        EXPECT_EQ(read, row.read);
    }

    const std::string hostile = Record("..\\..\\evil.txt");
    sim_.device->SetRawListing({{1, 0}, {std::vector<uint8_t>(hostile.begin(), hostile.end())}});
    ASSERT_EQ(nt_.getFileNames(pc_.path().c_str(), "R:\\letters", false), 1);
    EXPECT_EQ(nt_.TransferList()[0].sPcName, pc_.file("R\\letters\\__\\__\\evil.txt"));
}

}  // namespace
