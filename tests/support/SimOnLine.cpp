#include "tests/support/SimOnLine.h"

namespace {
bool NoRetry() { return false; }
}  // namespace

SimOnLine::SimOnLine(int comNumber, std::initializer_list<const char*> folders, SimConfig config)
    : previousPrompt_(SetRetryPrompt(NoRetry))
{
    api.Attach(comNumber, line);
    for (const char* folder : folders) CreateDirectoryA(store.file(folder).c_str(), nullptr);
    config.root = store.path();
    device = std::make_unique<SimDevice>(link, config);
    device->Start();
}

SimOnLine::~SimOnLine()
{
    device->Stop();
    SetRetryPrompt(previousPrompt_);
}

bool SimOnLine::put(const std::string& relative, const std::string& bytes) const
{
    return TempDir::WriteAll(store.file(relative), bytes);
}

std::string SimOnLine::read(const std::string& relative) const { return TempDir::ReadAll(store.file(relative)); }
