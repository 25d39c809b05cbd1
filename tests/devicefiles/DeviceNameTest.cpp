// PC paths as names the note-taker receives, its names on the PC (a device is not trusted input).
#include "devicefiles/DeviceName.h"

#include "devicefiles/PcName.h"
#include "tests/devicefiles/DeviceFixture.h"

namespace {

constexpr int kR = DeviceEntry::TYPE_FOLDER_R, kF = DeviceEntry::TYPE_FOLDER_F;
const char kNone[] = "<none>";

DWORD WINAPI NoShortNames(const char* path, char* shortPath, DWORD size)
{
    return static_cast<DWORD>(snprintf(shortPath, size, "%s", path));
}

std::string Mapped(int type, const std::string& base, const std::string& relative)
{
    char out[MAX_PATH] = "junk";
    const char* result = MakeDeviceName(out, type, base.c_str(), relative.c_str());
    EXPECT_EQ(result ? std::string(out) : "", out) << "out is emptied on failure";
    return result ? out : kNone;
}

TEST(DeviceName, EachPcPathAndTheNameTheDeviceReceives)
{
    TempDir dir;
    for (const char* file :
         {"letter.txt", "abcdefghijklmnop.txt", "notes\\a.b.c", "2letters\\note.txt", "3books\\x.txt",
          "docs\\abcdefghijklmnopq.txt", "docs\\page.html", "docs\\a very long name, part one.html",
          "docs\\a very long name, part two.html", "a folder with a long name\\b.txt"})
        MakeFile(dir.file(file), "x");
    // Without `sent`, the volume's 8.3 form goes; where the volume keeps no short names, `own`.
    const struct {
        int type;
        const char* asked;
        const char* sent;
        const char* own;
    } rows[] = {
        {kR, "letter.txt", "letter.txt"},
        {kR, "abcdefghijklmnop.txt", "abcdefghijklmnop.txt"},  // 20 characters
        {kF, "notes\\a.b.c", "notes\\a.b.c"},
        {kF, "books", "books"},  // kept as 2letters and 3books
        {kR, "books", kNone},
        {kR, "missing.txt", kNone},
        {DeviceEntry::TYPE_FILE, "letter.txt", kNone},
        {kR, "docs\\abcdefghijklmnopq.txt", nullptr, "docs\\ABCD~830.TXT"},
        {kR, "docs\\page.html", nullptr, "docs\\PAGE~D93.HTM"},
        {kR, "docs\\a very long name, part one.html", nullptr, "docs\\AVER~84A.HTM"},
        {kR, "docs\\a very long name, part two.html", nullptr, "docs\\AVER~C2A.HTM"},
        {kR, "a folder with a long name\\b.txt", nullptr, "AFOL~7B1\\b.txt"},
    };
    char shortDir[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(dir.path().c_str(), shortDir, MAX_PATH), 0u);
    for (const bool shortNames : {true, false}) {
        const ShortPathSource previous = SetShortPathSource(shortNames ? nullptr : NoShortNames);
        for (const auto& row : rows) {
            char shortPath[MAX_PATH] = "";
            GetShortPathNameA(dir.file(row.asked).c_str(), shortPath, MAX_PATH);
            const std::string sent = row.sent ? row.sent : shortNames ? shortPath + strlen(shortDir) + 1 : row.own;
            EXPECT_EQ(Mapped(row.type, dir.path(), row.asked), sent) << row.asked << (shortNames ? "" : " (no 8.3)");
        }
        SetShortPathSource(previous);
    }
    char path[MAX_PATH];
    EXPECT_STREQ(MakeDevicePath(path, kR, dir.path().c_str(), "letters"), "R:\\letters");
    EXPECT_STREQ(MakeDevicePath(path, kF, dir.path().c_str(), "books"), "F:\\books");
    EXPECT_EQ(Mapped(kR, "", "R:\\as is.txt"), "R:\\as is.txt");  // without a base, as it is
    // A path below a drive stays rooted, so that the drive names the same file.
    const std::string drive = dir.path().substr(0, 2);
    const std::string rooted = Mapped(kR, drive, dir.file("docs\\page.html").substr(2));
    EXPECT_EQ(TempDir::ReadAll(drive + rooted), "x");
    EXPECT_TRUE(DeviceKeepsName(rooted.substr(rooted.rfind('\\') + 1).c_str())) << rooted;
}

TEST(PcName, WhatEachHostileNameBecomesAndPlainNamesStay)
{
    const std::pair<const char*, const char*> table[] = {
        // device, pc
        {"letters\\note.txt", "letters\\note.txt"},
        {"letters\\..\\..\\evil.txt", "letters\\__\\__\\evil.txt"},
        {"letters\\C:\\win.ini", "letters\\C_\\win.ini"},
        {"letters\\a:b*c?.txt", "letters\\a_b_c_.txt"},
        {"letters\\com1.txt", "letters\\_com1.txt"},
        {"letters\\dots...", "letters\\dots.._"},
        {"letters\\\\x", "letters\\x"},
        {"letters/../x", "letters\\__\\x"},
        {"CONTENT.txt", "CONTENT.txt"},
        {"com10", "com10"},
        {"CONIN$", "_CONIN$"},
        {"conout$.log", "_conout$.log"},
        {"LPT\xB9.txt", "_LPT\xB9.txt"},
        {"CON .txt", "_CON .txt"},
        {"nul  ..txt", "_nul  ..txt"},
    };
    for (const auto& row : table) EXPECT_EQ(SafePcRelativePath(row.first), row.second) << row.first;
    EXPECT_EQ(SafePcName(""), "_");
}

}  // namespace
