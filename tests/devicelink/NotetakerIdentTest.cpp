#include <gtest/gtest.h>

#include "devicelink/ModuleEnum.h"
#include "foundation/ScopedHandle.h"
#include "tests/devicelink/LinkTest.h"

namespace link_test {
namespace {

using Ident = NotetakerTest;
using N = CNotetaker;

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
    const struct {
        std::string ident, ident2;
        const char* name;
        WORD firmware;
    } rows[] = {
        {Bytes({5, 3}) + "junk", "", "Corvanx", N::FW_LEGACY},  // no second record asked for
        {Bytes({2, 4}), Ident2Reply("Abc", 0x0102), "Abc", 0x0102},
        {Bytes({2, 4}), Bytes({0}) + Ident2Reply("Abc", 0x0102).substr(1), "Abc", 0x0102},
        {Bytes({5, 4}), Bytes({4}) + Ident2Reply("Abc", 0x0102).substr(1), "Corvanx", N::FW_VARDEN},  // stale
        {Bytes({5, 4}), Bytes({'Y', 10, 0}) + std::string(8, 'z'), "Corvanx", N::FW_VARDEN},  // 10 bytes: nothing read
        {Bytes({5, 4}),
         Bytes({'Y', 20, 0}) + "\x07"
                               "Abcd",
         "Corvanx", N::FW_VARDEN},  // cut short
        {Bytes({5, 4}),
         Bytes({'Y', 12, 0}) + "\x07"
                               "Abcdefghi",
         "Abcdefghi", N::FW_VARDEN},                                                                 // name, no version
        {Bytes({5, 4}), Bytes({'Y', 0x40, 0x9C}) + std::string(100, 'z'), "Corvanx", N::FW_VARDEN},  // 40000 announced
    };
    std::unique_ptr<CNotetaker> nt;
    for (const auto& r : rows) {
        nt = make();
        On(Cmd('W'), r.ident);
        if (!r.ident2.empty()) On(Cmd('Y'), r.ident2);
        const DWORD start = now();
        EXPECT_EQ(nt->GetDeviceType(), static_cast<DWORD>(r.ident[0]));
        EXPECT_LE(now() - start, kTimeout + 2);  // one reply time-out at most
        EXPECT_EQ(Name(*nt), r.name);
        EXPECT_EQ(nt->FirmwareVersion(), r.firmware);
        EXPECT_EQ(nt->Getc(), CComPort::ERR_NODATA);  // whatever came after the identity is dropped
        EXPECT_EQ(received(), Cmd('W') + (r.ident2.empty() ? "" : Cmd('Y')));
        clear();
    }
    EXPECT_EQ(nt->GetDeviceType(), 5u);
    EXPECT_EQ(Name(*nt, 4), "Cor");  // cut to the buffer
    nt->ForgetDeviceType();
    On(Cmd('W'), Bytes({3, 3}));
    EXPECT_EQ(nt->GetDeviceType(), 3u);
    EXPECT_EQ(received(), Cmd('W'));  // asked again only once forgotten
}

// An unknown model or generation is no device: every rate is tried, the
// slowest last, once: the port is closed, nobody is asked to retry, and a
// device switched on since is found by the next command.
TEST_F(Ident, AnUnknownOrSilentDeviceIsLookedForAtEveryRateOnceAndFoundByTheNextCommand)
{
    auto nt = make();
    for (const auto& ident : {Bytes({0, 3}), Bytes({5, 5}), Bytes({12, 3}), Bytes({5, 2})}) On(Cmd('W'), ident);
    ASSERT_EQ(nt->Open(), 0);
    EXPECT_EQ(nt->serialDetectBaud(), N::ERR_RESPONSE);
    EXPECT_EQ(received(), Times(Cmd('W'), 4));
    EXPECT_EQ(line_.Pc().dcb.BaudRate, 9600u);
    nt->serialClose();
    clear();
    EXPECT_EQ(Name(*nt), "No device");
    EXPECT_TRUE(nt->LastResult() < 0 && !line_.Pc().open);
    EXPECT_EQ(received(), Times(Cmd('W'), 4));  // four rates, not looked for again in a loop
    On(Cmd('W'), Bytes({5, 3}));
    EXPECT_TRUE(nt->serialOpen(false) == 0 && nt->Detected());
}

// The search tries COM1 to COM8 at four rates each, keeps what it found, and
// when nothing answers reports the most telling failure.
TEST_F(Ident, DetectionFindsTheDeviceAmongSilentPortsOrReportsTheMostTellingFailure)
{
    MemoryLine lines[2];
    api_.Attach(1, lines[0]);
    api_.Attach(2, lines[1]);
    line_.SetDeviceBaud(38400);
    On(Cmd('W'), Bytes({5, 3}));
    auto nt = make(-1);
    DWORD start = now();
    EXPECT_EQ(nt->serialOpen(false), 0);
    EXPECT_NEAR(now() - start, 9 * kTimeout, 2);  // two silent ports at four rates and one wrong rate
    EXPECT_TRUE(nt->Detected() && nt->GetParameter(CComPort::PAR_PORT) == 2 && line_.Pc().dcb.BaudRate == 38400);
    EXPECT_TRUE(!lines[0].Pc().open && !lines[1].Pc().open);
    nt->serialClose();
    clear();
    EXPECT_EQ(nt->serialOpen(false), 0);  // the same port and rate, without asking
    EXPECT_TRUE(line_.Pc().open && received().empty());
    nt.reset();

    lines[0].FailNext(MemoryLine::Call::CreateFile, ERROR_GEN_FAILURE);  // COM4 to COM8 missing
    auto failing = make(-1);
    EXPECT_EQ(failing->serialOpen(false), CComPort::ERR_SYSTEM);
    EXPECT_TRUE(failing->WinError() == ERROR_GEN_FAILURE && !failing->Detected());
    line_.WithPc([](MemoryLine::PcPort& p) { return p.heldElsewhere = true; });
    EXPECT_EQ(make(-1)->serialOpen(false), N::ERR_LOCKED);
    line_.WithPc([](MemoryLine::PcPort& p) { return p.heldElsewhere = false; });
    start = now();
    EXPECT_EQ(make(-1)->serialOpen(false), N::ERR_RESPONSE);  // silence says more than a missing port
    EXPECT_NEAR(now() - start, 12 * kTimeout, 2);             // three ports at four rates
}

// A port held elsewhere is locked, by the screen reader when its window
// ("TLW") belongs to a process with a ".TLX" driver loaded (in any case).
TEST_F(Ident, APortHeldElsewhereNamesTheScreenReadersDriverWhenItIsLoaded)
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    const std::string stub = std::string(exe).substr(0, std::string(exe).rfind('\\') + 1) + "braille.TLX";
    const std::string lower = dir_.file("display.tlx");
    ASSERT_TRUE(CopyFileA(stub.c_str(), lower.c_str(), FALSE)) << stub;
    line_.WithPc([](MemoryLine::PcPort& p) { return p.heldElsewhere = true; });
    auto expectOpenGives = [this](int result) {
        auto nt = make();
        EXPECT_EQ(nt->isTALO(), result == N::ERR_TALOLOCKED);
        EXPECT_TRUE(nt->serialOpen(false) == result && nt->LastResult() == result) << result;
    };
    expectOpenGives(N::ERR_LOCKED);
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "TLW";
    RegisterClassA(&wc);
    ScopedResource<HWND, DestroyWindow> window(
        CreateWindowA("TLW", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(window);
    expectOpenGives(N::ERR_LOCKED);  // the screen reader runs without its driver
    ScopedModule driver(LoadLibraryA(lower.c_str()));
    ASSERT_TRUE(driver);
    expectOpenGives(N::ERR_TALOLOCKED);
}

// A 32-bit screen reader's driver is left out of a 64-bit snapshot unless
// asked for; a process that cannot be seen is reported once, with no module.
TEST(ModuleEnum, SnapshotsTakeThirtyTwoBitModulesAndAnUnseenProcessIsReportedOnceEmpty)
{
    static std::vector<DWORD> snapshots;  // the flags of every snapshot asked for
    ToolHelp api = ToolHelp::Load();
    ASSERT_TRUE(api.usable());
    api.createSnapshot = [](DWORD flags, DWORD) {
        snapshots.push_back(flags);
        return INVALID_HANDLE_VALUE;
    };
    std::vector<std::string> seen;
    const ModuleCallback collect = [](DWORD, HMODULE module, const char* path, LPARAM value) {
        reinterpret_cast<std::vector<std::string>*>(value)->push_back(std::string(path) + (module ? "" : "<none>"));
        return 0;
    };
    EXPECT_EQ(EnumModules(api, collect, reinterpret_cast<LPARAM>(&seen), 1234), 0);
    EXPECT_EQ(snapshots, std::vector<DWORD>{TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32});
    EXPECT_EQ(seen, std::vector<std::string>{"<none>"});
}

}  // namespace
}  // namespace link_test
