#pragma once

#include <atomic>
#include <thread>

// The lock of the caches a check consults: the file system's resolutions and
// listings, parsed trees, decoded visuals and blocks, view memos. Each is held
// for a lookup or an insert, some eight hundred times per model checked, and
// nearly always by the one thread that checks. std::mutex costs two library
// calls and two locked instructions per use; this costs one exchange and a
// store. A thread that finds it held yields instead of spinning, since the
// holder may be waiting for the processor itself (the cache of parsed trees
// lets go of its lock before it reads the disk).
class LightMutex {
  public:
    void lock() noexcept {
        while (locked_.exchange(true, std::memory_order_acquire)) {
            while (locked_.load(std::memory_order_relaxed)) {
                std::this_thread::yield();
            }
        }
    }

    bool try_lock() noexcept {
        return !locked_.load(std::memory_order_relaxed) && !locked_.exchange(true, std::memory_order_acquire);
    }

    void unlock() noexcept { locked_.store(false, std::memory_order_release); }

  private:
    std::atomic<bool> locked_{false};
};
