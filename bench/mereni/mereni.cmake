# A running measurement through the window, the threads, the LAN library and
# the simulator: pass time and refresh share, CPU use, line-speed fidelity.
add_executable(bench_mereni ${CMAKE_CURRENT_LIST_DIR}/bench_mereni.cpp)
target_link_libraries(bench_mereni PRIVATE zq_app zq_sim Qt6::Test)
target_include_directories(bench_mereni PRIVATE ${CMAKE_SOURCE_DIR}/drivers)
target_compile_definitions(bench_mereni PRIVATE ZQ_BIN="${CMAKE_BINARY_DIR}/bin")
add_dependencies(bench_mereni WZQ1407)
