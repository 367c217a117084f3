#include "engine/resource/data_section.h"

// Placeholder until the binary container format lands: nothing is a container.
namespace BinaryContainer {
bool isContainer(const BinaryPtr&) { return false; }
DataSectionPtr open(const std::string&, const BinaryPtr&, std::string& error) {
    error = "binary containers are not supported";
    return nullptr;
}
} // namespace BinaryContainer
