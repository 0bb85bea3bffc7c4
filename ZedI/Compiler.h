// Script compiler: entry points. A compile returns a malloc'd image owned by the
// caller (free it with free()), or NULL with scLast_Error and scLast_Error_Text set.
// A file that cannot be opened gives NULL with scLast_Error 0.
#pragma once

#include "Engine.h"

#include <string>

scScript scCompile_File(const char* path);
scScript scCompile_Text(const char* text);

namespace zedi {
// Runs only the preprocessor over a file or text; returns the preprocessed lines
// (line marks included) joined by LF. False with the error set on failure.
bool PreprocessFile(const char* path, std::string& out);
bool PreprocessText(const char* text, std::string& out);

// The language's reserved words, in one place.
extern const char* const kReservedWords[];
extern const int kReservedWordCount;
bool IsReservedWord(const char* word);
}  // namespace zedi
