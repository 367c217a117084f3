#include "model_validator/model_validator.h"

// Not implemented yet.
namespace KX {
using namespace ValidatorHelper;
void ModelValidator::checkModel(const ModelDesc&) {}
void ModelValidator::checkOther(const ModelDesc&) {}
void ModelValidator::checkDecorType(const ModelDesc&) {}
} // namespace KX
