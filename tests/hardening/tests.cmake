tavrel_test(hardening_tests LABELS thread SOURCES hardening/fault_sweep_test.cpp)
