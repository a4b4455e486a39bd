# Builds the release packages with the presets "package" and
# "windows-package", checks what they hold and that it works unpacked, and
# builds them once more from a copy of the sources: the bytes must not change.
#
#   -DSOURCE_DIR=  the source tree    -DTEST_BUILD=  its build with the tests (build/test)
#   -DWORK=        a scratch folder
include("${CMAKE_CURRENT_LIST_DIR}/helpers.cmake")
foreach(tool IN ITEMS dpkg-deb lintian x86_64-w64-mingw32-g++-posix wine zip emcc chromedriver)
  need_program(found_${tool} ${tool})
endforeach()
set(ENV{WINEPREFIX} "${WORK}/wine-prefix")
set(ENV{WINEDEBUG} -all)

tafelix_version(version)
set(deb tafelix_${version}_amd64.deb)
set(tgz tafelix-${version}-linux-x86_64.tar.gz)
set(zip tafelix-${version}-windows-x86_64.zip)
# The sources copied to another folder, for the second build.
fresh_folder("${WORK}")
file(GLOB sources "${SOURCE_DIR}/*")
list(REMOVE_ITEM sources "${SOURCE_DIR}/build")
file(COPY ${sources} DESTINATION "${WORK}/again")
foreach(tree IN ITEMS "${SOURCE_DIR}" "${WORK}/again")
  foreach(preset IN ITEMS web package windows-package)
    run_checked("${tree}: cmake --workflow --preset ${preset}"
      COMMAND "${CMAKE_COMMAND}" --workflow --preset ${preset} WORKING_DIRECTORY "${tree}")
  endforeach()
endforeach()
set(packages "${SOURCE_DIR}/build/packages")
foreach(file IN ITEMS ${deb} ${tgz} ${zip})
  file(SHA256 "${packages}/${file}" first)
  file(SHA256 "${WORK}/again/build/packages/${file}" second)
  file(SIZE "${packages}/${file}" size)
  message(STATUS "${file}: ${size} bytes, sha256 ${first} (second build ${second})")
  if(NOT first STREQUAL second)
    message(FATAL_ERROR "${file}: the second build gave other bytes")
  endif()
endforeach()

# The Debian package: its control data and lintian.
run_checked("dpkg-deb -f" COMMAND dpkg-deb -f "${packages}/${deb}" OUTPUT_VARIABLE control)
foreach(row IN ITEMS "Package: tafelix" "Version: ${version}" "Architecture: amd64"
    "Section: devel" "Depends: libc6 \\(>= [0-9.]+\\)" "Maintainer: [^\n]+ <[^\n]+@[^\n]+>"
    "Description: turn a 24-bit Windows bitmap into a C array of its pixels")
  if(NOT control MATCHES "(^|\n)${row}\n")
    message(FATAL_ERROR "control data: want a line '${row}'\n${control}")
  endif()
endforeach()
run_checked("lintian" COMMAND lintian --fail-on error,warning "${packages}/${deb}" OUTPUT_VARIABLE lint)
message(STATUS "lintian: no error\n${lint}")

# Unpacked, each holds these files; bin/ holds the program alone.
run_checked("dpkg-deb -x" COMMAND dpkg-deb -x "${packages}/${deb}" "${WORK}/deb")
foreach(archive IN ITEMS ${tgz} ${zip})
  run_checked("unpack ${archive}" COMMAND "${CMAKE_COMMAND}" -E tar xf "${packages}/${archive}"
    WORKING_DIRECTORY "${WORK}")
endforeach()
set(deb "${WORK}/deb/usr")
string(REGEX REPLACE "\\.tar\\.gz$" "" tgz "${WORK}/${tgz}")
string(REGEX REPLACE "\\.zip$" "" zip "${WORK}/${zip}")
set(cmake_package lib/cmake/tafelix/tafelix-config.cmake lib/cmake/tafelix/tafelix-config-version.cmake
  lib/cmake/tafelix/tafelix-targets.cmake lib/cmake/tafelix/tafelix-add-bitmap.cmake
  lib/cmake/tafelix/tafelix-size.cmake lib/cmake/tafelix/tafelix-convert.cmake share/tafelix/tafelix.mk
  share/tafelix/tafelix-picture.sh)
foreach(row IN ITEMS
    "${deb}|share/man/man1/tafelix.1.gz;share/doc/tafelix/copyright;share/doc/tafelix/changelog.gz;share/doc/tafelix/README.md"
    "${tgz}|share/man/man1/tafelix.1;share/doc/tafelix/LICENSE;share/doc/tafelix/README.md"
    "${zip}|share/man/man1/tafelix.1;LICENSE;README.md;MANUAL.txt")
  string(REPLACE "|" ";" row "${row}")
  list(POP_FRONT row tree)
  foreach(file IN LISTS row cmake_package)
    if(NOT EXISTS "${tree}/${file}")
      message(FATAL_ERROR "missing in the package: ${tree}/${file}")
    endif()
  endforeach()
  file(GLOB programs RELATIVE "${tree}/bin" "${tree}/bin/*")
  if(NOT programs MATCHES "^tafelix(\\.exe)?$")
    message(FATAL_ERROR "${tree}/bin: have '${programs}', want tafelix alone")
  endif()
