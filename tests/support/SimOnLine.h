#pragma once
// The stand-in note-taker on COMn of an in-memory line, serving a fresh
// temporary store.
#include <initializer_list>
#include <memory>
#include <string>

#include "devicelink/CNotetaker.h"
#include "sim/SimDevice.h"
#include "tests/support/MemoryComApi.h"
#include "tests/support/TempDir.h"

class SimOnLine {
public:
    // `folders` are made in the store before the stand-in starts ("R\\letters", ...).
    explicit SimOnLine(int comNumber, std::initializer_list<const char*> folders = {"R", "F"},
                       SimConfig config = SimConfig())
    {
        api.Attach(comNumber, line);
        for (const char* folder : folders) CreateDirectoryA(path(folder).c_str(), nullptr);
        config.root = store.path();
        device = std::make_unique<SimDevice>(link, config);
        device->Start();
    }
    ~SimOnLine() { device->Stop(); }

    std::string path(const std::string& name) const { return store.file(name); }
    bool put(const std::string& name, const std::string& bytes) const { return TempDir::WriteAll(path(name), bytes); }
    std::string read(const std::string& name) const { return TempDir::ReadAll(path(name)); }

    MemoryLine line;
    MemoryComApi api;
    MemorySimLink link{line};
    TempDir store;
    std::unique_ptr<SimDevice> device;
};
