// `zedi dump`: a readable listing of a compiled script image.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

namespace zeditool {

// Prints the header, chunks, exports, imports, data records and a disassembly.
// Returns false (after printing why) when the image does not pass the checker.
bool DumpImage(const std::vector<uint8_t>& image, std::ostream& out);

}  // namespace zeditool
