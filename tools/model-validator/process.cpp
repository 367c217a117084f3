#include "process.h"

#include <charconv>
#include <thread>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#else
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

extern char** environ;
#endif

namespace KX::Cli::Platform {

unsigned processorCount() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

int stepToAnotherProcessor() {
#ifdef __linux__
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) {
        return -1;
    }
    const int current = sched_getcpu();
    if (current < 0 || current >= CPU_SETSIZE || !CPU_ISSET(current, &allowed) || CPU_COUNT(&allowed) < 2) {
        return -1;
    }
    cpu_set_t others = allowed;
    CPU_CLR(current, &others);
    if (sched_setaffinity(0, sizeof others, &others) != 0) {
        return -1;
    }
    sched_setaffinity(0, sizeof allowed, &allowed);
    return current;
#else
    return -1;
#endif
}

int processorInStatusLine(std::string_view line) {
    // The processor is the 39th field; the second, the name in parentheses,
    // may hold spaces and parentheses, so fields are counted from the last
    // closing parenthesis.
    const size_t name = line.rfind(')');
    if (name == std::string_view::npos) {
        return -1;
    }
    int field = 2;
    for (size_t at = name + 1; at < line.size(); ++at) {
        if (line[at] != ' ' || ++field != 39) {
            continue;
        }
        int processor = 0;
        const auto read = std::from_chars(line.data() + at + 1, line.data() + line.size(), processor);
        return read.ec == std::errc{} ? processor : -1;
    }
    return -1;
}

int processorOf(std::intptr_t process) {
#ifdef __linux__
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%lld/stat", static_cast<long long>(process));
    const int file = open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return -1;
    }
    char line[1024];
    const ssize_t n = read(file, line, sizeof line);
    close(file);
    return n > 0 ? processorInStatusLine(std::string_view(line, static_cast<size_t>(n))) : -1;
#else
    (void)process;
    return -1;
#endif
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

namespace {

Process start(const std::string& executable, const std::vector<std::string>& args, HANDLE input, HANDLE out,
              const std::string& stderrFile, std::string& reason) {
    std::wstring line;
    appendQuoted(line, wide(executable));
    for (const std::string& arg : args) {
        line += L' ';
        appendQuoted(line, wide(arg));
    }
    HANDLE err = openForChild(stderrFile, STD_ERROR_HANDLE);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(wide(executable).c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &info);
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

} // namespace

Process startProcess(const std::string& executable, const std::vector<std::string>& args,
                     const std::string& stdoutFile, const std::string& stderrFile, std::string& reason) {
    HANDLE out = openForChild(stdoutFile, STD_OUTPUT_HANDLE);
    Process process = start(executable, args, GetStdHandle(STD_INPUT_HANDLE), out, stderrFile, reason);
    if (!stdoutFile.empty()) {
        CloseHandle(out);
    }
    return process;
}

Process startProcessWithChannel(const std::string& executable, const std::vector<std::string>& args,
                                const std::string& stderrFile, std::string& reason) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
    if (!CreatePipe(&inRead, &inWrite, &inherit, 0)) {
        reason = "cannot start " + executable + " (error " + std::to_string(GetLastError()) + ")";
        return {};
    }
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) {
        reason = "cannot start " + executable + " (error " + std::to_string(GetLastError()) + ")";
        CloseHandle(inRead);
        CloseHandle(inWrite);
        return {};
    }
    // Only the child's ends are inherited: a later child holding this
    // process's ends would keep the channel open after it is closed.
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    Process process = start(executable, args, inRead, outWrite, stderrFile, reason);
    CloseHandle(inRead);
    CloseHandle(outWrite);
    if (!process.valid()) {
        CloseHandle(inWrite);
        CloseHandle(outRead);
        return process;
    }
    process.input = reinterpret_cast<std::intptr_t>(inWrite);
    process.output = reinterpret_cast<std::intptr_t>(outRead);
    return process;
}

bool writeInput(Process& process, std::string_view bytes) {
    HANDLE write = reinterpret_cast<HANDLE>(process.input);
    while (process.input != -1 && !bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 20));
        if (!WriteFile(write, bytes.data(), chunk, &written, nullptr)) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return process.input != -1;
}

void closeInput(Process& process) {
    if (process.input != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(process.input));
        process.input = -1;
    }
}

