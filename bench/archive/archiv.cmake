# Appending samples of 256 channels to the three data-file formats.
add_executable(bench_archiv ${CMAKE_CURRENT_LIST_DIR}/bench_archiv.cpp)
target_link_libraries(bench_archiv PRIVATE zq_archive)
