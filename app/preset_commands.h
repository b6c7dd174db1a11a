// The commands that change presets or the current settings: "create",
// "create_from_current", "edit", "delete" and "use". Each takes the whole
// command line, writes what it prints to |out| and its warnings to |err|,
// and returns the run's exit status (commands.h).
#pragma once

#include "app/held_text.h"

namespace dovetune {

class CPresetStore;

int RunCreate(CPresetStore& store, int argc, const char* const* argv, HeldText& out, HeldText& err);
int RunCreateFromCurrent(CPresetStore& store, int argc, const char* const* argv, HeldText& out,
                         HeldText& err);
int RunEdit(CPresetStore& store, int argc, const char* const* argv, HeldText& out, HeldText& err);
int RunDelete(CPresetStore& store, int argc, const char* const* argv, HeldText& out, HeldText& err);
int RunUse(CPresetStore& store, int argc, const char* const* argv, HeldText& out, HeldText& err);

}  // namespace dovetune
