#include "support/hostile_files.h"

#include <csignal>

#if defined(__unix__)
#include <sys/resource.h>
#include <sys/stat.h>
#endif

FileSizeLimit::FileSizeLimit(size_t bytes) {
#if defined(__unix__)
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0) {
        return;
    }
    previous_ = limit.rlim_cur;
    // A write past the limit raises SIGXFSZ, which would end the process.
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = bytes;
    active_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
#else
    (void)bytes;
#endif
}

FileSizeLimit::~FileSizeLimit() {
#if defined(__unix__)
    if (active_) {
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = previous_;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::signal(SIGXFSZ, previousHandler_ ? previousHandler_ : SIG_DFL);
#endif
}

bool makeNamedPipe(const std::string& absolutePath) {
#if defined(__unix__)
    return mkfifo(absolutePath.c_str(), 0644) == 0;
#else
    (void)absolutePath;
    return false;
#endif
}
