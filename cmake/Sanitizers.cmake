# Builds checked at run time: QUARROW_SANITIZE compiles and links everything
# with AddressSanitizer (and LeakSanitizer) and UndefinedBehaviorSanitizer;
# QUARROW_FUZZ adds the libFuzzer targets of tests/fuzz and needs clang.
# Any report ends the process: undefined behaviour is not merely printed.
option(QUARROW_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(QUARROW_FUZZ "Build the libFuzzer targets in tests/fuzz (clang; implies QUARROW_SANITIZE)" OFF)

if(QUARROW_FUZZ AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "QUARROW_FUZZ needs clang for libFuzzer: "
                      "configure with -DCMAKE_CXX_COMPILER=clang++")
endif()

if(QUARROW_SANITIZE OR QUARROW_FUZZ)
  set(QUARROW_SANITIZER_FLAGS
      -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${QUARROW_SANITIZER_FLAGS})
  add_link_options(${QUARROW_SANITIZER_FLAGS})
  # Bounds checks in the standard library too: an index past the end that
  # stays inside a container's capacity is invisible to AddressSanitizer.
  add_compile_definitions(_GLIBCXX_ASSERTIONS)
endif()
