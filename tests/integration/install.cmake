# Installs the build into a fresh prefix and checks what a user gets there:
# the program, its manual page (found by man, rendered by groff without a
# warning, naming every message of the program), the CMake package and the
# include file for GNU make.
#
#   -DBUILD_DIR=  the build to install    -DCONFIG=  its configuration
#   -DPREFIX=     where to install        -DSOURCE_DIR=  the source tree
#   -DLIBDIR=     CMAKE_INSTALL_LIBDIR    -DEXE_SUFFIX=  .exe or nothing
include("${CMAKE_CURRENT_LIST_DIR}/helpers.cmake")
need_program(GROFF groff)
need_program(MAN man)

file(REMOVE_RECURSE "${PREFIX}")
run_checked("cmake --install"
  COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}" --config "${CONFIG}")

set(package "${PREFIX}/${LIBDIR}/cmake/tafelix")
foreach(file IN ITEMS
    "bin/tafelix${EXE_SUFFIX}"
    "share/man/man1/tafelix.1"
    "${LIBDIR}/cmake/tafelix/tafelix-config.cmake"
    "${LIBDIR}/cmake/tafelix/tafelix-config-version.cmake"
    "${LIBDIR}/cmake/tafelix/tafelix-targets.cmake"
    "${LIBDIR}/cmake/tafelix/tafelix-add-bitmap.cmake"
    "${LIBDIR}/cmake/tafelix/tafelix-size.cmake"
    "share/tafelix/tafelix.mk")
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# The installed program runs: with no arguments it prints its usage text.
run_checked("installed tafelix" COMMAND "${PREFIX}/bin/tafelix${EXE_SUFFIX}" OUTPUT_VARIABLE usage)
if(NOT usage MATCHES "^Converter fuer bmp 24 bit")
  message(FATAL_ERROR "installed tafelix printed:\n${usage}")
endif()

# man finds the page under the prefix.
set(ENV{MANPATH} "${PREFIX}/share/man")
run_checked("man -w" COMMAND "${MAN}" -w tafelix OUTPUT_VARIABLE where)
string(STRIP "${where}" where)
file(REAL_PATH "${where}" where)
file(REAL_PATH "${PREFIX}/share/man/man1/tafelix.1" want_where)
if(NOT where STREQUAL want_where)
  message(FATAL_ERROR "man -w tafelix: have '${where}', want '${want_where}'")
endif()

# groff renders it with every warning on and prints nothing on stderr.
execute_process(
  COMMAND "${GROFF}" -man -Tutf8 -ww -P-cbou "${PREFIX}/share/man/man1/tafelix.1"
  RESULT_VARIABLE status OUTPUT_VARIABLE page ERROR_VARIABLE warnings)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "groff: status ${status}, stderr:\n${warnings}")
endif()

# Its title line states the version that project() gives, nothing written
# into the page by hand.
tafelix_version(version)
file(STRINGS "${PREFIX}/share/man/man1/tafelix.1" title LIMIT_COUNT 1)
if(NOT title MATCHES "\"tafelix ${version}\"")
  message(FATAL_ERROR "manual page title: have '${title}', want the version ${version}")
endif()

# Every message the program can print is explained in the manual page.
# The messages are taken from the program's sources, so a new
# message without documentation fails here.
file(GLOB_RECURSE sources "${SOURCE_DIR}/src/*.cpp")
set(messages "")
foreach(source IN LISTS sources)
  file(STRINGS "${source}" lines REGEX "\"[A-Za-z][^\"]*\\\\n\"")
  foreach(line IN LISTS lines)
    string(REGEX MATCHALL "\"[A-Za-z][^\"]*\\\\n\"" literals "${line}")
    foreach(literal IN LISTS literals)
      # "oeffne Datei:%s\n" -> "oeffne Datei:"
      string(REGEX REPLACE "^\"([^\"%]*).*\"$" "\\1" text "${literal}")
      string(REGEX REPLACE "\\\\n$" "" text "${text}")
      list(APPEND messages "${text}")
    endforeach()
  endforeach()
endforeach()
list(REMOVE_DUPLICATES messages)
list(LENGTH messages count)
if(count LESS 15)
  message(FATAL_ERROR "found only ${count} messages in the sources: ${messages}")
endif()

# Filled text may break or widen spaces; compare with single blanks.
string(REGEX REPLACE "[ \t\r\n]+" " " page_flat "${page}")
set(missing "")
foreach(text IN LISTS messages)
  string(REGEX REPLACE "[ \t]+" " " flat "${text}")
  string(FIND "${page_flat}" "${flat}" in_page)
  if(in_page EQUAL -1)
    list(APPEND missing "manual page: '${text}'")
  endif()
endforeach()

# Each exit status has its entry under EXIT STATUS.
string(REGEX MATCH "EXIT STATUS.*EXAMPLES" statuses "${page}")
foreach(status IN ITEMS 0 21 22 28 39 41)
  if(NOT statuses MATCHES "\n +${status} +[A-Z]")
    list(APPEND missing "manual page: exit status ${status}")
  endif()
endforeach()
if(missing)
  list(JOIN missing "\n" missing)
  message(FATAL_ERROR "not documented:\n${missing}")
endif()
message(STATUS "installed into ${PREFIX}; ${count} messages documented")
