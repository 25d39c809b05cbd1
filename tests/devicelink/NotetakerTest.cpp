// The note-taker object's commands, identification and port search: the test plays the device by script.
#include <algorithm>

#include "devicelink/BoundedOpen.h"
#include "devicelink/ModuleEnum.h"
#include "foundation/CReg.h"
#include "foundation/ModuleLock.h"
#include "foundation/ScopedHandle.h"
#include "tests/devicelink/LinkTest.h"

namespace link_test {
namespace {

using Channel = NotetakerTest;
using N = CNotetaker;

// One command on a device of a firmware generation (identified first, or by the command itself): its result, and every
// byte the PC sent for it.
TEST_F(Channel, CommandsAreFramedRepliesMappedAndRefusedBelowTheirFirmware)
{
    const std::string eol = Bytes({0x0D, 0}), q(400, 'q'), q259(259, 'q'), dele = Cmd('D') + "x" + eol;
    const std::string rename = Cmd('N') + Bytes({'a', 0, 'b', 0}), wy = Cmd('W') + Cmd('Y');
    const std::string D00 = Bytes({'D', 0, 0}), N00 = Bytes({'N', 0, 0});
    const struct {
        WORD fw;
        bool open;
        int command;
        const char *a, *b;
        std::string reply;
        int result;
        std::string sent;
        DWORD took = 0;  // the time the reply was waited for, where it matters
    } rows[] = {
        {N::FW_RENAME, true, N::DCMD_ENUM, "\\", nullptr, Bytes({0, 0}), 0, Cmd('F') + "\\\r"},
        // A path of up to 259 characters goes whole; a longer one is refused, never cut into another path.
        {N::FW_RENAME, true, N::DCMD_MKDIR, q259.c_str(), nullptr, Bytes({'M', 0, 0}), 0, Cmd('M') + q259 + eol},
        {N::FW_RENAME, true, N::DCMD_RENAME, q259.c_str(), q259.c_str(), N00, 0, Cmd('N') + q259 + '\0' + q259 + '\0'},
        {N::FW_RENAME, true, N::DCMD_MKDIR, q.c_str(), nullptr, "", N::ERR_PATHTOOLONG, ""},
        {N::FW_RENAME, true, N::DCMD_RENAME, "a", q.c_str(), "", N::ERR_PATHTOOLONG, ""},
        // The status word after the echoed letter.
        {N::FW_VARDEN, true, N::DCMD_DELE, "x", nullptr, Bytes({'D', 0xFA, 0xFF}), N::ERR_INVALIDPATH, dele},
        // The letter alone: done once ten reply time-outs passed; no reply at all: after one, sent once.
        {N::FW_VARDEN, true, N::DCMD_MKDIR, "f", nullptr, "M", 0, Cmd('M') + "f" + eol, 10 * kTimeout},
        {N::FW_VARDEN, true, N::DCMD_MKDIR, "f", nullptr, "", CComPort::ERR_NODATA, Cmd('M') + "f" + eol, kTimeout},
        // "?" or another letter to an echo-and-status or a two-path command: no "X", no second try. A short
        // fixed-length reply is no reply.
        {N::FW_RENAME, true, N::DCMD_DELE, "x", nullptr, "?", N::ERR_RESPONSE, dele},
        {N::FW_RENAME, true, N::DCMD_PRINT, "hi", nullptr, "Q", N::ERR_RESPONSE, Cmd('P') + "hi" + eol},
        {N::FW_RENAME, true, N::DCMD_ENUM, "a", nullptr, Bytes({1}), N::ERR_RESPONSE, Cmd('F') + "a\r"},
        // Echo and status need firmware 0x0101 (the legacy one answers and is refused), two paths 0x0102.
        {N::FW_LEGACY, true, N::DCMD_DELE, "x", nullptr, D00, N::ERR_UNSUPPORTED, dele},
        {N::FW_VARDEN, false, N::DCMD_RENAME, "a", "b", "", N::ERR_UNSUPPORTED, wy},
        {N::FW_RENAME, false, N::DCMD_RENAME, "a", "b", N00, 0, wy + rename},
    };
    for (const auto& r : rows) {
        auto nt = make();
        if (r.open) identify(*nt, r.fw);
        else answerIdentity(r.fw);
        if (!r.reply.empty()) On(r.sent.substr(r.open ? 0 : 6), r.reply);
        unsigned char count[2];
        const DWORD start = now();
        const int result = r.b ? nt->serialCmd2(r.a, r.b, r.command, nullptr, 0)
                               : nt->serialCmd(r.a, r.command, r.command == N::DCMD_ENUM ? count : nullptr, 2);
        EXPECT_TRUE(result == r.result && nt->LastResult() == r.result) << &r - rows << ": " << result;
        EXPECT_EQ(received(), r.sent) << &r - rows;
        if (r.took) {
            EXPECT_NEAR(now() - start, r.took, 2) << &r - rows;
        }
        nt.reset();
        clear();
    }
}

// A repeat request ("?") is answered with the reset letter and the command again, as often as the retries allow; a
// device silent after one is not asked again.
TEST_F(Channel, RepeatRequestsAreAnsweredWithResetAndCountedExactly)
{
    const std::string list = Cmd('F') + "\\\r";
    const struct {
        DWORD retries;
        int asked, sends;
    } rows[] = {{5, 5, 5}, {1, 1, 1}, {0, 1, 1}, {5, 1, 2}};
    for (const auto& r : rows) {
        auto nt = make(2, r.retries);
        identify(*nt, N::FW_VARDEN);
        std::string expected;
        for (int i = 0; i < r.sends; ++i) expected += list + (i < r.asked ? "X" : "");
        for (int i = 0; i < r.asked; ++i) On(list, "?").On("X", "");
        unsigned char count[2];
        EXPECT_EQ(nt->serialCmd("\\", N::DCMD_ENUM, count, 2), N::ERR_RESPONSE);
        EXPECT_EQ(received(), expected) << "retries " << r.retries;
        nt.reset();
        clear();
    }
}

TEST_F(Channel, AnAcknowledgementByteIsLeftForTheNextReaderAndLongRepliesAreCut)
{
    auto nt = make();
    identify(*nt, N::FW_VARDEN);
    const std::string rx = Cmd('S') + Bytes({'f', 0x0D, 0});
    On(rx, "Z").On(rx, "?").On("X", "").On(rx, "\x06");
    EXPECT_EQ(nt->serialCmd("f", N::DCMD_RX, nullptr, 0), 0);
    EXPECT_TRUE(nt->Getc() == 'Z' && nt->Getc() == CComPort::ERR_NODATA);
    EXPECT_EQ(nt->serialCmd("f", N::DCMD_RX, nullptr, 0), 0);
    EXPECT_EQ(nt->Getc(), 0x06);

    unsigned char reply[4] = {0xEE, 0xEE, 0xEE, 0xEE};  // more than asked for: nothing written past it
    On(Cmd('F') + "a\r", Bytes({7, 0, 9, 9, 9, 9}));
    EXPECT_EQ(nt->serialCmd("a", N::DCMD_ENUM, reply, 2), 0);
    EXPECT_TRUE(reply[0] == 7 && reply[2] == 0xEE && reply[3] == 0xEE);
    On(Cmd('F') + "b\r", Bytes({3, 0}));  // the stale rest goes before the next command
    EXPECT_TRUE(nt->serialCmd("b", N::DCMD_ENUM, reply, 2) == 0 && reply[0] == 3);
    // The reply in two pieces, the second a tenth of a second late: collected until complete or timed out.
    const std::string late = "0123456789abcdefghijklmnopqrstuvwxyz";
    const DWORD start = now();
    deviceSends(late.substr(0, 10));
    ticks_.onSleep_ = [&] {
        if (now() - start == 100) deviceSends(late.substr(10));
    };
    char buffer[40] = {};
    EXPECT_EQ(nt->serialRead(buffer, 40, 300), 36);
    EXPECT_TRUE(std::string(buffer) == late && nt->LastResult() == 0);
    EXPECT_EQ(now() - start, 300u);
}

TEST_F(Channel, ListingLettersGoOutAloneOnEmptiedQueuesBadIndexesSendNothingAndCloseEmptiesThem)
{
    auto nt = make();
    identify(*nt, N::FW_VARDEN);
    const DWORD start = now();
    EXPECT_EQ(nt->serialEnumCmd(N::ENUM_NEXT, nullptr, 0), 0);  // no reply yet: at once
    EXPECT_EQ(now(), start);
    line_.FailNext(MemoryLine::Call::ClearCommError, ERROR_GEN_FAILURE);
    EXPECT_EQ(nt->serialEnumCmd(N::ENUM_NEXT, nullptr, 0), CComPort::ERR_SYSTEM);  // a failed read is no reply
    deviceSends("zz");  // stale bytes from an earlier exchange
    On("R", std::string(31, 'r'));
    char record[31];
    EXPECT_EQ(nt->serialEnumCmd(N::ENUM_AGAIN, record, 31), 31);
    EXPECT_EQ(std::string(record, 31), std::string(31, 'r'));
    const std::vector<DWORD> both = {PURGE_TXABORT | PURGE_TXCLEAR, PURGE_RXABORT | PURGE_RXCLEAR};
    const auto purges = line_.Pc().purges;
    EXPECT_EQ(std::vector<DWORD>(purges.end() - 2, purges.end()), both);
    clear();
    EXPECT_EQ(nt->serialCmd("a", 10, nullptr, 0), CComPort::ERR_BADPARAM);
    unsigned char reply[2] = {0xFF, 0xFF};  // cleared before anything else, even for a command refused at once
    EXPECT_EQ(nt->serialCmd2("a", "b", -1, reply, 2), CComPort::ERR_BADPARAM);
    EXPECT_TRUE(reply[0] == 0 && reply[1] == 0);
    EXPECT_EQ(nt->serialEnumCmd(4, nullptr, 0), CComPort::ERR_BADPARAM);
    EXPECT_EQ(received(), "");

    line_.WithPc([](MemoryLine::PcPort& pc) { return pc.purges.clear(), 0; });
    EXPECT_EQ(nt->serialClose(), 0);  // both queues emptied, the device still known
    EXPECT_TRUE(line_.Pc().purges == both && !line_.Pc().open && nt->Detected());
    On(Cmd('P') + Bytes({'O', 'k', 0x0D, 0}), Bytes({'P', 0, 0}));
    EXPECT_EQ(nt->serialCmd("Ok", N::DCMD_PRINT, nullptr, 0), 0);  // the next command opens again
    EXPECT_TRUE(line_.Pc().open);
}

using Ident = NotetakerTest;

std::string Name(CNotetaker& nt, int size = 16)
{
    char name[16];
    EXPECT_EQ(nt.GetDeviceName(name, size), S_OK);
    return name;
}

// What identifies a device, its name and firmware; a known one is not asked again until the transfer job forgets it.
TEST_F(Ident, IdentityRecordsGiveTheNameAndFirmware)
{
    const struct {
        std::string ident, ident2;
        const char* name;
        WORD firmware;
    } rows[] = {
        {Bytes({5, 3}) + "junk", "", "Corvanx", N::FW_LEGACY},  // no second record asked for
        {Bytes({2, 4}), Ident2Reply("Abc", 0x0102), "Abc", 0x0102},
        {Bytes({5, 4}), Bytes({4}) + Ident2Reply("Abc", 0x0102).substr(1), "Corvanx", N::FW_VARDEN},  // stale
        {Bytes({5, 4}), Bytes({'Y', 10, 0}) + std::string(8, 'z'), "Corvanx", N::FW_VARDEN},  // 10 bytes: nothing read
        {Bytes({5, 4}), Bytes({'Y', 20, 0, 7}) + "Abcd", "Corvanx", N::FW_VARDEN},            // cut short
        {Bytes({5, 4}), Bytes({'Y', 12, 0, 7}) + "Abcdefghi", "Abcdefghi", N::FW_VARDEN},     // name, no version
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
    EXPECT_EQ(Name(*nt, 4), "Abc");  // cut to the buffer
    nt->ForgetDeviceType();
    On(Cmd('W'), Bytes({3, 3}));
    EXPECT_EQ(nt->GetDeviceType(), 3u);
    EXPECT_EQ(received(), Cmd('W'));  // asked again only once forgotten
}

// An unknown model or generation is no device: every rate is tried, the slowest last, once: the port is closed, nobody
// is asked to retry, and a device switched on since is found by the next command.
TEST_F(Ident, AnUnknownOrSilentDeviceIsLookedForAtEveryRateOnceAndFoundByTheNextCommand)
{
    auto nt = make();
    for (const auto& ident : {Bytes({0, 3}), Bytes({5, 5}), Bytes({12, 3}), Bytes({5, 2})}) On(Cmd('W'), ident);
    ASSERT_EQ(nt->Open(), 0);
    EXPECT_EQ(nt->serialDetectBaud(), N::ERR_RESPONSE);
    EXPECT_EQ(received(), Cmd('W') + Cmd('W') + Cmd('W') + Cmd('W'));
    EXPECT_EQ(line_.Pc().dcb.BaudRate, 9600u);
    nt->serialClose();
    clear();
    EXPECT_EQ(Name(*nt), "No device");
    EXPECT_TRUE(nt->LastResult() < 0 && !line_.Pc().open);
    EXPECT_EQ(received(), Cmd('W') + Cmd('W') + Cmd('W') + Cmd('W'));  // four rates, not looked for again in a loop
    ticks_.now_ += 2000;                                               // once a failed detection is no longer held
    On(Cmd('W'), Bytes({5, 3}));
    EXPECT_TRUE(nt->serialOpen(false) == 0 && nt->Detected());
}

// When nothing answers, the search reports the most telling failure.
TEST_F(Ident, DetectionClosesSilentPortsAndReportsTheMostTellingFailure)
{
    MemoryLine lines[2];
    api_.Attach(1, lines[0]);
    api_.Attach(2, lines[1]);
    lines[0].FailNext(MemoryLine::Call::CreateFile, ERROR_GEN_FAILURE);  // COM4 to COM8 missing
    auto failing = make(-1);
    EXPECT_EQ(failing->serialOpen(false), CComPort::ERR_SYSTEM);
    EXPECT_TRUE(failing->WinError() == ERROR_GEN_FAILURE && !failing->Detected());
    line_.WithPc([](MemoryLine::PcPort& p) { return p.heldElsewhere = true; });
    EXPECT_EQ(make(-1)->serialOpen(false), N::ERR_LOCKED);
}

// Silent COM1 (Bluetooth) and COM2 (built in), the device on COM3 (USB), and COM7 that opens but is not listed:
// detection asks where the device last answered first, at its last rate, then the wired ports, then Bluetooth; never
// an unlisted port unless "Port" names it. Silent ports are closed again; the words name them.
TEST_F(Ident, DetectionAsksTheLastPortFirstThenWiredThenBluetoothPorts)
{
    MemoryLine com1, com2, com7;
    api_.Attach(1, com1, PortKind::Bluetooth);
    api_.Attach(2, com2);
    api_.Attach(3, line_, PortKind::Usb);
    api_.Attach(7, com7, PortKind::Usb, false);
    RegDeleteKeyValueA(HKEY_CURRENT_USER, CReg::kKey, "Last Port");
    const struct {
        int port;            // "Port"'s index; -1: look
        DWORD lastBaud;      // "Last Baud" written before the row, with "Last Port" COM3; 0: as the row before left it
        size_t asked[4];     // identifications on COM1, COM2, COM3 (the first answered, unless all four are), COM7
        const char* silent;  // the ports the words name
    } rows[] = {
        {-1, 0, {0, 4, 1, 0}, ""},      // nothing remembered: wired ports first
        {-1, 0, {0, 0, 1, 0}, ""},      // where it answered: one identification
        {-1, 38400, {0, 0, 1, 0}, ""},  // at the rate it answered at
        {-1, 0, {4, 4, 4, 0}, "COM1, COM2 or COM3"},
        {6, 0, {0, 0, 0, 4}, "COM7"},
    };
    for (const auto& r : rows) {
        if (r.lastBaud) CReg::WriteLastPort(2, r.lastBaud);
        auto nt = make(r.port);
        if (r.asked[2] == 1) On(Cmd('W'), Bytes({5, 3}));
        EXPECT_EQ(nt->serialOpen(false), *r.silent ? N::ERR_NOANSWER : 0) << &r - rows;
        const std::string words = std::string("No note-taker answered on ") + r.silent + ". Is it on, connected,";
        EXPECT_EQ(nt->GetErrorString(0).substr(0, *r.silent ? words.size() : 0), *r.silent ? words : "");
        const size_t asked[] = {Identifications(com1), Identifications(com2), Identifications(received()),
                                Identifications(com7)};
        EXPECT_TRUE(std::equal(asked, asked + 4, r.asked)) << &r - rows;
        if (r.lastBaud) {
            EXPECT_EQ(line_.Pc().dcb.BaudRate, r.lastBaud);
        }
        EXPECT_TRUE(!com1.Pc().open && !com2.Pc().open && !com7.Pc().open);
        clear();
    }
}

// An open that blocks (an outgoing Bluetooth port) is given up after the limit; until it returns the module counts as
// in use, and the handle it brings back late is closed.
TEST_F(Ident, AnOpenThatBlocksIsGivenUpAndItsLateHandleClosed)
{
    ScopedKernelHandle release(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    api_.beforeOpen = [&] { WaitForSingleObject(release.get(), INFINITE); };
    auto nt = make();
    const long locks = ModuleLockCount();
    const DWORD start = now();
    EXPECT_EQ(nt->serialOpen(false), N::ERR_NOANSWER);
    EXPECT_TRUE(now() - start == kOpenLimitMs && ModuleLockCount() == locks + 1 && !line_.Pc().open);
    SetEvent(release.get());
    for (int i = 0; i < 500 && ModuleLockCount() != locks; ++i) Sleep(10);
    EXPECT_TRUE(ModuleLockCount() == locks && !line_.Pc().open);
}

// A port held elsewhere is locked, by the screen reader when its window ("TLW") belongs to a process with a ".TLX"
// driver loaded (in any case).
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

// A 32-bit screen reader's driver is left out of a 64-bit snapshot unless asked for.
TEST(ModuleEnum, SnapshotsTakeThirtyTwoBitModules)
{
    static std::vector<DWORD> snapshots;  // the flags of every snapshot asked for
    ToolHelp api = ToolHelp::Load();
    ASSERT_TRUE(api.usable());
    api.createSnapshot = [](DWORD flags, DWORD) {
        snapshots.push_back(flags);
        return INVALID_HANDLE_VALUE;
    };
    EnumModules(
        api, [](DWORD, HMODULE, const char*, LPARAM) { return 0; }, 0, 1234);
    EXPECT_EQ(snapshots, std::vector<DWORD>{TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32});
}

}  // namespace
}  // namespace link_test
