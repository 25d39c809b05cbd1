#pragma once
// The stand-in note-taker's file store: a PC folder whose sub-folder "R"
// is drive R:, "F" drive F:, and whose sub-folder "special" holds the
// entries the device shows at its root as special entries. A listing shows
// a folder's sub-folders (type 2 on R:, 3 on F:) before its files.
#include <cstdint>
#include <string>
#include <vector>

class SimStore {
public:
    // Device status words.
    enum Status : int16_t {
        ST_OK = 0,
        ST_NOT_FOUND = -2,
        ST_BAD_NAME = -3,
        ST_EXISTS = -4,
        ST_FAILED = -7,
    };
    static constexpr size_t kRecordSize = 31;
    using Record = std::vector<uint8_t>;

    explicit SimStore(std::string root);  // makes the drive folders when missing

    // The records of a folder as the device sends them: "\" is the root.
    std::vector<Record> List(const std::string& devicePath) const;

    int16_t Delete(const std::string& devicePath);
    int16_t MakeFolder(const std::string& devicePath);
    int16_t Rename(const std::string& oldPath, const std::string& newPath);

    bool ReadFile(const std::string& devicePath, std::vector<uint8_t>& data) const;
    // Stores `name` in the device folder; false when the folder is missing.
    bool WriteFile(const std::string& deviceFolder, const std::string& name, const std::vector<uint8_t>& data);

    // The PC path for a device path, empty when it names nothing the
    // device keeps. A path without a drive is looked for on R:, then F:.
    std::string Resolve(const std::string& devicePath) const;
    static bool ValidName(const std::string& name);

private:
    std::string drivePath(char drive) const;
    std::string resolveParts(const std::string& devicePath, bool mustExist) const;
    void addFolderRecords(std::vector<Record>& out, const std::string& folder, uint8_t type) const;
    void addFileRecords(std::vector<Record>& out, const std::string& folder, uint8_t type) const;

    std::string root_;
};
