# The installed program: the Debian package and what it installs, the man page against --help.
add_test(NAME Install.ManPageHasEveryOption
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/install/man_options_test.sh
    $<TARGET_FILE:tavrel-cli> ${CMAKE_BINARY_DIR}/man/tavrel-cli.1)
set_tests_properties(Install.ManPageHasEveryOption PROPERTIES
  LABELS install SKIP_RETURN_CODE 77 TIMEOUT 120)

# Packages only what the ordinary build makes: sanitizer builds are not for installing.
if(TARGET tavrel AND NOT TAVREL_SANITIZE)
  add_test(NAME Install.PackageInstallsAndRuns
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/install/package_test.sh
      ${CMAKE_COMMAND} ${CMAKE_CPACK_COMMAND} ${CMAKE_BINARY_DIR})
  set_tests_properties(Install.PackageInstallsAndRuns PROPERTIES
    LABELS "install;no-sanitize" SKIP_RETURN_CODE 77 TIMEOUT 900)
endif()

# drives --scan against a made-up sysfs tree, and --assign against a real profile file.
tavrel_test(drive_scan_tests LABELS install SOURCES
  install/drive_scan_test.cpp
  cli/loop_device.cpp
  cli/tool_runner.cpp
)
target_link_libraries(drive_scan_tests PRIVATE tavrel_cli)
target_compile_definitions(drive_scan_tests PRIVATE TAVREL_CLI="$<TARGET_FILE:tavrel-cli>")
add_dependencies(drive_scan_tests tavrel-cli)
