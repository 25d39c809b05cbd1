#pragma once
// The module's lock count: every living COM object and the note-taker object
// hold one, and the module may be unloaded only when it is zero.
long ModuleLock();    // returns the new count
long ModuleUnlock();  // returns the new count
long ModuleLockCount();

// Holds one lock for its lifetime; a member of each object that counts.
class ModuleLockHolder {
public:
    ModuleLockHolder() { ModuleLock(); }
    ~ModuleLockHolder() { ModuleUnlock(); }
    ModuleLockHolder(const ModuleLockHolder&) { ModuleLock(); }
    ModuleLockHolder& operator=(const ModuleLockHolder&) = default;
};
