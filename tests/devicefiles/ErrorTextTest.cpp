#include "devicefiles/ErrorText.h"

#include <gtest/gtest.h>

#include <string>

#include "devicelink/CNotetaker.h"

namespace {

std::string Text(int code, DWORD winError = 0)
{
    char buffer[260];
    return ErrorText(buffer, sizeof buffer, code, winError) ? std::string(buffer) : std::string("(none)");
}

TEST(ErrorText, ASystemErrorIsThePlatformsOwnMessage)
{
    const HANDLE h = CreateFileA("C:\\no\\such\\folder\\file.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_EQ(h, INVALID_HANDLE_VALUE);
    const DWORD error = GetLastError();
    char expected[260] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, LANG_USER_DEFAULT,
                   expected, sizeof expected, nullptr);
    const std::string text = Text(CComPort::ERR_SYSTEM, error);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text, expected);
    EXPECT_NE(text, Text(CNotetaker::ERR_UNKNOWN));
    // A number the platform has no words for is shown as the number.
    EXPECT_EQ(Text(CComPort::ERR_SYSTEM, 0x2000ABCD), "Windows error 536914893.");
}

TEST(ErrorText, LongTextsAreCutToTheBuffer)
{
    char buffer[9];
    ErrorText(buffer, sizeof buffer, CNotetaker::ERR_UNSUPPORTED, 0);
    EXPECT_STREQ(buffer, "This com");
    EXPECT_EQ(ErrorText(nullptr, 10, -115, 0), nullptr);
}

TEST(ErrorText, HResultsCarryTheCodesMagnitude)
{
    EXPECT_EQ(ErrorHResult(0), S_OK);
    EXPECT_EQ(ErrorHResult(12), S_OK);
    EXPECT_EQ(ErrorHResult(CNotetaker::ERR_RESPONSE), static_cast<HRESULT>(0x80040073));
    EXPECT_EQ(ErrorHResult(CComPort::ERR_SYSTEM), static_cast<HRESULT>(0x80040065));
    EXPECT_EQ(ErrorHResult(-3), static_cast<HRESULT>(0x80040003));
    EXPECT_TRUE(FAILED(ErrorHResult(-122)));
}

TEST(ErrorText, TheNoteTakersLastResultIsTheDefault)
{
    CNotetaker nt(0, 10, 1, 1);
    char buffer[260];
    EXPECT_EQ(nt.GetErrorText(buffer, sizeof buffer, 0), nullptr);
    EXPECT_EQ(nt.GetErrorString(0), "");
    nt.setError(CNotetaker::ERR_INVALIDPATH);
    EXPECT_STREQ(nt.GetErrorText(buffer, sizeof buffer, 0), "Invalid path specified.");
    EXPECT_EQ(nt.GetErrorString(CNotetaker::ERR_LOCKED), "Can not access COM port.\nPort is locked by another program.");
    EXPECT_EQ(nt.GetErrorString(CYModem::ERR_LASTNEXT), nt.GetErrorString(CNotetaker::ERR_RESPONSE));
}

}  // namespace
