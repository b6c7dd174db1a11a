// UTF-8 for the registry's name folding, which reaches it through this
// header; the code lives in base/utf.h, shared with dovetune-reg.
#pragma once

#include "base/utf.h"
