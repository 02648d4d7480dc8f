# End-to-end tests of the screen saver under Wine, in every set of SS_E2E_SETS. The saver
# file is made on the host by ss_make_scr from the set's aurora.scr and the aurora example's
# MOVIE.
add_executable(ss_make_scr ${CMAKE_CURRENT_LIST_DIR}/make_scr.cpp)
target_include_directories(ss_make_scr PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(ss_make_scr PRIVATE ss_archive ss_warnings)
# The picture show of the test, written with the layout's constants (sspack's writer is not used
# so that the saver's test stands on its own).
add_executable(ss_make_show ${CMAKE_CURRENT_LIST_DIR}/make_show.cpp)
target_include_directories(ss_make_show PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(ss_make_show PRIVATE ss_warnings)

foreach(_set IN LISTS SS_E2E_SETS)
  string(REPLACE "|" ";" _fields "${_set}")
  list(GET _fields 0 _name)
  list(GET _fields 1 _dir)
  list(GET _fields 2 _version)
  add_test(NAME e2e_saver.${_name}
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/saver_wine.sh --windows=${_version} ${_dir}
                   $<TARGET_FILE:ss_make_scr> ${PROJECT_SOURCE_DIR}/examples/aurora/aurora.bmp
                   ${CMAKE_CURRENT_BINARY_DIR}/installer/${_name})
  # It shares the template prefix of the set's installer tests; the saver's runs take 1-2 minutes.
  set_tests_properties(e2e_saver.${_name} PROPERTIES TIMEOUT 600 LABELS "e2e;e2e-${_name}"
                                                     SKIP_RETURN_CODE 77)
  # "/U" of a saver whose file name the ANSI code page cannot hold.
  add_test(NAME e2e_saver_uninstall.${_name}
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/saver_uninstall_wine.sh --windows=${_version}
                   ${_dir} $<TARGET_FILE:ss_make_scr> ${PROJECT_SOURCE_DIR}/examples/aurora/aurora.bmp
                   ${CMAKE_CURRENT_BINARY_DIR}/installer/${_name})
  set_tests_properties(e2e_saver_uninstall.${_name} PROPERTIES TIMEOUT 300
                                                               LABELS "e2e;e2e-${_name}"
                                                               SKIP_RETURN_CODE 77)
endforeach()
