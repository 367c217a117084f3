#include "model_validator/model_validator.h"

// Not implemented yet.
namespace KX {
using ValidatorHelper::Validator;
using namespace ValidatorHelper;
void ModelValidator::checkBoundingBox(const ModelDesc&) {}
void Validator::checkVisibilityBox(const std::string&, int) {}
} // namespace KX
