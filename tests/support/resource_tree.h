#pragma once

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

// A temporary folder that is the only resource root while the object lives.
// Files are written by resource path; everything is removed afterwards and the
// resource caches and editor options are reset, so tests do not leak state.
class TempResourceTree {
  public:
    TempResourceTree();
    ~TempResourceTree();
    TempResourceTree(const TempResourceTree&) = delete;
    TempResourceTree& operator=(const TempResourceTree&) = delete;

    // Absolute path of the root folder ('/'-separated).
    const std::string& root() const { return root_; }
    // Absolute path of a resource path.
    std::string path(const std::string& resourcePath) const;

    // Writes a file (creating folders); returns its absolute path.
    std::string write(const std::string& resourcePath, const std::string& content);
    std::string writeBytes(const std::string& resourcePath, const std::vector<char>& bytes);
    void makeDirectory(const std::string& resourcePath);
    void remove(const std::string& resourcePath);
    // Drops cached trees and listings after files changed behind the engine.
    void refresh();
    // Moves the modification time of every file and folder an hour back, as
    // for content saved long before a check: the caches then trust an
    // unchanged stamp and skip the disk, which is what a test of their
    // invalidation needs.
    void age();

  private:
    std::string root_;
};

// Reads a file from disk as bytes (empty when it cannot be read).
std::string readDiskFile(const std::string& absolutePath);

// True when the disk distinguishes Foo from foo.
bool diskIsCaseSensitive(const std::string& folder);

// A symbolic link to make at the absolute path `at`, to a folder or a file.
struct TestLink {
    std::string target;
    std::string at;
    bool folder = false;
};
// Makes the links in order, stopping at the first that fails, and says why
// (nothing where links can be made), so that a test can skip on a disk
// without them.
std::error_code makeLinks(const std::vector<TestLink>& links);
