// The case tables that registry names fold by, fixed in the source so that a
// store compares its names alike on every machine: generated from one Unicode
// version's data by registry/stores/make_case_tables.py, which says what they hold.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dovetune {

// The UTF-16 units first, first + step, ... up to last map to themselves
// plus delta. Runs are sorted and do not overlap; other units map to
// themselves.
struct CaseRun {
  uint16_t first;
  uint16_t last;
  uint8_t step;
  int32_t delta;
};

extern const char kCaseTablesUnicodeVersion[];
extern const CaseRun kUpperCase[];
extern const size_t kUpperCaseRuns;
extern const CaseRun kLowerCase[];
extern const size_t kLowerCaseRuns;

}  // namespace dovetune
