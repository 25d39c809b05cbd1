// How long a window thread goes without answering a message while another
// window's thread sends 200 KB to the stand-in over the paced line, the
// first thread listing a device folder all the while; then how soon Cancel
// gives a window back when the device fell silent after a receive command.
// Usage: thread_bench [bytes]
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "devicefiles/DeviceThread.h"
#include "devicefiles/UserMessage.h"
#include "shell/CDataObject.h"
#include "shell/CShellFolder.h"
#include "shell/ItemId.h"
#include "shell/Paste.h"
#include "tests/shell/ShellTestSupport.h"
#include "tests/support/SimOnLine.h"
#include "tests/support/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;

// A busy listing is shown to its window; the benchmark counts it instead.
int Quiet(HWND, const char*, const char*, UINT) { return IDOK; }

HWND PlainWindow()
{
    return CreateWindowA("STATIC", "", WS_OVERLAPPED, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
}

ComPtr<IShellFolder> Bind(IShellFolder* root, const char* name)
{
    ItemIdHolder item(ItemIdCreate(DeviceItemData{FILE_ATTRIBUTE_DIRECTORY, {}, 0}, name));
    ComPtr<IShellFolder> child;
    root->BindToObject(item.get(), nullptr, IID_IShellFolder, child.putVoid());
    return child;
}

// Pastes one PC file into the folder from a thread with a window, as a drop does.
HRESULT Paste(CShellFolder& folder, const std::string& path)
{
    OleInitialize(nullptr);
    HWND window = PlainWindow();
    const std::string list = path + std::string(2, '\0');
    STGMEDIUM medium{TYMED_HGLOBAL};
    medium.hGlobal = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + list.size());
    auto* drop = static_cast<DROPFILES*>(GlobalLock(medium.hGlobal));
    drop->pFiles = sizeof(DROPFILES);
    memcpy(drop + 1, list.data(), list.size());
    GlobalUnlock(medium.hGlobal);
    ComPtr<CDataObject> files{new CDataObject(nullptr)};
    DropRequest request{};
    request.format = FORMATETC{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    files->SetData(&request.format, &medium, TRUE);
    ScopedMedium held;
    files->GetData(&request.format, held.put());
    request.dataObject = files.get();
    request.medium = *held;
    const HRESULT hr = PasteDataObject(folder, window, folder.DeviceList(), &request);
    RunPostedPastes();  // the drop returned at once; its paste runs from this thread's messages
    DestroyWindow(window);
    OleUninitialize();
    return hr;
}

double MsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// A fetch whose device acknowledged the command and then said nothing more,
// cancelled from its dialog at the first "C": the time until the caller has
// its answer, and until the device thread, sending its CANs after, takes
// requests again (it answers busy until then).
void CancelAgainstSilence(SimOnLine& sim, const TempDir& pc)
{
    SimFaults faults;
    faults.send.silentAfterCommand = true;
    sim.device->SetFaults(faults);
    Clock::time_point cancelled{};
    std::atomic<bool> asked{false};
    sim.line.SetHook([&](MemoryLine::Side from, uint64_t, MemoryLine::ByteFate& fate) {
        HWND dialog =
            from == MemoryLine::Side::Pc && fate.value == 'C' ? FindWindowA(nullptr, "Receiving file(s)") : nullptr;
        if (!dialog || asked.exchange(true)) return;
        cancelled = Clock::now();
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    HWND window = PlainWindow();
    const int result = DeviceRun(
        window,
        [&](CNotetaker& nt) {
            return static_cast<int>(nt.FileGet(window, pc.file("f0.txt").c_str(), "R:\\a\\f0.txt", 1));
        },
        DeviceJob::Long);
    const auto back = Clock::now();
    int busy = 0;
    while (DeviceRun(nullptr, [](CNotetaker&) { return 0; }) == CNotetaker::ERR_BUSY) ++busy, Sleep(20);
    const auto free = Clock::now();
    sim.line.SetHook(nullptr);
    sim.device->SetFaults(SimFaults());
    DestroyWindow(window);
    printf(
        "cancel against a silent device: the window has its answer (0x%08X) %.0f ms after Cancel; the device\n"
        "  thread sends its CANs for %.1f s more, %d requests told busy meanwhile\n",
        static_cast<unsigned>(result), MsBetween(cancelled, back), MsBetween(back, free) / 1000, busy);
}

}  // namespace

int main(int argc, char** argv)
{
    const size_t bytes = argc > 1 ? static_cast<size_t>(atol(argv[1])) : 200 * 1024;
    OleInitialize(nullptr);
    IMalloc* allocator = nullptr;
    SHGetMalloc(&allocator);
    ItemIdSetAllocator(allocator);
    SetMessageBoxHook(Quiet);
    SimOnLine sim(1, {"R", "R\\a", "R\\b"});
    for (int i = 0; i < 20; ++i) sim.put("R\\a\\f" + std::to_string(i) + ".txt", "x");
    TempDir pc;
    TempDir::WriteAll(pc.file("big.bin"), std::string(bytes, 'p'));
    ComPtr<IShellFolder> root{new CShellFolder(nullptr, nullptr)};
    ComPtr<IShellFolder> a = Bind(root.get(), "R:\\a"), b = Bind(root.get(), "R:\\b");
    ComPtr<IEnumIDList> first;
    a->EnumObjects(nullptr, SHCONTF_NONFOLDERS, first.put());  // finds and identifies the device
    sim.line.SetPacing(true);

    HWND window = PlainWindow();
    std::atomic<bool> done{false};
    std::atomic<long long> longestUs{0};
    std::atomic<int> pings{0};
    std::thread prober([&] {
        while (!done) {
            const auto sent = Clock::now();
            DWORD_PTR ignored;
            SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &ignored);
            const long long us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - sent).count();
            longestUs = std::max(longestUs.load(), us);
            ++pings;
            Sleep(5);
        }
    });
    HRESULT pasted = E_FAIL;
    const auto start = Clock::now();
    std::thread paster([&] {
        pasted = Paste(*static_cast<CShellFolder*>(b.get()), pc.file("big.bin"));
        done = true;
    });
    int right = 0, busy = 0;
    while (!done) {
        ComPtr<IEnumIDList> items;
        const HRESULT hr = a->EnumObjects(window, SHCONTF_NONFOLDERS, items.put());
        hr == S_OK ? ++right : ++busy;
        const auto until = Clock::now() + std::chrono::milliseconds(20);
        while (Clock::now() < until) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
    }
    paster.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    prober.join();
    const bool whole = sim.read("R\\b\\big.bin") == std::string(bytes, 'p');
    printf("thread_bench: %zu bytes sent in %.1f s (paced 115200 baud), paste %s, bytes %s\n", bytes, seconds,
           pasted == S_OK ? "ok" : "FAILED", whole ? "whole" : "DIFFER");
    printf("  window thread: longest unanswered message %.1f ms over %d messages; its listings %d right, %d busy\n",
           longestUs / 1000.0, pings.load(), right, busy);
    DestroyWindow(window);
    sim.line.SetPacing(false);
    CancelAgainstSilence(sim, pc);
    return pasted == S_OK && whole ? 0 : 1;
}
