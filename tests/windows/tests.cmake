# The Windows console tool (make windows-build) under Wine against this build's, on images in
# every format. Where Wine or the Windows build is missing it skips, under CI=true it fails.
set(TAVREL_WINDOWS_CLI ${CMAKE_BINARY_DIR}-windows/cli/tavrel-cli.exe CACHE FILEPATH
  "The cross-built tavrel-cli.exe the Wine test runs")
add_test(NAME Windows.WineMatchesLinux
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine_test.sh $<TARGET_FILE:tavrel-cli>
    ${TAVREL_WINDOWS_CLI})
set_tests_properties(Windows.WineMatchesLinux PROPERTIES
  LABELS "windows;no-sanitize" SKIP_RETURN_CODE 77 TIMEOUT 300)

# batch under Wine, with the diskettes swapped behind A:, and Ctrl+C in a running job.
add_test(NAME Windows.WineBatch
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine_batch_test.sh $<TARGET_FILE:tavrel-cli>
    ${TAVREL_WINDOWS_CLI} $<TARGET_FILE:tavrel-practice-drive>)
set_tests_properties(Windows.WineBatch PROPERTIES
  LABELS "windows;no-sanitize" SKIP_RETURN_CODE 77 TIMEOUT 300)

# The texts of system codes under Wine, through the Windows build's own paths (a small program
# of that build, tests/windows/error_text.cpp): the system's, with inserts left in, and the
# system's text behind errno where strerror is printed.
add_test(NAME Windows.WineErrorTexts
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine_error_text_test.sh
    ${CMAKE_BINARY_DIR}-windows/tests/windows/tavrel-error-text.exe)
set_tests_properties(Windows.WineErrorTexts PROPERTIES
  LABELS "windows;no-sanitize" SKIP_RETURN_CODE 77 TIMEOUT 120)

# The dialog program's generated resources (cmake/WindowsResources.cmake): what tavrel.exe holds,
# and its compiled templates against their JSON.
add_test(NAME Windows.DialogResources
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/resources_test.sh ${CMAKE_SOURCE_DIR}
    ${CMAKE_BINARY_DIR}-windows/app/windows/tavrel.exe)
set_tests_properties(Windows.DialogResources PROPERTIES
  LABELS "windows;no-sanitize" SKIP_RETURN_CODE 77 TIMEOUT 180)

# The Windows dialog under Wine and Xvfb, worked from outside by tavrel-dialog-probe.exe.
add_test(NAME Windows.WineDialog
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine_dialog_test.sh $<TARGET_FILE:tavrel-cli>
    ${CMAKE_BINARY_DIR}-windows $<TARGET_FILE:tavrel-practice-drive>)
set_tests_properties(Windows.WineDialog PROPERTIES
  LABELS "windows;no-sanitize" SKIP_RETURN_CODE 77 TIMEOUT 300)

# The command run after each diskette, through cmd.exe, and the drive description under Wine
# (a small program of the Windows build, tests/windows/each_probe.cpp).
add_test(NAME Windows.WineEach
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine_each_test.sh
    ${CMAKE_BINARY_DIR}-windows/tests/windows/tavrel-each-probe.exe)
set_tests_properties(Windows.WineEach PROPERTIES
  LABELS "windows;no-sanitize" SKIP_RETURN_CODE 77 TIMEOUT 120)
