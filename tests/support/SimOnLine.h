#pragma once
// The stand-in note-taker on COMn of an in-memory line, serving a fresh
// temporary store, with the Retry/Cancel box answered "Cancel".
#include <initializer_list>
#include <memory>
#include <string>

#include "devicelink/CNotetaker.h"
#include "sim/SimDevice.h"
#include "tests/support/MemoryComApi.h"
#include "tests/support/MemorySimLink.h"
#include "tests/support/TempDir.h"

class SimOnLine {
public:
    // `folders` are made in the store before the stand-in starts ("R\\letters", ...).
    explicit SimOnLine(int comNumber, std::initializer_list<const char*> folders = {"R", "F"},
                       SimConfig config = SimConfig());
    ~SimOnLine();
    SimOnLine(const SimOnLine&) = delete;
    SimOnLine& operator=(const SimOnLine&) = delete;

    std::string path(const std::string& relative) const { return store.file(relative); }
    bool put(const std::string& relative, const std::string& bytes) const;
    std::string read(const std::string& relative) const;

    MemoryLine line;
    MemoryComApi api;
    MemorySimLink link{line};
    TempDir store;
    std::unique_ptr<SimDevice> device;

private:
    RetryPrompt previousPrompt_;
};
