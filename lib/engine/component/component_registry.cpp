#include "engine/component/component_registry.h"

#include <algorithm>

uint16_t ComponentTypeRegistry::registerType(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find(names_.begin(), names_.end(), name);
    if (it != names_.end()) {
        return static_cast<uint16_t>(it - names_.begin());
    }
    names_.push_back(name);
    return static_cast<uint16_t>(names_.size() - 1);
}

int ComponentTypeRegistry::indexOf(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find(names_.begin(), names_.end(), name);
    return it == names_.end() ? -1 : static_cast<int>(it - names_.begin());
}

std::vector<std::string> ComponentTypeRegistry::names() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return names_;
}

ComponentTypeRegistry& IComponent::types() {
    static ComponentTypeRegistry registry;
    return registry;
}

std::string componentTypeName(std::string typeName) {
    for (const char* noise : {"class ", "struct ", "enum ", "KX::"}) {
        const std::string token = noise;
        for (size_t pos = typeName.find(token); pos != std::string::npos; pos = typeName.find(token, pos)) {
            typeName.erase(pos, token.size());
        }
    }
    return typeName;
}
