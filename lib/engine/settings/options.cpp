#include "engine/settings/options.h"

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
} // namespace

std::string getOptionString(const std::string& key, const std::string& defaultValue) {
    std::lock_guard<std::mutex> lock(optionsMutex());
    auto it = values().find(key);
    return it == values().end() ? defaultValue : it->second;
}

void setOptionString(const std::string& key, const std::string& value) {
    std::lock_guard<std::mutex> lock(optionsMutex());
    values()[key] = value;
}

void clear() {
    std::lock_guard<std::mutex> lock(optionsMutex());
    values().clear();
}
} // namespace Options
