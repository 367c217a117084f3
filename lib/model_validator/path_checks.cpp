#include "model_validator/model_validator.h"

// Not implemented yet.
namespace KX {
using namespace ValidatorHelper;
void ModelValidator::checkModelPath(const std::string&) {}
void ModelValidator::checkSpacesContaining(const std::string&) {}
void ModelValidator::checkingInvalidSymbols(const std::string&) {}
} // namespace KX
