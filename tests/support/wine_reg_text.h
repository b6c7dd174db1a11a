// A Wine registry file held whole in memory, for tests: indexed, loaded,
// written and changed through the reader and writer of wine_reg_format.h,
// which the store uses on a file it reads in pieces.
#pragma once

#include <string>
#include <string_view>

#include "registry/stores/wine_reg_format.h"

namespace dovetune {

// IndexWineRegFrom over |text|.
bool IndexWineReg(std::string_view text, WineRegFile* file, std::string* error);

// LoadWineRegKey over the blocks of |text|, the text |file| indexes.
bool LoadWineRegKey(std::string_view text, const WineRegFile& file, WineRegKey* key,
                    std::string* error);

// Indexes |text| and loads every key: the whole file read as wineserver
// reads it, with every check of the two above.
bool ParseWineReg(const std::string& text, WineRegFile* file, std::string* error);

// The file as wineserver would save this tree, every key loaded: each key
// written anew, in Wine's order, after the header.
std::string FormatWineReg(const WineRegFile& file);

// WriteWineRegChanges for the file |text|, indexed as |file|.
bool WriteWineRegChanges(std::string_view text, const WineRegFile& file,
                         const WineRegWriter& write);

}  // namespace dovetune
