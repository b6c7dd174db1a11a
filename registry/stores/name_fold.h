// How the embedded registry compares key and value names: without regard to
// letter case, non-ASCII letters included, by case tables fixed in the source
// (registry/stores/case_tables.h), so that no locale, environment or C library
// changes which names are one. Names are UTF-8; they fold per UTF-16 unit, as
// the registry compares them, so characters past U+FFFF never fold. Bytes
// that are not valid UTF-8 are kept as they are and compare exactly.
#pragma once

#include <cstddef>
#include <string>

namespace dovetune {

// The name with every character replaced by its upper-case mapping. Two names
// denote the same key or value when their folded forms are equal.
std::string FoldName(const std::string& name);
// The same into |folded|, whose room is reused: for names looked up by the
// thousand, where a new string each time would cost more than the lookup.
void FoldName(const char* name, size_t size, std::string* folded);

// The name with every character replaced by its lower-case mapping: the form
// under which Wine compares key and value names. Equal for exactly the names
// whose FoldName is equal.
std::string LowerCaseFold(const std::string& name);

}  // namespace dovetune
