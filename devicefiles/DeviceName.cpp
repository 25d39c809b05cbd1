#include "devicefiles/DeviceName.h"

#include <cstdio>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxName = 20;
constexpr size_t kMaxExtension = 4;  // dot included

std::vector<std::string> Components(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = path.find('\\', start);
        const std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!part.empty()) parts.push_back(part);
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

std::string Join(const std::string& base, const std::string& relative)
{
    std::string joined = base;
    if (!joined.empty() && joined.back() != '\\') joined += '\\';
    size_t skip = 0;
    while (skip < relative.size() && relative[skip] == '\\') ++skip;
    return joined + relative.substr(skip);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool HasDrive(const std::string& path) { return path.size() >= 2 && path[1] == ':'; }

DWORD WINAPI SystemShortPath(const char* path, char* shortPath, DWORD size)
{
    return GetShortPathNameA(path, shortPath, size);
}
ShortPathSource g_shortPath = SystemShortPath;

// An 8.3 alias of our own, for volumes that keep no short names: four
// characters of the name, "~" and three hex digits of a hash of the whole
// name, then up to three characters of its extension.
std::string OwnShortName(const std::string& name)
{
    unsigned hash = 2166136261u;
    for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
    const size_t dot = name.find_last_of('.');
    std::string stem, extension;
    for (size_t i = 0; i < std::min(dot, name.size()) && stem.size() < 4; ++i)
        if (isalnum(static_cast<unsigned char>(name[i])))
            stem += static_cast<char>(toupper(static_cast<unsigned char>(name[i])));
    for (size_t i = dot == std::string::npos ? name.size() : dot + 1; i < name.size() && extension.size() < 3; ++i)
        if (isalnum(static_cast<unsigned char>(name[i])))
            extension += static_cast<char>(toupper(static_cast<unsigned char>(name[i])));
    char alias[16];
    snprintf(alias, sizeof alias, "%s~%03X%s%s", stem.c_str(), (hash ^ hash >> 12) & 0xFFF,
             extension.empty() ? "" : ".", extension.c_str());
    return alias;
}

// Rewrites the components of `longPath` that lie below `baseCount` leading
// components, component by component against the short form.
bool MapComponents(const std::string& longPath, size_t baseCount, int type, std::string& mapped)
{
    char shortPath[MAX_PATH];
    const DWORD n = g_shortPath(longPath.c_str(), shortPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || !HasDrive(longPath) || !HasDrive(shortPath)) return false;
    const std::vector<std::string> longParts = Components(longPath.substr(2));
    const std::vector<std::string> shortParts = Components(std::string(shortPath).substr(2));
    if (longParts.size() != shortParts.size()) return false;

    mapped.clear();
    for (size_t i = baseCount; i < longParts.size(); ++i) {
        if (!mapped.empty()) mapped += '\\';
        if (type != 4 && DeviceKeepsName(longParts[i].c_str())) mapped += longParts[i];
        else if (type != 4 && !DeviceKeepsName(shortParts[i].c_str())) mapped += OwnShortName(longParts[i]);
        else mapped += shortParts[i];
    }
    return true;
}

char* Fail(char* out)
{
    out[0] = '\0';
    return nullptr;
}

}  // namespace

ShortPathSource SetShortPathSource(ShortPathSource source)
{
    const ShortPathSource previous = g_shortPath;
    g_shortPath = source ? source : SystemShortPath;
    return previous;
}

bool DeviceKeepsName(const char* component)
{
    const size_t length = strlen(component);
    if (length > kMaxName) return false;
    const char* dot = strrchr(component, '.');
    return !dot || strlen(dot) <= kMaxExtension;
}

char* MakeDeviceName(char* out, int type, const char* base, const char* relative)
{
    if (type < 2 || type > 4 || !relative) return Fail(out);
    if (!base || !*base) {
        snprintf(out, MAX_PATH, "%s", relative);
        return out;
    }

    // A folder that the PC holds only under its type digit ("2letters" for
    // the R: folder "letters") maps back to the name without the digit.
    std::string path = Join(base, relative);
    bool digitAdded = false;
    if (!Exists(path)) {
        size_t skip = 0;
        while (relative[skip] == '\\') ++skip;
        path = Join(base, std::string(1, static_cast<char>('0' + type)) + (relative + skip));
        digitAdded = true;
        if (!Exists(path)) return Fail(out);
    }

    const size_t baseCount = Components(std::string(base).substr(HasDrive(base) ? 2 : 0)).size();
    std::string mapped;
    if (!HasDrive(path) || !MapComponents(path, baseCount, type, mapped)) return Fail(out);
    if (digitAdded && !mapped.empty() && mapped[0] == '0' + type) mapped.erase(0, 1);
    // "\Docs\x.txt" below a drive stays rooted, so that the drive put back
    // in front of it names the same PC file.
    if (relative[0] == '\\') mapped.insert(0, 1, '\\');
    if (mapped.size() >= MAX_PATH) return Fail(out);
    snprintf(out, MAX_PATH, "%s", mapped.c_str());
    return out;
}

char* MakeDevicePath(char* out, int type, const char* base, const char* relative)
{
    static const char* const kDrives[] = {"R:", "F:", "C:"};
    char name[MAX_PATH];
    if (!MakeDeviceName(name, type, base, relative)) return Fail(out);
    snprintf(out, MAX_PATH, "%s\\%s", kDrives[type - 2], name);
    return out;
}

bool DeviceFileName(const std::string& pcPath, std::string& name)
{
    char mapped[MAX_PATH] = "";
    const std::string drive = pcPath.substr(0, 2);
    if (pcPath.size() <= 2 || !MakeDeviceName(mapped, 2, drive.c_str(), pcPath.c_str() + 2))
        snprintf(mapped, sizeof mapped, "%s", pcPath.c_str());
    const char* last = strrchr(mapped, '\\');
    name = last ? last + 1 : mapped;
    return !name.empty() && DeviceKeepsName(name.c_str());
}

bool FindSharedDevicePath(const std::vector<std::string>& paths, size_t& first, size_t& second)
{
    for (second = 1; second < paths.size(); ++second)
        for (first = 0; first < second; ++first)
            if (_stricmp(paths[first].c_str(), paths[second].c_str()) == 0) return true;
    return false;
}

bool NameTaken(const std::vector<std::string>& names, const std::string& name)
{
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& taken) { return _stricmp(taken.c_str(), name.c_str()) == 0; });
}
