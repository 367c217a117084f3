#pragma once

#include "engine/resource/file_system.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

// Small helpers shared by the texture tests.
namespace TextureTest {

using CsvRow = std::map<std::string, std::string>;

// Rows of a CSV file keyed by the names in its first row. Handles quoted
// fields (with doubled quotes inside); nothing more is needed here.
inline std::vector<CsvRow> readCsv(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::vector<std::string>> records(1);
    std::string field;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            records.back().push_back(std::move(field));
            field.clear();
        } else if (c == '\n') {
            records.back().push_back(std::move(field));
            field.clear();
            records.emplace_back();
        } else if (c != '\r') {
            field += c;
        }
    }
    if (!field.empty() || !records.back().empty()) {
        records.back().push_back(std::move(field));
    }
    std::vector<CsvRow> rows;
    for (size_t r = 1; r < records.size(); ++r) {
        if (records[r].size() < 2) {
            continue;
        }
        CsvRow row;
        for (size_t c = 0; c < records[0].size() && c < records[r].size(); ++c) {
            row[records[0][c]] = records[r][c];
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// Makes the third-party data folder the only resource root while it lives:
// the loaders read nothing outside the roots.
class TestDataRoot {
  public:
    TestDataRoot() : previous_(FS::fileSystem()->roots()) { FS::fileSystem()->setRoots({KX_TEST_DATA_DIR}); }
    ~TestDataRoot() { FS::fileSystem()->setRoots(previous_); }
    TestDataRoot(const TestDataRoot&) = delete;
    TestDataRoot& operator=(const TestDataRoot&) = delete;

  private:
    std::vector<std::string> previous_;
};

inline std::string testData(const std::string& relative) {
    return std::string(KX_TEST_DATA_DIR) + "/" + relative;
}

inline std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace TextureTest
