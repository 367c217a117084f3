#include "json_util.h"

#include <cstdio>

namespace KX::Cli {
namespace {

// Length of the valid UTF-8 sequence at `i`, or 0.
size_t utf8SequenceLength(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    size_t length = (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

} // namespace

std::string validUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            out += text[i++];
        } else if (const size_t length = utf8SequenceLength(text, i); length > 0) {
            out.append(text, i, length);
            i += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

std::string jsonString(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    const auto plain = [](unsigned char c) { return c >= 0x20 && c < 0x80 && c != '"' && c != '\\'; };
    for (size_t i = 0; i < text.size();) {
        // Reports are nearly all plain text: a run of it is copied at once.
        size_t run = i;
        while (run < text.size() && plain(static_cast<unsigned char>(text[run]))) {
            ++run;
        }
        if (run > i) {
            out.append(text, i, run - i);
            i = run;
            continue;
        }
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            size_t length = utf8SequenceLength(text, i);
            if (length > 0) {
                out.append(text, i, length);
                i += length;
                continue;
            }
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c >= 0x80) {
                char buffer[8];
                std::snprintf(buffer, sizeof(buffer), "\\u%04x", c);
                out += buffer;
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    out += '"';
    return out;
}

} // namespace KX::Cli
