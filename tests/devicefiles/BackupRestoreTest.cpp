// Backup and restore against the stand-in note-taker over the in-memory line.
#include "devicefiles/BackupIndex.h"
#include "foundation/DurableFile.h"
#include "foundation/ScopedHandle.h"
#include "tests/devicefiles/DeviceFixture.h"

namespace {

const char kReplaceBackup[] =
    "This folder holds a backup. The existing backup will be updated: new and changed files are fetched, the others "
    "kept. Continue?";
const char kMovesOneAside[] =
    "This folder holds a backup. The existing backup will be updated: new and changed files are fetched, the others "
    "kept. The copies of 1 files no longer on the notetaker will be moved to the folder \"Removed from the "
    "note-taker\" in it. Continue?";
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
    // The files below "Removed from the note-taker", each as "minute folder\path".
    std::vector<std::string> movedAside(std::string below = "")
    {
        std::vector<std::string> found;
        WIN32_FIND_DATAA entry;
        ScopedFind find(FindFirstFileA((folder_ + "\\Removed from the note-taker" + below + "\\*").c_str(), &entry));
        for (bool more = find.valid(); more; more = FindNextFileA(find.get(), &entry)) {
            const std::string name = below + "\\" + entry.cFileName;
            if (entry.cFileName[0] == '.') continue;
            const std::vector<std::string> deeper = entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY
                                                        ? movedAside(name)
                                                        : std::vector<std::string>{name.substr(1)};
            found.insert(found.end(), deeper.begin(), deeper.end());
        }
        return found;
    }
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

    // Asked before the old backup changes, told how many copies move aside: what left the device moves to
    // "Removed from the note-taker", and a folder that lists empty once is asked again first.
    sim_.put("R\\letters\\ann.txt", "changed");
    DeleteFileA(sim_.path("R\\notes\\todo.txt").c_str());
    SimFaults emptyOnce;
    emptyOnce.emptyOnce = "notes";
    sim_.device->SetFaults(emptyOnce);
    ASSERT_EQ(nt_.Backup(nullptr, folder_.c_str()), S_OK);
    EXPECT_EQ(s_boxes.at(1), kMovesOneAside);
    EXPECT_EQ(backedUp("R\\letters\\ann.txt"), "changed");
    EXPECT_FALSE(TempDir::Exists(folder_ + "\\R\\notes\\todo.txt"));
    const std::vector<std::string> aside = movedAside();
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(aside[0].substr(16), "\\R\\notes\\todo.txt");  // below "YYYY-MM-DD HH.MM"
    EXPECT_TRUE(TempDir::ReadAll(folder_ + "\\Removed from the note-taker\\" + aside[0]) == files_[3].second);
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
    EXPECT_FALSE(TempDir::Exists(sim_.path("R\\notes\\todo.txt")));  // moved aside, not restored

