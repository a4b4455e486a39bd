# The round trip through examples/: bitmap -> tafelix -> include file ->
# picture_to_ppm -> PPM, compared byte for byte with the PPM that ImageMagick
# makes of the same bitmap (`convert in.bmp ppm:-` writes "P6\nW H\n255\n"
# and the RGB bytes, top row first, for bitmaps of either row order).
#
# With -DEXAMPLE= and -DBITMAP=: checks the example built in
# tafelix's own build tree. Otherwise builds examples/ as a project of its
# own against the installed package for each bitmap in the table below:
#
#   -DPREFIX=  the installed tafelix   -DEXAMPLE_SOURCE=  examples/
#   -DWRITE_BITMAP=  the bitmap writer -DWORK=  a scratch folder
#   -DGENERATOR=, -DC_COMPILER=  for the example project
include("${CMAKE_CURRENT_LIST_DIR}/helpers.cmake")
need_program(CONVERT convert)

function(compare_with_imagemagick what example bitmap dir)
  # picture_to_ppm takes the width and the height from its size header; the
  # PPM header "P6\nW H\n255\n" compares them with ImageMagick's.
  run_checked("${what}: picture_to_ppm" COMMAND "${example}" "${dir}/have.ppm")
  execute_process(COMMAND "${CONVERT}" "${bitmap}" ppm:-
    OUTPUT_FILE "${dir}/want.ppm" RESULT_VARIABLE status ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what}: convert failed with ${status}\n${err}")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${dir}/have.ppm" "${dir}/want.ppm"
    RESULT_VARIABLE differ)
  if(NOT differ EQUAL 0)
    file(SIZE "${dir}/have.ppm" have_size)
    file(SIZE "${dir}/want.ppm" want_size)
    file(READ "${dir}/have.ppm" have_head LIMIT 48 HEX)
    file(READ "${dir}/want.ppm" want_head LIMIT 48 HEX)
    message(FATAL_ERROR "${what}: the PPMs differ\n"
      "have ${have_size} bytes: ${have_head}...\nwant ${want_size} bytes: ${want_head}...")
  endif()
  message(STATUS "${what}: same bytes as ImageMagick")
endfunction()

if(DEFINED EXAMPLE)
  get_filename_component(dir "${EXAMPLE}" DIRECTORY)
  compare_with_imagemagick("example in the build tree" "${EXAMPLE}" "${BITMAP}" "${dir}")
  return()
endif()

fresh_folder("${WORK}")
# name | write_bitmap arguments, or "imagemagick" for a bitmap that
# ImageMagick writes from its built-in photo (70x46).
set(cases
  "1x1 bottom-up|1 1 21"
  "2x3 top-down|2 3 22 --top-down"
  "3x5 bottom-up|3 5 23"
  "4x2 top-down|4 2 24 --top-down"
  "13x7 bottom-up|13 7 25"
  "13x7 top-down, V5 header and palette|13 7 26 --top-down --v5"
  "3x260 top-down: rows past one byte|3 260 27 --top-down"
  "photo written by ImageMagick|imagemagick")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 what)
  list(GET case 1 make)
  string(MAKE_C_IDENTIFIER "${what}" tag)
  set(dir "${WORK}/${tag}")
  file(MAKE_DIRECTORY "${dir}")
  set(bitmap "${dir}/picture.bmp")
  if(make STREQUAL "imagemagick")
    run_checked("${what}: convert" COMMAND "${CONVERT}" rose: -type truecolor "bmp3:${bitmap}")
  else()
    separate_arguments(make UNIX_COMMAND "${make}")
    run_checked("${what}: write_bitmap" COMMAND "${WRITE_BITMAP}" "${bitmap}" ${make})
  endif()
  run_checked("${what}: configure"
    COMMAND "${CMAKE_COMMAND}" -S "${EXAMPLE_SOURCE}" -B "${dir}/build" -G "${GENERATOR}"
            "-DCMAKE_C_COMPILER=${C_COMPILER}" "-DCMAKE_PREFIX_PATH=${PREFIX}"
            "-DPICTURE_BITMAP=${bitmap}")
  run_checked("${what}: build" COMMAND "${CMAKE_COMMAND}" --build "${dir}/build")
  compare_with_imagemagick("${what}" "${dir}/build/picture_to_ppm" "${bitmap}" "${dir}")
endforeach()
