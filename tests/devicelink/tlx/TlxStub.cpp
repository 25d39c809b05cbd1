// An empty module: loaded under a ".TLX" name it stands for the screen reader's braille driver.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
