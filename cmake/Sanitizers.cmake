# Sanitizer builds of our own targets: TARNVIEW_SANITIZE=address runs
# AddressSanitizer with UndefinedBehaviorSanitizer, =thread runs ThreadSanitizer.
# The two cannot share one binary, hence one build folder each (CMakePresets.json).
set(TARNVIEW_SANITIZE "" CACHE STRING "Sanitizer build: address (ASan + UBSan), thread (TSan) or empty")
set_property(CACHE TARNVIEW_SANITIZE PROPERTY STRINGS "" address thread)

add_library(tarnview_sanitizers INTERFACE)
if(TARNVIEW_SANITIZE STREQUAL "address")
  # Any undefined behaviour fails the test that hit it, instead of a line in its output.
  set(tarnview_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all)
elseif(TARNVIEW_SANITIZE STREQUAL "thread")
  set(tarnview_sanitize_flags -fsanitize=thread)
elseif(NOT TARNVIEW_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TARNVIEW_SANITIZE is '${TARNVIEW_SANITIZE}': use address, thread or leave it empty")
endif()
if(tarnview_sanitize_flags)
  # Frame pointers give whole stacks in the reports at a small cost.
  target_compile_options(tarnview_sanitizers INTERFACE ${tarnview_sanitize_flags} -fno-omit-frame-pointer)
  target_link_options(tarnview_sanitizers INTERFACE ${tarnview_sanitize_flags})
endif()
