#include "module/ModuleEntry.h"

#include "core/CustomControls.h"

int ControlsReady = 0;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        if (ModuleInstance)
            return FALSE;
        ModuleInstance = instance;
        if (!ControlsReady) {
            ControlsReady = 1;
            InitCustomControls(ModuleInstance);
            InitCommonControls();
        }
        return TRUE;
    case DLL_PROCESS_DETACH:
        ModuleInstance = nullptr;
        ControlsReady = 0;
        return TRUE;
    default: return TRUE;
    }
}
