# sspack.exe under Wine against the host sspack: identical installers and info from both.
if(SS_WIN64_DIR)
  add_test(NAME e2e_sspack_wine
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/sspack_wine.sh ${SS_WIN64_DIR}
                   $<TARGET_FILE:sspack> ${PROJECT_SOURCE_DIR}/examples/minimal
                   ${CMAKE_CURRENT_BINARY_DIR}/sspack)
  # Making the prefix takes 8 to 20 s on a first run; each sspack run under Wine about a second.
  set_tests_properties(e2e_sspack_wine PROPERTIES TIMEOUT 240 LABELS e2e)
endif()
