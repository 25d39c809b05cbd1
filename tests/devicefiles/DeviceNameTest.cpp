// How PC paths become the names the note-taker receives.
#include "devicefiles/DeviceName.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "devicefiles/DeviceEntry.h"
#include "tests/devicefiles/DeviceFixture.h"

namespace {

constexpr int kR = DeviceEntry::TYPE_FOLDER_R, kF = DeviceEntry::TYPE_FOLDER_F;
const char kNone[] = "<none>";
const char kAlias[] = "<alias>";  // the volume's 8.3 form, or one of our own where it has none

DWORD WINAPI NoShortNames(const char* path, char* shortPath, DWORD size)
{
    return static_cast<DWORD>(snprintf(shortPath, size, "%s", path));
}

std::vector<std::string> Components(const std::string& path)
{
    std::vector<std::string> parts;
    for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1)
        parts.push_back(path.substr(start, (end = path.find('\\', start)) - start));
    return parts;
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
    for (const char* file : {"letter.txt", "abcdefghijklmnop.txt", "abcdefghijklmnopqrst", "notes\\a.b.c",
                             "2letters\\note.txt", "3books\\x.txt", "docs\\abcdefghijklmnopq.txt", "docs\\page.html",
                             "docs\\a very long name, part one.html", "docs\\a very long name, part two.html",
                             "a folder with a long name\\b.txt"})
        MakeFile(dir.file(file), "x");
    const struct { int type; const char* asked; const char* sent; } rows[] = {
        {kR, "letter.txt", "letter.txt"},
        {kR, "abcdefghijklmnop.txt", "abcdefghijklmnop.txt"},  // 20 characters
        {kR, "abcdefghijklmnopqrst", "abcdefghijklmnopqrst"},  // 20, no extension
        {kF, "notes\\a.b.c", "notes\\a.b.c"},
        {kR, "letters", "letters"}, {kF, "books", "books"},  // kept as 2letters and 3books
        {kR, "books", kNone}, {kR, "missing.txt", kNone},
        {DeviceEntry::TYPE_FILE, "letter.txt", kNone}, {5, "letter.txt", kNone},
        {kR, "docs\\abcdefghijklmnopq.txt", kAlias}, {kR, "docs\\page.html", kAlias},
        {kR, "docs\\a very long name, part one.html", kAlias}, {kR, "docs\\a very long name, part two.html", kAlias},
        {kR, "a folder with a long name\\b.txt", kAlias},
    };
    char shortDir[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(dir.path().c_str(), shortDir, MAX_PATH), 0u);
    for (const bool shortNames : {true, false}) {
        const ShortPathSource previous = SetShortPathSource(shortNames ? nullptr : NoShortNames);
        std::set<std::string> aliases;
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(row.asked) + (shortNames ? "" : " without short names"));
            const std::string sent = Mapped(row.type, dir.path(), row.asked);
            if (row.sent != kAlias) {
                EXPECT_EQ(sent, row.sent);
                continue;
            }
            char shortPath[MAX_PATH];
            ASSERT_GT(GetShortPathNameA(dir.file(row.asked).c_str(), shortPath, MAX_PATH), 0u);
            if (shortNames) {
                EXPECT_EQ(sent, shortPath + strlen(shortDir) + 1);
            }
            // A component the device keeps goes as it is, any other as a short name it keeps.
            const std::vector<std::string> asked = Components(row.asked), parts = Components(sent);
            ASSERT_EQ(parts.size(), asked.size()) << sent;
            for (size_t i = 0; i < asked.size(); ++i) {
                const bool keeps = DeviceKeepsName(asked[i].c_str());
                EXPECT_TRUE(keeps ? parts[i] == asked[i] : parts[i] != asked[i] && DeviceKeepsName(parts[i].c_str()))
                    << sent;
            }
            EXPECT_TRUE(aliases.insert(sent).second) << sent << " sent for two files";
        }
        SetShortPathSource(previous);
    }
    char path[MAX_PATH];
    EXPECT_STREQ(MakeDevicePath(path, kR, dir.path().c_str(), "letters"), "R:\\letters");
    EXPECT_STREQ(MakeDevicePath(path, kF, dir.path().c_str(), "books"), "F:\\books");
    EXPECT_EQ(MakeDevicePath(path, kR, dir.path().c_str(), "missing"), nullptr);
    EXPECT_EQ(Mapped(kR, "", "R:\\as is.txt"), "R:\\as is.txt");  // without a base, as it is
    // A path below a drive stays rooted, so that the drive names the same file.
    const std::string drive = dir.path().substr(0, 2);
    const std::string rooted = Mapped(kR, drive, dir.file("docs\\page.html").substr(2));
    EXPECT_EQ(TempDir::ReadAll(drive + rooted), "x");
    EXPECT_TRUE(DeviceKeepsName(rooted.substr(rooted.rfind('\\') + 1).c_str())) << rooted;
}

}  // namespace
