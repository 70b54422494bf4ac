// The exports nxrun can call, each with an adapter that takes the script's
// literal arguments and prints the result.
#pragma once

#include <string>
#include <vector>

#include "ScriptParser.h"

namespace nxrun {

// Calls the export named in the call; returns the lines it prints (a number
// for an integer result, the text of a string result). Throws ScriptError for
// an unknown name or arguments of the wrong number or kind.
std::vector<std::string> Invoke(const Call &call);

}  // namespace nxrun
