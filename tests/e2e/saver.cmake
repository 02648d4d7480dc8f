# End-to-end tests of the sample screen saver under Wine. The saver file is made on the host by
# ss_make_scr from the win64 aurora.scr and the aurora example's MOVIE.
add_executable(ss_make_scr ${CMAKE_CURRENT_LIST_DIR}/make_scr.cpp)
target_include_directories(ss_make_scr PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(ss_make_scr PRIVATE ss_archive ss_warnings)

if(SS_WIN64_DIR)
  add_test(NAME e2e_saver
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/saver_wine.sh ${SS_WIN64_DIR}
                   $<TARGET_FILE:ss_make_scr> ${PROJECT_SOURCE_DIR}/examples/aurora/aurora.bmp
                   ${CMAKE_CURRENT_BINARY_DIR}/installer)
  # It shares the template prefix of the installer tests; the runs of the saver take 20-40 s.
  set_tests_properties(e2e_saver PROPERTIES TIMEOUT 300 LABELS e2e)
endif()
