// orvanta-ctl: the driver from a console (src/ctl/ctl.h). On Windows it talks to the real
// driver through the Qt-free core alone; elsewhere to the simulated machine, as the monitor does.
// The system and the console are built here, once, and handed down.
#include "ctl/ctl.h"
#include "app/platformsystem.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#endif

#include <iostream>

namespace {

#ifdef _WIN32
void sleepFor(unsigned milliseconds) {
    Sleep(milliseconds);
}

// The command line arrives in the ANSI code page.
std::wstring wide(const std::string &text) {
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring converted(std::size_t(size > 0 ? size : 0), L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), &converted[0], size);
    return converted;
}

bool replaceFile(const std::string &path, const std::string &text) {
    const std::wstring target = wide(path);
    // Not *.prom: the text-file collectors skip it while it is written.
    const std::wstring temporary = target + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool whole = WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr) &&
                 written == text.size() && FlushFileBuffers(file);
    whole = CloseHandle(file) && whole;
    // A collector reading the old file holds it open, without sharing its deletion, for a
    // moment: the rename is tried again for up to a second.
    for (int attempt = 0; whole && attempt < 10; ++attempt) {
        if (MoveFileExW(temporary.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
            break;
        Sleep(100);
    }
    DeleteFileW(temporary.c_str());
    return false;
}
#else
void sleepFor(unsigned milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool writeAll(int fd, const std::string &text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t count = ::write(fd, text.data() + done, text.size() - done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        done += std::size_t(count);
    }
    return true;
}

bool replaceFile(const std::string &path, const std::string &text) {
    // Not *.prom: the text-file collectors skip it while it is written.
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(&temporary[0]);
    if (fd < 0)
        return false;
    // mkstemp makes it for its owner alone; a collector running as another user must read it
    // as it would any new file of this process.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool whole = ::fchmod(fd, 0666 & ~mask) == 0 && writeAll(fd, text) && ::fsync(fd) == 0;
    whole = ::close(fd) == 0 && whole;
    if (whole && std::rename(temporary.c_str(), path.c_str()) == 0)
        return true;
    ::unlink(temporary.c_str());
    return false;
}
#endif

} // namespace

int main(int argc, char **argv) {
    const auto system = orvanta::makePlatformSystem();
#ifndef _WIN32
    // A reader gone (watch | head) is output that cannot be written, as on a full disk: said,
    // and exit code 1, rather than a silent end by the signal.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    orvanta::ctl::Console console{std::cout, std::cerr, sleepFor, replaceFile};
    const int code =
        orvanta::ctl::run(std::vector<std::string>(argv + 1, argv + argc), *system, console);
    std::cout.flush();
    return code;
}
