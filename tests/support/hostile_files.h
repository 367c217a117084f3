#pragma once

#include <cstddef>
#include <string>

// Makes every write past `bytes` of a file fail while it lives, as a full disk
// would; restores the previous limit after. Where the platform has no such
// limit, `active()` is false and the test skips that part.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(size_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool active() const { return active_; }

  private:
    bool active_ = false;
    unsigned long long previous_ = 0;
    void (*previousHandler_)(int) = nullptr;
};

// Creates a named pipe at `absolutePath`: a file that blocks whoever reads
// it. False where the platform has none.
bool makeNamedPipe(const std::string& absolutePath);
