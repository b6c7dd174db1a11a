// The screen a run without arguments prints.
#pragma once

#include <ostream>

void PrintHelpScreen(std::ostream& out);
