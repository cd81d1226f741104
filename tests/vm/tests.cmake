# The kernel's floppy driver and a USB floppy drive, in a QEMU machine that runs this build's
# binaries (vm/vm_test.sh). Kept out of the sanitizer builds: emulated, they would take too long.
if(NOT TAVREL_SANITIZE)
  # Needs a floppy drive with a diskette the test machine puts in: run there by guest_cases.sh,
  # not on its own.
  add_executable(floppy_layout_tests vm/floppy_layout_test.cpp)
  target_link_libraries(floppy_layout_tests PRIVATE tavrel_test_support GTest::gtest_main)
  add_test(NAME Vm.RealDrivers
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/vm/vm_test.sh ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
  set_tests_properties(Vm.RealDrivers PROPERTIES
    LABELS "vm;no-sanitize" SKIP_RETURN_CODE 77 TIMEOUT 900)
endif()
