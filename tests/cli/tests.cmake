# The console tool, driven as a separate process exactly as scripts run it.
# The slow drive of the cancel tests and the faulty one of the rescue tests is the practice
# drive (drive/emulation/practice_drive.cpp), given a plan file.

tavrel_test(cli_tests LABELS cli SOURCES
  cli/cli_bad_input_test.cpp
  cli/cli_batch_test.cpp
  cli/cli_batch_drives_test.cpp
  cli/cli_batch_next_test.cpp
  cli/cli_batch_folder_test.cpp
  cli/cli_batch_hangup_test.cpp
  cli/cli_cancel_test.cpp
  cli/cli_every_format_test.cpp
  cli/cli_exit_code_test.cpp
  cli/cli_files_test.cpp
  cli/cli_formats_test.cpp
  cli/cli_loop_test.cpp
  cli/cli_output_kind_test.cpp
  cli/cli_startup_test.cpp
  cli/cli_usage_test.cpp
  cli/faulty_drive.cpp
  cli/loop_device.cpp
  cli/pty_tool.cpp
  cli/slow_mount.cpp
  cli/tool_runner.cpp
)
find_package(nlohmann_json 3 REQUIRED)
target_link_libraries(cli_tests PRIVATE util nlohmann_json::nlohmann_json)
target_compile_definitions(cli_tests PRIVATE
  TAVREL_CLI="$<TARGET_FILE:tavrel-cli>"
  TAVREL_LISTING_PATH="$<TARGET_FILE:tavrel-listing>"
  TAVREL_LISTING_MODULE="${TAVREL_LISTING_MODULE_DIR}/tavrel-listing.so"
  TAVREL_LIBXML2_SONAME="${TAVREL_LIBXML2_SONAME}"
  FAULTY_FS="$<TARGET_FILE:tavrel-practice-drive>")
add_dependencies(cli_tests tavrel-cli tavrel-practice-drive)

# rescue over a drive with real read errors, beside GNU ddrescue on the same faults; and what
# every failed job names on the console, on such a drive among others.
tavrel_test(rescue_tests LABELS cli SOURCES
  cli/cli_messages_test.cpp
  cli/cli_rescue_peer_test.cpp
  cli/cli_rescue_test.cpp
  cli/faulty_drive.cpp
  cli/loop_device.cpp
  cli/slow_mount.cpp
  cli/tool_runner.cpp
)
target_compile_definitions(rescue_tests PRIVATE
  TAVREL_CLI="$<TARGET_FILE:tavrel-cli>"
  FAULTY_FS="$<TARGET_FILE:tavrel-practice-drive>")
add_dependencies(rescue_tests tavrel-cli tavrel-practice-drive)

# check on batch folders changed one way at a time, and images told by their content.
tavrel_test(check_tests LABELS cli SOURCES
  cli/cli_check_test.cpp
  cli/tool_runner.cpp
)
target_compile_definitions(check_tests PRIVATE TAVREL_CLI="$<TARGET_FILE:tavrel-cli>")
add_dependencies(check_tests tavrel-cli)

# A batch folder kept as a BagIt bag, judged by the reference validator beside the project.
tavrel_test(bag_tests LABELS cli SOURCES
  cli/cli_bag_test.cpp
  cli/slow_mount.cpp
  cli/tool_runner.cpp
)
target_compile_definitions(bag_tests PRIVATE
  TAVREL_CLI="$<TARGET_FILE:tavrel-cli>"
  FAULTY_FS="$<TARGET_FILE:tavrel-practice-drive>"
  TAVREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
add_dependencies(bag_tests tavrel-cli tavrel-practice-drive)

# The batch's decision whether the drive holds a diskette to image, fed scripted looks.
tavrel_test(medium_watch_tests LABELS cli SOURCES cli/medium_watch_test.cpp)
target_link_libraries(medium_watch_tests PRIVATE tavrel_cli)

# files IMAGE beside the file walker of Debian's sleuthkit package, and on a rescued image.
tavrel_test(listing_tests LABELS cli SOURCES
  cli/cli_listing_test.cpp
  cli/faulty_drive.cpp
  cli/loop_device.cpp
  cli/slow_mount.cpp
  cli/tool_runner.cpp
)
find_package(LibXml2 REQUIRED)
find_package(nlohmann_json 3 REQUIRED)
target_link_libraries(listing_tests PRIVATE LibXml2::LibXml2 nlohmann_json::nlohmann_json)
target_compile_definitions(listing_tests PRIVATE
  TAVREL_CLI="$<TARGET_FILE:tavrel-cli>"
  FAULTY_FS="$<TARGET_FILE:tavrel-practice-drive>")
add_dependencies(listing_tests tavrel-cli tavrel-practice-drive)

# The JSON documents: the batch line built in process, info --json of the built tool.
tavrel_test(json_tests LABELS cli SOURCES cli/cli_json_test.cpp cli/tool_runner.cpp)
target_link_libraries(json_tests PRIVATE tavrel_cli)
target_compile_definitions(json_tests PRIVATE TAVREL_CLI="$<TARGET_FILE:tavrel-cli>")
add_dependencies(json_tests tavrel-cli)

# The parts a batch files beside each diskette: the drive that read it (a fake sysfs tree), what
# the operator typed, and the command --each runs after it, each run through the real shell.
tavrel_test(batch_parts_tests LABELS thread SOURCES
  cli/drive_identity_test.cpp
  cli/each_command_test.cpp
)
target_link_libraries(batch_parts_tests PRIVATE tavrel_cli)

# The surface pictures and the box report, read back with libxml2; a bag's judged by the
# reference validator.
tavrel_test(report_tests LABELS cli SOURCES
  cli/cli_report_test.cpp
  cli/slow_mount.cpp
  cli/tool_runner.cpp
)
target_link_libraries(report_tests PRIVATE LibXml2::LibXml2)
target_compile_definitions(report_tests PRIVATE
  TAVREL_CLI="$<TARGET_FILE:tavrel-cli>"
  FAULTY_FS="$<TARGET_FILE:tavrel-practice-drive>"
  TAVREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
add_dependencies(report_tests tavrel-cli tavrel-practice-drive)

# Filing stopped at each of its system calls in turn, in a child process, then checked, finished
# and checked again with the real tool.
tavrel_test(filing_stop_tests LABELS cli SOURCES
  cli/filing_stop_test.cpp
  cli/tool_runner.cpp
)
target_link_libraries(filing_stop_tests PRIVATE tavrel_cli)
target_compile_definitions(filing_stop_tests PRIVATE
  TAVREL_CLI="$<TARGET_FILE:tavrel-cli>"
  TAVREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
add_dependencies(filing_stop_tests tavrel-cli)
