/* Run by the installer on the install folder before any file goes into it: from then on only
 * Administrators and SYSTEM may change what is in it, and every user may read and run it. The
 * folder's programs run for every user at logon (the Run entry) and with an administrator's
 * rights when one starts them: a folder others could write to would let them run their code as
 * someone else. Whatever rights the folder had (one of the user's choosing, an earlier install),
 * they are replaced, not added to: the folder keeps nothing it would inherit from above, its
 * owner becomes Administrators (an owner may always give itself the rights back), and everything
 * already in it keeps only what it inherits from the folder. Then all of it is read back, and
 * the install goes no further when anything is not as set.
 *
 * usage: orvanta-folder-rights FOLDER
 * exit code: 0 set and read back, 1 not set or not as set, 2 usage */
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <aclapi.h>
#include <locale.h>
#include <stdio.h>
#include <wchar.h>

#include "privilege.h"

#define PATH_CHARS 32768
#define INHERITED_BY_ALL (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)
/* Deeper than any package; a tree deeper than that is no install of ours. */
#define MAX_DEPTH 16

static const struct grant {
    WELL_KNOWN_SID_TYPE who;
    DWORD access;
} grants[] = {
    {WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
    {WinLocalSystemSid, FILE_ALL_ACCESS},
    {WinBuiltinUsersSid, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE},
};
#define GRANTS (sizeof grants / sizeof *grants)

static BYTE sids[GRANTS][SECURITY_MAX_SID_SIZE];
static BYTE aclBytes[sizeof(ACL) + GRANTS * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)];
static wchar_t path[PATH_CHARS];

static BOOL buildAcl(void) {
    PACL acl = (PACL)aclBytes;
    if (!InitializeAcl(acl, sizeof aclBytes, ACL_REVISION))
        return FALSE;
    for (size_t i = 0; i < GRANTS; i++) {
        DWORD size = sizeof sids[i];
        if (!CreateWellKnownSid(grants[i].who, NULL, sids[i], &size) ||
            !AddAccessAllowedAceEx(acl, ACL_REVISION, INHERITED_BY_ALL, grants[i].access, sids[i]))
            return FALSE;
    }
    return TRUE;
}

/* NULL when the rights of path are as set: the folder's exactly, anything in it only what it
 * inherits from the folder; else what differs. */
static const char *differs(BOOL isFolder) {
    PSECURITY_DESCRIPTOR descriptor = NULL;
    PSID owner = NULL;
    PACL dacl = NULL;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision;

    if (GetNamedSecurityInfoW(path, SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, NULL,
                              &dacl, NULL, &descriptor) != ERROR_SUCCESS)
        return "cannot be read";
    const char *what = NULL;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    if (!owner || !EqualSid(owner, sids[0]))
        what = "its owner is not Administrators";
    else if (!dacl || dacl->AceCount != GRANTS)
        what = "other rights than the three set";
    else if (isFolder != !!(control & SE_DACL_PROTECTED))
        what = isFolder ? "it inherits rights from above" : "it does not inherit the folder's";
    for (WORD i = 0; !what && i < GRANTS; i++) {
        ACCESS_ALLOWED_ACE *ace;
        if (!GetAce(dacl, i, (void **)&ace) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
            ace->Mask != grants[i].access || !EqualSid((PSID)&ace->SidStart, sids[i]))
            what = "other rights than the three set";
        /* The folder's own, passed on to all below; below, only what came from the folder. */
        const BYTE flags = ace->Header.AceFlags & (INHERITED_ACE | INHERITED_BY_ALL);
        if (!what && (isFolder ? flags != INHERITED_BY_ALL : !(flags & INHERITED_ACE)))
            what = isFolder ? "rights not passed on as set" : "rights of its own";
    }
    LocalFree(descriptor);
    return what;
}

/* Reads back everything below path (of length `length`); the number of things not as set. */
static unsigned checkBelow(size_t length, int depth) {
    WIN32_FIND_DATAW found;
    unsigned wrong = 0;

    if (length + 3 >= PATH_CHARS)
        return 1;
    wcscpy(path + length, L"\\*");
    HANDLE search = FindFirstFileExW(path, FindExInfoBasic, &found, FindExSearchNameMatch, NULL, 0);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        path[length] = L'\0';
        if (error == ERROR_FILE_NOT_FOUND)
            return 0;
        printf("cannot look into %ls: Win32 error %lu\n", path, (unsigned long)error);
        return 1;
    }
    do {
        const size_t nameLength = wcslen(found.cFileName);
        if (!wcscmp(found.cFileName, L".") || !wcscmp(found.cFileName, L".."))
            continue;
        if (length + 1 + nameLength >= PATH_CHARS) {
            wrong++;
            continue;
        }
        path[length] = L'\\';
        wcscpy(path + length + 1, found.cFileName);
        const char *what = differs(FALSE);
        if (what) {
            printf("not as set: %ls: %s\n", path, what);
            wrong++;
        }
        /* A link to elsewhere is not followed: what it leads to is not the folder's. */
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            wrong += depth < MAX_DEPTH ? checkBelow(length + 1 + nameLength, depth + 1) : 1;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    path[length] = L'\0';
    return wrong;
}

/* "C:\", "\\server\share": a drive's root, whose whole tree would be given these rights. Drops
 * the path's trailing backslashes. */
static BOOL isRoot(void) {
    size_t length = wcslen(path);
    unsigned parts = 0;

    while (length > 0 && path[length - 1] == L'\\')
        path[--length] = L'\0';
    if (path[0] != L'\\')
        return length <= 2;
    for (size_t at = 2; at < length; at++)
        parts += path[at] == L'\\';
    return parts < 2;
}

/* Wine keeps no rights on files: it makes them up from the Unix file's mode on every read. */
static BOOL underWine(void) {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

int wmain(int argc, wchar_t **argv) {
    setlocale(LC_ALL, "");
    if (argc != 2)
        return 2;
    DWORD length = GetFullPathNameW(argv[1], PATH_CHARS, path, NULL);
    if (length == 0 || length >= PATH_CHARS)
        return 2;
    if (isRoot()) {
        printf("refused: %ls is a drive's root\n", path);
        return 2;
    }
    if (!buildAcl()) {
        printf("could not build the rights: Win32 error %lu\n", (unsigned long)GetLastError());
        return 1;
    }
    enablePrivilege(L"SeTakeOwnershipPrivilege");
    enablePrivilege(L"SeRestorePrivilege");
    const DWORD error = TreeResetNamedSecurityInfoW(
        path, SE_FILE_OBJECT,
        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
            PROTECTED_DACL_SECURITY_INFORMATION,
        sids[0], NULL, (PACL)aclBytes, NULL, FALSE, NULL, ProgressInvokeNever, NULL);
    if (error != ERROR_SUCCESS) {
        printf("could not set the folder's rights: Win32 error %lu\n", (unsigned long)error);
        return 1;
    }
    if (underWine()) {
        printf("rights set; not read back: Wine keeps no rights on files\n");
        return 0;
    }
    const char *what = differs(TRUE);
    if (what)
        printf("not as set: %ls: %s\n", path, what);
    const unsigned wrong = (what != NULL) + checkBelow(wcslen(path), 0);
    if (wrong)
        return 1;
    printf("rights set and read back: Administrators and SYSTEM change, Users read and run\n");
    return 0;
}
