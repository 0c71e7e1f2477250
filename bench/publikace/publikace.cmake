# Publishing to an MQTT broker (a mosquitto of the benchmark's own on a free
# loopback port): pass time and the main thread's share with publishing on
# and off, publish-to-subscriber latency, the store's cost per sample.
add_executable(bench_publikace ${CMAKE_CURRENT_LIST_DIR}/bench_publikace.cpp)
find_package(Qt6 REQUIRED COMPONENTS Network)
target_link_libraries(bench_publikace PRIVATE zq_app zq_publikace zq_sim Qt6::Test Qt6::Network
  PkgConfig::ZQ_MOSQUITTO)
target_include_directories(bench_publikace PRIVATE ${CMAKE_SOURCE_DIR}/drivers
  ${CMAKE_SOURCE_DIR}/tests/publikace)
target_compile_definitions(bench_publikace PRIVATE ZQ_BIN="${CMAKE_BINARY_DIR}/bin")
add_dependencies(bench_publikace WZQ1407)
