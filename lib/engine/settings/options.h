#pragma once

#include <string>

// Editor options: string values by '/'-separated key, set by the host.
namespace Options {
std::string getOptionString(const std::string& key, const std::string& defaultValue = std::string());
void setOptionString(const std::string& key, const std::string& value);
void clear();
} // namespace Options
