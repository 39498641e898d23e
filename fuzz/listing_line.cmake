# The remote listing parsers (QtCore only), fed listing text as a server might send it. Included from
# fuzz/CMakeLists.txt, which sets up clang's -fsanitize=fuzzer.
add_executable(listing_line_fuzz ${CMAKE_CURRENT_LIST_DIR}/listing_line_fuzz.cpp)
target_compile_options(listing_line_fuzz PRIVATE -fsanitize=fuzzer)
target_link_options(listing_line_fuzz PRIVATE -fsanitize=fuzzer)
target_link_libraries(listing_line_fuzz PRIVATE listing)
