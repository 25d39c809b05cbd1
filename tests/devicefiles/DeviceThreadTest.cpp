// The device thread's rules between threads: who waits, who is told busy,
// who may be shown UI, and when the thread ends.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "devicefiles/DeviceThread.h"
#include "devicelink/CNotetaker.h"
#include "foundation/ScopedHandle.h"

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

}  // namespace