endforeach()
# The Debian manual page is the one the build made; MANUAL.txt is plain
# text, CR LF (in hex, as file(READ) drops CRs: no LF, backspace or escape
# once the CR LFs are gone), and gives the make include path the .deb has.
run_checked("gzip -dc" COMMAND gzip -dc "${deb}/share/man/man1/tafelix.1.gz" OUTPUT_VARIABLE page)
file(READ "${TEST_BUILD}/man/tafelix.1" want_page)
file(READ "${zip}/MANUAL.txt" manual)
file(READ "${zip}/MANUAL.txt" hex HEX)
string(REPLACE "0d0a" "" hex "${hex}")
if(NOT page STREQUAL want_page OR NOT manual MATCHES "\nEXIT STATUS\n" OR hex MATCHES "^(..)*(0a|08|1b)"
   OR NOT manual MATCHES "include /usr/share/tafelix/tafelix\\.mk")
  message(FATAL_ERROR "the Debian manual page is not the build's, or MANUAL.txt is not plain text with CR LF "
                      "giving /usr/share/tafelix/tafelix.mk")
endif()

# Each program converts the sample as the build tree's program does; the
# Windows one under Wine.
file(COPY "${SOURCE_DIR}/samples/sample.bmp" DESTINATION "${WORK}")
run_checked("wine prefix" COMMAND sh "${SOURCE_DIR}/tests/wine_prefix.sh" start "$ENV{WINEPREFIX}")
foreach(run IN ITEMS "${TEST_BUILD}/tafelix|want" "${deb}/bin/tafelix|deb" "${tgz}/bin/tafelix|tgz"
    "wine|${zip}/bin/tafelix.exe|zip")
  string(REPLACE "|" ";" run "${run}")
  list(POP_BACK run name)
  foreach(switch IN ITEMS "" -wt)
    run_checked("${run}" COMMAND ${run} sample.bmp ${name}${switch}.h sample ${switch} WORKING_DIRECTORY "${WORK}")
    run_checked("${run}: output" COMMAND "${CMAKE_COMMAND}" -E compare_files want${switch}.h ${name}${switch}.h
      WORKING_DIRECTORY "${WORK}")
  endforeach()
endforeach()
run_checked("wine prefix" COMMAND sh "${SOURCE_DIR}/tests/wine_prefix.sh" stop "$ENV{WINEPREFIX}")
# Each unpacked page, opened from disk, passes every row of the page's test.
foreach(tree IN ITEMS "${deb}" "${tgz}" "${zip}")
  run_checked("the page in ${tree}" COMMAND /usr/bin/python3 "${SOURCE_DIR}/tests/test_page.py" --page "${tree}/share/tafelix/web/index.html"
    --native "${TEST_BUILD}/tafelix" --write-bitmap "${TEST_BUILD}/tests/write_bitmap")
endforeach()

# The unpacked CMake packages serve a consumer project; the Windows one is
# found and names its tafelix.exe.
file(STRINGS "${TEST_BUILD}/CMakeCache.txt" settings REGEX "^CMAKE_(GENERATOR|C_COMPILER):")
string(REGEX REPLACE ".*CMAKE_C_COMPILER:[A-Z]*=([^;]*).*" "\\1" c_compiler "${settings}")
string(REGEX REPLACE ".*CMAKE_GENERATOR:[A-Z]*=([^;]*).*" "\\1" generator "${settings}")
foreach(tree IN ITEMS "${deb}" "${tgz}")
  run_checked("consumer of ${tree}" COMMAND "${CMAKE_COMMAND}" -DGENERATOR=${generator}
    -DC_COMPILER=${c_compiler} -DPREFIX=${tree} -DWRITE_BITMAP=${TEST_BUILD}/tests/write_bitmap
    -DWORK=${tree}-consumer -DSOURCE_DIR=${SOURCE_DIR} -P "${CMAKE_CURRENT_LIST_DIR}/consumer.cmake")
endforeach()
file(WRITE "${WORK}/find/CMakeLists.txt" "
cmake_minimum_required(VERSION 3.20)
project(find NONE)
find_package(tafelix ${version} EXACT REQUIRED)
" [[
get_target_property(exe tafelix::tafelix IMPORTED_LOCATION_RELEASE)
message(STATUS "tafelix.exe: ${exe}")
]])
run_checked("find_package(tafelix) in the zip" COMMAND "${CMAKE_COMMAND}" -S "${WORK}/find"
  -B "${WORK}/find/build" "-DCMAKE_PREFIX_PATH=${zip}" OUTPUT_VARIABLE found)
if(NOT found MATCHES "tafelix.exe: ${zip}/bin/tafelix.exe\n")
  message(FATAL_ERROR "find_package(tafelix) in the zip:\n${found}")
endif()
message(STATUS "packages checked in ${WORK}")
