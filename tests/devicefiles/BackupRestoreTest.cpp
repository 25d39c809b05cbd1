// Backup and restore against the stand-in note-taker over the in-memory line.
#include "devicefiles/BackupIndex.h"
#include "foundation/ScopedHandle.h"
#include "tests/devicefiles/DeviceFixture.h"

namespace {

const char kReplaceBackup[] = "This folder holds a backup. The existing backup will be updated: new and changed files are fetched, the others kept. Continue?";
const char kForeignFolder[] =
    "This folder is not empty and holds no Pellor backup. Are you sure you want to back up into it?";
const char kReplaceOnDevice[] =
    "Files on the notetaker will be replaced by their backed-up copies. Are you sure you want to restore?";
const HRESULT kDeclined = 1;
using Files = std::vector<std::pair<std::string, std::string>>;  // relative path, bytes

// The device of the round trip: two levels of folders below R:\notes, the
// same file name on both drives, an empty folder and a special entry at the root.
class BackupRestoreTest : public DeviceFixture {
protected:
    BackupRestoreTest()
        : DeviceFixture({"R", "F", "special", "R\\letters", "F\\mail", "F\\empty", "R\\notes", "R\\notes\\deep",
                         "R\\notes\\deep\\deeper"})
    {
        for (const auto& f : files_) sim_.put(f.first, f.second);
        sim_.put("special\\clock", "");
    }

    int fetches() { return sim_.device->CommandCount('S'); }
    std::string backedUp(const std::string& relative) { return TempDir::ReadAll(folder_ + "\\" + relative); }
    std::string index() { return backedUp("backup-restore.index"); }

