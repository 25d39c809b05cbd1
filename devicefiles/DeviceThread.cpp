// The device thread, its queue of requests and the waits of its callers.
#include "devicefiles/DeviceThread.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <vector>

#include "devicefiles/ErrorText.h"
#include "devicelink/CNotetaker.h"
#include "foundation/CriticalSection.h"
#include "foundation/DbgLog.h"
#include "foundation/ScopedHandle.h"
#include "foundation/Ticks.h"

namespace {

// How often an idle thread with the port open looks at the clock.
constexpr DWORD kIdlePollMs = 100;

HANDLE NewEvent(bool manual) { return CreateEventA(nullptr, manual, FALSE, nullptr); }

struct Request {
    DeviceWork work;
    DeviceJob job = DeviceJob::Short;
    HWND window = nullptr;                    // the caller's, for its UI; null: none
    ULONGLONG number = 0;                     // in the order of queueing
    ScopedKernelHandle done{NewEvent(true)};  // set when the result is in (waited requests only)
    int result = CNotetaker::ERR_BUSY;
    std::shared_ptr<DeviceTicket> ticket;  // started requests only
    DeviceDone onDone;
    // UI the device thread asks of the waiting caller.
    std::function<int(HWND)> ui;
    int uiFallback = 0;
    int uiResult = 0;
    ScopedKernelHandle uiAsked{NewEvent(false)};
    ScopedKernelHandle uiDone{NewEvent(true)};
};
using RequestPtr = std::shared_ptr<Request>;

class DeviceService {
public:
    long Acquire()
    {
        CriticalSection::Held held(lock_);
        return ++users_;
    }

    long Release()
    {
        CriticalSection::Held held(lock_);
        if (users_ > 0) --users_;
        if (users_ == 0 && wake_.valid()) SetEvent(wake_.get());
        return users_;
    }

    // An ended thread's handle and wake event are closed here, which
    // DllCanUnloadNow asks before the module goes; the next request makes new ones.
    bool Ended()
    {
        CriticalSection::Held held(lock_);
        if (thread_.valid() && WaitForSingleObject(thread_.get(), 0) != WAIT_OBJECT_0) return false;
        if (!running_) {
            thread_.reset();
            wake_.reset();
        }
        return true;
    }

    // Queues the request, or answers busy. Fails when the thread cannot start.
    int Queue(const RequestPtr& request, bool waited)
    {
        CriticalSection::Held held(lock_);
        const DWORD me = GetCurrentThreadId();
        if (longJobs_ > 0) return CNotetaker::ERR_BUSY;
        if (waited && std::find(waiting_.begin(), waiting_.end(), me) != waiting_.end()) return CNotetaker::ERR_BUSY;
        if (!running_ && !StartThread()) return CNotetaker::ERR_SYSTEM;
        if (request->job == DeviceJob::Long) ++longJobs_;
        if (waited) waiting_.push_back(me);
        request->number = ++queued_;
        queue_.push_back(request);
        SetEvent(wake_.get());
        return 0;
    }

    void Unwait()
    {
        CriticalSection::Held held(lock_);
        auto me = std::find(waiting_.begin(), waiting_.end(), GetCurrentThreadId());
        if (me != waiting_.end()) waiting_.erase(me);
    }

    bool Waiting()
    {
        CriticalSection::Held held(lock_);
        return std::find(waiting_.begin(), waiting_.end(), GetCurrentThreadId()) != waiting_.end();
    }

    bool OnThread()
    {
        CriticalSection::Held held(lock_);
        return running_ && GetCurrentThreadId() == threadId_;
    }

    Request* Current() const { return current_; }
    int RunHere(const DeviceWork& work) { return notetaker_ ? work(*notetaker_) : CNotetaker::ERR_UNKNOWN; }

    // The model name stays while the device is known to be there, though a
    // transfer job made the object forget it until the next identification;
    // it goes once the device is not found, and with the object (null).
    void Publish(const CNotetaker* notetaker)
    {
        const char* name = notetaker && notetaker->Detected() ? notetaker->KnownDeviceName() : "";
        if (!name[0] && notetaker && notetaker->Detected()) return;
        CriticalSection::Held held(nameLock_);
        lstrcpynA(name_, name, sizeof name_);
    }

