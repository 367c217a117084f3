#include "process.h"

#include <thread>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

extern char** environ;
#endif

namespace KX::Cli::Platform {

unsigned processorCount() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

#ifdef _WIN32

namespace {

std::wstring wide(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

// Quotes one argument the way CommandLineToArgvW splits it again.
void appendQuoted(std::wstring& line, const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

HANDLE openForChild(const std::string& file, DWORD standard) {
    if (file.empty()) {
        return GetStdHandle(standard);
    }
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileW(wide(file).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

std::string currentExecutable() {
    std::wstring buffer(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    buffer.resize(n);
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, buffer.data(), static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, buffer.data(), static_cast<int>(n), out.data(), size, nullptr, nullptr);
    return out;
}

bool isTerminal(int stream) {
    return _isatty(stream == 1 ? _fileno(stdout) : _fileno(stderr)) != 0;
}

Process startProcess(const std::string& executable, const std::vector<std::string>& args,
                     const std::string& stdoutFile, const std::string& stderrFile, std::string& reason) {
    std::wstring line;
    appendQuoted(line, wide(executable));
    for (const std::string& arg : args) {
        line += L' ';
        appendQuoted(line, wide(arg));
    }
    HANDLE out = openForChild(stdoutFile, STD_OUTPUT_HANDLE);
    HANDLE err = openForChild(stderrFile, STD_ERROR_HANDLE);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(wide(executable).c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &info);
    if (!stdoutFile.empty()) {
        CloseHandle(out);
    }
    if (!stderrFile.empty()) {
        CloseHandle(err);
    }
    if (!started) {
        reason = "cannot start " + executable + " (error " + std::to_string(GetLastError()) + ")";
        return {};
    }
    CloseHandle(info.hThread);
    return {reinterpret_cast<std::intptr_t>(info.hProcess)};
}

bool finished(Process& process, int& status) {
    HANDLE handle = reinterpret_cast<HANDLE>(process.handle);
    if (WaitForSingleObject(handle, 0) != WAIT_OBJECT_0) {
        return false;
    }
    DWORD code = 0;
    GetExitCodeProcess(handle, &code);
    CloseHandle(handle);
    process.handle = -1;
    status = static_cast<int>(code);
    return true;
}

int waitFor(Process& process) {
    WaitForSingleObject(reinterpret_cast<HANDLE>(process.handle), INFINITE);
    int status = 0;
    finished(process, status);
    return status;
}

int waitFor(Process& process, ProcessUsage& usage) {
    HANDLE handle = reinterpret_cast<HANDLE>(process.handle);
    WaitForSingleObject(handle, INFINITE);
    usage = ProcessUsage();
    PROCESS_MEMORY_COUNTERS counters{};
    if (K32GetProcessMemoryInfo(handle, &counters, sizeof(counters))) {
        usage.peakResidentBytes = counters.PeakWorkingSetSize;
    }
    FILETIME created{}, exited{}, kernel{}, user{};
    if (GetProcessTimes(handle, &created, &exited, &kernel, &user)) {
        const auto ticks = [](const FILETIME& t) {
            return static_cast<double>((std::uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime);
        };
        usage.cpuSeconds = (ticks(kernel) + ticks(user)) * 1e-7;
    }
    int status = 0;
    finished(process, status);
    return status;
}

#else

namespace {

int exitStatus(int raw) {
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
}

} // namespace

std::string currentExecutable() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

bool isTerminal(int stream) {
    return isatty(stream == 1 ? STDOUT_FILENO : STDERR_FILENO) == 1;
}

Process startProcess(const std::string& executable, const std::vector<std::string>& args,
                     const std::string& stdoutFile, const std::string& stderrFile, std::string& reason) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!stdoutFile.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (!stderrFile.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(executable.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, executable.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        reason = "cannot start " + executable + " (error " + std::to_string(error) + ")";
        return {};
    }
    return {static_cast<std::intptr_t>(pid)};
}

bool finished(Process& process, int& status) {
    int raw = 0;
    if (waitpid(static_cast<pid_t>(process.handle), &raw, WNOHANG) <= 0) {
        return false;
    }
    process.handle = -1;
    status = exitStatus(raw);
    return true;
}

int waitFor(Process& process) {
    int raw = 0;
    waitpid(static_cast<pid_t>(process.handle), &raw, 0);
    process.handle = -1;
    return exitStatus(raw);
}

int waitFor(Process& process, ProcessUsage& usage) {
    int raw = 0;
    rusage used{};
    usage = ProcessUsage();
    if (wait4(static_cast<pid_t>(process.handle), &raw, 0, &used) > 0) {
        // Kilobytes on Linux, bytes on macOS.
#ifdef __APPLE__
        usage.peakResidentBytes = static_cast<std::uint64_t>(used.ru_maxrss);
#else
        usage.peakResidentBytes = static_cast<std::uint64_t>(used.ru_maxrss) * 1024;
#endif
        const auto seconds = [](const timeval& t) {
            return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6;
        };
        usage.cpuSeconds = seconds(used.ru_utime) + seconds(used.ru_stime);
    }
    process.handle = -1;
    return exitStatus(raw);
}

#endif

} // namespace KX::Cli::Platform
