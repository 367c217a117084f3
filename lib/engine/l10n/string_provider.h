#pragma once

#include <map>
#include <mutex>
#include <string>

// Localised texts by key. English texts are built in; a strings file may
// override them. An unknown key gives the key itself, so a missing
// translation is visible rather than blank.
class StringProvider {
  public:
    enum DefaultResult : int {
        ReturnEmpty = 0,
        ReturnKey = 1,
    };

    static StringProvider& instance();

    std::wstring str(const std::string& key, int defaultResult = ReturnKey) const;
    void set(const std::string& key, const std::wstring& text);
    // Reads "KEY = text" lines (UTF-8; '#' starts a comment line). Returns the
    // number of texts read, or -1 when the file cannot be opened.
    int loadStringsFile(const std::string& diskPath);
    // Back to the built-in English texts.
    void resetToDefaults();

  private:
    StringProvider();
    mutable std::mutex mutex_;
    std::map<std::string, std::wstring> texts_;
};
