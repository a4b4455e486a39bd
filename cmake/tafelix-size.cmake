# Writes the size header of a bitmap that tafelix has just accepted:
#
#   cmake -DBITMAP=<bitmap> -DNAME=<array> -DOUT=<file> -P tafelix-size.cmake
#
# The width and the height are the header fields tafelix reads: signed 32-bit
# little-endian numbers at offsets 18 and 22. A top-down bitmap stores its
# row count negative. share/tafelix/tafelix.mk writes the same bytes
# (tests/integration/make_project.cmake compares them).
file(READ "${BITMAP}" fields OFFSET 18 LIMIT 8 HEX)
if(NOT fields MATCHES "^(..)(..)(..)(..)(..)(..)(..)(..)$")
  message(FATAL_ERROR "tafelix-size: ${BITMAP} ends inside its header")
endif()
math(EXPR width "0x${CMAKE_MATCH_4}${CMAKE_MATCH_3}${CMAKE_MATCH_2}${CMAKE_MATCH_1}")
math(EXPR rows "0x${CMAKE_MATCH_8}${CMAKE_MATCH_7}${CMAKE_MATCH_6}${CMAKE_MATCH_5}")
if(rows GREATER_EQUAL 2147483648)
  math(EXPR rows "4294967296 - ${rows}")
endif()
string(TOUPPER "${NAME}" upper)
file(WRITE "${OUT}" "/* Size of the picture in the array ${NAME}, read from its bitmap. */
#ifndef TAFELIX_${upper}_SIZE_H
#define TAFELIX_${upper}_SIZE_H
#define ${upper}_WIDTH ${width}
#define ${upper}_HEIGHT ${rows}
extern int ${NAME}[${upper}_WIDTH * ${upper}_HEIGHT];
#endif
")