    // A restored file is recent: changed again in the restore's minute, keeping its size ("changed": 7 bytes).
    WIN32_FILE_ATTRIBUTE_DATA restored;
    SYSTEMTIME t;
    FILETIME local;
    ASSERT_TRUE(GetFileAttributesExA(sim_.path("R\\letters\\ann.txt").c_str(), GetFileExInfoStandard, &restored));
    FileTimeToLocalFileTime(&restored.ftLastWriteTime, &local);
    FileTimeToSystemTime(&local, &t);
    sim_.put("R\\letters\\ann.txt", "CHANGED");
    stamp("R\\letters\\ann.txt", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute);
    ASSERT_EQ(nt_.Backup(nullptr, folder_.c_str()), S_OK);
    EXPECT_EQ(backedUp("R\\letters\\ann.txt"), "CHANGED");
    // Changed twice within a minute still to come on the device (its clock set back), though another file's is later.
    stamp("F\\post\\Ann.txt", 2031, 1, 2, 10, 0);
    for (const char* bytes : {"0123456", "6543210"}) {
        sim_.put("R\\letters\\ann.txt", bytes);
        stamp("R\\letters\\ann.txt", 2030, 1, 2, 10, 0);
        ASSERT_EQ(nt_.Backup(nullptr, folder_.c_str()), S_OK);
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
    EXPECT_FALSE(TempDir::Exists(folder_ + "\\R\\letters\\ann.txt.pellor-part"));
    EXPECT_EQ(index(), before);
}

// Each fetched copy and each index is flushed and closed before the rename that names it, the rename written
// through; the index before the last is kept and read when the index is damaged.
TEST_F(BackupRestoreTest, EveryFileIsOnTheDiskBeforeItTakesItsName)
{
    static std::vector<std::string> calls;
    calls.clear();
    const FileCallHook previous =
        SetFileCallHook([](const char* call, const char* path) { calls.push_back(std::string(call) + " " + path); });
    const HRESULT hr = nt_.Backup(nullptr, folder_.c_str());
    SetFileCallHook(previous);
    ASSERT_EQ(hr, S_OK);
    const std::string index = folder_ + "\\backup-restore.index";
    std::vector<std::string> want = {"flush " + index + ".new", "close " + index + ".new", "rename " + index};
    for (const DeviceEntry& row : nt_.TransferList()) {
        if (row.nType != 0) continue;
        for (const char* call : {"flush ", "close "}) want.push_back(call + row.sPcName + ".pellor-part");
        want.push_back("rename " + row.sPcName);
        want.push_back("flush backup-restore.index");  // its line, appended
    }
    for (const char* file : {".new", ".bak"})
        for (const char* call : {"flush ", "close "}) want.push_back(call + index + file);
    want.push_back("rename " + index);
    EXPECT_EQ(calls, want);

    ASSERT_TRUE(TempDir::WriteAll(index, "Pellor backup index 2\r\ncut off by a power cut\r\n"));
    std::vector<IndexLine> lines;
    EXPECT_EQ(ReadBackupIndex(folder_, lines), 0);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const IndexLine& l) { return l.kind != IndexLine::FOLDER; }),
              static_cast<long>(files_.size()));
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
    EXPECT_EQ(sim_.device->Display(), "Backup incomplete, see the PC");
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
        const char* closing;  // the list after the restore, or none
    };
    const std::string indexName = "backup-restore.index";
    const Layout rows[] = {
        {"folders by type digit, what a backup moved aside left out",
         {"2letters\\note.txt", "from the layout", "Removed from the note-taker\\2026-12-08 14.05\\R\\a\\b", "x"},
         1,
         S_OK,
         "R:\\letters\\note.txt",
         nullptr},
        {"a file at the top breaks the layout",
         {"2letters\\note.txt", "x", "stray.txt", "x"},
         0,
         ErrorHResult(CNotetaker::ERR_INVALIDPATH),
         nullptr,
         nullptr},
        {"both drives in one tree, a line for a file deleted since named as failed",
         {"notes\\a.txt", "a", indexName, "R:\\notes\\gone.txt\r\nR:\\notes\\a.txt\r\n"},
         1,
         S_OK,
         "R:\\notes\\a.txt",
         "Operation failed for the following files:\nR:\\notes\\gone.txt"},
        {"an index whose last line lacks its CR LF",
         {"notes\\a.txt", "a", indexName, "R:\\notes\\a.txt\r\nR:\\notes\\a.txt"},
         1,
         ErrorHResult(CNotetaker::ERR_INVALIDINDEXFILE),
         nullptr,
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
        s_boxes.clear();
        ASSERT_EQ(nt_.Restore(nullptr, folder.c_str()), row.result);
        if (!row.restored) continue;
        EXPECT_EQ(s_boxes, row.closing ? std::vector<std::string>{row.closing} : std::vector<std::string>());
        ASSERT_EQ(nt_.TransferList().size(), row.closing ? 2u : 1u);
        EXPECT_EQ(nt_.TransferList()[0].sName, row.restored);
        Sleep(200);
        EXPECT_EQ(sim_.read(std::string("R") + (row.restored + 2)), row.files[1]);
    }
}

