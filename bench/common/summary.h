// Headline figures of one benchmark program, merged by bench/run into
// build/bench/summary.json.
#pragma once

#include <map>
#include <string>

namespace bench {

// Writes the figures as a flat JSON object to $TARNVIEW_BENCH_DIR/<program>.summary.json
// (or ./<program>.summary.json when the variable is unset).
void WriteSummary(const std::string& program, const std::map<std::string, double>& figures);

}  // namespace bench
