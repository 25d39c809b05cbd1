#pragma once
// A fresh folder under the temporary path, removed with everything in it.
#include <windows.h>

#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }

    static std::string ReadAll(const std::string& file);
    static bool WriteAll(const std::string& file, const std::string& bytes);
    static bool Exists(const std::string& file);

private:
    std::string path_;
};
