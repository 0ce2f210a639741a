# Run by cpack before it packs each package: Fedora's and openSUSE's zsh look
# for completions in site-functions, which Debian's does not.
if(CPACK_GENERATOR STREQUAL "RPM")
  set(zsh ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/share/zsh)
  file(MAKE_DIRECTORY ${zsh}/site-functions)
  file(RENAME ${zsh}/vendor-completions/_vitrel ${zsh}/site-functions/_vitrel)
  file(REMOVE_RECURSE ${zsh}/vendor-completions)
endif()
