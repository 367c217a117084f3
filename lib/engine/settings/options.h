#pragma once

#include <cstdint>
#include <string>

// Editor options: string values by '/'-separated key, set by the host.
namespace Options {
std::string getOptionString(const std::string& key, const std::string& defaultValue = std::string());
void setOptionString(const std::string& key, const std::string& value);
void clear();
// Moves on every change, so that callers may keep a value they read until it moves.
uint64_t version();
} // namespace Options
