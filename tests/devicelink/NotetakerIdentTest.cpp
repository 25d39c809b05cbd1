#include <gtest/gtest.h>

#include "foundation/ModuleLock.h"
#include "tests/devicelink/NotetakerFixture.h"
#include "tests/support/TempDir.h"

namespace {

using Ident = NotetakerFixture;

DWORD Since(DWORD start) { return GetTickCount() - start; }

TEST_F(Ident, LegacyDeviceIsKnownByItsModelAloneNewerOnesNameThemselves)
{
    auto nt = make();
    script_.On(Cmd('W'), Bytes({5, 3}));
    EXPECT_EQ(nt->GetDeviceType(), 5u);
    char name[16];
    EXPECT_EQ(nt->GetDeviceName(name, sizeof name), S_OK);
    EXPECT_STREQ(name, "Corvanx");
    EXPECT_EQ(nt->FirmwareVersion(), CNotetaker::FW_LEGACY);
    Sleep(20);
    EXPECT_EQ(script_.Received().find(Cmd('Y')), std::string::npos);
    nt.reset();

    auto newer = make();
    script_.On(Cmd('W'), Bytes({5, 4})).On(Cmd('Y'), Ident2Reply("Abc", 0x0102));
    EXPECT_EQ(newer->GetDeviceType(), 5u);
    newer->GetDeviceName(name, sizeof name);
    EXPECT_STREQ(name, "Abc");
    EXPECT_EQ(newer->FirmwareVersion(), 0x0102);
}

TEST_F(Ident, IdentityRecordsTooSmallOrCutShortKeepTheVardenDefaults)
{
    struct Case {
        std::string record;
        const char* name;
    };
    const Case cases[] = {
        {Bytes({'Y', 10, 0}) + std::string(8, 'z'), "Corvanx"},               // 10 bytes: nothing read
        {Bytes({'Y', 20, 0}) + "\x07" "Abcd", "Corvanx"},                     // cut short
        {Bytes({'Y', 12, 0}) + "\x07" "Abcdefghi", "Abcdefghi"},             // name only, no version
        {Bytes({'Y', 0x40, 0x9C}) + std::string(100, 'z'), "Corvanx"},       // 40000 announced
    };
    for (const Case& c : cases) {
        auto nt = make();
        script_.On(Cmd('W'), Bytes({5, 4})).On(Cmd('Y'), c.record);
        const DWORD start = GetTickCount();
        EXPECT_EQ(nt->GetDeviceType(), 5u);
        EXPECT_LT(Since(start), 4 * kTimeout + 1000);
        char name[16];
        nt->GetDeviceName(name, sizeof name);
        EXPECT_STREQ(name, c.name);
        EXPECT_EQ(nt->FirmwareVersion(), CNotetaker::FW_VARDEN);
    }
}

TEST_F(Ident, UnknownModelOrGenerationTriesEveryRateThenFails)
{
    auto nt = make();
    for (int i = 0; i < 4; ++i) script_.On(Cmd('W'), i % 2 ? Bytes({0, 3}) : Bytes({5, 5}));
    ASSERT_EQ(nt->Open(), 0);
    EXPECT_EQ(nt->serialDetectBaud(), CNotetaker::ERR_RESPONSE);
    EXPECT_EQ(script_.Received(), Cmd('W') + Cmd('W') + Cmd('W') + Cmd('W'));
    EXPECT_EQ(line_.Pc().dcb.BaudRate, 9600u);
    EXPECT_EQ(nt->GetDeviceType(), 0u);
}

TEST_F(Ident, AKnownDeviceIsNotAskedAgainUntilForgotten)
{
    auto nt = make();
    script_.On(Cmd('W'), Bytes({2, 3}));
    EXPECT_EQ(nt->GetDeviceType(), 2u);
    script_.ClearReceived();
    EXPECT_EQ(nt->GetDeviceType(), 2u);
    char name[4];
    EXPECT_EQ(nt->GetDeviceName(name, sizeof name), S_OK);
    EXPECT_STREQ(name, "Tes");  // cut to the buffer
    Sleep(20);
    EXPECT_EQ(script_.Received(), "");
    nt->ForgetDeviceType();
    script_.On(Cmd('W'), Bytes({3, 3}));
    EXPECT_EQ(nt->GetDeviceType(), 3u);
}

TEST_F(Ident, WithNoDeviceTheUserIsAskedRetryLooksAgainAndCancelClosesThePort)
{
    auto nt = make();
    char name[16];
    EXPECT_EQ(nt->GetDeviceName(name, sizeof name), S_OK);
    EXPECT_STREQ(name, "No device");
    EXPECT_EQ(s_prompts, 1);
    EXPECT_LT(nt->LastResult(), 0);
    EXPECT_FALSE(line_.Pc().open);

    s_prompts = 0;
    s_retries = 1;
    script_.ClearReceived();
    EXPECT_LT(nt->serialOpen(false), 0);
    EXPECT_EQ(s_prompts, 2);
    std::string eight;
    for (int i = 0; i < 8; ++i) eight += Cmd('W');
    EXPECT_EQ(script_.Received(), eight);  // four rates, twice

    // Switched on since: the next command finds it.
    script_.On(Cmd('W'), Bytes({5, 3}));
    EXPECT_EQ(nt->serialOpen(false), 0);
    EXPECT_TRUE(nt->Detected());
}

TEST_F(Ident, AutomaticSearchReportsTheMostTellingFailure)
{
    // COM3 (the silent script) answers nothing, COM4 to COM8 do not exist.
    EXPECT_EQ(make(-1)->serialOpen(false), CNotetaker::ERR_RESPONSE);
    MemoryLine gone;
    api_.Attach(1, gone);
    gone.FailNext(MemoryLine::Call::CreateFile, ERROR_GEN_FAILURE);
    auto failing = make(-1);
    EXPECT_EQ(failing->serialOpen(false), CComPort::ERR_SYSTEM);
    EXPECT_EQ(failing->WinError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    line_.WithPc([](MemoryLine::PcPort& p) { return p.heldElsewhere = true; });
    EXPECT_EQ(make(-1)->serialOpen(false), CNotetaker::ERR_LOCKED);
}

TEST_F(Ident, DetectionFindsTheDeviceOnCom3At38400AmongSilentPorts)
{
    MemoryLine silent1, silent2;
    api_.Attach(1, silent1);
    api_.Attach(2, silent2);
    line_.SetDeviceBaud(38400);
    script_.On(Cmd('W'), Bytes({5, 3}));
    auto nt = make(-1);
    const DWORD start = GetTickCount();
    EXPECT_EQ(nt->serialOpen(false), 0);
    const DWORD took = Since(start);
    EXPECT_TRUE(nt->Detected());
    EXPECT_EQ(nt->GetParameter(CComPort::PAR_PORT), 2);
    EXPECT_EQ(line_.Pc().dcb.BaudRate, 38400u);
    EXPECT_FALSE(silent1.Pc().open);
    EXPECT_FALSE(silent2.Pc().open);
    EXPECT_EQ(s_prompts, 0);
    // Two silent ports at four rates and one wrong rate: nine reply time-outs.
    EXPECT_GE(took, 9 * kTimeout - 50);
    EXPECT_LT(took, 9 * kTimeout + 2000);

    // Closed and opened again: the same port and rate, without asking.
    nt->serialClose();
    script_.ClearReceived();
    EXPECT_EQ(nt->serialOpen(false), 0);
    EXPECT_TRUE(line_.Pc().open);
    EXPECT_EQ(script_.Received(), "");
}

TEST_F(Ident, DetectionWithNoDeviceAnywhereFailsWithinItsTime)
{
    MemoryLine lines[7];
    for (int i = 0; i < 7; ++i) api_.Attach(i == 2 ? 8 : i + 1, lines[i]);  // COM3 is the silent script
    auto nt = make(-1);
    const DWORD start = GetTickCount();
    EXPECT_EQ(nt->serialOpen(false), CNotetaker::ERR_RESPONSE);
    EXPECT_LT(Since(start), 32 * kTimeout + 3000);
    EXPECT_EQ(s_prompts, 1);
    EXPECT_FALSE(nt->Detected());
}

TEST_F(Ident, APortHeldElsewhereIsReportedAsLocked)
{
    line_.WithPc([](MemoryLine::PcPort& p) { return p.heldElsewhere = true; });
    auto nt = make();
    EXPECT_FALSE(nt->isTALO());
    EXPECT_EQ(nt->serialOpen(false), CNotetaker::ERR_LOCKED);
    EXPECT_EQ(nt->LastResult(), CNotetaker::ERR_LOCKED);
    EXPECT_EQ(s_prompts, 1);

    // Other failures to open keep the platform's error.
    line_.WithPc([](MemoryLine::PcPort& p) { return p.heldElsewhere = false; });
    line_.FailNext(MemoryLine::Call::CreateFile, ERROR_GEN_FAILURE);
    auto other = make();
    EXPECT_EQ(other->serialOpen(false), CComPort::ERR_SYSTEM);
    EXPECT_EQ(other->WinError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
}

// The screen reader's window and its braille driver, both in this process.
class ScreenReader {
public:
    explicit ScreenReader(const std::string& driverPath)
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TLW";
        RegisterClassA(&wc);
        window_ = CreateWindowA("TLW", "", 0, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
        driver_ = driverPath.empty() ? nullptr : LoadLibraryA(driverPath.c_str());
    }
    ~ScreenReader()
    {
        if (driver_) FreeLibrary(driver_);
        DestroyWindow(window_);
        UnregisterClassA("TLW", GetModuleHandleA(nullptr));
    }
    bool ready(bool withDriver) const { return window_ && (!withDriver || driver_); }

private:
    HWND window_ = nullptr;
    HMODULE driver_ = nullptr;
};

std::string StubDriver()
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string path = exe;
    return path.substr(0, path.rfind('\\') + 1) + "braille.TLX";
}

TEST_F(Ident, TheScreenReadersDriverHoldingThePortIsNamed)
{
    line_.WithPc([](MemoryLine::PcPort& p) { return p.heldElsewhere = true; });
    {
        ScreenReader reader("");  // window, but no driver loaded
        ASSERT_TRUE(reader.ready(false));
        auto nt = make();
        EXPECT_FALSE(nt->isTALO());
        EXPECT_EQ(nt->serialOpen(false), CNotetaker::ERR_LOCKED);
    }
    TempDir dir;
    const std::string lower = dir.file("display.tlx");  // the extension in any case
    ASSERT_TRUE(CopyFileA(StubDriver().c_str(), lower.c_str(), FALSE)) << StubDriver();
    {
        ScreenReader reader(lower);
        ASSERT_TRUE(reader.ready(true));
        auto nt = make();
        EXPECT_TRUE(nt->isTALO());
        EXPECT_EQ(nt->serialOpen(false), CNotetaker::ERR_TALOLOCKED);
    }
}

TEST_F(Ident, OneSharedObjectLivesWhileReferenced)
{
    const long locks = ModuleLockCount();
    EXPECT_EQ(NotetakerSession().get(), nullptr);
    EXPECT_EQ(AcquireNotetaker(), 1);
    CNotetaker* first = NotetakerSession().get();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(ModuleLockCount(), locks + 1);
    EXPECT_EQ(AcquireNotetaker(), 2);
    EXPECT_EQ(NotetakerSession().get(), first);
    EXPECT_EQ(ReleaseNotetaker(), 1);
    EXPECT_EQ(NotetakerSession().get(), first);
    EXPECT_EQ(ReleaseNotetaker(), 0);
    EXPECT_EQ(NotetakerSession().get(), nullptr);
    EXPECT_EQ(ModuleLockCount(), locks);
}

}  // namespace
