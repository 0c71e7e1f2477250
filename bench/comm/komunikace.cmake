# Reading channels through the LAN interface library and the binding from
# the in-process module-bus simulator on loopback: reads per second, mean and
# 99th-percentile time per read; then the same with 115200 Bd line
# emulation, against the frames' wire time.
add_executable(bench_komunikace ${CMAKE_CURRENT_LIST_DIR}/bench_komunikace.cpp)
target_link_libraries(bench_komunikace PRIVATE zq_comm zq_sim)
add_dependencies(bench_komunikace WZQ1407)
