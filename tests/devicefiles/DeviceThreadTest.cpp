// The device thread's rules between threads (who waits, who is told busy, who may be shown UI, when the
// thread ends), and the words and HRESULT of each result code.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "devicefiles/DeviceThread.h"
#include "devicefiles/ErrorText.h"
#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"
#include "foundation/CReg.h"
#include "foundation/ScopedHandle.h"
#include "tests/devicelink/LinkTest.h"
#include "tests/support/SimOnLine.h"

namespace {

constexpr UINT kReenter = WM_APP + 7;

// A window of the calling thread whose message re-enters the device thread.
struct ReenteringWindow {
    ReenteringWindow()
    {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            if (message != kReenter) return DefWindowProcA(window, message, wParam, lParam);
            return DeviceRun(window, [](CNotetaker&) { return 1; });
        };
        windowClass.lpszClassName = "DeviceThreadTest";
        RegisterClassA(&windowClass);
        window = CreateWindowA("DeviceThreadTest", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    }
    ~ReenteringWindow() { DestroyWindow(window); }
    HWND window;
};

TEST(DeviceThread, WaitersPumpReentryAndLongJobsAreAnsweredBusyWindowlessCallersSeeNoUi)
{
    DeviceThreadAcquire();
    ReenteringWindow caller;
    // A message sent to the waiting thread is answered while it waits, and
    // the request it makes from inside that message is answered busy.
    LRESULT inner = 0;
    const int outer = DeviceRun(caller.window, [&](CNotetaker&) {
        inner = SendMessageA(caller.window, kReenter, 0, 0);
        return 2;
    });
    EXPECT_EQ(outer, 2);
    EXPECT_EQ(inner, CNotetaker::ERR_BUSY);

    // Behind another thread's long job: busy at once, from a waiter and a starter alike.
    ScopedKernelHandle started(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        release(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::thread job([&] {
        DeviceRun(
            nullptr,
            [&](CNotetaker&) {
                SetEvent(started.get());
                return static_cast<int>(WaitForSingleObject(release.get(), INFINITE));
            },
            DeviceJob::Long);
    });
    WaitForSingleObject(started.get(), INFINITE);
    EXPECT_EQ(DeviceRun(caller.window, [](CNotetaker&) { return 3; }), CNotetaker::ERR_BUSY);
    EXPECT_FALSE(DeviceStart(
        std::make_shared<DeviceTicket>(), [](CNotetaker&) { return 3; }, nullptr));
    SetEvent(release.get());
    job.join();

    // UI is asked of a caller with a window, on its own thread; never of one without.
    std::atomic<DWORD> uiThread{0};
    auto ui = [&](HWND) { return uiThread = GetCurrentThreadId(), 5; };
    EXPECT_EQ(DeviceRun(caller.window, [&](CNotetaker&) { return AskCaller(ui, -1); }), 5);
    EXPECT_EQ(uiThread, GetCurrentThreadId());
    uiThread = 0;
    EXPECT_EQ(DeviceRun(nullptr, [&](CNotetaker&) { return AskCaller(ui, -1); }), -1);
    EXPECT_EQ(uiThread, 0u);

    EXPECT_FALSE(DeviceThreadEnded());
    DeviceThreadRelease();
    while (!DeviceThreadEnded()) Sleep(1);  // ends by itself; a hang here is the failure
}

// Three requests queued while the first waits: its failed detection answers the two behind it at once; one asked
// for afterwards looks again. Counted in identifications on a silent COM3, on the test's clock.
TEST(DeviceThread, RequestsQueuedBehindAFailedDetectionShareItsAnswer)
{
    link_test::FakeTicks ticks;
    MemoryLine line;
    MemoryComApi api;
    api.Attach(3, line);
    RegDeleteKeyValueA(HKEY_CURRENT_USER, CReg::kKey, "Last Port");
    DeviceThreadAcquire();
    // One count per answer: two answers given at once must not fold into one wake-up.
    ScopedKernelHandle go(CreateEventA(nullptr, TRUE, FALSE, nullptr)), ended(CreateSemaphoreA(nullptr, 0, 3, nullptr));
    std::shared_ptr<DeviceTicket> tickets[3];
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(DeviceStart(
            tickets[i] = std::make_shared<DeviceTicket>(),
            [&](CNotetaker& nt) { return WaitForSingleObject(go.get(), INFINITE), nt.serialOpen(false); },
            [&](const DeviceTicket&) { ReleaseSemaphore(ended.get(), 1, nullptr); }));
    }
    SetEvent(go.get());
    for (int i = 0; i < 3; ++i) WaitForSingleObject(ended.get(), INFINITE);
    EXPECT_EQ(link_test::Identifications(line), 4u);  // one port, four rates, once
    for (const auto& ticket : tickets) EXPECT_EQ(ticket->result, CNotetaker::ERR_NOANSWER);
    EXPECT_EQ(DeviceRun(nullptr, [](CNotetaker& nt) { return nt.serialOpen(false); }), CNotetaker::ERR_NOANSWER);
    EXPECT_EQ(link_test::Identifications(line), 4u);
    DeviceThreadRelease();
    while (!DeviceThreadEnded()) Sleep(1);
}

// The adapter pulled while the port was idle and plugged in again as another port: the next request does not
// stay with the port that went, it looks again and finds the note-taker on the new one.
TEST(DeviceThread, ANoteTakerMovedToAnotherPortIsFoundThereAfterTheIdleClose)
{
    link_test::FakeTicks ticks;
    MemoryLine first, second;
    MemoryComApi api;
    api.Attach(3, first, PortKind::Usb);
    api.Attach(5, second, PortKind::Usb);
    std::atomic<MemoryLine*> device{&first};
    ticks.onSleep_ = [&] {
        if (link_test::Identifications(*device)) device.load()->Write(MemoryLine::Side::Device, "\x05\x03", 2);
    };
    RegDeleteKeyValueA(HKEY_CURRENT_USER, CReg::kKey, "Last Port");
    DeviceThreadAcquire();
    const DeviceWork open = [](CNotetaker& nt) { return nt.serialOpen(false); };
    EXPECT_EQ(DeviceRun(nullptr, open), 0);
    first.FailNext(MemoryLine::Call::CreateFile, ERROR_FILE_NOT_FOUND, 100);
    device = &second;
    ticks.now_ += 60000;
    while (first.Pc().open) Sleep(10);  // closed for idleness
    EXPECT_EQ(DeviceRun(nullptr, open), 0);
    EXPECT_TRUE(second.Pc().open);
    DeviceThreadRelease();
    while (!DeviceThreadEnded()) Sleep(1);
    RegDeleteKeyValueA(HKEY_CURRENT_USER, CReg::kKey, "Last Port");
}

std::string g_box;
std::function<void()> g_pull;

// The USB adapter pulled out in the middle of a listing and of a receive: the words name the port, the handle of
// the port that went is closed at once, and the next request (the adapter back in) looks for the note-taker again.
TEST(DeviceThread, APortPulledOutInUseIsNamedClosedAndLookedForAgain)
{
    const MessageBoxHook previous =
        SetMessageBoxHook([](HWND, const char*, const char* text, UINT) { return g_box += text, IDOK; });
    for (const bool receive : {false, true}) {
        SimOnLine sim(12, {"R", "R\\letters"});
        ASSERT_TRUE(sim.put("R\\letters\\big.txt", std::string(8000, 'x')));
        TempDir pc;
        g_box.clear();
        g_pull = [&] {
            for (auto call : {MemoryLine::Call::ClearCommError, MemoryLine::Call::ReadFile, MemoryLine::Call::WriteFile,
                              MemoryLine::Call::PurgeComm, MemoryLine::Call::SetCommTimeouts})
                sim.line.FailNext(call, ERROR_BAD_COMMAND, 1000000);
        };
        DeviceThreadAcquire();
        EXPECT_EQ(DeviceRun(nullptr, [](CNotetaker& nt) { return nt.serialOpen(false); }), 0);
        const DeviceAnswer answer = DeviceAsk(nullptr, [&](CNotetaker& nt) {
            if (!receive) return g_pull(), nt.EnumFolder("R:\\letters");
            nt.SetProgressObserver([](const char*) { g_pull(); });
            const HRESULT got = nt.FileGet(nullptr, pc.file("big.txt").c_str(), "R:\\letters\\big.txt", 8000);
            nt.SetProgressObserver(nullptr);
            return static_cast<int>(got);
        });
        EXPECT_TRUE(answer.Failed()) << receive;
        EXPECT_NE((answer.words + g_box).find("COM12"), std::string::npos) << answer.words << " | " << g_box;
        EXPECT_FALSE(sim.line.Pc().open) << receive;
        sim.line.ClearFailures();
        sim.line.Write(MemoryLine::Side::Pc, "\x18\x18", 2);  // the note-taker gives the cut-off send up
        EXPECT_EQ(DeviceRun(nullptr, [](CNotetaker& nt) { return nt.Detected() ? 1 : nt.serialOpen(false); }), 0)
            << receive;
        DeviceThreadRelease();
        while (!DeviceThreadEnded()) Sleep(1);
    }
    SetMessageBoxHook(previous);
    RegDeleteKeyValueA(HKEY_CURRENT_USER, CReg::kKey, "Last Port");
}

// Through the free function and the note-taker's own, whose last result is the
// default; a refused operation's box names it.
TEST(ErrorText, WordsAndHResultForEachCodeAndTheBoxOfARefusal)
{
    char system[260] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_PATH_NOT_FOUND,
                   LANG_USER_DEFAULT, system, sizeof system, nullptr);
    ASSERT_STRNE(system, "");
    const MessageBoxHook previous =
        SetMessageBoxHook([](HWND, const char*, const char* text, UINT) { return g_box = text, IDOK; });
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
        {CNotetaker::ERR_LOCKED, 0, 260, "Can not access COM port.\nPort is locked by another program."},  // not the display mode's
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
    // Win32-based codes Explorer knows: -100 must not read as DV_E_FORMATETC (0x80040064).
    const std::pair<int, DWORD> results[] = {
        {0, S_OK}, {12, S_OK}, {CComPort::ERR_NODATA, 0x8007001F}, {CYModem::ERR_CANCELLED, 0x800704C7}};
    for (const auto& r : results) EXPECT_EQ(static_cast<DWORD>(ErrorHResult(r.first)), r.second) << r.first;
}

}  // namespace
