# The dialog: real widgets in a real Qt event loop, with real jobs on FAT images.
if(TARGET tavrel_app)
  find_package(Qt6 REQUIRED COMPONENTS Widgets Svg Test)
  # Pictures of the dialog for the README (make screenshots).
  add_executable(tavrel-screenshots app/screenshot_tool.cpp)
  target_link_libraries(tavrel-screenshots PRIVATE tavrel_app tavrel_test_support)
endif()
