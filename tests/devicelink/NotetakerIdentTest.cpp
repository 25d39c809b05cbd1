#include <gtest/gtest.h>

#include "foundation/DbgLog.h"
#include "foundation/ModuleLock.h"
#include "tests/devicelink/NotetakerFixture.h"
#include "tests/support/TempDir.h"

namespace {

using Ident = NotetakerFixture;
using N = CNotetaker;

DWORD Since(DWORD start) { return GetTickCount() - start; }

std::string Name(CNotetaker& nt, int size = 16)
{
    char name[16];
    EXPECT_EQ(nt.GetDeviceName(name, size), S_OK);
    return name;
}

// What identifies a device, its name and firmware; a known one is not asked
// again until the transfer job forgets it.
TEST_F(Ident, IdentityRecordsGiveTheNameAndFirmware)
{
    const struct { std::string ident, ident2; const char* name; WORD firmware; } rows[] = {
        {Bytes({5, 3}) + "junk", "", "Corvanx", N::FW_LEGACY},  // no second record asked for
        {Bytes({2, 4}), Ident2Reply("Abc", 0x0102), "Abc", 0x0102},
        {Bytes({5, 4}), Bytes({'Y', 10, 0}) + std::string(8, 'z'), "Corvanx", N::FW_VARDEN},       // 10 bytes: nothing read
        {Bytes({5, 4}), Bytes({'Y', 20, 0}) + "\x07" "Abcd", "Corvanx", N::FW_VARDEN},             // cut short
        {Bytes({5, 4}), Bytes({'Y', 12, 0}) + "\x07" "Abcdefghi", "Abcdefghi", N::FW_VARDEN},     // name, no version
        {Bytes({5, 4}), Bytes({'Y', 0x40, 0x9C}) + std::string(100, 'z'), "Corvanx", N::FW_VARDEN},  // 40000 announced
    };
    for (const auto& r : rows) {
        auto nt = make();
        script_.On(Cmd('W'), r.ident);
        if (!r.ident2.empty()) script_.On(Cmd('Y'), r.ident2);
        const DWORD start = GetTickCount();
        EXPECT_EQ(nt->GetDeviceType(), static_cast<DWORD>(r.ident[0]));
        EXPECT_LT(Since(start), 4 * kTimeout + 1000);
        EXPECT_TRUE(Name(*nt) == r.name && nt->FirmwareVersion() == r.firmware) << r.name << " " << nt->FirmwareVersion();
        EXPECT_EQ(nt->Getc(), CComPort::ERR_NODATA);  // whatever came after the identity is dropped
        Sleep(20);
        EXPECT_EQ(script_.Received(), Cmd('W') + (r.ident2.empty() ? "" : Cmd('Y')));
        script_.ClearReceived();
        EXPECT_EQ(nt->GetDeviceType(), static_cast<DWORD>(r.ident[0]));
        EXPECT_EQ(Name(*nt, 4), std::string(r.name).substr(0, 3));  // cut to the buffer
        nt->ForgetDeviceType();
        script_.On(Cmd('W'), Bytes({3, 3}));
        EXPECT_EQ(nt->GetDeviceType(), 3u);
        Sleep(20);
        EXPECT_EQ(script_.Received(), Cmd('W'));
        script_.ClearReceived();
    }
}

TEST_F(Ident, UnknownModelOrGenerationTriesEveryRateThenFails)
{
    auto nt = make();
    for (const auto& ident : {Bytes({0, 3}), Bytes({5, 5}), Bytes({12, 3}), Bytes({5, 2})}) script_.On(Cmd('W'), ident);
    ASSERT_EQ(nt->Open(), 0);
    EXPECT_EQ(nt->serialDetectBaud(), N::ERR_RESPONSE);
    EXPECT_EQ(script_.Received(), Cmd('W') + Cmd('W') + Cmd('W') + Cmd('W'));
    EXPECT_TRUE(line_.Pc().dcb.BaudRate == 9600 && nt->GetDeviceType() == 0);
}

TEST_F(Ident, WithNoDeviceTheUserIsAskedRetryLooksAgainAndCancelClosesThePort)
{
    auto nt = make();
    EXPECT_EQ(Name(*nt), "No device");
    EXPECT_TRUE(s_prompts == 1 && nt->LastResult() < 0 && !line_.Pc().open);
    s_prompts = 0;
    s_retries = 1;
    script_.ClearReceived();
    EXPECT_LT(nt->serialOpen(false), 0);
    EXPECT_EQ(s_prompts, 2);
    std::string eight;
    for (int i = 0; i < 8; ++i) eight += Cmd('W');
    EXPECT_EQ(script_.Received(), eight);  // four rates, twice
    script_.On(Cmd('W'), Bytes({5, 3}));  // switched on since: the next command finds it
    EXPECT_TRUE(nt->serialOpen(false) == 0 && nt->Detected());
}

TEST_F(Ident, AutomaticSearchReportsTheMostTellingFailureWithinItsTime)
{
    DWORD start = GetTickCount();  // COM3 (the silent script) answers nothing, the others do not exist
    EXPECT_EQ(make(-1)->serialOpen(false), N::ERR_RESPONSE);
    EXPECT_TRUE(Since(start) < 4 * kTimeout + 3000 && s_prompts == 1);
    MemoryLine lines[7];
    api_.Attach(1, lines[0]);
    lines[0].FailNext(MemoryLine::Call::CreateFile, ERROR_GEN_FAILURE);
    auto failing = make(-1);
    EXPECT_EQ(failing->serialOpen(false), CComPort::ERR_SYSTEM);
    EXPECT_TRUE(failing->WinError() == ERROR_GEN_FAILURE && !failing->Detected());
    line_.WithPc([](MemoryLine::PcPort& p) { return p.heldElsewhere = true; });
    EXPECT_EQ(make(-1)->serialOpen(false), N::ERR_LOCKED);
    line_.WithPc([](MemoryLine::PcPort& p) { return p.heldElsewhere = false; });
    for (int i = 1; i < 7; ++i) api_.Attach(i == 1 ? 2 : i + 2, lines[i]);  // every port silent
    start = GetTickCount();
    EXPECT_EQ(make(-1)->serialOpen(false), N::ERR_RESPONSE);
    EXPECT_LT(Since(start), 32 * kTimeout + 3000);
}

TEST_F(Ident, DetectionFindsTheDeviceOnCom3At38400AmongSilentPortsAndKeepsThem)
{
    MemoryLine silent1, silent2;
    api_.Attach(1, silent1);
    api_.Attach(2, silent2);
    line_.SetDeviceBaud(38400);
    script_.On(Cmd('W'), Bytes({5, 3}));
    auto nt = make(-1);
    const DWORD start = GetTickCount();
    EXPECT_EQ(nt->serialOpen(false), 0);
    const DWORD took = Since(start);  // two silent ports at four rates and one wrong rate
    EXPECT_TRUE(took >= 9 * kTimeout - 50 && took < 9 * kTimeout + 2000) << took;
    EXPECT_TRUE(nt->Detected() && nt->GetParameter(CComPort::PAR_PORT) == 2 && line_.Pc().dcb.BaudRate == 38400);
    EXPECT_TRUE(!silent1.Pc().open && !silent2.Pc().open && s_prompts == 0);
    nt->serialClose();
    script_.ClearReceived();
    EXPECT_EQ(nt->serialOpen(false), 0);  // the same port and rate, without asking
    EXPECT_TRUE(line_.Pc().open && script_.Received().empty());
}

// The screen reader's window and, if given, its braille driver, in this process.
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

// A port held elsewhere is locked, by the screen reader when its window's
// process has a ".TLX" driver loaded (in any case); other failures to open
// keep the platform's error.
TEST_F(Ident, APortHeldElsewhereNamesTheScreenReadersDriverWhenItIsLoaded)
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    const std::string stub = std::string(exe).substr(0, std::string(exe).rfind('\\') + 1) + "braille.TLX";
    TempDir dir;
    const std::string lower = dir.file("display.tlx");
    ASSERT_TRUE(CopyFileA(stub.c_str(), lower.c_str(), FALSE)) << stub;
    line_.WithPc([](MemoryLine::PcPort& p) { return p.heldElsewhere = true; });
    const struct { bool window; std::string driver; int result; } rows[] = {
        {false, "", N::ERR_LOCKED}, {true, "", N::ERR_LOCKED}, {true, lower, N::ERR_TALOLOCKED},
    };
    for (const auto& r : rows) {
        std::unique_ptr<ScreenReader> reader(r.window ? new ScreenReader(r.driver) : nullptr);
        ASSERT_TRUE(!reader || reader->ready(!r.driver.empty()));
        auto nt = make();
        EXPECT_EQ(nt->isTALO(), r.result == N::ERR_TALOLOCKED);
        s_prompts = 0;
        EXPECT_TRUE(nt->serialOpen(false) == r.result && nt->LastResult() == r.result && s_prompts == 1) << r.result;
    }
    line_.WithPc([](MemoryLine::PcPort& p) { return p.heldElsewhere = false; });
    line_.FailNext(MemoryLine::Call::CreateFile, ERROR_GEN_FAILURE);
    auto other = make();
    EXPECT_EQ(other->serialOpen(false), CComPort::ERR_SYSTEM);
    EXPECT_EQ(other->WinError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
}

// The trace names each step under its class's flag: a negative result by
// its name (an unknown one by its number), a success never.
TEST_F(Ident, TheTraceLogNamesWhatHappened)
{
    TempDir dir;
    ASSERT_TRUE(TempDir::WriteAll(dir.file("a.txt"), "abc"));
    DbgOpen(DBG_COMPORT | DBG_YMODEM | DBG_NOTETAKER | DBG_TO_FILE, dir.file("trace.log").c_str(), 0);
    auto nt = make();
    script_.On(Cmd('W'), Bytes({5, 3}));
    EXPECT_EQ(nt->GetDeviceType(), 5u);
    EXPECT_EQ(nt->serialCmd("f", N::DCMD_MKDIR, nullptr, 0), CComPort::ERR_NODATA);
    nt->TxStart(dir.file("b.txt").c_str());
    nt->SetParameter(CYModem::PAR_TIMEOUT, 99);  // stopped before its first step
    nt->TxStart(dir.file("a.txt").c_str());
    line_.Write(MemoryLine::Side::Device, "\x13" "C", 2);
    for (int step = 0; step < 20 && nt->GetParameter(CYModem::PAR_STATE) != CYModem::TX_SEND_CHECKSUM; ++step) nt->Process();
    nt->SetParameter(CYModem::PAR_TIMEOUT, 99);
    DbgClose();
    const std::string log = TempDir::ReadAll(dir.file("trace.log"));
    for (const char* line : {"CNotetaker::GetDeviceType()", "CComPort::GetParameter(CComPort::PAR_FLOWCONTROL)",
                             "CNotetaker::setError(Unknown NOTETAKERERROR=0xFFFFFF9C (-100))",
                             "!State=-1 (Unknown YMODEMSTATE=0xFFFFFFFF (-1)), Error=-102", "CYModem::getChar()=XOFF",
                             "Packet=0 Burst=128 Sleep=0"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
    EXPECT_EQ(log.find("setError(0)"), std::string::npos);
    DbgOpen(0, "", 0);
    DbgClose();
}

TEST_F(Ident, OneSharedObjectLivesWhileReferenced)
{
    const long locks = ModuleLockCount();
    EXPECT_EQ(NotetakerSession().get(), nullptr);
    EXPECT_EQ(AcquireNotetaker(), 1);
    CNotetaker* first = NotetakerSession().get();
    EXPECT_TRUE(first && ModuleLockCount() == locks + 1);
    EXPECT_TRUE(AcquireNotetaker() == 2 && NotetakerSession().get() == first);
    EXPECT_TRUE(ReleaseNotetaker() == 1 && NotetakerSession().get() == first);
    EXPECT_TRUE(ReleaseNotetaker() == 0 && NotetakerSession().get() == nullptr && ModuleLockCount() == locks);
}

}  // namespace
