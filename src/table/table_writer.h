// Writer of the include file: the pixel table as a C array definition.
//
//   //Tabelle mit tafelix erzeugt: <blank>
//   int NAME[COUNT]={
//   v,v,v,v,v,          five values a line, each followed by a comma
//   v,                  the rest; an empty line when COUNT is a multiple of 5
//   };
//
// Every line ends in CR LF on every platform; the stream must be binary.
#pragma once

#include "common/records.h"

#include <cstdio>
#include <string>
#include <string_view>

constexpr int VALUES_PER_LINE = 5;

// Puts `line` and its CR LF at `at`, in the text on its way to the stream,
// and returns the end of what it wrote. `line` may already stand at `at`
// (a line built in place); then only the CR LF is added.
char* emit_line(char* at, std::string_view line);

// Writes the whole definition of `table` under the array name `name`.
// Write errors are left in the stream's error flag for the caller to check.
void write_table(std::FILE* out, std::string_view name, const PixelTable& table);
