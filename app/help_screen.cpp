#include "app/help_screen.h"

namespace dovetune {

namespace {

// Printed as they stand, spelling included: scripts and users compare them.
const char* const kHelpLines[] = {
    "",
    "dovetune help:",
    "",
    "",
    "possible parameters:",
    "",
    "dovetune  :  (no parameters) shows this help-screen",
    "",
    "dovetune view  :  shows the presets and theirs settings",
    "",
    "dovetune view *name*  :  shows details of the preset *name*",
    "",
    "dovetune create *name* (*parammeters*)  :  creates preset *name* using setting from "
    "default-preset and parameters",
    "",
    "dovetune create_from_current *name* (*parammeters*)  :  creates preset *name* using "
    "current settings and parameters",
    "",
    "dovetune edit *name* *parammeters*  :  changes settings of preset *name* according to the "
    "parameters",
    "",
    "dovetune delete *name*   :  deletes prset *name*",
    "",
    "dovetune use *name*  :  changes current settings to the settings of name",
    "",
    "",
    "note: edit preset \"default\" to change the dafault settings",
    "",
    "",
};

}  // namespace

void PrintHelpScreen(HeldText& out) {
  for (const char* line : kHelpLines) out << line << '\n';
}

}  // namespace dovetune
