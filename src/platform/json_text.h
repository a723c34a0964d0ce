// Checks on JSON text made before it is parsed: the files the program reads (the simulated
// host, the persisted store) may have been edited by hand or by someone hostile.
#pragma once

#include <string_view>

namespace nicops::platform {

// True when the text nests arrays and objects deeper than `limit` levels (strings skipped). A
// document that deep would exhaust the stack when it is written back.
bool jsonNestsDeeperThan(std::string_view text, int limit);

}  // namespace nicops::platform
