// Runs a program both ways: the script compiler and CPU (in a child process,
// so that a crash or a hang of either is a result, not the end of the run),
// and g++ with the program it builds.
#pragma once

#include <string>
#include <vector>

namespace zcgen {

struct Outcome {
    enum Kind { ran, compileError, runtimeError, crashed, timedOut };
    Kind kind = ran;
    std::string out;      // what the program printed
    std::string message;  // the error, the signal, or the C++ compiler's output
};

const char* KindName(Outcome::Kind k);

// Compiles `path` with the script compiler and calls its main, with at most
// `instructions` instructions and `seconds` of wall time for the whole child.
Outcome RunScript(const std::string& path, long long instructions, int seconds);

// The same through a `zedi` command (`zedi compile`, then `zedi run IMAGE
// main`), to check another build of the compiler; no instruction limit, only
// the deadline of `seconds` for each step. The image and the errors go to
// `work` + ".so" and ".err".
Outcome RunScriptCommand(const std::string& zedi, const std::string& path, const std::string& work, int seconds);

// Builds `path` with the C++ compiler `cxx` and the given options into `exe`
// and runs it. A build failure is a compileError; a program that exits other
// than with 0 (as one UBSan stopped does) is a runtimeError.
Outcome RunNative(const std::string& cxx, const std::vector<std::string>& options, const std::string& path,
                  const std::string& exe, int seconds);

// A compile error without the file and line in front of it.
std::string ErrorText(const std::string& message);

}  // namespace zcgen
