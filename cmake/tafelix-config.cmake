# find_package(tafelix) gives the imported program tafelix::tafelix and the
# function tafelix_add_bitmap().
include("${CMAKE_CURRENT_LIST_DIR}/tafelix-targets.cmake")
include("${CMAKE_CURRENT_LIST_DIR}/tafelix-add-bitmap.cmake")
