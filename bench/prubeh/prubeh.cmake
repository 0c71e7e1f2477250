# The trend window: pass time with and without it, the main thread's share in
# its refreshes, the history's memory over 24 hours and the plot's cost.
add_executable(bench_prubeh ${CMAKE_CURRENT_LIST_DIR}/bench_prubeh.cpp)
target_link_libraries(bench_prubeh PRIVATE zq_app zq_sim)
target_compile_definitions(bench_prubeh PRIVATE ZQ_BIN="${CMAKE_BINARY_DIR}/bin")
add_dependencies(bench_prubeh WZQ1407)
