#include "model_validator/model_validator.h"

// Not implemented yet.
namespace KX {
using ValidatorHelper::Validator;
using namespace ValidatorHelper;
void ModelValidator::checkContentHardpoints(const ModelDesc&) {}
bool Validator::isHardPoint(const std::string&) { return false; }
bool Validator::isBone(const std::string&) { return false; }
void Validator::getTransformsForVisualNodes(const SmartPointer<DataSection>&, NodeTransforms&, const NameFilter&) const {}
ModelTransforms Validator::getModelsWithTransforms(const std::string&, const NameFilter&) { return {}; }
void Validator::checkHardpointsAndBones(const std::string&, NameFilter, int) {}
} // namespace KX
