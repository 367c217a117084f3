#pragma once

#include <string>
#include <vector>

#include "model_validator/validator_helper.h"

namespace KX {

// Validates the component models of one vehicle folder with the reusable
// checks of Validator, the way a host editor's vehicle validator calls them,
// for users who have no host editor. The folder layout it expects is
// described in docs/formats.md ("Vehicle folders").
class VehicleValidator : public ValidatorHelper::Validator {
  public:
    // One component model of the vehicle: the model file of LOD 0 in the
    // normal state, or in the crash state when it has no normal one.
    struct Component {
        std::string name; // file name without extension ("Hull", "Turret_02")
        TankComponentType type = TankComponentType::Other;
        std::vector<std::string> states; // "normal" and/or "crash", in that order
        std::string collision;           // the collision model; "" when there is none
    };

    // A reusable check as this validator calls it, with the code of its findings.
    struct CallSite {
        int code;
        const char* call;
        const char* what;
    };
    static const std::vector<CallSite>& callSites();

    // The components found below `vehicleFolder` (a resource path), in the
    // order they are checked; empty when the folder holds none.
    std::vector<Component> findComponents(const std::string& vehicleFolder) const;
    // Whether the vehicle moves on wheels: it has a Wheels component.
    static bool isWheeled(const std::vector<Component>& components);

    // Checks every component of the vehicle afresh and returns the findings,
    // each filed under its component (`getStyleName`).
    const std::vector<ValidatorHelper::ValidationError>& check(const std::string& vehicleFolder);

  protected:
    // The component whose checks are running ("Hull"), whatever file a
    // finding names: textures and LOD files all belong to it.
    std::string getStyleName(const std::string& path) override;

  private:
    void checkComponent(const Component& component);
    void checkState(const Component& component, const std::string& state);

    std::string currentStyle_;
};

} // namespace KX
