// Who holds a locked port: the screen reader's braille driver, or some other program.
#include <cstring>

#include "devicelink/CNotetaker.h"
#include "devicelink/ModuleEnum.h"
#include "foundation/DbgLog.h"

namespace {

const char kReaderWindowClass[] = "TLW";
const char kDriverExtension[] = ".TLX";

int IsBrailleDriver(DWORD processId, HMODULE module, const char* path, LPARAM)
{
    if (DbgOn(DBG_NOTETAKER))
        DbgPrint("PID=0x%08X, MID=0x%08X, %s", static_cast<unsigned>(processId),
                 static_cast<unsigned>(reinterpret_cast<uintptr_t>(module)), path);
    const char* slash = strrchr(path, '\\');
    const char* name = slash ? slash + 1 : path;
    const char* dot = strrchr(name, '.');
    return dot && lstrcmpiA(dot, kDriverExtension) == 0 ? 1 : 0;
}

}  // namespace

bool CNotetaker::isTALO()
{
    if (trace()) DbgPrint("CNotetaker::isTALO()");
    HWND window = FindWindowA(kReaderWindowClass, nullptr);
    if (!window) return false;
    if (trace()) DbgPrint("TALO window found");
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == 0) return false;
    if (EnumModules(IsBrailleDriver, 0, processId) == 1) {
        if (trace()) DbgPrint("TLX-driver found!");
        return true;
    }
    if (trace()) DbgPrint("No TLX-driver found");
    return false;
}
