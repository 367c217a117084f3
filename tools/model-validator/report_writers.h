#pragma once

#include <optional>
#include <ostream>

#include "report.h"

namespace KX::Cli {

// Per model: "== MODEL (N findings)" and one "category<TAB>message" line per
// finding, then one summary line; `seconds` adds the elapsed time to it.
void writeText(const Report& report, std::ostream& out, bool color, std::optional<double> seconds);
// Version 1: one array of finding objects, one per line.
void writeJsonArray(const Report& report, std::ostream& out);
// Version 2: the object described in docs/report-schema.md.
void writeJsonReport(const Report& report, std::ostream& out);
void writeSarif(const Report& report, std::ostream& out);
void writeJunit(const Report& report, std::ostream& out);

// A stable 64-bit hash (FNV-1a) for fingerprints and shards.
uint64_t stableHash(const std::string& text);

} // namespace KX::Cli
