#include "engine/settings/options.h"

#include <atomic>
#include <map>
#include <mutex>

namespace Options {
namespace {
std::mutex& optionsMutex() {
    static std::mutex mutex;
    return mutex;
}
std::map<std::string, std::string>& values() {
    static std::map<std::string, std::string> map;
    return map;
}
std::atomic<uint64_t> changes{1};
} // namespace

std::string getOptionString(const std::string& key, const std::string& defaultValue) {
    std::lock_guard<std::mutex> lock(optionsMutex());
    auto it = values().find(key);
    return it == values().end() ? defaultValue : it->second;
}

void setOptionString(const std::string& key, const std::string& value) {
    std::lock_guard<std::mutex> lock(optionsMutex());
    values()[key] = value;
    ++changes;
}

void clear() {
    std::lock_guard<std::mutex> lock(optionsMutex());
    values().clear();
    ++changes;
}

uint64_t version() {
    return changes.load();
}
} // namespace Options
