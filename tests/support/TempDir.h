#pragma once
// A fresh folder under the temporary path, removed with everything in it.
#include <windows.h>

#include <shellapi.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <string>

class TempDir {
public:
    TempDir()
    {
        static std::atomic<int> counter{0};
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        path_ = base + ("pellor-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++));
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~TempDir()
    {
        const std::string from = path_ + '\0';  // the list of paths ends with two zeros
        SHFILEOPSTRUCTA op{nullptr, FO_DELETE, from.c_str(), nullptr, FOF_NO_UI};
        SHFileOperationA(&op);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }

    static std::string ReadAll(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static bool WriteAll(const std::string& file, const std::string& bytes)
    {
        std::ofstream out(file, std::ios::binary);
        return !!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush();
    }
    static bool Exists(const std::string& file) { return GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES; }

private:
    std::string path_;
};
