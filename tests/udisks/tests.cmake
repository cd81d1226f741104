# A person at a terminal, answering polkit's password question.
add_executable(tavrel-answer-prompts udisks/answer_prompts.cpp)
target_link_libraries(tavrel-answer-prompts PRIVATE util)

# Drives opened through the UDisks2 service by a user who may not open them: the test starts
# its own system bus and services, so it runs alone (its udevd would see the others' devices).
set(udisks_dialog "")
if(TARGET tavrel)
  set(udisks_dialog $<TARGET_FILE:tavrel>)
endif()
add_test(NAME Udisks.OpenThroughService
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/udisks/udisks_test.sh $<TARGET_FILE:tavrel-cli>
    $<TARGET_FILE:tavrel-answer-prompts> ${udisks_dialog})
set_tests_properties(Udisks.OpenThroughService PROPERTIES
  LABELS udisks SKIP_RETURN_CODE 77 TIMEOUT 120 RUN_SERIAL TRUE)
