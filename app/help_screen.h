// The screen a run without arguments prints.
#pragma once

#include "app/held_text.h"

namespace dovetune {

void PrintHelpScreen(HeldText& out);

}  // namespace dovetune
