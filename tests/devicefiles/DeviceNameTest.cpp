#include "devicefiles/DeviceName.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/TempDir.h"

namespace {

class DeviceNameTest : public ::testing::Test {
protected:
    std::string make(const std::string& relative)
    {
        std::string path = dir_.path();
        size_t start = 0;
        for (size_t slash; (slash = relative.find('\\', start)) != std::string::npos; start = slash + 1)
            CreateDirectoryA((path + "\\" + relative.substr(0, slash)).c_str(), nullptr);
        EXPECT_TRUE(TempDir::WriteAll(dir_.file(relative), "x"));
        return relative;
    }
    std::string mapped(int type, const std::string& relative)
    {
        char out[MAX_PATH] = "junk";
        return MakeDeviceName(out, type, dir_.path().c_str(), relative.c_str()) ? out : "<none>";
    }
    static std::string lastComponent(const std::string& path) { return path.substr(path.rfind('\\') + 1); }

    TempDir dir_;
};

TEST_F(DeviceNameTest, NamesWithinTheDeviceLimitsAreKept)
{
    EXPECT_EQ(mapped(2, make("letter.txt")), "letter.txt");
    EXPECT_EQ(mapped(2, make("abcdefghijklmnop.txt")), "abcdefghijklmnop.txt");  // 20 characters
    EXPECT_EQ(mapped(2, make("abcdefghijklmnopqrst")), "abcdefghijklmnopqrst");  // 20, no extension
    EXPECT_EQ(mapped(3, make("notes\\a.b.c")), "notes\\a.b.c");
}

TEST_F(DeviceNameTest, LongNamesAndLongExtensionsBecomeTheirShortAlias)
{
    for (const std::string name : {"abcdefghijklmnopq.txt", "page.html", "a very long name here.txt"}) {
        SCOPED_TRACE(name);
        const std::string result = mapped(2, make("docs\\" + name));
        ASSERT_NE(result, "<none>");
        EXPECT_EQ(result.substr(0, 5), "docs\\");
        const std::string alias = lastComponent(result);
        EXPECT_NE(alias, name);
        EXPECT_TRUE(DeviceKeepsName(alias.c_str())) << alias;
        char shortPath[MAX_PATH];
        ASSERT_GT(GetShortPathNameA(dir_.file("docs\\" + name).c_str(), shortPath, MAX_PATH), 0u);
        EXPECT_EQ(alias, lastComponent(shortPath));
    }
    // A long folder name is replaced too, a short file name below it is kept.
    const std::string result = mapped(2, make("a folder with a long name\\b.txt"));
    EXPECT_EQ(lastComponent(result), "b.txt");
    EXPECT_TRUE(DeviceKeepsName(result.substr(0, result.find('\\')).c_str())) << result;
}

DWORD WINAPI NoShortNames(const char* path, char* shortPath, DWORD size)
{
    return static_cast<DWORD>(snprintf(shortPath, size, "%s", path));
}

TEST_F(DeviceNameTest, WithoutShortNamesOnTheVolumeOurOwnAliasIsSent)
{
    const ShortPathSource previous = SetShortPathSource(NoShortNames);
    const std::string one = mapped(2, make("a folder with a long name\\a very long name, part one.html"));
    const std::string two = mapped(2, make("a folder with a long name\\a very long name, part two.html"));
    const std::string kept = mapped(2, make("short\\letter.txt"));
    SetShortPathSource(previous);
    EXPECT_EQ(kept, "short\\letter.txt");
    for (const std::string& result : {one, two}) {
        EXPECT_TRUE(DeviceKeepsName(lastComponent(result).c_str())) << result;
        EXPECT_TRUE(DeviceKeepsName(result.substr(0, result.find('\\')).c_str())) << result;
    }
    EXPECT_NE(lastComponent(one), lastComponent(two));
}

TEST_F(DeviceNameTest, FoldersKeptUnderTheirTypeDigitMapBackWithoutIt)
{
    make("2letters\\note.txt");
    EXPECT_EQ(mapped(2, "letters"), "letters");
    make("3books\\x.txt");
    EXPECT_EQ(mapped(3, "books"), "books");
    EXPECT_EQ(mapped(2, "books"), "<none>");  // only 3books exists

    char out[MAX_PATH];
    ASSERT_NE(MakeDevicePath(out, 2, dir_.path().c_str(), "letters"), nullptr);
    EXPECT_STREQ(out, "R:\\letters");
    ASSERT_NE(MakeDevicePath(out, 3, dir_.path().c_str(), "books"), nullptr);
    EXPECT_STREQ(out, "F:\\books");
}

TEST_F(DeviceNameTest, UnmappableInputGivesNothing)
{
    char out[MAX_PATH] = "junk";
    EXPECT_EQ(MakeDeviceName(out, 1, dir_.path().c_str(), "x"), nullptr);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(MakeDeviceName(out, 5, dir_.path().c_str(), "x"), nullptr);
    EXPECT_EQ(mapped(2, "missing.txt"), "<none>");
    EXPECT_EQ(MakeDevicePath(out, 2, dir_.path().c_str(), "missing"), nullptr);
    EXPECT_STREQ(out, "");
    // Without a base the name is taken as it is.
    ASSERT_NE(MakeDeviceName(out, 2, nullptr, "R:\\as is.txt"), nullptr);
    EXPECT_STREQ(out, "R:\\as is.txt");
}

TEST_F(DeviceNameTest, APathBelowADriveStaysRootedSoTheDriveNamesTheSameFile)
{
    const std::string full = dir_.file(make("long file name for the device.txt"));
    const std::string drive = full.substr(0, 2);
    char out[MAX_PATH];
    ASSERT_NE(MakeDeviceName(out, 2, drive.c_str(), full.c_str() + 2), nullptr);
    EXPECT_EQ(out[0], '\\');
    const std::string again = drive + out;
    EXPECT_EQ(TempDir::ReadAll(again), "x");
    EXPECT_TRUE(DeviceKeepsName(lastComponent(again).c_str()));
}

}  // namespace
