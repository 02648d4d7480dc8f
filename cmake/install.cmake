# `cmake --install` and the Debian package: sspack, the installer stubs named by architecture,
# the sample screen saver with the examples, the manifest reference and the man page.
#
#   PREFIX/bin/sspack
#   PREFIX/share/ssinstaller/stubs/ssinstaller-x64.exe, ssinstaller-x86.exe
#   PREFIX/share/ssinstaller/examples/aurora/ (with aurora.scr), examples/minimal/
#   PREFIX/share/doc/ssinstaller/manifest.md, README.md
#   PREFIX/share/man/man1/sspack.1.gz
#
# sspack finds the stubs from its own folder (../share/ssinstaller/stubs), so the tree may be
# moved as a whole. A Linux build installs the Windows stubs of the builds named by
# SS_WIN64_DIR and SS_WIN32_DIR (build/win64 and build/win32 by default) that were built; a
# Windows build installs its own.
include(GNUInstallDirs)
set(_ss_share ${CMAKE_INSTALL_DATADIR}/ssinstaller)
set(_ss_stubs ${_ss_share}/stubs)
set(_ss_examples ${_ss_share}/examples)

install(TARGETS sspack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_ss_arch x64)
  else()
    set(_ss_arch x86)
  endif()
  install(PROGRAMS $<TARGET_FILE:ssinstaller> DESTINATION ${_ss_stubs}
          RENAME ssinstaller-${_ss_arch}.exe)
  install(PROGRAMS $<TARGET_FILE:aurora> DESTINATION ${_ss_examples}/aurora)
else()
  # The stubs of the Windows builds, when they are built; an install without them installs the
  # rest and says once what is missing. Without SS_WIN64_DIR/SS_WIN32_DIR the preset folders.
  set(_ss_win64 ${SS_WIN64_DIR})
  set(_ss_win32 ${SS_WIN32_DIR})
  if(NOT _ss_win64)
    set(_ss_win64 ${PROJECT_SOURCE_DIR}/build/win64)
  endif()
  if(NOT _ss_win32)
    set(_ss_win32 ${PROJECT_SOURCE_DIR}/build/win32)
  endif()
  install(PROGRAMS ${_ss_win64}/app/ssinstaller.exe DESTINATION ${_ss_stubs}
          RENAME ssinstaller-x64.exe OPTIONAL)
  install(PROGRAMS ${_ss_win32}/app/ssinstaller.exe DESTINATION ${_ss_stubs}
          RENAME ssinstaller-x86.exe OPTIONAL)
  # The sample screen saver of the x86_64 build, else of the i686 one.
  install(CODE "
    foreach(_saver [[${_ss_win64}/saver/aurora.scr]] [[${_ss_win32}/saver/aurora.scr]])
      if(EXISTS \${_saver})
        file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${_ss_examples}/aurora\" TYPE PROGRAM
             FILES \${_saver})
        break()
      endif()
    endforeach()
    set(_missing)
    if(NOT EXISTS [[${_ss_win64}/app/ssinstaller.exe]])
      list(APPEND _missing [[the x64 stub (cmake --preset win64 && cmake --build build/win64)]])
    endif()
    if(NOT EXISTS [[${_ss_win32}/app/ssinstaller.exe]])
      list(APPEND _missing [[the x86 stub (cmake --preset win32 && cmake --build build/win32)]])
    endif()
    if(NOT EXISTS [[${_ss_win64}/saver/aurora.scr]] AND NOT EXISTS [[${_ss_win32}/saver/aurora.scr]])
      list(APPEND _missing [[the sample aurora.scr]])
    endif()
    if(_missing)
      list(JOIN _missing \", \" _missing)
      message(NOTICE \"Not built, so not installed: \${_missing}\")
    endif()")
endif()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/aurora ${PROJECT_SOURCE_DIR}/examples/minimal
        DESTINATION ${_ss_examples} PATTERN "*.py" EXCLUDE PATTERN ".gitignore" EXCLUDE)
install(FILES ${PROJECT_SOURCE_DIR}/docs/manifest.md ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The man page, compressed as Debian keeps man pages.
find_program(SS_GZIP gzip)
if(SS_GZIP)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/sspack.1.gz
                     COMMAND ${SS_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/docs/sspack.1 >
                             ${PROJECT_BINARY_DIR}/sspack.1.gz
                     DEPENDS ${PROJECT_SOURCE_DIR}/docs/sspack.1 VERBATIM)
  add_custom_target(ss_man_page ALL DEPENDS ${PROJECT_BINARY_DIR}/sspack.1.gz)
  install(FILES ${PROJECT_BINARY_DIR}/sspack.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  install(FILES ${PROJECT_SOURCE_DIR}/docs/sspack.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# cpack -G DEB in the build folder: one package with everything above, installed under /usr.
set(CPACK_PACKAGE_NAME ssinstaller)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sspack: builds and inspects installers of Windows screen savers")
set(CPACK_PACKAGE_DESCRIPTION
    "sspack turns a screen saver program, its media and a few texts into one small Windows installer, and lists, verifies and extracts the payload of such installers. The installer stubs for x64 and x86 Windows, a sample screen saver and the manifest reference come with it.")
set(CPACK_PACKAGE_CONTACT "ssinstaller developers <ssinstaller@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