TEST_F(BackupRestoreTest, AnIndexIsReadAsWrittenNorDoesANameLeaveTheBackupFolderOrShareACopy)
{
    SHCreateDirectoryExA(nullptr, folder_.c_str(), nullptr);
    const std::string v2 = "Pellor backup index 2\r\n", v3 = "Pellor backup index 3\r\n";
    const struct {
        const char* what;
        std::string text;
        int result;
        const char* read;
    } rows[] = {
        {"a name that starts with a blank", v2 + "recent 77 202612071725 F:\\ a\r\n", 0,
         "1 77 202612071725 F:\\ a=F\\ a;"},
        {"a line cut off by the end of the process", v2 + "file 4 202603140926 R:\\a\r\nfile 4 2026", 0,
         "0 4 202603140926 R:\\a=R\\a;"},
        {"version 2: a later line for a path in another case replaces the first",
         v2 + "recent 4 202603140926 R:\\a\r\nfile 5 202603140927 r:\\A\r\n", 0, "0 5 202603140927 r:\\A=r\\A;"},
        {"a line without a path", v2 + "file 4 202603140926\r\n", CNotetaker::ERR_INVALIDINDEXFILE, ""},
        {"an index of a later version", "Pellor backup index 4\r\nfile 4 202603140926 R:\\a\r\n",
         CNotetaker::ERR_INVALIDINDEXFILE, ""},
        {"version 3: each copy's own path; names in another case are other files",
         v3 + "file 4 202603140926 R\\a_b (2)|R:\\a|b\r\nfile 5 202603140926 R\\A|R:\\A\r\n"
              "file 6 202603140926 R\\a|R:\\a\r\n",
         0, "0 4 202603140926 R:\\a|b=R\\a_b (2);0 5 202603140926 R:\\A=R\\A;0 6 202603140926 R:\\a=R\\a;"},
        {"version 3: a copy's path that leaves the backup folder", v3 + "file 4 202603140926 R\\..\\x|R:\\x\r\n",
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
                    " " + l.devicePath + "=" + l.pcPath.substr(folder_.size() + 1) + ";";
        EXPECT_EQ(read, row.read);
    }

    // Device names that are one name on the PC get copies of their own; a copy the index named keeps its name.
    const struct {
        const char* what;
        std::vector<std::string> kept, walked, pc;
    } clashes[] = {
        {"a forbidden character", {}, {"R:\\x\\a?b", "R:\\x\\a_b"}, {"R\\x\\a_b", "R\\x\\a_b (2)"}},
        {"a reserved name", {}, {"R:\\x\\CON.txt", "R:\\x\\_CON.txt"}, {"R\\x\\_CON.txt", "R\\x\\_CON (2).txt"}},
        {"case alone", {}, {"R:\\x\\Note.txt", "R:\\x\\note.txt"}, {"R\\x\\Note.txt", "R\\x\\note (2).txt"}},
        {"folders",
         {},
         {"R:\\a?b", "R:\\a_b", "R:\\a?b\\n", "R:\\a_b\\n"},
         {"R\\a_b", "R\\a_b (2)", "R\\a_b\\n", "R\\a_b (2)\\n"}},
        {"the index's copy stays", {"R:\\x\\a_b"}, {"R:\\x\\a?b", "R:\\x\\a_b"}, {"R\\x\\a_b (2)", "R\\x\\a_b"}},
        {"a name whose case changed keeps its copy", {"R:\\x\\Ann.txt"}, {"R:\\x\\ann.txt"}, {"R\\x\\Ann.txt"}},
        {"the drives", {}, {"R:\\x\\a", "F:\\x\\a"}, {"R\\x\\a", "F\\x\\a"}},
    };
    for (const auto& row : clashes) {
        std::map<std::string, IndexLine> kept;
        for (const std::string& path : row.kept) kept[path].pcPath = BackupPcPath(folder_, path);
        const std::set<std::string> walked(row.walked.begin(), row.walked.end());
        BackupNames names(folder_, kept, walked);
        std::vector<std::string> pc;
        for (const std::string& path : row.walked) pc.push_back(names.PcPath(path).substr(folder_.size() + 1));
        EXPECT_EQ(pc, row.pc) << row.what;
    }

    const std::string hostile = Record("..\\..\\evil.txt");
    sim_.device->SetRawListing({{1, 0}, {std::vector<uint8_t>(hostile.begin(), hostile.end())}});
    EXPECT_EQ(nt_.getFileNames(pc_.path().c_str(), "R:\\letters", false), 0) << "left out of the listing";
    EXPECT_EQ(nt_.LeftOutNames(), std::vector<std::string>{"..\\..\\evil.txt"});
}

}  // namespace
