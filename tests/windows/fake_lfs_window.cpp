// fake_lfs_window: a stand-in for the simulator's process in the launcher
// test. Writes its command line and current directory to
// fake_lfs_report.txt in its current directory, opens a (hidden) top-level
// window titled "Live for Speed", keeps it for the milliseconds given as
// its first argument (default 10000), then closes it and ends.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/win32/win32.h"

int main(int argc, char** argv) {
    const DWORD lifeMs = argc > 1 ? static_cast<DWORD>(strtoul(argv[1], nullptr, 10)) : 10000;

    char cwd[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof cwd, cwd);
    FILE* report = fopen("fake_lfs_report.txt", "wb");
    if (report) {
        fprintf(report, "cmdline %s\ncwd %s\n", GetCommandLineA(), cwd);
        fclose(report);
    }

    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "FlankguardFakeLfs";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, wc.lpszClassName, "Live for Speed", WS_OVERLAPPEDWINDOW, 0, 0, 320, 200,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    if (!window) return 1;

    const DWORD start = GetTickCount();
    while (GetTickCount() - start < lifeMs) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(10);
    }
    DestroyWindow(window);
    return 0;
}
