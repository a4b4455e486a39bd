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
#include <string_view>

constexpr int VALUES_PER_LINE = 5;

// Writes the whole definition of `table` under the array name `name`.
// Write errors are left in the stream's error flag for the caller to check.
void write_table(std::FILE* out, std::string_view name, const PixelTable& table);
