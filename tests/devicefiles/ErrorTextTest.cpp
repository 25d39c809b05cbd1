// The words and HRESULTs for result codes.
#include "devicefiles/ErrorText.h"

#include <gtest/gtest.h>

#include <string>

#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"

namespace {

std::string Text(int code, DWORD winError = 0)
{
    char buffer[260];
    return ErrorText(buffer, sizeof buffer, code, winError) ? std::string(buffer) : std::string("(none)");
}

TEST(ErrorText, SystemErrorsCutTextsAndHResults)
{
    char expected[260] = {}, buffer[9];
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_PATH_NOT_FOUND,
                   LANG_USER_DEFAULT, expected, sizeof expected, nullptr);
    ASSERT_STRNE(expected, "");
    EXPECT_EQ(Text(CComPort::ERR_SYSTEM, ERROR_PATH_NOT_FOUND), expected);  // the platform's own words
    EXPECT_NE(Text(CComPort::ERR_SYSTEM, ERROR_PATH_NOT_FOUND), Text(CNotetaker::ERR_UNKNOWN));
    EXPECT_EQ(Text(CComPort::ERR_SYSTEM, 0x2000ABCD), "Windows error 536914893.");  // or its number
    ErrorText(buffer, sizeof buffer, CNotetaker::ERR_UNSUPPORTED, 0);
    EXPECT_STREQ(buffer, "This com");
    EXPECT_EQ(ErrorText(nullptr, 10, CNotetaker::ERR_UNSUPPORTED, 0), nullptr);
    EXPECT_EQ(Text(0), "(none)");
    EXPECT_EQ(ErrorHResult(0), S_OK);
    EXPECT_EQ(ErrorHResult(12), S_OK);
    EXPECT_EQ(ErrorHResult(CNotetaker::ERR_RESPONSE), static_cast<HRESULT>(0x80040073));
    EXPECT_EQ(ErrorHResult(CComPort::ERR_SYSTEM), static_cast<HRESULT>(0x80040065));
    EXPECT_EQ(ErrorHResult(-3), static_cast<HRESULT>(0x80040003));
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

std::string g_box;

TEST(ErrorText, ARefusalNamesTheLastErrorOrAnUnknownOne)
{
    const MessageBoxHook previous = SetMessageBoxHook([](HWND, const char* text, UINT) { return g_box = text, IDOK; });
    CNotetaker nt(0, 10, 1, 1);
    ShowDeviceRefusal(nullptr, nt);
    EXPECT_EQ(g_box, nt.GetErrorString(CNotetaker::ERR_UNKNOWN));
    nt.setError(CNotetaker::ERR_INVALIDPATH);
    ShowDeviceRefusal(nullptr, nt);
    EXPECT_EQ(g_box, "Invalid path specified.");
    SetMessageBoxHook(previous);
}

}  // namespace
