#include "devicefiles/PcName.h"

#include <cctype>
#include <cstring>

namespace {

bool Forbidden(unsigned char c) { return c < 0x20 || strchr("<>:\"/\\|?*", c) != nullptr; }

// Windows takes "CON .txt" for CON too: blanks before the dot do not count.
// The superscript digits (code page 1252) name ports as the digits do.
bool IsReservedDevice(const std::string& name)
{
    static const char* const kReserved[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$", "CONIN$", "CONOUT$"};
    std::string stem = name.substr(0, name.find('.'));
    stem.erase(stem.find_last_not_of(' ') + 1);
    std::string upper;
    for (char c : stem) upper += static_cast<char>(toupper(static_cast<unsigned char>(c)));
    for (const char* reserved : kReserved)
        if (upper == reserved) return true;
    const bool digit = upper.size() == 4 && ((upper[3] >= '0' && upper[3] <= '9') || strchr("\xB9\xB2\xB3", upper[3]));
    return digit && (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0);
}

}  // namespace

std::string SafePcName(const std::string& component)
{
    const bool readable = component.empty() || MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, component.data(),
                                                                   static_cast<int>(component.size()), nullptr, 0) > 0;
    std::string safe;
    bool onlyDotsAndBlanks = true;
    for (char c : component) {
        const unsigned char byte = static_cast<unsigned char>(c);
        safe += Forbidden(byte) || (!readable && byte > 127) ? '_' : c;
        onlyDotsAndBlanks = onlyDotsAndBlanks && (c == '.' || c == ' ');
    }
    if (onlyDotsAndBlanks) return std::string(component.size() ? component.size() : 1, '_');
    if (safe.back() == '.' || safe.back() == ' ') safe.back() = '_';
    if (IsReservedDevice(safe)) safe.insert(0, 1, '_');
    return safe;
}

std::string SafePcRelativePath(const std::string& path)
{
    std::string joined;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of("\\/", start);
        if (end == std::string::npos) end = path.size();
        if (end > start) {
            if (!joined.empty()) joined += '\\';
            joined += SafePcName(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return joined;
}

bool PcFileSize(const char* path, DWORD& size)
{
    constexpr ULONGLONG kLargestFile = 0xFFFFFFFFull;
    constexpr DWORD kFileTooLarge = 84;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    const ULONGLONG full = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (full > kLargestFile) {
        SetLastError(kFileTooLarge);
        return false;
    }
    size = static_cast<DWORD>(full);
    return true;
}
