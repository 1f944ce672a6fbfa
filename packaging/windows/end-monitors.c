/* Run by the installer and the uninstaller before they replace or remove the program's files:
 * ends every orvanta-monitor.exe started from the given folder, whoever runs it. A monitor in the
 * notification area (the usual case with Autostart) holds its executable and Qt's DLLs open, and
 * Windows refuses to overwrite them. Monitors of other folders are left alone. The monitor keeps
 * nothing in memory that it has not already written, so ending it loses nothing.
 *
 * usage: orvanta-end-monitors FOLDER
 * exit code: 0 none runs any more, 1 one could not be ended, 2 usage */
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <tlhelp32.h>
#include <wchar.h>

#define PATH_CHARS 32768

static wchar_t wanted[PATH_CHARS];
static wchar_t image[PATH_CHARS];

/* Ends the process if its executable is the wanted one; false only when it runs on after that. */
static BOOL endIfOurs(DWORD id) {
    HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (!process) {
        /* Gone meanwhile is fine; one we may not open could be a monitor of our folder, which
         * would keep its files: say so rather than guess. */
        return GetLastError() != ERROR_ACCESS_DENIED;
    }
    DWORD length = PATH_CHARS;
    BOOL ok = TRUE;
    if (QueryFullProcessImageNameW(process, 0, image, &length) && _wcsicmp(image, wanted) == 0) {
        TerminateProcess(process, 1);
        ok = WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
    }
    CloseHandle(process);
    return ok;
}

int wmain(int argc, wchar_t **argv) {
    if (argc != 2 || !argv[1][0])
        return 2;
    DWORD length = GetFullPathNameW(argv[1], PATH_CHARS, wanted, NULL);
    const wchar_t name[] = L"orvanta-monitor.exe";
    if (length == 0 || length + 1 + wcslen(name) >= PATH_CHARS)
        return 2;
    if (wanted[length - 1] != L'\\')
        wanted[length++] = L'\\';
    wcscpy(wanted + length, name);

    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 1;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    BOOL allEnded = TRUE;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, name) == 0 && !endIfOurs(entry.th32ProcessID))
            allEnded = FALSE;
    }
    CloseHandle(snapshot);
    return allEnded ? 0 : 1;
}
