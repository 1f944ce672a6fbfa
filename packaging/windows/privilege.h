/* Shared by the installer's helpers. */
#ifndef ORVANTA_PRIVILEGE_H
#define ORVANTA_PRIVILEGE_H

#include <windows.h>

/* An elevated administrator holds these privileges with each one off until a program asks for
 * it. Without elevation there is nothing to switch on, and what needs it fails on its own. */
static void enablePrivilege(const wchar_t *name) {
    HANDLE token;
    TOKEN_PRIVILEGES privileges = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};

    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token))
        return;
    if (LookupPrivilegeValueW(NULL, name, &privileges.Privileges[0].Luid))
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL);
    CloseHandle(token);
}

#endif