namespace {

// Bytes waiting in the child's output; -1 once it has ended.
long long waitingOutput(const Process& process) {
    DWORD available = 0;
    if (process.output == -1 ||
        !PeekNamedPipe(reinterpret_cast<HANDLE>(process.output), nullptr, 0, nullptr, &available, nullptr)) {
        return -1;
    }
    return available;
}

void closeOutput(Process& process) {
    if (process.output != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(process.output));
        process.output = -1;
    }
}

} // namespace

bool readOutput(Process& process, std::string& into) {
    const long long available = waitingOutput(process);
    if (available < 0) {
        return false;
    }
    if (available > 0) {
        std::string bytes(static_cast<size_t>(available), '\0');
        DWORD read = 0;
        if (!ReadFile(reinterpret_cast<HANDLE>(process.output), bytes.data(), static_cast<DWORD>(available),
                      &read, nullptr)) {
            return false;
        }
        into.append(bytes.data(), read);
    }
    return true;
}

bool readInput(std::string& into, bool wait) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD available = 0;
    if (!PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr)) {
        if (GetLastError() == ERROR_BROKEN_PIPE) {
            return false;
        }
        // Not a pipe (a file): reading does not wait for long.
        available = 0;
        wait = true;
    }
    if (available == 0 && !wait) {
        return true;
    }
    std::string bytes(available > 0 ? available : 1u << 16, '\0');
    DWORD read = 0;
    if (!ReadFile(input, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read == 0) {
        return false;
    }
    into.append(bytes.data(), read);
    return true;
}

void waitForOutput(const std::vector<Process*>& processes, int milliseconds) {
    // Anonymous pipes cannot be waited on together: look every millisecond.
    for (int waited = 0; waited < milliseconds; ++waited) {
        for (const Process* process : processes) {
            if (waitingOutput(*process) != 0) {
                return;
            }
        }
        Sleep(1);
    }
}

bool finished(Process& process, int& status) {
    HANDLE handle = reinterpret_cast<HANDLE>(process.handle);
    if (WaitForSingleObject(handle, 0) != WAIT_OBJECT_0) {
        return false;
    }
    closeInput(process);
    closeOutput(process);
    DWORD code = 0;
    GetExitCodeProcess(handle, &code);
    CloseHandle(handle);
    process.handle = -1;
    status = static_cast<int>(code);
    return true;
}

int waitFor(Process& process) {
    // A child still reading its input would wait for this process forever.
    closeInput(process);
    WaitForSingleObject(reinterpret_cast<HANDLE>(process.handle), INFINITE);
    int status = 0;
    finished(process, status);
    return status;
}

int waitFor(Process& process, ProcessUsage& usage) {
    closeInput(process);
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

namespace {

// `channel`, when not -1, becomes the child's standard input and output.
Process start(const std::string& executable, const std::vector<std::string>& args, int channel,
              const std::string& stdoutFile, const std::string& stderrFile, std::string& reason) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (channel != -1) {
        posix_spawn_file_actions_adddup2(&actions, channel, STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, channel, STDOUT_FILENO);
    }
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
    // A new process may begin on the processor of the one that started it
    // and, while that one keeps the processor busy, wait there until the
    // scheduler moves one of them, milliseconds later (a worker reached its
    // main 1.8 to 6.4 ms after it was started, against 1.4 to 1.7 when this
    // process left the processor at once). Where the scheduler placed it on
    // another processor already, as newer kernels do, a step would only stop
    // this process for the move (0.7 ms) and hold the worker back.
#ifdef __linux__
    if (const int processor = processorOf(pid); processor >= 0 && processor == sched_getcpu()) {
        stepToAnotherProcessor();
    }
#endif
    return {static_cast<std::intptr_t>(pid)};
}

} // namespace

Process startProcess(const std::string& executable, const std::vector<std::string>& args,
                     const std::string& stdoutFile, const std::string& stderrFile, std::string& reason) {
    return start(executable, args, -1, stdoutFile, stderrFile, reason);
}

Process startProcessWithChannel(const std::string& executable, const std::vector<std::string>& args,
                                const std::string& stderrFile, std::string& reason) {
    // A socket rather than pipes: one channel both ways, and writing to a
    // child that has ended fails instead of raising a signal that would end
    // this process.
    int ends[2] = {-1, -1};
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        reason = "cannot start " + executable + " (error " + std::to_string(errno) + ")";
        return {};
    }