    const Files files_ = {{"R\\letters\\ann.txt", Pattern(5000, 1)}, {"F\\mail\\ann.txt", Pattern(7000, 2)},
                          {"R\\notes\\deep\\deeper\\plan.brl", Pattern(70000, 4)},
                          {"R\\notes\\todo.txt", Pattern(10, 3)}};
    const std::string folder_ = pc_.file("backups\\monday");  // does not exist yet
};

// Every byte of every file at any depth on both drives, fetches of unchanged
// files, a declined backup and a restore onto empty drives are covered by
// pellor_roundtrip; here, what only this object shows. The copies' times are
// shown by what the second backup leaves alone.
TEST_F(BackupRestoreTest, BackupUpdateAndRestoreOfEveryFileAtAnyDepthOnBothDrives)
{
    ASSERT_EQ(nt_.Backup(nullptr, folder_.c_str()), S_OK);
    EXPECT_EQ(s_boxes, std::vector<std::string>{"Not attempted:\nclock"});  // and nothing asked
    for (const auto& f : files_) EXPECT_TRUE(backedUp(f.first) == f.second) << f.first;
    EXPECT_TRUE(GetFileAttributesA((folder_ + "\\backup-restore.index").c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(index(), "F:\\mail\\ann.txt\r\nR:\\notes\\todo.txt\r\n"
                       "R:\\notes\\deep\\deeper\\plan.brl\r\nR:\\letters\\ann.txt\r\n");
    EXPECT_EQ(sim_.device->Display(), "Backup complete");

    // Asked before the old backup goes; only what changed is fetched, and
    // what left the device leaves the backup.
    sim_.put("R\\letters\\ann.txt", "changed");
    DeleteFileA(sim_.path("R\\notes\\todo.txt").c_str());
    const int start = fetches();
    ASSERT_EQ(nt_.Backup(nullptr, folder_.c_str()), S_OK);
    EXPECT_EQ(fetches(), start + 1);
    EXPECT_EQ(s_boxes.at(1), kReplaceBackup);
    EXPECT_EQ(backedUp("R\\letters\\ann.txt"), "changed");
    EXPECT_FALSE(TempDir::Exists(folder_ + "\\R\\notes\\todo.txt"));
    EXPECT_EQ(index(), "F:\\mail\\ann.txt\r\nR:\\notes\\deep\\deeper\\plan.brl\r\nR:\\letters\\ann.txt\r\n");
    // A name whose case alone changed is the same file: its copy stays.
    DeleteFileA(sim_.path("F\\mail\\ann.txt").c_str());
    sim_.put("F\\mail\\Ann.txt", files_[1].second);
    ASSERT_EQ(nt_.Backup(nullptr, folder_.c_str()), S_OK);
    EXPECT_TRUE(backedUp("F\\mail\\ann.txt") == files_[1].second);

    // Cancel at the question sends nothing.
    s_boxAnswer = IDCANCEL;
    s_boxes.clear();
    const int sends = sim_.device->CommandCount('R');
    EXPECT_EQ(nt_.Restore(nullptr, folder_.c_str()), kDeclined);
    EXPECT_EQ(s_boxes, std::vector<std::string>{kReplaceOnDevice});
    EXPECT_EQ(sim_.device->CommandCount('R'), sends);

    // A restore asks once for the files still there and makes the folders gone since.
    s_boxes.clear();
    s_boxAnswer = IDOK;
    DeleteFileA(sim_.path(files_[2].first).c_str());
    RemoveDirectoryA(sim_.path("R\\notes\\deep\\deeper").c_str());
    RemoveDirectoryA(sim_.path("R\\notes\\deep").c_str());
    std::string wire;  // what the PC sends
    sim_.line.SetHook([&](MemoryLine::Side from, uint64_t, MemoryLine::ByteFate& fate) {
        if (from == MemoryLine::Side::Pc) wire += static_cast<char>(fate.value);
    });
    ASSERT_EQ(nt_.Restore(nullptr, folder_.c_str()), S_OK);
    sim_.line.SetHook(nullptr);
    EXPECT_EQ(s_boxes.size(), 1u);
    Sleep(200);
    EXPECT_TRUE(sim_.read(files_[2].first) == files_[2].second);
    // A folder at the top is looked for in the listing of the root, never of an empty path.
    EXPECT_NE(wire.find("\x05\x04" "F\\\r"), std::string::npos);
    EXPECT_EQ(wire.find("\x05\x04" "F\r"), std::string::npos);
    EXPECT_EQ(sim_.device->Display(), "Restore complete");
}

TEST_F(BackupRestoreTest, AFetchCancelledHalfwayKeepsTheEarlierBackupWhole)
{
    ASSERT_EQ(nt_.Backup(nullptr, folder_.c_str()), S_OK);
    const std::string before = index();
    // A changed file cancelled in the middle, and a file gone from the device.
    sim_.put("R\\letters\\ann.txt", Pattern(60000, 9));
    DeleteFileA(sim_.path("R\\notes\\todo.txt").c_str());
    sim_.line.SetPacing(true);  // 11,520 bytes/s: the file takes about five seconds
    std::thread presser = cancelWhen([] { return true; }, 2000);
    EXPECT_EQ(onDeviceThread([this] { return nt_.Backup(nullptr, folder_.c_str()); }), ErrorHResult(CYModem::ERR_ABORTED));
    presser.join();
    EXPECT_TRUE(backedUp("R\\letters\\ann.txt") == files_[0].second);
    EXPECT_TRUE(backedUp("R\\notes\\todo.txt") == files_[3].second);
    EXPECT_FALSE(TempDir::Exists(folder_ + "\\R\\letters\\ann.txt.pellor-new"));
    EXPECT_EQ(index().size(), before.size());
}

TEST_F(BackupRestoreTest, AFolderThatIsNoBackupIsAskedForAndNeverEmptied)
{
    // Numbered folders look like a type-digit layout but hold no index.
    const std::string photos = pc_.file("photos"), visibleIndex = pc_.file("visible");
    MakeFile(photos + "\\2023\\beach.jpg", "sand");
    MakeFile(visibleIndex + "\\backup-restore.index", "R:\\letters\\ann.txt\r\n");
    s_boxAnswer = IDCANCEL;
    for (const std::string& folder : {photos, visibleIndex}) {
        s_boxes.clear();
        EXPECT_EQ(nt_.Backup(nullptr, folder.c_str()), kDeclined) << folder;
        EXPECT_EQ(s_boxes, std::vector<std::string>{kForeignFolder});
        EXPECT_FALSE(TempDir::Exists(folder + "\\R"));
    }
    s_boxAnswer = IDOK;
    EXPECT_EQ(nt_.Backup(nullptr, photos.c_str()), S_OK);
    nt_.BackupRemove(photos.c_str());  // its index is ours now: only our files go
    EXPECT_EQ(TempDir::ReadAll(photos + "\\2023\\beach.jpg"), "sand");
    EXPECT_FALSE(TempDir::Exists(photos + "\\R"));
    // A folder that cannot be made is refused before anything is fetched.
    const int start = fetches();
    EXPECT_EQ(nt_.Backup(nullptr, (photos + "\\2023\\beach.jpg\\new").c_str()), ErrorHResult(CComPort::ERR_SYSTEM));
    EXPECT_EQ(fetches(), start);
}

// Folders laid out by type digit and older indexes, one row a layout.
TEST_F(BackupRestoreTest, RestoreFromEachOlderLayout)
{
    // The first file is the one restored; `kind` as _isRestorePath tells it.
    const struct { const char* what; Files files; int kind; HRESULT result; const char* restored; } rows[] = {
        {"folders by type digit", {{"2letters\\note.txt", "from the layout"}}, 1, S_OK, "R:\\letters\\note.txt"},
        {"a file at the top breaks the layout", {{"2letters\\note.txt", "x"}, {"stray.txt", "x"}}, 0,
         ErrorHResult(CNotetaker::ERR_INVALIDPATH), nullptr},
        {"both drives in one tree, a line for a file deleted since skipped",
         {{"notes\\a.txt", "a"}, {"backup-restore.index", "R:\\notes\\gone.txt\r\nR:\\notes\\a.txt\r\n"}}, 1, S_OK,
         "R:\\notes\\a.txt"},
        {"an index whose last line lacks its CR LF",
         {{"notes\\a.txt", "a"}, {"backup-restore.index", "R:\\notes\\a.txt\r\nR:\\notes\\a.txt"}}, 1,
         ErrorHResult(CNotetaker::ERR_INVALIDINDEXFILE), nullptr},
    };
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string folder = pc_.file(std::to_string(n++));
        for (const auto& f : row.files) MakeFile(folder + "\\" + f.first, f.second);
        SetFileAttributesA((folder + "\\backup-restore.index").c_str(), FILE_ATTRIBUTE_HIDDEN);
        EXPECT_EQ(nt_._isRestorePath(folder.c_str(), true), row.kind);
        nt_.TransferList().assign(1, {"R:\\stale\\row.txt", "C:\\stale.txt", 1, 0, {}});  // an earlier operation's
        ASSERT_EQ(nt_.Restore(nullptr, folder.c_str()), row.result);
        if (!row.restored) continue;
        ASSERT_EQ(nt_.TransferList().size(), 1u);
        EXPECT_EQ(nt_.TransferList()[0].sName, row.restored);
        Sleep(200);
        EXPECT_EQ(sim_.read(std::string("R") + (row.restored + 2)), row.files[0].second);
    }
}

TEST_F(BackupRestoreTest, AnIndexNeverHoldsALineItsReaderRefusesNorANameLeavesTheBackupFolder)
{
    const std::string longest(kMaxIndexLine + 1, 'x');  // 259 characters
    ASSERT_TRUE(WriteBackupIndex(pc_.path(), {"R:\\" + longest.substr(3), "R:\\" + longest.substr(4), "F:\\a.txt"}));
    std::vector<DeviceEntry> rows;
    ScopedKernelHandle index(CreateFileA(pc_.file("backup-restore.index").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(ReadBackupIndex(pc_.path(), index.get(), rows), 0);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].sName.size(), kMaxIndexLine);
    EXPECT_EQ(rows[1].sPcName, pc_.file("F\\a.txt"));

    const std::string hostile = Record("..\\..\\evil.txt");
    sim_.device->SetRawListing({{1, 0}, {std::vector<uint8_t>(hostile.begin(), hostile.end())}});
    ASSERT_EQ(nt_.getFileNames(pc_.path().c_str(), "R:\\letters", false), 1);
    EXPECT_EQ(nt_.TransferList()[0].sPcName, pc_.file("R\\letters\\__\\__\\evil.txt"));
}

}  // namespace
