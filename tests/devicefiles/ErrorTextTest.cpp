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

TEST(ErrorText, EveryCodeHasItsWords)
{
    const struct { int code; const char* text; } table[] = {
        {-1, "Port initialization failed."}, {-2, "Wrong active state."}, {-3, "Port initialization failed."},
        {-4, "Out of memory."}, {-5, "Unknown error."}, {-9, "Unknown error."},
        {-10, "Port initialization failed."}, {-11, "Port initialization failed."},
        {-12, "Port initialization failed."}, {-13, "Unknown error."}, {-50, "Unknown error."},
        {-99, "Unknown error."}, {-100, "Bad response from the notetaker."}, {-102, "Parameter out of range."},
        {-103, "Unknown error."}, {-104, "Connection errors."}, {-105, "Connection errors."},
        {-106, "Internal error."}, {-107, "Operation canceled."}, {-108, "Connection errors."},
        {-109, "Wrong packet."}, {-110, "Wrong packet."}, {-111, "Operation timed out."},
        {-112, "Operation canceled."}, {-113, "Wrong packet."}, {-114, "Unknown error."},
        {-115, "Bad response from the notetaker."},
        {-116, "Can not access COM port.\nPlease, switch Braille Display mode off in your Notetaker\nand TALO for Windows."},
        {-117, "Can not access COM port.\nPort is locked by another program."}, {-118, "Unknown error."},
        {-119, "Create directory failed."}, {-120, "Invalid path specified."}, {-121, "Invalid backup index file."},
        {-122, "This command is unsupported by the firmware you use. Please upgrade your firmware."},
        {-123, "Unknown error."}, {-32768, "Unknown error."},
    };
    for (const auto& row : table) EXPECT_EQ(Text(row.code), row.text) << row.code;
}

TEST(ErrorText, SuccessAndCountsHaveNoText)
{
    for (int code : {0, 1, 5, 1000}) EXPECT_EQ(Text(code), "(none)") << code;
    char buffer[8] = "junk";
    EXPECT_EQ(ErrorText(buffer, sizeof buffer, 0, 0), nullptr);
    EXPECT_STREQ(buffer, "");
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
