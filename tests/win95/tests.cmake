# The Windows 95 back-ends against the emulated VWIN32 and own driver.
set(TAVREL_WIN95_WORLD win95/win95_world.cpp)

tavrel_test(win95_request_tests SOURCES win95/request_bytes_test.cpp ${TAVREL_WIN95_WORLD})
target_link_libraries(win95_request_tests PRIVATE tavrel_drive_emulation)

tavrel_test(win95_error_tests SOURCES win95/error_codes_test.cpp ${TAVREL_WIN95_WORLD})
target_link_libraries(win95_error_tests PRIVATE tavrel_drive_emulation)
