#pragma once
// The device thread: the one thread of the module that owns the note-taker
// object, its port and every exchange with the device.
//
// The rules between threads, all of them:
// - Only the device thread calls the note-taker object (and what it lists).
//   Every other thread hands it a request, a piece of work with a result
//   code, and takes the result back. Requests run one at a time, in order.
// - A caller waits while pumping its messages and holds no lock meanwhile,
//   so its windows keep answering.
// - A request that would wait behind a long job (a transfer, a backup, a
//   restore) is answered ERR_BUSY at once, and so is a second request from
//   a thread that is already waiting (Explorer re-enters while it pumps).
// - UI is shown only by the caller's own thread, and only when the caller
//   named a window: work on the device thread asks for it with AskCaller.
//   A caller without a window gets a result code, never a box.
// - The port is closed after kIdleCloseMs without a request, so that another
//   program can open it; the next request opens it and identifies again.
// - The thread starts with the first request and ends when the last user
//   lets go; DllCanUnloadNow waits for DeviceThreadEnded, DllMain never does.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "devicefiles/ErrorText.h"

class CNotetaker;

// The port is closed once the device has been idle this long (on the tick
// source, so tests run it on a fake clock).
constexpr DWORD kIdleCloseMs = 3000;

using DeviceWork = std::function<int(CNotetaker&)>;
enum class DeviceJob { Short, Long };

// A request started without waiting: the caller learns of its end through
// `done`, which runs on the device thread (post a message from it; no more).
struct DeviceTicket {
    volatile LONG cancelled = 0;  // set by the caller; a request not yet begun is then skipped
    int result = 0;
};
using DeviceDone = std::function<void(const DeviceTicket&)>;

// One more object that uses the device (a folder); the last Release ends the thread.
long DeviceThreadAcquire();
long DeviceThreadRelease();
// True when no device thread runs: the module may be unloaded.
bool DeviceThreadEnded();

// Runs `work` on the device thread and returns its result, or ERR_BUSY.
// `window` is the caller's window (null: the caller shows no UI); the caller
// pumps its messages while it waits. On the device thread itself, runs `work` at once.
int DeviceRun(HWND window, DeviceWork work, DeviceJob job = DeviceJob::Short);

// A request's result and, for a failure, the device's words for it, which
// the caller shows when it has a window.
struct DeviceAnswer {
    int code = 0;
    std::string words;
    bool Failed() const { return code < 0; }
    // As an HRESULT: a request's own result code (busy, say) is turned into one.
    HRESULT Result() const { return code > -0x10000 && code < 0 ? ErrorHResult(code) : code; }
};
DeviceAnswer DeviceAsk(HWND window, const DeviceWork& work, DeviceJob job = DeviceJob::Short);

// Starts `work` and returns at once; false when it would wait behind a long
// job (busy). `work` may read the ticket's cancel flag as it goes.
bool DeviceStart(const std::shared_ptr<DeviceTicket>& ticket, DeviceWork work, DeviceDone done);

// From work on the device thread: runs `ui` on the waiting caller's thread
// with the caller's window as owner, and returns its result; `fallback`
// when the caller named no window, or its window is gone.
int AskCaller(const std::function<int(HWND owner)>& ui, int fallback);
// The same, without waiting for `ui` to end: false (and nothing asked) when
// the caller named no window; then EndAskCaller waits and returns the result.
bool BeginAskCaller(const std::function<int(HWND owner)>& ui, int fallback);
int EndAskCaller();
// Set once the UI begun with BeginAskCaller has ended, or was never shown.
HANDLE CallerUiEnded();
// True on the device thread.
bool OnDeviceThread();
// True while this thread waits for a request of its own (and pumps its
// messages meanwhile): work posted to it must wait for the answer too.
bool CallerWaiting();

// The model name the device last told ("" before it has), without waiting
// on the device: any thread may read it at any time.
void KnownDeviceName(char* buffer, int size);
