# The Windows build: the engine and its drives over the system's own calls.
include_directories(BEFORE ${CMAKE_SOURCE_DIR}/platform/windows/include)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 __USE_MINGW_ANSI_STDIO=1
  _POSIX_THREAD_SAFE_FUNCTIONS=200112L)

add_subdirectory(platform/windows)
# The drives without their Windows 95 emulations, which stand in for that system only on Linux,
# and without drive_discovery, which looks in sysfs and UDisks2 (cli/windows lists the drives).
add_library(tavrel_drive STATIC drive/disk_errors.cpp drive/disk_format.cpp drive/drive_access.cpp
  drive/media_table.cpp)
target_link_libraries(tavrel_drive PUBLIC tavrel_platform)
add_library(tavrel_engine STATIC
  engine/disk_job.cpp
  engine/fixity.cpp
  engine/image_file.cpp
  engine/media_detect.cpp
  engine/passes.cpp
  engine/rescue_pass.cpp
  engine/track_codec.cpp
  engine/worker_thread.cpp
)
target_link_libraries(tavrel_engine PUBLIC tavrel_drive tavrel_platform)

# CLI11 is header-only; only its own folder is shown to the cross compiler, not /usr/include.
find_path(CLI11_HOST_DIR CLI/CLI.hpp REQUIRED NO_CMAKE_FIND_ROOT_PATH)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/cli11)
file(CREATE_LINK ${CLI11_HOST_DIR}/CLI ${CMAKE_BINARY_DIR}/cli11/CLI SYMBOLIC)
set(CLI11_INCLUDE_DIR ${CMAKE_BINARY_DIR}/cli11)
# nlohmann-json the same way (json.hpp includes only its own folder and the standard library).
find_path(NLOHMANN_JSON_HOST_DIR nlohmann/json.hpp REQUIRED NO_CMAKE_FIND_ROOT_PATH)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/nlohmann-json)
file(CREATE_LINK ${NLOHMANN_JSON_HOST_DIR}/nlohmann ${CMAKE_BINARY_DIR}/nlohmann-json/nlohmann SYMBOLIC)
set(NLOHMANN_JSON_INCLUDE_DIR ${CMAKE_BINARY_DIR}/nlohmann-json)
include(cmake/WindowsResources.cmake)
add_subdirectory(cli)
add_subdirectory(app/windows)
add_subdirectory(tests/windows)
