# The USB link: FTDI adapters through libftdi1, adapter presence through libudev, and a simulated
# adapter for tests. Included by link/CMakeLists.txt.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBFTDI1 REQUIRED IMPORTED_TARGET libftdi1)
pkg_check_modules(LIBUDEV REQUIRED IMPORTED_TARGET libudev)

add_library(teravox_usb STATIC
  ${CMAKE_CURRENT_LIST_DIR}/d2xxftdi.cpp
  ${CMAKE_CURRENT_LIST_DIR}/d2xxsim.cpp
  ${CMAKE_CURRENT_LIST_DIR}/usbmonitor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/portusb.cpp
)
target_include_directories(teravox_usb PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(teravox_usb PUBLIC teravox_link
  PRIVATE PkgConfig::LIBFTDI1 PkgConfig::LIBUDEV teravox_warnings)
set_target_properties(teravox_usb PROPERTIES POSITION_INDEPENDENT_CODE ON)
