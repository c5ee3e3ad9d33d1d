# The libusb USB port library and the command line's USB jobs against USB devices emulated on
# umockdev: the test program runs under umockdev-wrapper (also when its tests are listed), and
# starts ostervane-cli as a child that sees the same devices.
pkg_check_modules(UMOCKDEV REQUIRED IMPORTED_TARGET umockdev-1.0)
find_program(UMOCKDEV_WRAPPER umockdev-wrapper REQUIRED)

file(GLOB USB_EMULATED_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/usb_emulated/*.cpp)
add_executable(usb_emulated_tests ${USB_EMULATED_SOURCES})
target_include_directories(usb_emulated_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
# umockdev and GLib come first: the simulator's CPU library carries a partial GLib of its own,
# whose symbols must not take the place of GLib's.  These tests never run the CPU, so with
# --as-needed that library is not loaded at all.
target_link_libraries(usb_emulated_tests PRIVATE
    PkgConfig::UMOCKDEV
    ostervane_usb ostervane_cli_support ostervane_payloads ostervane_platform handheld_simulator
    GTest::gtest_main)
target_link_options(usb_emulated_tests PRIVATE LINKER:--as-needed)
target_compile_definitions(usb_emulated_tests PRIVATE
    OSTERVANE_CLI_PATH="$<TARGET_FILE:ostervane-cli>")
add_dependencies(usb_emulated_tests ostervane-cli)
set_target_properties(usb_emulated_tests PROPERTIES CROSSCOMPILING_EMULATOR ${UMOCKDEV_WRAPPER})

# ASan must not insist on coming first among the preloaded libraries (a shared sanitizer
# runtime would); the ENVIRONMENT property replaces the caller's options, so they are repeated.
gtest_discover_tests(usb_emulated_tests DISCOVERY_MODE PRE_TEST PROPERTIES
    ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:verify_asan_link_order=0"
    TIMEOUT 120)
