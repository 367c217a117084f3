#include "model_validator/model_validator.h"

// Not implemented yet.
namespace KX {
using ValidatorHelper::Validator;
using namespace ValidatorHelper;
void ModelValidator::checkCountTris(const ModelDesc&) {}
void ModelValidator::checkBSPForRealms(const ModelDesc&) {}
void Validator::checkCollisionModel(const std::string&, int) {}
} // namespace KX