    void Name(char* buffer, int size)
    {
        CriticalSection::Held held(nameLock_);
        lstrcpynA(buffer, name_, size);
    }

private:
    bool StartThread()
    {
        if (!wake_.valid()) wake_.reset(NewEvent(false));
        // The thread keeps the module loaded until its last instruction.
        HMODULE self = nullptr;
        if (!wake_.valid() ||
            !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&ThreadMain), &self))
            return false;
        previous_ = std::move(thread_);  // still closing the port: the new thread waits for it
        module_ = self;
        DWORD id = 0;
        thread_.reset(CreateThread(nullptr, 0, ThreadMain, this, 0, &id));
        if (!thread_.valid()) {
            FreeLibrary(self);
            return false;
        }
        threadId_ = id;
        running_ = true;
        return true;
    }

    static DWORD WINAPI ThreadMain(LPVOID param)
    {
        auto* self = static_cast<DeviceService*>(param);
        HMODULE module = self->module_;
        self->Serve();
        FreeLibraryAndExitThread(module, 0);
        return 0;
    }

    void Serve()
    {
        HANDLE previous;
        {
            CriticalSection::Held held(lock_);
            previous = previous_.release();
        }
        if (previous && previous != INVALID_HANDLE_VALUE) {
            WaitForSingleObject(previous, INFINITE);
            CloseHandle(previous);
        }
        NotetakerSettings settings = CurrentNotetakerSettings();
        std::unique_ptr<CNotetaker> notetaker(Make(settings));
        DWORD lastUse = TickNow();
        bool reidentify = false;
        while (RequestPtr request = Next(*notetaker, lastUse, reidentify)) {
            // The sheet may have saved other settings since, in any Explorer process.
            const NotetakerSettings saved = CurrentNotetakerSettings();
            if (!(saved == settings)) {
                notetaker.reset();
                notetaker.reset(Make(settings = saved));
                reidentify = false;
            }
            if (reidentify) Reidentify(*notetaker);
            reidentify = false;
            // Only the requests queued behind a failed detection share its
            // answer; one asked for after it looks for the device again.
            if (request->number > behindFailure_) notetaker->ForgetDetectionFailure();
            Run(*request, *notetaker, lastUse);
            if (request->number > behindFailure_ && notetaker->DetectionFailureHeld()) behindFailure_ = LastQueued();
        }
        notetaker_ = nullptr;
        Publish(nullptr);
    }

    CNotetaker* Make(const NotetakerSettings& s)
    {
        notetaker_ = new CNotetaker(s.portIndex, s.timeout, s.retries, s.transferRetries);
        return notetaker_;
    }

    ULONGLONG LastQueued()
    {
        CriticalSection::Held held(lock_);
        return queued_;
    }

    // The next request; null once the last user has gone and nothing is queued.
    RequestPtr Next(CNotetaker& notetaker, DWORD lastUse, bool& reidentify)
    {
        for (;;) {
            // Closed so that the screen reader can open the port while we are idle.
            if (notetaker.IsOpen() && TickNow() - lastUse >= kIdleCloseMs) {
                DbgPrint("Device idle: port closed");
                notetaker.serialClose();
                reidentify = true;
            }
            {
                CriticalSection::Held held(lock_);
                if (!queue_.empty()) {
                    RequestPtr request = queue_.front();
                    queue_.pop_front();
                    return request;
                }
                if (users_ == 0) {
                    running_ = false;
                    return nullptr;
                }
            }
            WaitForSingleObject(wake_.get(), notetaker.IsOpen() ? kIdlePollMs : INFINITE);
        }
    }

    // After the port was closed for idleness the device may have been switched,
    // moved to another rate, or its USB adapter pulled and plugged in again as
    // another port: it is asked again, and looked for afresh when no device
    // answers on the known port or that port no longer opens.
    static void Reidentify(CNotetaker& notetaker)
    {
        notetaker.ForgetDeviceType();
        if (notetaker.GetDeviceType() == 0) Forget(notetaker);
    }

    // The port went while in use (its USB adapter pulled out): its handle is
    // closed, and the next request looks for the note-taker again, which
    // may be back on another port.
    static void Forget(CNotetaker& notetaker)
    {
        notetaker.serialClose();
        notetaker.ForgetDetection();
    }

    // `lastUse` is taken before the caller hears the result, so that the idle
    // delay counts from a moment the caller has already passed.
    void Run(Request& request, CNotetaker& notetaker, DWORD& lastUse)
    {
        const bool skipped = request.ticket && request.ticket->cancelled;
        current_ = &request;
        if (!skipped) request.result = request.work(notetaker);
        if (notetaker.LineFailed()) Forget(notetaker);
        current_ = nullptr;
        lastUse = TickNow();
        Publish(&notetaker);
        const bool owed = notetaker.CancelOwed();
        {
            CriticalSection::Held held(lock_);
            if (request.job == DeviceJob::Long) --longJobs_;
            if (owed) ++longJobs_;  // the CANs still to go keep other requests out: they are told busy
        }
        if (request.ticket) {
            request.ticket->result = skipped ? CNotetaker::ERR_ABORTED : request.result;
            if (request.onDone && !skipped) request.onDone(*request.ticket);
        } else {
            SetEvent(request.done.get());
        }
        if (!owed) return;
        notetaker.EndOwedCancel();
        lastUse = TickNow();
        CriticalSection::Held held(lock_);
        --longJobs_;
    }

    CriticalSection lock_;  // everything below but the name; never held while waiting
    std::deque<RequestPtr> queue_;
    std::vector<DWORD> waiting_;   // threads waiting for a request of theirs
    int longJobs_ = 0;             // queued or running
    ULONGLONG queued_ = 0;         // requests queued so far
    ULONGLONG behindFailure_ = 0;  // the last request queued when a detection failed (device thread only)
    long users_ = 0;
    bool running_ = false;
    DWORD threadId_ = 0;
    ScopedKernelHandle thread_;
    ScopedKernelHandle previous_;
    ScopedKernelHandle wake_;
    HMODULE module_ = nullptr;
    Request* current_ = nullptr;       // the device thread's own
    CNotetaker* notetaker_ = nullptr;  // the device thread's own

    CriticalSection nameLock_;
    char name_[CNotetaker::kModelNameSize] = "";
};

