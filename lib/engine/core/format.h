#pragma once

#include <cstdarg>
#include <string>

#include "engine/core/debug_log.h"

// printf-style formatting into a std::string of any length.
std::string formatString(const char* format, ...) KX_PRINTF_FORMAT(1, 2);
std::string vformatString(const char* format, va_list args);
