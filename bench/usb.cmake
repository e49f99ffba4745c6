teravox_add_bench(bench_usb LIBS teravox_usb SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_usb.cpp)
