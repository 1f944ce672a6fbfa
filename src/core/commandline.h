#pragma once

namespace orvanta {

// True when any argument, the program's own name included, is the switch as a whole,
// ignoring ASCII letter case: "/INSTALL" matches "/install"; "-install" and "/install=1" do not.
bool hasSwitch(int argc, const char *const *argv, const char *name);

} // namespace orvanta
