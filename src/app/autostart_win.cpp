// orvanta-autostart: started at every user's logon (the installer's Run entry for the machine),
// it starts the monitor in the notification area for the users who ticked "Enable Tray-App",
// and ends. The monitor itself never acts on that value: it only stores it.
#include "core/autostart.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

namespace {

// The folder of this program, where the installer put the monitor beside it.
std::wstring ownFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], DWORD(path.size()));
        if (length == 0)
            return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= 32768)
            return std::wstring();
        path.resize(path.size() * 2);
    }
    const std::wstring::size_type slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool autostartStored() {
    DWORD type = 0;
    unsigned char data[16] = {};
    DWORD size = sizeof data;
    // Larger data than an integer needs is no integer the window would take either.
    if (RegGetValueW(HKEY_CURRENT_USER, orvanta::MonitorRegistryKey, L"Autostart",
                     RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) != ERROR_SUCCESS)
        return false;
    return orvanta::autostartWanted(type, data, size);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (!autostartStored())
        return 0;
    const std::wstring folder = ownFolder();
    if (folder.empty())
        return 1;
    const std::wstring monitor = folder + L"\\orvanta-monitor.exe";
    std::wstring commandLine = L"\"" + monitor + L"\" /hidden";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(monitor.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &process))
        return 1;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
