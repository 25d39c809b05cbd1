// How PC paths become the names the note-taker receives.
#include "devicefiles/DeviceName.h"

#include <gtest/gtest.h>

#include <string>

#include "devicefiles/DeviceEntry.h"
#include "tests/support/TempDir.h"

namespace {

constexpr int kR = DeviceEntry::TYPE_FOLDER_R, kF = DeviceEntry::TYPE_FOLDER_F;

std::string Last(const std::string& path) { return path.substr(path.rfind('\\') + 1); }

DWORD WINAPI NoShortNames(const char* path, char* shortPath, DWORD size)
{
    return static_cast<DWORD>(snprintf(shortPath, size, "%s", path));
}

class DeviceNameTest : public ::testing::Test {
protected:
    // Makes the file (and its folders) below the base; its relative path.
    std::string make(const std::string& relative)
    {
        for (size_t slash = 0; (slash = relative.find('\\', slash + 1)) != std::string::npos;)
            CreateDirectoryA(dir_.file(relative.substr(0, slash)).c_str(), nullptr);
        EXPECT_TRUE(TempDir::WriteAll(dir_.file(relative), "x"));
        return relative;
    }
    std::string mapped(int type, const std::string& relative, const char* base = nullptr)
    {
        char out[MAX_PATH] = "junk";
        const char* result = MakeDeviceName(out, type, base ? base : dir_.path().c_str(), relative.c_str());
        EXPECT_EQ(result ? std::string(out) : "", out) << "out is emptied on failure";
        return result ? out : "<none>";
    }
    std::string path(int type, const std::string& relative)
    {
        char out[MAX_PATH] = "junk";
        const char* result = MakeDevicePath(out, type, dir_.path().c_str(), relative.c_str());
        EXPECT_EQ(result ? std::string(out) : "", out);
        return result ? out : "<none>";
    }
    TempDir dir_;
};

TEST_F(DeviceNameTest, ShortNamesTypeDigitFoldersAndWhatCannotBeMapped)
{
    make("2letters\\note.txt");
    make("3books\\x.txt");
    const struct { int type; std::string asked; const char* name; } cases[] = {
        {kR, make("letter.txt"), "letter.txt"},
        {kR, make("abcdefghijklmnop.txt"), "abcdefghijklmnop.txt"},  // 20 characters
        {kR, make("abcdefghijklmnopqrst"), "abcdefghijklmnopqrst"},  // 20, no extension
        {kF, make("notes\\a.b.c"), "notes\\a.b.c"},
        {kR, "letters", "letters"}, {kF, "books", "books"},  // kept as 2letters and 3books
        {kR, "books", "<none>"}, {kR, "missing.txt", "<none>"},
        {DeviceEntry::TYPE_FILE, "letter.txt", "<none>"}, {5, "letter.txt", "<none>"},
    };
    for (const auto& c : cases) EXPECT_EQ(mapped(c.type, c.asked), c.name) << c.type << " " << c.asked;
    EXPECT_EQ(path(kR, "letters"), "R:\\letters");
    EXPECT_EQ(path(kF, "books"), "F:\\books");
    EXPECT_EQ(path(kR, "missing"), "<none>");
    EXPECT_EQ(mapped(kR, "R:\\as is.txt", ""), "R:\\as is.txt");  // without a base, as it is
}

TEST_F(DeviceNameTest, LongNamesAndLongExtensionsBecomeTheirShortAlias)
{
    for (const std::string name : {"abcdefghijklmnopq.txt", "page.html", "a very long name here.txt"}) {
        const std::string result = mapped(kR, make("docs\\" + name));
        EXPECT_EQ(result.substr(0, 5), "docs\\");
        char shortPath[MAX_PATH];
        ASSERT_GT(GetShortPathNameA(dir_.file("docs\\" + name).c_str(), shortPath, MAX_PATH), 0u);
        EXPECT_EQ(Last(result), Last(shortPath)) << name;
        EXPECT_NE(Last(result), name);
        EXPECT_TRUE(DeviceKeepsName(Last(result).c_str())) << result;
    }
    // A long folder name is replaced too, a short file name below it is kept.
    const std::string result = mapped(kR, make("a folder with a long name\\b.txt"));
    EXPECT_EQ(Last(result), "b.txt");
    EXPECT_TRUE(DeviceKeepsName(result.substr(0, result.find('\\')).c_str())) << result;
}

TEST_F(DeviceNameTest, WithoutShortNamesOnTheVolumeOurOwnAliasIsSent)
{
    const ShortPathSource previous = SetShortPathSource(NoShortNames);
    const std::string one = mapped(kR, make("a folder with a long name\\a very long name, part one.html"));
    const std::string two = mapped(kR, make("a folder with a long name\\a very long name, part two.html"));
    const std::string kept = mapped(kR, make("short\\letter.txt"));
    SetShortPathSource(previous);
    EXPECT_EQ(kept, "short\\letter.txt");
    for (const std::string& result : {one, two}) {
        EXPECT_TRUE(DeviceKeepsName(Last(result).c_str())) << result;
        EXPECT_TRUE(DeviceKeepsName(result.substr(0, result.find('\\')).c_str())) << result;
    }
    EXPECT_NE(Last(one), Last(two));
}

TEST_F(DeviceNameTest, APathBelowADriveStaysRootedSoTheDriveNamesTheSameFile)
{
    const std::string full = dir_.file(make("long file name for the device.txt"));
    const std::string drive = full.substr(0, 2), name = mapped(kR, full.substr(2), drive.c_str());
    EXPECT_EQ(name[0], '\\');
    EXPECT_EQ(TempDir::ReadAll(drive + name), "x");
    EXPECT_TRUE(DeviceKeepsName(Last(name).c_str()));
}

}  // namespace
