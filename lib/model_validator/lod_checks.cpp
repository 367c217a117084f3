#include "model_validator/model_validator.h"

// Not implemented yet.
namespace KX {
using ValidatorHelper::Validator;
using namespace ValidatorHelper;
void ModelValidator::checkDisconnectedLods(const ModelDesc&) {}
void Validator::checkLods(const std::string&, bool, int) {}
void Validator::checkLodExtents(const std::string&, const std::vector<LODEntry>&, const std::vector<LODEntry>&, int) {}
} // namespace KX
