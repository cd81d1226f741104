tavrel_test(hardening_tests LABELS thread SOURCES hardening/fault_sweep_test.cpp
  hardening/rescue_sweep_test.cpp)

tavrel_test(hardening_win95_tests LABELS thread SOURCES hardening/win95_sweep_test.cpp win95/win95_world.cpp)
target_link_libraries(hardening_win95_tests PRIVATE tavrel_drive_emulation)

tavrel_test(cli_hardening_tests LABELS cli SOURCES hardening/cli_hardening_test.cpp
  cli/loop_device.cpp cli/slow_mount.cpp cli/tool_runner.cpp)
target_compile_definitions(cli_hardening_tests PRIVATE
  TAVREL_CLI="$<TARGET_FILE:tavrel-cli>"
  FAULTY_FS="$<TARGET_FILE:tavrel-practice-drive>")
add_dependencies(cli_hardening_tests tavrel-cli tavrel-practice-drive)
# A few cases run the commands in the test's own process, where system calls can be made to fail.
target_link_libraries(cli_hardening_tests PRIVATE tavrel_cli)
