/* Run by the installer and the uninstaller before they replace or remove the program's files:
 * ends every program of ours started from the given folder (the monitor, the console tool and the
 * logon launcher), whoever runs it. A monitor in the notification area (the usual case with
 * Autostart) or an "orvanta-ctl watch" in a console holds its executable and DLLs open, and
 * Windows refuses to overwrite them. Programs of other folders are left alone. None of them keeps
 * anything in memory that it has not already written or sent, so ending them loses nothing.
 *
 * One folder has many names (8.3 short names, "\\?\" in front, "/" for "\", any case): the folder
 * and each process's image are brought to one form before they are compared. Each program ended,
 * and each that could not be, is said on standard output, which the installer logs.
 *
 * usage: orvanta-end-monitors FOLDER
 * exit code: 0 none runs any more, 1 one could not be ended, 2 usage */
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <stdio.h>
#include <tlhelp32.h>
#include <wchar.h>

#include "privilege.h"

#define PATH_CHARS 32768

static const wchar_t *const ourNames[] = {L"orvanta-monitor.exe", L"orvanta-ctl.exe",
                                          L"orvanta-autostart.exe"};

static wchar_t folder[PATH_CHARS];
static DWORD folderLength;
static wchar_t image[PATH_CHARS], scratch[PATH_CHARS], full[PATH_CHARS];

static BOOL sameText(const wchar_t *a, int aLength, const wchar_t *b, int bLength) {
    /* The file system's own case folding, not the C locale's ASCII one. */
    return CompareStringOrdinal(a, aLength, b, bLength, TRUE) == CSTR_EQUAL;
}

/* The name of ours the file is called, or NULL. */
static const wchar_t *ourName(const wchar_t *name) {
    for (size_t i = 0; i < sizeof ourNames / sizeof *ourNames; i++)
        if (sameText(name, -1, ourNames[i], -1))
            return ourNames[i];
    return NULL;
}

/* The full, long form of a path without "\\?\" and with backslashes only, into out
 * (PATH_CHARS); its length, 0 when it has none. A path that does not exist keeps its short
 * parts: nothing can run from it. */
static DWORD normalise(const wchar_t *path, wchar_t *out) {
    const size_t length = wcslen(path);

    if (length >= PATH_CHARS - 2)
        return 0;
    if (wcsncmp(path, L"\\\\?\\UNC\\", 8) == 0) {
        wcscpy(scratch, L"\\\\");
        wcscpy(scratch + 2, path + 8);
    } else {
        wcscpy(scratch, wcsncmp(path, L"\\\\?\\", 4) == 0 ? path + 4 : path);
    }
    for (wchar_t *c = scratch; *c; c++)
        if (*c == L'/')
            *c = L'\\';
    DWORD got = GetFullPathNameW(scratch, PATH_CHARS, full, NULL);
    if (got == 0 || got >= PATH_CHARS)
        return 0;
    got = GetLongPathNameW(full, out, PATH_CHARS);
    if (got == 0 || got >= PATH_CHARS) {
        wcscpy(out, full);
        got = (DWORD)wcslen(out);
    }
    /* "C:\" keeps its backslash, "C:\Tools\" loses it. */
    while (got > 3 && out[got - 1] == L'\\')
        out[--got] = L'\0';
    return got;
}

/* Our program's name when the process's image is one of ours in the folder, else NULL. */
static const wchar_t *oursInFolder(HANDLE process) {
    DWORD length = PATH_CHARS;
    if (!QueryFullProcessImageNameW(process, 0, image, &length) || length >= PATH_CHARS)
        return NULL;
    image[length] = L'\0';
    length = normalise(image, image);
    const wchar_t *slash = wcsrchr(image, L'\\');
    if (length == 0 || !slash)
        return NULL;
    /* The image's folder is everything before its last backslash, "C:\" for "C:\x.exe". */
    const int folderPart = (int)(slash - image) + (slash - image == 2);
    if (!sameText(image, folderPart, folder, (int)folderLength))
        return NULL;
    return ourName(slash + 1);
}

/* 1 when it ended one of ours, -1 when one of ours runs on, 0 for any other process. */
static int endIfOurs(const PROCESSENTRY32W *entry) {
    const DWORD id = entry->th32ProcessID;
    /* One handle for looking and ending: a process id may be another's once its process ends. */
    HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    DWORD error = process ? 0 : GetLastError();
    if (error == ERROR_ACCESS_DENIED)
        process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process) {
        /* Gone meanwhile is fine; one called as ours that we may not even look at could be of
         * our folder, and would keep its files: say so rather than guess. */
        if (error == ERROR_INVALID_PARAMETER || !ourName(entry->szExeFile))
            return 0;
        printf("could not look at %ls (process %lu): Win32 error %lu\n", entry->szExeFile,
               (unsigned long)id, (unsigned long)error);
        return -1;
    }
    const wchar_t *name = oursInFolder(process);
    if (name && !error && !TerminateProcess(process, 1))
        error = GetLastError();
    /* Its files are free only once it is gone, not when it was told to go. */
    if (name && !error && WaitForSingleObject(process, 10000) != WAIT_OBJECT_0)
        error = WAIT_TIMEOUT;
    CloseHandle(process);
    if (!name)
        return 0;
    if (error) {
        printf("could not end %ls (process %lu): Win32 error %lu\n", name, (unsigned long)id,
               (unsigned long)error);
        return -1;
    }
    printf("ended %ls (process %lu)\n", name, (unsigned long)id);
    return 1;
}

/* One look at every process: the number ended, or -1 when one of ours runs on. */
static int endPass(void) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        printf("could not list the running programs: Win32 error %lu\n",
               (unsigned long)GetLastError());
        return -1;
    }
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    int ended = 0;
    BOOL failed = FALSE;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        const int result = endIfOurs(&entry);
        failed = failed || result < 0;
        ended += result > 0;
    }
    CloseHandle(snapshot);
    return failed ? -1 : ended;
}

int wmain(int argc, wchar_t **argv) {
    if (argc != 2 || !argv[1][0])
        return 2;
    folderLength = normalise(argv[1], folder);
    if (folderLength == 0)
        return 2;
    /* Lets an elevated administrator open the processes of other users, such as a monitor in
     * another session's notification area; without elevation those are named as not ended. */
    enablePrivilege(L"SeDebugPrivilege");
    /* A program started meanwhile (the logon launcher's monitor, say) is met by the next look;
     * a few looks, so that one started again and again cannot hold up the install. */
    for (int pass = 0; pass < 3; pass++) {
        const int ended = endPass();
        if (ended < 0)
            return 1;
        if (ended == 0)
            return 0;
    }
    printf("programs of the folder kept starting again\n");
    return 1;
}
