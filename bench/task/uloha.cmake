# Writing and reading a task with 256 channels; prints the time per operation
# and how many times the task file was opened.
add_executable(bench_uloha ${CMAKE_CURRENT_LIST_DIR}/bench_uloha.cpp)
target_link_libraries(bench_uloha PRIVATE zq_task)
