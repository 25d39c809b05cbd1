#pragma once
// The stand-in note-taker on COM3 and a PC folder; message boxes recorded and answered by the test.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "devicefiles/DeviceEntry.h"
#include "devicefiles/DeviceThread.h"
#include "devicefiles/ErrorText.h"
#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"
#include "tests/support/SimOnLine.h"

// Bytes that differ by position and seed, so that a lost, doubled or swapped block shows.
inline std::string Pattern(size_t size, int seed = 0)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 7 + i / 251 + seed);
    return s;
}

// Writes the file, making the folders it lies in.
inline void MakeFile(const std::string& path, const std::string& bytes)
{
    SHCreateDirectoryExA(nullptr, path.substr(0, path.rfind('\\')).c_str(), nullptr);
    ASSERT_TRUE(TempDir::WriteAll(path, bytes)) << path;
}

struct When {
    int hour = 9, minute = 26, month = 3, day = 14, year = 46;  // years count from 1980
};

// One 31-byte listing record: name (21), type, size (4, little-endian), hour, minute, month, day, year.
inline std::string Record(const std::string& name = "note.txt", int type = DeviceEntry::TYPE_FILE, uint32_t size = 0,
                          When t = When())
{
    std::string r(31, '\0');
    r.replace(0, std::min<size_t>(name.size(), 21), name.substr(0, 21));
    r[21] = static_cast<char>(type);
    for (int i = 0; i < 4; ++i) r[22 + i] = static_cast<char>(size >> (8 * i));
    const int time[] = {t.hour, t.minute, t.month, t.day, t.year};
    for (int i = 0; i < 5; ++i) r[26 + i] = static_cast<char>(time[i]);
    return r;
}

class DeviceFixture : public ::testing::Test {
protected:
    explicit DeviceFixture(std::initializer_list<const char*> folders)
        : sim_(3, folders), previousBox_(SetMessageBoxHook([](HWND, const char*, const char* text, UINT) {
              s_boxes.emplace_back(text);
              return s_boxAnswer;
          }))
    {
        s_boxes.clear();
        s_boxAnswer = IDOK;
    }
    ~DeviceFixture() override { SetMessageBoxHook(previousBox_); }

    // Presses Cancel on the "Receiving file(s)" dialog `delayMs` after `ready` first holds.
    std::thread cancelWhen(std::function<bool()> ready, DWORD delayMs)
    {
        return std::thread([this, ready, delayMs] {
            for (int i = 0; i < 800 && !clicked_; ++i, Sleep(25)) {
                HWND dialog = FindWindowA(nullptr, "Receiving file(s)");
                if (!dialog || !ready()) continue;
                Sleep(delayMs);
                PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                clicked_ = true;
            }
        });
    }

    // Runs a job on the device thread, its dialog owned by a window of this thread, as the folder does.
    HRESULT onDeviceThread(const std::function<HRESULT()>& job)
    {
        HWND window = CreateWindowA("STATIC", "", WS_OVERLAPPED, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        const int hr = DeviceRun(
            window, [&](CNotetaker&) { return static_cast<int>(job()); }, DeviceJob::Long);
        DestroyWindow(window);
        return hr;
    }

    // Records in wire_ what the PC sends from now on, until sniffPc(false).
    void sniffPc(bool on = true)
    {
        wire_.clear();
        sim_.line.SetHook(on ? [this](MemoryLine::Side from, uint64_t, MemoryLine::ByteFate& fate) {
            if (from == MemoryLine::Side::Pc) wire_ += static_cast<char>(fate.value);
        } : MemoryLine::ByteHook());
    }

    static inline std::vector<std::string> s_boxes;
    static inline int s_boxAnswer = IDOK;

    std::string wire_;  // outlives the line whose hook fills it
    SimOnLine sim_;
    TempDir pc_;
    CNotetaker nt_{2, 500, 5, 3};
    MessageBoxHook previousBox_;
    std::atomic<bool> clicked_{false};
};
