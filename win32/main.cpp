// vornbsl.exe: the firmware updater's window on Windows.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "win32/MainWindow.h"
#include "win32/Win32Text.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    // The arguments after the program name ("-factory", "-rep").
    std::vector<std::string> arguments;
    int count = 0;
    if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i) arguments.push_back(vorn::win32::Narrow(argv[i]));
        LocalFree(argv);
    }
    vorn::win32::MainWindow window(arguments);
    if (!window.Create(instance, show)) {
        MessageBoxW(nullptr, L"The window could not be created.", L"Vornell Firmware Updater", MB_OK | MB_ICONHAND);
        return 1;
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) window.Dispatch(msg);
    return static_cast<int>(msg.wParam);
}
