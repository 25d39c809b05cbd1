// The words a user reads for each result code, and the HRESULT each code becomes.
#include "devicefiles/ErrorText.h"

#include "devicefiles/UserMessage.h"
#include "tests/devicefiles/DeviceFixture.h"

namespace {

std::string g_box;

// Through the free function and the note-taker's own, whose last result is the
// default; a refused operation's box names it.
TEST(ErrorText, WordsAndHResultForEachCodeAndTheBoxOfARefusal)
{
    char system[260] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_PATH_NOT_FOUND,
                   LANG_USER_DEFAULT, system, sizeof system, nullptr);
    ASSERT_STRNE(system, "");
    const MessageBoxHook previous = SetMessageBoxHook([](HWND, const char* text, UINT) { return g_box = text, IDOK; });
    CNotetaker nt(0, 10, 1, 1);
    EXPECT_EQ(nt.GetErrorString(0), "");
    ShowDeviceRefusal(nullptr, nt);  // no result yet: the words for an unknown one
    EXPECT_TRUE(g_box == nt.GetErrorString(CNotetaker::ERR_UNKNOWN) && !g_box.empty()) << g_box;
    const struct {
        int code;
        DWORD winError;
        int size;
        const char* text;
    } texts[] = {
        {CComPort::ERR_SYSTEM, ERROR_PATH_NOT_FOUND, 260, system},            // the platform's own words
        {CComPort::ERR_SYSTEM, 0x2000ABCD, 260, "Windows error 536914893."},  // or its number
        {CNotetaker::ERR_UNSUPPORTED, 0, 9, "This com"},                      // cut to the buffer
        {CNotetaker::ERR_INVALIDPATH, 0, 260, "Invalid path specified."},     // last: the refusal below
        {0, 0, 260, nullptr},
    };
    for (const auto& t : texts) {
        char buffer[260] = "junk";
        const char* text = ErrorText(buffer, t.size, t.code, t.winError);
        EXPECT_STREQ(text, t.text) << t.code;
        EXPECT_STREQ(buffer, t.text ? t.text : "") << t.code;
        if (t.winError || t.size < 260 || !t.code) continue;
        EXPECT_EQ(nt.GetErrorString(t.code), t.text);
        nt.setError(t.code);
        ShowDeviceRefusal(nullptr, nt);
        EXPECT_EQ(g_box, t.text);
    }
    SetMessageBoxHook(previous);
    EXPECT_EQ(ErrorText(nullptr, 10, CNotetaker::ERR_UNSUPPORTED, 0), nullptr);
    EXPECT_EQ(nt.GetErrorString(CYModem::ERR_LASTNEXT), nt.GetErrorString(CNotetaker::ERR_RESPONSE));
    const std::pair<int, DWORD> results[] = {{0, S_OK}, {12, S_OK}, {CNotetaker::ERR_RESPONSE, 0x80040073}};
    for (const auto& r : results) EXPECT_EQ(static_cast<DWORD>(ErrorHResult(r.first)), r.second) << r.first;
}

}  // namespace
