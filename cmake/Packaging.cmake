# What an install puts where, and the packages cpack makes of it: a zip of
# the two programs on Windows, a .deb elsewhere. Both take the version from
# project().
set(CPACK_PACKAGE_NAME vitrel)
set(CPACK_PACKAGE_VENDOR "The vitrel authors")
set(CPACK_PACKAGE_CONTACT "The vitrel authors <vitrel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "make chosen top-level windows translucent, and list them")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)

if(WIN32)
  install(TARGETS vitrel winlist RUNTIME DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME vitrel-${PROJECT_VERSION}-win64)
else()
  include(GNUInstallDirs)
  install(TARGETS vitrel winlist RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  foreach(page vitrel.1 winlist.1)
    configure_file(man/${page}.in ${CMAKE_BINARY_DIR}/man/${page} @ONLY)
    install(FILES ${CMAKE_BINARY_DIR}/man/${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  install(FILES completion/vitrel.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME vitrel)
  install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://localhost/vitrel")
  # dpkg-shlibdeps reads the libraries the programs link, libxcb among them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
