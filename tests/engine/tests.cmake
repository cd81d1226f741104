tavrel_test(platform_tests LABELS thread SOURCES engine/platform_test.cpp engine/profile_test.cpp)
tavrel_test(job_tests LABELS thread SOURCES engine/job_paths_test.cpp engine/job_formats_test.cpp engine/job_cancel_test.cpp engine/image_header_test.cpp engine/image_replace_test.cpp)
tavrel_test(media_tests SOURCES engine/media_test.cpp engine/disk_errors_test.cpp)
tavrel_test(loop_device_tests LABELS thread SOURCES engine/loop_device_test.cpp)
