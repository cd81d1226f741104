# The dialog: real widgets in a real Qt event loop, with real jobs on FAT images.
if(TARGET tavrel_app)
  find_package(Qt6 REQUIRED COMPONENTS Widgets Svg Test)
  # Pictures of the dialog for the README (make screenshots).
  add_executable(tavrel-screenshots app/screenshot_tool.cpp)
  target_link_libraries(tavrel-screenshots PRIVATE tavrel_app tavrel_test_support)
endif()

if(TARGET tavrel_app)
  add_executable(tavrel_app_tests
    app/app_test_main.cpp
    app/command_line_test.cpp
    app/drive_list_test.cpp
    app/job_test.cpp
    app/layout_test.cpp
    app/settings_test.cpp
    app/start_checks_test.cpp
    cli/slow_mount.cpp
  )
  target_link_libraries(tavrel_app_tests PRIVATE tavrel_app tavrel_test_support Qt6::Test
    GTest::gtest GTest::gmock)
  target_compile_definitions(tavrel_app_tests PRIVATE FAULTY_FS="$<TARGET_FILE:tavrel-practice-drive>")
  add_dependencies(tavrel_app_tests tavrel-practice-drive)
  gtest_discover_tests(tavrel_app_tests DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS app TIMEOUT 600 ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()

if(TARGET tavrel)
  # The real program with no display: --help, -h, /? and --version print and exit 0, and the
  # man page has what the usage names.
  add_test(NAME DialogProgram.HelpAndVersionWithoutDisplay
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/app/help_without_display_test.sh
      $<TARGET_FILE:tavrel> $<TARGET_FILE:tavrel-cli> ${CMAKE_BINARY_DIR}/man/tavrel.1)
  set_tests_properties(DialogProgram.HelpAndVersionWithoutDisplay PROPERTIES
    LABELS app SKIP_RETURN_CODE 77 TIMEOUT 300)

  # The real program on a bare X server, answered with real key presses.
  add_test(NAME DialogUnderXvfb.PresetRunAnsweredByKeys
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/app/xvfb_preset_test.sh $<TARGET_FILE:tavrel>)
  set_tests_properties(DialogUnderXvfb.PresetRunAnsweredByKeys PROPERTIES
    LABELS "app;xvfb" SKIP_RETURN_CODE 77 TIMEOUT 300)
endif()
