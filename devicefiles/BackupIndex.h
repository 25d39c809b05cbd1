#pragma once
// The index of a backup folder, "backup-restore.index".
//
// Layout of a backup: R:\letters\ann.txt is kept as <folder>\R\letters\ann.txt
// and F:\letters\ann.txt as <folder>\F\letters\ann.txt, so that files of the
// two drives with the same folder and name both survive.
//
// The index names what this program wrote, and only that is ever moved or
// deleted. It starts with a version line; each line after it is a kind
// ("file", "recent" or "folder"), the size, the device's time to the minute
// (YYYYMMDDhhmm), the copy's path below the backup folder, '|' (which no PC
// name holds) and the device path with its drive, ended by CR LF. A later
// line for the same device path replaces an earlier one, so that a backup can
// append a line for each file as it arrives: an interrupted backup leaves a
// smaller backup, never a broken one. A last line without its CR LF was being
// written when the process ended and is left out. Device paths are compared
// exactly: the device may hold names that differ in case alone.
//
// Version 2 indexes hold no PC paths (the copy's path is made from the
// device path) and compare device paths without case; they still read. An
// older program refuses an index of version 3.
//
// Indexes written before the version line hold one device path per line.
// Those written before the drive trees kept both drives in one tree
// (<folder>\letters\ann.txt): an index is taken for one of those only when
// none of its files is found in a drive tree.
#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "devicefiles/DeviceEntry.h"

extern const char kBackupIndexName[];
// Copies of files that left the device are moved, never deleted, into this
// folder of the backup folder, a folder per backup ("2026-12-08 14.05") and
// the backup's own tree below it. No index, restore or layout looks inside.
extern const char kRemovedFolderName[];

// The longest device path a backup keeps: the readers of the first indexes
// need the CR within the first 259 bytes of a line.
constexpr size_t kMaxIndexLine = MAX_PATH - 2;

struct IndexLine {
    enum Kind { FILE_SETTLED, FILE_RECENT, FOLDER };
    Kind kind = FILE_SETTLED;
    std::string devicePath;
    std::string pcPath;  // the copy (a folder's PC folder); not stored, made from devicePath
    DWORD size = 0;
    SYSTEMTIME time{};  // the device's, to the minute
};

// Where a device file is kept in a backup made now, unless its name clashes.
std::string BackupPcPath(const std::string& folder, const std::string& devicePath);

// The PC paths of one backup. A device path keeps the copy the index gave it
// (a name whose case alone changed, too); any other gets its safe name,
// numbered ("a_b (2)") where another device path of this backup already has
// that PC name: a?b and a_b, CON.txt and _CON.txt, names that differ in case
// alone all become one name on the PC.
class BackupNames {
public:
    // `kept`: the index's lines by exact device path, re-keyed when a name's
    // case changed; `walked`: the exact device paths of this backup.
    BackupNames(const std::string& folder, std::map<std::string, IndexLine>& kept, const std::set<std::string>& walked);
    std::string PcPath(const std::string& devicePath);

private:
    std::map<std::string, IndexLine>::iterator keptLine(const std::string& devicePath);
    std::string freeName(const std::string& parentPc, const std::string& name, const std::string& devicePath) const;

    std::string folder_;
    std::map<std::string, IndexLine>& kept_;
    const std::set<std::string>& walked_;
    std::map<std::string, std::string> given_;  // device path: its PC path
    std::map<std::string, std::string> taken_;  // lower-case PC path: the device path that has it
};

// The device's minute as one ordered number.
ULONGLONG DeviceMinute(const SYSTEMTIME& time);

// True when folder holds an index file, hidden or not: a copy made by a
// tool that drops the hidden attribute is still a backup.
bool HoldsBackupIndex(const std::string& folder);

// Reads the index of folder into lines, one a path; 0, or the error code (ERR_INVALIDINDEXFILE for a line it cannot
// read, ERR_SYSTEM when the file cannot be read) with the lines before it
// kept. `current` tells whether the index is of this version, whose copies
// lie in the drive trees and whose lines carry sizes and times.
int ReadBackupIndex(const std::string& folder, std::vector<IndexLine>& lines, bool* current = nullptr);

// Writes the index anew, hidden, in one step: the old index stays whole
// until the new one is on the disk, and is kept as kBackupIndexName + ".bak",
// which the reader takes when the index is damaged.
bool WriteBackupIndex(const std::string& folder, const std::vector<IndexLine>& lines);

// Adds one line to an index opened for appending.
bool AppendBackupIndex(HANDLE index, const std::string& folder, const IndexLine& line);
