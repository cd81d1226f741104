# The documentation a newcomer follows: every relative link and anchor of README.md and
# docs/*.md resolves, and every command README.md and docs/tutorial.md show runs as shown
# (the convention is in docs/commands_test.py).
find_package(Python3 REQUIRED COMPONENTS Interpreter)

add_test(NAME Docs.LinksResolve
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/docs/links_test.py ${PROJECT_SOURCE_DIR})
set_tests_properties(Docs.LinksResolve PROPERTIES LABELS docs TIMEOUT 60)

foreach(page README.md docs/tutorial.md)
  get_filename_component(name ${page} NAME_WE)
  add_test(NAME Docs.CommandsRun.${name}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/docs/commands_test.py
      $<TARGET_FILE_DIR:tavrel-cli> $<TARGET_FILE_DIR:tavrel-practice-drive>
      ${PROJECT_SOURCE_DIR}/${page})
  set_tests_properties(Docs.CommandsRun.${name} PROPERTIES
    LABELS docs SKIP_RETURN_CODE 77 TIMEOUT 900)
endforeach()

# The practice drive the tutorial uses: its usage, and exactly the faults its options name.
add_test(NAME Docs.PracticeDriveFailsWhatItIsTold
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/docs/practice_drive_test.sh
    $<TARGET_FILE:tavrel-practice-drive>)
set_tests_properties(Docs.PracticeDriveFailsWhatItIsTold PROPERTIES
  LABELS docs SKIP_RETURN_CODE 77 TIMEOUT 120)
