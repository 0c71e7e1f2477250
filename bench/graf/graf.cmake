# The plot's drawing without widgets: a picture of 8 channels at two points
# per pixel column, and the reduction of raw values to pixel columns.
add_executable(bench_graf ${CMAKE_CURRENT_LIST_DIR}/bench_graf.cpp)
target_link_libraries(bench_graf PRIVATE zq_graf)
