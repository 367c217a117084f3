#include "engine/l10n/string_provider.h"
#include "engine/platform/utf8_path.h"

#include <filesystem>
#include <fstream>

#include "engine/core/string_conv.h"
#include "engine/resource/data_section.h"

namespace {

const std::map<std::string, std::wstring>& englishTexts() {
    static const std::map<std::string, std::wstring> texts = {
        {"COMMON/PAGE_VALIDATION/CHECKDETAILSETTINGS", L"Check detail settings"},
        {"COMMON/PAGE_VALIDATION/CHECKVISIBILITYBOX", L"Check visibility box"},
        {"COMMON/PAGE_VALIDATION/CHECKSHADERS", L"Check shaders"},
        {"COMMON/PAGE_VALIDATION/CHECKTEXTUREUSE", L"Check texture use"},
        {"COMMON/PAGE_VALIDATION/CHECKLODS", L"Check LODs"},
        {"COMMON/PAGE_VALIDATION/CHECKHARDPOINTSANDBONES", L"Check hardpoints and bones"},
        {"COMMON/PAGE_VALIDATION/CHECKTEXTUREPROPERTIES", L"Check texture properties"},
        {"COMMON/PAGE_VALIDATION/CHECKSPLINETRACKS", L"Check spline tracks"},
        {"COMMON/PAGE_VALIDATION/CHECKTRIANGLESAMOUNT", L"Check triangles amount"},
        {"COMMON/PAGE_VALIDATION/CHECKMATERIALKIND", L"Check material kind"},
        {"COMMON/PAGE_VALIDATION/CHECKTURRET", L"Check turret"},
        {"COMMON/PAGE_VALIDATION/CHECKCREW", L"Check crew"},
        {"COMMON/PAGE_VALIDATION/CHECKCAMOUFLAGEALLOWNESS", L"Check camouflage allowance"},
        {"COMMON/PAGE_VALIDATION/CHECKOTHER", L"Check other"},
        {"COMMON/PAGE_VALIDATION/COMMON", L"Common"},
        {"COMMON/PAGE_VALIDATION/CONTENT", L"Content"},
        {"COMMON/PAGE_VALIDATION/ARMOROCCLUSION", L"Armor occlusion"},
        {"MODELEDITOR/MODELS/MUTANT/BAD_NODE_TREE",
         L"The node trees of the model's LODs do not match: the LODs cannot be switched safely"},
    };
    return texts;
}

} // namespace

StringProvider& StringProvider::instance() {
    static StringProvider provider;
    return provider;
}

StringProvider::StringProvider() : texts_(englishTexts()) {}

std::wstring StringProvider::str(const std::string& key, int defaultResult) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = texts_.find(key);
    if (it != texts_.end()) {
        return it->second;
    }
    return defaultResult == ReturnKey ? utf8ToWide(key) : std::wstring();
}

void StringProvider::set(const std::string& key, const std::wstring& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    texts_[key] = text;
}

int StringProvider::loadStringsFile(const std::string& diskPath) {
    std::ifstream in(pathFromUtf8(diskPath));
    if (!in) {
        return -1;
    }
    int count = 0;
    std::string line;
    while (std::getline(in, line)) {
        std::string trimmed = SectionText::trim(line);
        size_t eq = trimmed.find('=');
        if (trimmed.empty() || trimmed[0] == '#' || eq == std::string::npos) {
            continue;
        }
        set(SectionText::trim(trimmed.substr(0, eq)), utf8ToWide(SectionText::trim(trimmed.substr(eq + 1))));
        ++count;
    }
    return count;
}

void StringProvider::resetToDefaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    texts_ = englishTexts();
}
