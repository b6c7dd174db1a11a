// The screen a run without arguments prints.
#pragma once

#include <ostream>

namespace dovetune {

void PrintHelpScreen(std::ostream& out);

}  // namespace dovetune
