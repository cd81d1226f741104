# Part of the Windows build, included from tests/windows/CMakeLists.txt: the probe that
# Windows.WineDialog runs beside tavrel.exe to read and work its windows from outside.
add_executable(tavrel-dialog-probe dialog_probe.cpp probe_png.cpp)
target_include_directories(tavrel-dialog-probe PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(tavrel-dialog-probe PRIVATE user32 gdi32 shell32)
