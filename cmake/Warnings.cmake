# Warnings on for our own targets; the build stays clean of them.
add_library(tarnview_warnings INTERFACE)
target_compile_options(tarnview_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wnull-dereference)
option(TARNVIEW_WERROR "Treat warnings as errors" ON)
if(TARNVIEW_WERROR)
  target_compile_options(tarnview_warnings INTERFACE -Werror)
endif()

# Our own helper: a library or executable of ours gets the warning set and, in a
# sanitizer build, the sanitizer (cmake/Sanitizers.cmake). UNSANITIZED keeps a
# separate helper program out of it; say why where it is used.
function(tarnview_target target)
  cmake_parse_arguments(ARG "UNSANITIZED" "" "" ${ARGN})
  target_link_libraries(${target} PRIVATE tarnview_warnings)
  if(NOT ARG_UNSANITIZED)
    target_link_libraries(${target} PRIVATE tarnview_sanitizers)
  endif()
endfunction()
