// Where a program finds its data: the folder of its executable, or the
// folder named by VELMORA_HOME (tests give each program a folder of its own).
#pragma once

#include <string>
#include <string_view>

namespace plat {

// The program folder, without a trailing "/".
std::string ProgramDir();
// ProgramDir() + "/" + relative.
std::string ProgramFile(std::string_view relative);

}  // namespace plat