#ifdef SO_NOSIGPIPE
    const int on = 1;
    setsockopt(ends[0], SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof(on));
#endif
    Process process = start(executable, args, ends[1], "", stderrFile, reason);
    close(ends[1]);
    if (!process.valid()) {
        close(ends[0]);
        return process;
    }
    process.input = ends[0];
    process.output = ends[0];
    return process;
}

bool writeInput(Process& process, std::string_view bytes) {
#ifdef MSG_NOSIGNAL
    constexpr int kFlags = MSG_NOSIGNAL;
#else
    constexpr int kFlags = 0;
#endif
    while (process.input != -1 && !bytes.empty()) {
        const ssize_t sent = send(static_cast<int>(process.input), bytes.data(), bytes.size(), kFlags);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return process.input != -1;
}

void closeInput(Process& process) {
    if (process.input != -1) {
        // The same socket carries the output, which stays open.
        shutdown(static_cast<int>(process.input), SHUT_WR);
        process.input = -1;
    }
}

namespace {

void closeOutput(Process& process) {
    if (process.output != -1) {
        close(static_cast<int>(process.output));
        process.output = -1;
    }
}

} // namespace

bool readOutput(Process& process, std::string& into) {
    while (process.output != -1) {
        char bytes[4096];
        const ssize_t got = recv(static_cast<int>(process.output), bytes, sizeof(bytes), MSG_DONTWAIT);
        if (got > 0) {
            into.append(bytes, static_cast<size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return false;
}

namespace {

// One read of standard input: the bytes read, 0 at its end, -1 when nothing
// is there and `wait` is false.
ssize_t readStandardInput(char* bytes, size_t size, bool wait) {
    for (;;) {
        // A worker's input is a socket, which answers at once without a
        // separate question whether anything waits.
        ssize_t got = wait ? read(STDIN_FILENO, bytes, size) : recv(STDIN_FILENO, bytes, size, MSG_DONTWAIT);
        if (got < 0 && errno == ENOTSOCK) {
            pollfd input{STDIN_FILENO, POLLIN, 0};
            const int ready = poll(&input, 1, 0);
            if (ready == 0) {
                return -1;
            }
            got = ready > 0 ? read(STDIN_FILENO, bytes, size) : -1;
        }
        if (got >= 0) {
            return got;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return -1;
        }
        if (errno != EINTR) {
            return 0;
        }
    }
}

} // namespace

bool readInput(std::string& into, bool wait) {
    char bytes[1 << 16];
    for (;;) {
        const ssize_t got = readStandardInput(bytes, sizeof(bytes), wait);
        if (got == 0) {
            return false;
        }
        if (got < 0) {
            return true;
        }
        into.append(bytes, static_cast<size_t>(got));
        // Less than asked for: that was all there was.
        if (static_cast<size_t>(got) < sizeof(bytes)) {
            return true;
        }
        wait = false;
    }
}

void waitForOutput(const std::vector<Process*>& processes, int milliseconds) {
    std::vector<pollfd> watched;
    for (const Process* process : processes) {
        if (process->output != -1) {
            watched.push_back({static_cast<int>(process->output), POLLIN, 0});
        }
    }
    if (!watched.empty()) {
        poll(watched.data(), watched.size(), milliseconds);
    }
}

bool finished(Process& process, int& status) {
    int raw = 0;
    if (waitpid(static_cast<pid_t>(process.handle), &raw, WNOHANG) <= 0) {
        return false;
    }
    closeInput(process);
    closeOutput(process);
    process.handle = -1;
    status = exitStatus(raw);
    return true;
}

int waitFor(Process& process) {
    int raw = 0;
    // A child still reading its input would wait for this process forever.
    closeInput(process);
    waitpid(static_cast<pid_t>(process.handle), &raw, 0);
    closeOutput(process);
    process.handle = -1;
    return exitStatus(raw);
}

int waitFor(Process& process, ProcessUsage& usage) {
    int raw = 0;
    rusage used{};
    usage = ProcessUsage();
    closeInput(process);
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
    closeOutput(process);
    process.handle = -1;
    return exitStatus(raw);
}

#endif

} // namespace KX::Cli::Platform
