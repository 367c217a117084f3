#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// Registry of engine component types. A type registers once by name and gets
// a 16-bit index; registering a name again returns its index.
class ComponentTypeRegistry {
  public:
    uint16_t registerType(const std::string& name);
    // -1 when the name is not registered.
    int indexOf(const std::string& name) const;
    std::vector<std::string> names() const;

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> names_;
};

class IComponent {
  public:
    virtual ~IComponent() = default;
    static ComponentTypeRegistry& types();
};

// The component type name of a run-time type name: "class ", "struct ",
// "enum " and the "KX::" prefix removed wherever they occur.
std::string componentTypeName(std::string typeName);

namespace KX {
// Collision data of a scene object; registered so that hosts can attach it.
class CollisionComponent : public IComponent {};
} // namespace KX
