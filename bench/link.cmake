teravox_add_bench(bench_link LIBS teravox_link SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_link.cpp)
