#include "system/win32system.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace orvanta {

static_assert(sizeof(SystemApi::Handle) == sizeof(HANDLE), "a handle must fit the seam's integer");

namespace {

Win32System::FileAttributes found(DWORD attributes, DWORD sizeHigh, DWORD sizeLow) {
    Win32System::FileAttributes result;
    result.ok = true;
    result.directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    result.size = (static_cast<std::uint64_t>(sizeHigh) << 32) | sizeLow;
    return result;
}

Win32System::FileAttributes queryFileAttributes(const std::wstring &path) {
    Win32System::FileAttributes result;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        result.error = GetLastError();
        return result;
    }
    return found(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow);
}

// The directory entry of one file, read without opening the file itself: it answers for a file
// that another process holds open without sharing.
Win32System::FileAttributes findFileAttributes(const std::wstring &path) {
    Win32System::FileAttributes result;
    // A wildcard would make the search answer for some other file.
    if (path.find_first_of(L"*?") != std::wstring::npos)
        return result;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(path.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
        result.error = GetLastError();
        return result;
    }
    FindClose(search);
    return found(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow);
}

// The writers' mutex, created with a security of its own: whoever creates it first (the monitor
// of a user who is no administrator, an elevated console, a service), every other writer must be
// able to wait for it and release it. Everyone signed in, a service's account included, gets
// exactly that; the system and administrators get everything; its owner no more than any user,
// so no creator can shut the others out by rewriting its security.
HANDLE createWritersMutex() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    SID_IDENTIFIER_AUTHORITY creator = SECURITY_CREATOR_SID_AUTHORITY;
    PSID sids[4] = {};
    const DWORD syncOnly = SYNCHRONIZE | MUTEX_MODIFY_STATE;
    const DWORD rights[4] = {MUTEX_ALL_ACCESS, MUTEX_ALL_ACCESS, syncOnly, syncOnly};
    bool ok = AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                       &sids[0]) &&
              AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                       0, 0, 0, 0, 0, 0, &sids[1]) &&
              AllocateAndInitializeSid(&nt, 1, SECURITY_AUTHENTICATED_USER_RID, 0, 0, 0, 0, 0, 0, 0,
                                       &sids[2]) &&
              AllocateAndInitializeSid(&creator, 1, SECURITY_CREATOR_OWNER_RIGHTS_RID, 0, 0, 0, 0,
                                       0, 0, 0, &sids[3]);
    alignas(DWORD) unsigned char aclBytes[512];
    PACL acl = reinterpret_cast<PACL>(aclBytes);
    ok = ok && InitializeAcl(acl, sizeof aclBytes, ACL_REVISION);
    for (int i = 0; ok && i < 4; ++i)
        ok = AddAccessAllowedAce(acl, ACL_REVISION, rights[i], sids[i]);
    SECURITY_DESCRIPTOR descriptor;
    ok = ok && InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
         SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    // Opened with the rights every writer has, whether this call creates it or finds it.
    HANDLE mutex =
        ok ? CreateMutexExW(&attributes, Win32System::WritersMutexName, 0, syncOnly) : nullptr;
    for (PSID sid : sids)
        if (sid)
            FreeSid(sid);
    return mutex;
}

} // namespace

Win32System::Win32System(FileAttributesQuery query)
    : attributes_(query ? query : queryFileAttributes) {}

SystemApi::Handle Win32System::createFile(const std::wstring &path) {
    HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return invalidHandle();
    return reinterpret_cast<Handle>(handle);
}

bool Win32System::deviceIoControl(Handle handle, std::uint32_t code, const void *in,
                                  std::uint32_t inSize, void *out, std::uint32_t outSize) {
    DWORD returned = 0;
    return DeviceIoControl(reinterpret_cast<HANDLE>(handle), code, const_cast<void *>(in), inSize,
                           out, outSize, &returned, nullptr) != 0;
}

void Win32System::closeHandle(Handle handle) {
    CloseHandle(reinterpret_cast<HANDLE>(handle));
}

unsigned Win32System::driveType(const std::wstring &root) {
    return GetDriveTypeW(root.c_str());
}

bool Win32System::volumeFileSystem(const std::wstring &root, std::wstring &fileSystemName) {
    wchar_t volumeName[256] = {};
    wchar_t fileSystem[256] = {};
    if (!GetVolumeInformationW(root.c_str(), volumeName, 256, nullptr, nullptr, nullptr, fileSystem,
                               256))
        return false;
    fileSystem[255] = L'\0';
    fileSystemName = fileSystem;
    return true;
}

bool Win32System::freeBytesAvailable(const std::wstring &root, std::uint64_t &bytes) {
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr))
        return false;
    bytes = available.QuadPart;
    return true;
}

std::uint64_t Win32System::fileSize(const std::wstring &path) {
    FileAttributes file = attributes_(path);
    // The driver may hold its cache files open the way the system holds its paging file; the
    // attribute query is then refused, but the file's directory entry still tells its size.
    if (!file.ok && (file.error == ERROR_SHARING_VIOLATION || file.error == ERROR_ACCESS_DENIED))
        file = findFileAttributes(path);
    if (!file.ok || file.directory)
        return 0;
    return file.size;
}

void Win32System::sleep(unsigned milliseconds) {
    Sleep(milliseconds);
}

bool Win32System::lockWriters(unsigned timeoutMs) {
    if (writersMutex_)
        return false; // not recursive, as on every other system
    HANDLE mutex = createWritersMutex();
    if (!mutex)
        return false;
    const DWORD waited = WaitForSingleObject(mutex, timeoutMs);
    // An abandoned mutex was left by a writer that ended mid-change: it is ours now, and what the
    // driver holds is read afresh under it anyway.
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseHandle(mutex);
        return false;
    }
    writersMutex_ = mutex;
    return true;
}

void Win32System::unlockWriters() {
    if (!writersMutex_)
        return;
    ReleaseMutex(static_cast<HANDLE>(writersMutex_));
    CloseHandle(static_cast<HANDLE>(writersMutex_));
    writersMutex_ = nullptr;
}

} // namespace orvanta
