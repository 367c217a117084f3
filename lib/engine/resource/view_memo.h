#pragma once

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "engine/core/smart_pointer.h"
#include "engine/resource/file_system.h"

// Values derived from a loaded object (a section, a visual), kept while the
// file system's view stays as it was (FS::FileSystem::viewVersion): a check
// derives the same thing from the same object many times, and within one view
// the object and all it was read from stand unchanged. Only the current view's
// values are kept; each key is held, so its address is not reused meanwhile.
template <typename Key, typename Value> class ViewMemo {
  public:
    template <typename Make> Value get(const SmartPointer<Key>& key, Make make) {
        const uint64_t view = FS::fileSystem()->viewVersion();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (view == view_) {
                const auto found = values_.find(key.get());
                if (found != values_.end()) {
                    return found->second.second;
                }
            }
        }
        Value value = make();
        std::lock_guard<std::mutex> lock(mutex_);
        if (view != view_) {
            values_.clear();
            view_ = view;
        }
        values_.emplace(key.get(), std::make_pair(key, value));
        return value;
    }

  private:
    std::mutex mutex_;
    uint64_t view_ = 0;
    std::unordered_map<const Key*, std::pair<SmartPointer<Key>, Value>> values_;
};
