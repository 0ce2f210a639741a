# What an install puts where, and the packages cpack makes of it: a zip of
# the two programs on Windows, a .deb and an .rpm elsewhere, beside which the
# build makes the GNOME Shell extension's zip. All take the version from
# project().
set(CPACK_PACKAGE_NAME vitrel)
set(CPACK_PACKAGE_VENDOR "The vitrel authors")
set(CPACK_PACKAGE_CONTACT "The vitrel authors <vitrel@example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL https://example.org/vitrel)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "make chosen top-level windows translucent, and list them")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)

if(WIN32)
  install(TARGETS vitrel winlist RUNTIME DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
  install(FILES docs/screenshot.png DESTINATION docs)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME vitrel-${PROJECT_VERSION}-win64)
else()
  include(GNUInstallDirs)
  set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/vitrel)
  install(TARGETS vitrel winlist RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Debian wants man pages and the changelog compressed, the same bytes each build.
  configure_file(cmake/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
  set(compressed ${CMAKE_BINARY_DIR}/changelog.gz)
  foreach(page vitrel.1 winlist.1)
    configure_file(man/${page}.in ${CMAKE_BINARY_DIR}/man/${page} @ONLY)
    list(APPEND compressed ${CMAKE_BINARY_DIR}/man/${page}.gz)
  endforeach()
  foreach(file IN LISTS compressed)
    string(REGEX REPLACE "[.]gz$" "" source ${file})
    add_custom_command(OUTPUT ${file} COMMAND gzip -9nkf ${source} DEPENDS ${source})
  endforeach()
  add_custom_target(compressed_docs ALL DEPENDS ${compressed})
  install(FILES ${CMAKE_BINARY_DIR}/man/vitrel.1.gz ${CMAKE_BINARY_DIR}/man/winlist.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES completion/vitrel.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME vitrel)
  # Where Debian's zsh looks; the .rpm moves it to where Fedora's does.
  install(FILES completion/_vitrel DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
  install(FILES completion/vitrel.fish DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
  # Where GNOME Shell finds the extensions of the system; each user turns it on.
  install(DIRECTORY gnome-shell/ DESTINATION ${CMAKE_INSTALL_DATADIR}/gnome-shell/extensions/vitrel@example.org)
  # The extension alone, for other distributions: the zip gnome-extensions pack makes and
  # extensions.gnome.org takes, metadata.json at its top.
  set(extension_zip ${CMAKE_BINARY_DIR}/vitrel@example.org.shell-extension.zip)
  file(GLOB_RECURSE extension_files LIST_DIRECTORIES false RELATIVE ${CMAKE_SOURCE_DIR}/gnome-shell CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/gnome-shell/*)
  list(TRANSFORM extension_files PREPEND ${CMAKE_SOURCE_DIR}/gnome-shell/ OUTPUT_VARIABLE extension_sources)
  add_custom_command(OUTPUT ${extension_zip}
    COMMAND ${CMAKE_COMMAND} -E tar cf ${extension_zip} --format=zip --mtime=1980-01-01 ${extension_files}
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/gnome-shell DEPENDS ${extension_sources})
  add_custom_target(extension_zip ALL DEPENDS ${extension_zip})
  install(FILES README.md ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${doc_dir})
  install(FILES LICENSE DESTINATION ${doc_dir} RENAME copyright)
  install(FILES docs/screenshot.png DESTINATION ${doc_dir}/docs)
  set(CPACK_GENERATOR DEB RPM)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PACKAGE_DESCRIPTION "vitrel gives every top-level window whose class name and title contain
the given pieces a whole-window opacity: through the window manager and
compositor on X11, and for native Wayland windows through sway's IPC under
sway, through Wayfire's IPC plugins under Wayfire, through KWin's scripting
under KDE Plasma, and under GNOME through a GNOME Shell extension of its
own, which this package carries. winlist
prints the class name and title of every top-level window, exactly the
texts vitrel matches against.")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The summary comes first on its own; this is the long description after it.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS bash-completion)
  # dpkg-shlibdeps reads the libraries the programs link, libxcb among them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The .rpm: rpmbuild works out the libraries it needs by itself.
  set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
  set(CPACK_RPM_PACKAGE_SUMMARY "Make chosen top-level windows translucent, and list them")
  set(CPACK_RPM_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
  set(CPACK_RPM_PACKAGE_LICENSE ISC)
  set(CPACK_RPM_SPEC_MORE_DEFINE "%define packager ${CPACK_PACKAGE_CONTACT}")
  # Folders of the system, of the shells and of GNOME Shell, which those own.
  set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /usr/share/man /usr/share/man/man1 /usr/share/bash-completion
    /usr/share/bash-completion/completions /usr/share/zsh /usr/share/zsh/site-functions /usr/share/fish
    /usr/share/fish/vendor_completions.d /usr/share/gnome-shell /usr/share/gnome-shell/extensions)
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/CPackLayout.cmake)
  set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/CPackChecks.cmake)
endif()

include(CPack)
