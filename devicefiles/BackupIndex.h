#pragma once
// The hidden index of a backup folder, "backup-restore.index": one device
// path with its drive per line, ended by CR LF, nothing else.
//
// Layout of a backup: R:\letters\ann.txt is kept as <folder>\R\letters\ann.txt
// and F:\letters\ann.txt as <folder>\F\letters\ann.txt, so that files of the
// two drives with the same folder and name both survive. A backup made before
// kept both drives in one tree (<folder>\letters\ann.txt); its files are
// found there when the drive's tree does not hold them.
#include <windows.h>

#include <string>
#include <vector>

#include "devicefiles/DeviceEntry.h"

extern const char kBackupIndexName[];

// The reader needs the CR within the first 259 bytes of a line.
constexpr size_t kMaxIndexLine = MAX_PATH - 2;

// Where a device file is kept in a backup made now.
std::string BackupPcPath(const std::string& folder, const std::string& devicePath);

// Reads every line of an index into rows {sName = line, sPcName = the
// backed-up copy, nType = 1}; 0, or the error code (a line without CR in
// reach or without colon: ERR_INVALIDINDEXFILE; a read failure: ERR_SYSTEM)
// with the rows read before it kept.
int ReadBackupIndex(const std::string& folder, HANDLE index, std::vector<DeviceEntry>& rows);

// Writes the index anew, hidden, in one step: the old index stays whole
// until the new one is complete. Lines that do not fit are left out.
bool WriteBackupIndex(const std::string& folder, const std::vector<std::string>& devicePaths);
