# The Windows 95 back-ends against the emulated VWIN32 and own driver.
set(TAVREL_WIN95_WORLD win95/win95_world.cpp)

tavrel_test(win95_request_tests SOURCES win95/request_bytes_test.cpp ${TAVREL_WIN95_WORLD})
target_link_libraries(win95_request_tests PRIVATE tavrel_drive_emulation)

tavrel_test(win95_error_tests SOURCES win95/error_codes_test.cpp ${TAVREL_WIN95_WORLD})
target_link_libraries(win95_error_tests PRIVATE tavrel_drive_emulation)

tavrel_test(win95_emulation_tests SOURCES win95/vwin32_emulation_test.cpp
            win95/own_driver_emulation_test.cpp ${TAVREL_WIN95_WORLD})
target_link_libraries(win95_emulation_tests PRIVATE tavrel_drive_emulation)

# Suites that run jobs on worker threads also run under ThreadSanitizer.
tavrel_test(win95_job_tests LABELS thread SOURCES win95/win95_job_test.cpp ${TAVREL_WIN95_WORLD})
target_link_libraries(win95_job_tests PRIVATE tavrel_drive_emulation)

tavrel_test(win95_roundtrip_tests LABELS thread SOURCES win95/win95_roundtrip_test.cpp
            ${TAVREL_WIN95_WORLD})
target_link_libraries(win95_roundtrip_tests PRIVATE tavrel_drive_emulation)

tavrel_test(win95_rescue_tests LABELS thread SOURCES win95/win95_rescue_test.cpp
            ${TAVREL_WIN95_WORLD})
target_link_libraries(win95_rescue_tests PRIVATE tavrel_drive_emulation)
