# One place for the flags every target of this project is built with.
option(WARNINGS_AS_ERRORS "Treat compiler warnings as errors" OFF)

add_library(project_settings INTERFACE)
target_compile_features(project_settings INTERFACE cxx_std_17)

if(MSVC)
  target_compile_options(project_settings INTERFACE /W4 /EHs-c- /GR-
    $<$<BOOL:${WARNINGS_AS_ERRORS}>:/WX>)
  target_compile_definitions(project_settings INTERFACE _HAS_EXCEPTIONS=0)
else()
  target_compile_options(project_settings INTERFACE -Wall -Wextra -fno-exceptions -fno-rtti
    $<$<BOOL:${WARNINGS_AS_ERRORS}>:-Werror>)
endif()

if(WIN32)
  # The tools speak the narrow "A" window functions; keep <windows.h> lean.
  target_compile_definitions(project_settings INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX)
endif()

option(SANITIZE "Build with the address and undefined-behaviour sanitizers" OFF)
if(SANITIZE)
  target_compile_options(project_settings INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(project_settings INTERFACE -fsanitize=address,undefined)
endif()
