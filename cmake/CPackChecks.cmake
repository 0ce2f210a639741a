# Run by cpack after it packs. Without dpkg-shlibdeps (Debian: dpkg-dev),
# cpack only warns and makes a .deb with no Depends at all. cpack goes on past
# an error here, so the .deb is removed too: with nothing to copy, it fails.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(package MATCHES "[.]deb$")
    execute_process(COMMAND dpkg-deb --field ${package} Depends OUTPUT_VARIABLE depends
      OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(depends STREQUAL "")
      file(REMOVE ${package})
      message(FATAL_ERROR "The .deb lists no dependencies: dpkg-shlibdeps (Debian: dpkg-dev) is needed")
    endif()
  endif()
endforeach()
