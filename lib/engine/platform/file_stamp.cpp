#include "engine/platform/file_stamp.h"
#include "engine/platform/utf8_path.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#endif

#include <fstream>
#include <system_error>

namespace {

// Coarser than any file system's time stamps we meet (FAT keeps two seconds).
constexpr int64_t kRacyMarginNs = int64_t(2'500'000'000);

std::string tooLarge(uint64_t maxBytes) {
    return "is larger than the " + std::to_string(maxBytes >> 20) + " MB a resource file may have";
}

} // namespace

bool stampProvesContent(const FileStamp& stamp, int64_t readNs) {
    return stamp.type != FileStamp::Missing && stamp.modifiedNs + kRacyMarginNs < readNs;
}

#ifdef _WIN32

namespace {

// 100 ns ticks since 1601, for file times and the clock alike.
int64_t ticksToNs(const FILETIME& time) {
    return int64_t((uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime) * 100;
}

} // namespace

int64_t fileClockNowNs() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    return ticksToNs(now);
}

FileStamp fileStamp(const std::string& utf8Path) {
    FileStamp stamp;
    const std::wstring path = pathFromUtf8(utf8Path).wstring();
    // Backup semantics open folders too; the handle follows links.
    HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return stamp;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(handle, &info)) {
        stamp.type = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileStamp::Folder : FileStamp::File;
        stamp.device = info.dwVolumeSerialNumber;
        stamp.identity = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        stamp.size = (uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        stamp.modifiedNs = ticksToNs(info.ftLastWriteTime);
    }
    CloseHandle(handle);
    return stamp;
}

StampedRead readStampedFile(const std::string& utf8Path, uint64_t maxBytes) {
    StampedRead read;
    read.stamp = fileStamp(utf8Path);
    if (read.stamp.type != FileStamp::File) {
        read.reason = read.stamp.type == FileStamp::Missing ? "cannot be read (no such file)"
                                                            : "cannot be read (not a file)";
        return read;
    }
    if (read.stamp.size > maxBytes) {
        read.reason = tooLarge(maxBytes);
        return read;
    }
    std::ifstream in(pathFromUtf8(utf8Path), std::ios::binary);
    const auto length = static_cast<size_t>(read.stamp.size);
    std::unique_ptr<char[]> bytes(new char[length]);
    if (!in || !in.read(bytes.get(), static_cast<std::streamsize>(length))) {
        read.reason = "cannot be read";
        return read;
    }
    read.bytes = std::move(bytes);
    read.size = length;
    return read;
}

#else

int64_t fileClockNowNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

namespace {

FileStamp stampOf(const struct stat& info) {
    FileStamp stamp;
    stamp.type = S_ISREG(info.st_mode)   ? FileStamp::File
                 : S_ISDIR(info.st_mode) ? FileStamp::Folder
                                         : FileStamp::Other;
    stamp.device = static_cast<uint64_t>(info.st_dev);
    stamp.identity = static_cast<uint64_t>(info.st_ino);
    stamp.size = static_cast<uint64_t>(info.st_size);
    const auto ns = [](const timespec& time) { return int64_t(time.tv_sec) * 1'000'000'000 + time.tv_nsec; };
#ifdef __APPLE__
    stamp.modifiedNs = ns(info.st_mtimespec);
    stamp.changedNs = ns(info.st_ctimespec);
#else
    stamp.modifiedNs = ns(info.st_mtim);
    stamp.changedNs = ns(info.st_ctim);
#endif
    return stamp;
}

std::string cannotRead(int error) {
    return "cannot be read (" + std::error_code(error, std::generic_category()).message() + ")";
}

} // namespace

FileStamp fileStamp(const std::string& utf8Path) {
    struct stat info {};
    if (::stat(utf8Path.c_str(), &info) != 0) {
        return {};
    }
    return stampOf(info);
}

FileStamp fileStampOfOpen(int descriptor) {
    struct stat info {};
    if (::fstat(descriptor, &info) != 0) {
        return {};
    }
    return stampOf(info);
}

StampedRead readStampedFile(const std::string& utf8Path, uint64_t maxBytes) {
    StampedRead read;
    // Not blocking: a pipe that has taken a file's name must not hang the check.
    const int fd = ::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        read.reason = cannotRead(errno);
        return read;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        read.reason = cannotRead(errno);
    } else if (!S_ISREG(info.st_mode)) {
        read.reason = cannotRead(S_ISDIR(info.st_mode) ? EISDIR : ENOTSUP);
    } else if (static_cast<uint64_t>(info.st_size) > maxBytes) {
        read.reason = tooLarge(maxBytes);
    } else {
        read.stamp = stampOf(info);
        const auto length = static_cast<size_t>(info.st_size);
        std::unique_ptr<char[]> bytes(new char[length]);
        size_t done = 0;
        while (done < length) {
            const ssize_t got = ::read(fd, bytes.get() + done, length - done);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                break;
            }
            done += static_cast<size_t>(got);
        }
        if (done == length) {
            read.bytes = std::move(bytes);
            read.size = length;
        } else {
            read.reason = "cannot be read";
        }
    }
    ::close(fd);
    return read;
}

#endif
