# The USB link: pipes over the USB port library, the notifier that gives arriving handhelds to
# them, the libusb implementation, the simulated library for tests, and the tests.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBUSB REQUIRED IMPORTED_TARGET libusb-1.0)

add_library(ostervane_usb STATIC
    ${CMAKE_CURRENT_LIST_DIR}/link/usb_pipe.cpp
    ${CMAKE_CURRENT_LIST_DIR}/link/usb_notifier.cpp
    ${CMAKE_CURRENT_LIST_DIR}/platform/usb_connection_info.cpp
    ${CMAKE_CURRENT_LIST_DIR}/platform/usb_kernel_driver.cpp
    ${CMAKE_CURRENT_LIST_DIR}/platform/usb_port_library_libusb.cpp)
target_include_directories(ostervane_usb PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(ostervane_usb PUBLIC ostervane_link PRIVATE PkgConfig::LIBUSB)

add_library(handheld_simulator_usb STATIC
    ${PROJECT_SOURCE_DIR}/simulator/usb/simulated_usb_library.cpp)
target_link_libraries(handheld_simulator_usb PUBLIC ostervane_usb handheld_simulator)

find_package(GTest REQUIRED)
include(GoogleTest)
file(GLOB USB_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/usb/*.cpp)
add_executable(usb_tests ${USB_TEST_SOURCES})
target_include_directories(usb_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(usb_tests PRIVATE handheld_simulator_usb GTest::gtest_main)
gtest_discover_tests(usb_tests DISCOVERY_MODE PRE_TEST)
target_link_libraries(usb_tests PRIVATE ostervane_cli_support ostervane_payloads ostervane_platform)

# The udev rule that lets the logged-in user open handhelds on USB without root, generated from
# the table of handhelds.  packaging/udev/ keeps a copy for reading; a test keeps it the same.
add_executable(ostervane-udev-rules ${CMAKE_CURRENT_LIST_DIR}/tools/udev_rules_main.cpp)
target_link_libraries(ostervane-udev-rules PRIVATE ostervane_core)
set(OSTERVANE_UDEV_RULES ${PROJECT_BINARY_DIR}/packaging/udev/60-palm-handhelds.rules)
add_custom_command(OUTPUT ${OSTERVANE_UDEV_RULES}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging/udev
    COMMAND ostervane-udev-rules ${OSTERVANE_UDEV_RULES}
    DEPENDS ostervane-udev-rules
    COMMENT "Generating the udev rule for the known USB handhelds")
add_custom_target(ostervane_udev_rules ALL DEPENDS ${OSTERVANE_UDEV_RULES})
install(FILES ${OSTERVANE_UDEV_RULES} DESTINATION lib/udev/rules.d)

# The libusb library itself, against USB handhelds emulated on umockdev's usbfs.
include(${PROJECT_SOURCE_DIR}/tests/usb_emulated/tests.cmake)
