#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <type_traits>
#include <unordered_map>

#include "engine/core/light_mutex.h"
#include "engine/core/string_hash.h"
#include "engine/resource/file_system.h"

// Values kept while the file system's view stays as it was
// (FS::FileSystem::viewVersion): within one view a path opens as the same
// section, and a loaded object (a section, a visual) and all it was read from
// stand unchanged, so what is derived from either is the same every time a
// check asks. Only the current view's values are kept. An object key is held
// by its smart pointer, so its address is not reused meanwhile.
template <typename Key, typename Value> class ViewMemo {
  public:
    template <typename Make> Value get(const Key& key, Make make) {
        return get(key, make, [](const Value&) { return true; });
    }

    // A value `keep` refuses (a failure that may pass) is handed out but made again next time.
    template <typename Make, typename Keep> Value get(const Key& key, Make make, Keep keep) {
        // Taken before making: a purge while the value is made starts another view.
        const uint64_t view = FS::fileSystem()->viewVersion();
        {
            std::lock_guard<LightMutex> lock(mutex_);
            if (view == view_) {
                const auto found = values_.find(key);
                if (found != values_.end()) {
                    return found->second;
                }
            }
        }
        Value value = make();
        if (!keep(value)) {
            return value;
        }
        std::lock_guard<LightMutex> lock(mutex_);
        if (view != view_) {
            values_.clear();
            view_ = view;
        }
        values_.emplace(key, value);
        return value;
    }

  private:
    LightMutex mutex_;
    uint64_t view_ = 0;
    // Paths, the usual keys, hash as the file system's tables do.
    using Hash = std::conditional_t<std::is_same_v<Key, std::string>, StringHash, std::hash<Key>>;
    std::unordered_map<Key, Value, Hash> values_;
};
