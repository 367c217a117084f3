#pragma once

#include <string>

namespace KX::Samples {

// Writes the generated sample models below the disk folder `root` (UTF-8):
// one clean building and one model per kind of defect the validator reports,
// and the sample vehicles of vehicle_samples.h.
// Each sample's folder is emptied first; the output is the same byte for byte
// on every run. False with a reason in `error` (when given) on a write failure.
bool writeSamples(const std::string& root, std::string* error = nullptr);

} // namespace KX::Samples