DeviceService& Service()
{
    static DeviceService* service = new DeviceService;  // never destroyed: its thread may outlive static teardown
    return *service;
}

void AnswerUi(Request& request)
{
    request.uiResult = IsWindow(request.window) ? request.ui(request.window) : request.uiFallback;
    SetEvent(request.uiDone.get());
}

// Waits for the request's result while dispatching this thread's messages
// and the UI the device thread asks for. A quit message is kept for after.
void PumpUntilDone(Request& request)
{
    HANDLE handles[] = {request.done.get(), request.uiAsked.get()};
    bool quit = false;
    WPARAM quitCode = 0;
    for (;;) {
        const DWORD woke = MsgWaitForMultipleObjectsEx(2, handles, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0) break;
        if (woke == WAIT_OBJECT_0 + 1) {
            AnswerUi(request);
            continue;
        }
        if (woke == WAIT_FAILED) {
            WaitForSingleObject(request.done.get(), INFINITE);
            break;
        }
        // Wide calls: Explorer's windows are Unicode, and a letter outside the
        // ANSI code page typed into its address or search box meanwhile would
        // come through the narrow ones as "?".
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true;
                quitCode = message.wParam;
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
}

}  // namespace

long DeviceThreadAcquire() { return Service().Acquire(); }
long DeviceThreadRelease() { return Service().Release(); }
bool DeviceThreadEnded() { return Service().Ended(); }
bool OnDeviceThread() { return Service().OnThread(); }
bool CallerWaiting() { return Service().Waiting(); }

int DeviceRun(HWND window, DeviceWork work, DeviceJob job)
{
    if (OnDeviceThread()) return Service().RunHere(work);  // work never waits for work
    auto request = std::make_shared<Request>();
    if (!request->done.valid() || !request->uiAsked.valid() || !request->uiDone.valid()) return CNotetaker::ERR_SYSTEM;
    request->work = std::move(work);
    request->job = job;
    request->window = window;
    const int queued = Service().Queue(request, true);
    if (queued < 0) return queued;
    PumpUntilDone(*request);
    Service().Unwait();
    return request->result;
}

DeviceAnswer DeviceAsk(HWND window, const DeviceWork& work, DeviceJob job)
{
    DeviceAnswer answer;
    answer.code = DeviceRun(
        window,
        [&](CNotetaker& notetaker) {
            const int result = work(notetaker);
            if (result < 0) answer.words = notetaker.GetErrorString(0);
            if (result < 0 && answer.words.empty()) answer.words = notetaker.GetErrorString(CNotetaker::ERR_UNKNOWN);
            return result;
        },
        job);
    char text[MAX_PATH];
    if (answer.Failed() && answer.words.empty() && ErrorText(text, sizeof text, answer.code, GetLastError()))
        answer.words = text;
    return answer;
}

bool DeviceStart(const std::shared_ptr<DeviceTicket>& ticket, DeviceWork work, DeviceDone done)
{
    auto request = std::make_shared<Request>();
    request->work = std::move(work);
    request->ticket = ticket;
    request->onDone = std::move(done);
    return Service().Queue(request, false) == 0;
}

bool BeginAskCaller(const std::function<int(HWND owner)>& ui, int fallback)
{
    Request* request = Service().OnThread() ? Service().Current() : nullptr;
    if (!request || request->ticket || !request->window) return false;
    request->ui = ui;
    request->uiFallback = fallback;
    ResetEvent(request->uiDone.get());
    SetEvent(request->uiAsked.get());
    return true;
}

int EndAskCaller()
{
    Request* request = Service().Current();
    if (!request) return 0;
    WaitForSingleObject(request->uiDone.get(), INFINITE);
    return request->uiResult;
}

HANDLE CallerUiEnded()
{
    Request* request = Service().Current();
    return request ? request->uiDone.get() : nullptr;
}

int AskCaller(const std::function<int(HWND owner)>& ui, int fallback)
{
    return BeginAskCaller(ui, fallback) ? EndAskCaller() : fallback;
}

void KnownDeviceName(char* buffer, int size) { Service().Name(buffer, size); }
