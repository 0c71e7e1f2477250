# Reading data files of 1 GiB and more: the reader's speed, a one-hour
# extract, the peak resident memory (docs/benchmarks.md).
add_executable(bench_prohlizec ${CMAKE_CURRENT_LIST_DIR}/bench_prohlizec.cpp)
target_link_libraries(bench_prohlizec PRIVATE zq_ctenar)
target_compile_definitions(bench_prohlizec PRIVATE ZQ_BIN="${CMAKE_BINARY_DIR}/bin")
add_dependencies(bench_prohlizec zq-prohlizec)
