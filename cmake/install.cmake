# `cmake --install`, the Debian package and the Windows ZIP: sspack, the installer stubs named
# by architecture, the sample screen saver for both with the examples, the manifest reference,
# the licence, the man page and the bash completion.
#
#   PREFIX/bin/sspack (sspack.exe)
#   PREFIX/share/ssinstaller/stubs/ssinstaller-x64.exe, ssinstaller-x86.exe
#   PREFIX/share/ssinstaller/stubs/ssaver-x64.scr, ssaver-x86.scr (the screen saver program
#     that a show without Saver= gets)
#   PREFIX/share/ssinstaller/examples/aurora/ (aurora.scr, aurora-x86.scr), examples/minimal/,
#     examples/slideshow/
#   PREFIX/share/doc/ssinstaller/manifest.md, README.md, copyright and changelog.gz (LICENSE
#   on Windows)
#   PREFIX/share/man/man1/sspack.1.gz
#   PREFIX/share/bash-completion/completions/sspack (not on Windows)
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

# The stubs and the sample screen saver are data that sspack reads, never run from the tree:
# installed without the executable bit. The x86 screen saver goes beside the x64 one as
# aurora-x86.scr, for a manifest's Saver.x86=.
function(_ss_install_arch arch stub saver)
  install(FILES ${stub} DESTINATION ${_ss_stubs} RENAME ssinstaller-${arch}.exe OPTIONAL)
  install(FILES ${saver} DESTINATION ${_ss_stubs} RENAME ssaver-${arch}.scr OPTIONAL)
  if(arch STREQUAL "x64")
    install(FILES ${saver} DESTINATION ${_ss_examples}/aurora OPTIONAL)
  else()
    install(FILES ${saver} DESTINATION ${_ss_examples}/aurora RENAME aurora-x86.scr OPTIONAL)
  endif()
endfunction()

# The Windows builds' files when they were built (without SS_WIN64_DIR/SS_WIN32_DIR the preset
# folders); an install without them installs the rest and says once what is missing.
set(_ss_win64 ${SS_WIN64_DIR})
set(_ss_win32 ${SS_WIN32_DIR})
if(NOT _ss_win64)
  set(_ss_win64 ${PROJECT_SOURCE_DIR}/build/win64)
endif()
if(NOT _ss_win32)
  set(_ss_win32 ${PROJECT_SOURCE_DIR}/build/win32)
endif()
set(_ss_own_arch x64)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(_ss_own_arch x86)
endif()
if(WIN32 AND _ss_own_arch STREQUAL "x64")
  _ss_install_arch(x64 $<TARGET_FILE:ssinstaller> $<TARGET_FILE:aurora>)
else()
  _ss_install_arch(x64 ${_ss_win64}/app/ssinstaller.exe ${_ss_win64}/saver/aurora.scr)
endif()
if(WIN32 AND _ss_own_arch STREQUAL "x86")
  _ss_install_arch(x86 $<TARGET_FILE:ssinstaller> $<TARGET_FILE:aurora>)
else()
  _ss_install_arch(x86 ${_ss_win32}/app/ssinstaller.exe ${_ss_win32}/saver/aurora.scr)
endif()
if(NOT WIN32)
  install(CODE "
    set(_missing)
    if(NOT EXISTS [[${_ss_win64}/app/ssinstaller.exe]])
      list(APPEND _missing [[the x64 stub and screen saver (cmake --preset win64 && cmake --build build/win64)]])
    endif()
    if(NOT EXISTS [[${_ss_win32}/app/ssinstaller.exe]])
      list(APPEND _missing [[the x86 stub and screen saver (cmake --preset win32 && cmake --build build/win32)]])
    endif()
    if(_missing)
      list(JOIN _missing \", \" _missing)
      message(NOTICE \"Not built, so not installed: \${_missing}\")
    endif()")
endif()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/aurora ${PROJECT_SOURCE_DIR}/examples/minimal
                  ${PROJECT_SOURCE_DIR}/examples/slideshow
        DESTINATION ${_ss_examples} PATTERN "*.py" EXCLUDE PATTERN ".gitignore" EXCLUDE)
install(FILES ${PROJECT_SOURCE_DIR}/docs/manifest.md ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
else()
  # The licence as Debian's machine-readable copyright file, and the completion bash loads on
  # demand.
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/tools/sspack/sspack.bash-completion
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME sspack)
endif()

# The man page and the package's changelog, compressed as Debian keeps them.
find_program(SS_GZIP gzip)
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${PROJECT_BINARY_DIR}/changelog
               @ONLY)
if(SS_GZIP)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/sspack.1.gz
                     COMMAND ${SS_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/docs/sspack.1 >
                             ${PROJECT_BINARY_DIR}/sspack.1.gz
                     DEPENDS ${PROJECT_SOURCE_DIR}/docs/sspack.1 VERBATIM)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
                     COMMAND ${SS_GZIP} -9n -c ${PROJECT_BINARY_DIR}/changelog >
                             ${PROJECT_BINARY_DIR}/changelog.gz
                     DEPENDS ${PROJECT_BINARY_DIR}/changelog VERBATIM)
  add_custom_target(ss_man_page ALL DEPENDS ${PROJECT_BINARY_DIR}/sspack.1.gz
                                            ${PROJECT_BINARY_DIR}/changelog.gz)
  install(FILES ${PROJECT_BINARY_DIR}/sspack.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  if(NOT WIN32)
    install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  endif()
else()
  install(FILES ${PROJECT_SOURCE_DIR}/docs/sspack.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_BINARY_DIR}/changelog DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# cpack in the build folder. Linux: -G DEB, one package with everything above under /usr.
# Windows (the win64 build, configured with -DSS_WIN32_DIR=... for the x86 stub and screen
# saver): -G ZIP, the same tree, so that bin/sspack.exe finds share/ssinstaller/stubs.
set(CPACK_PACKAGE_NAME ssinstaller)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The ssinstaller developers")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "builds and inspects installers of Windows screen savers")
# Lines of at most 80 characters, as Debian's description wants them.
set(CPACK_PACKAGE_DESCRIPTION
    "sspack turns a screen saver program, its media and a few texts into one small
Windows installer, and lists, verifies and extracts the payload of such
installers. The installer stubs for x64 and x86 Windows, a sample screen saver
and the manifest reference come with it.")
set(CPACK_PACKAGE_CONTACT
    "The ssinstaller developers <ssinstaller-developers@users.noreply.github.com>")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# sspack loads GraphicsMagick when it reads pictures: the library scan above cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgraphicsmagick-q16-3")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-${_ss_own_arch})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
endif()
include(CPack)
