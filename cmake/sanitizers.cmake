# Sanitizer builds: AddressSanitizer and UndefinedBehaviorSanitizer over every target, Squirrel
# included, with every report fatal. Under clang the code also carries libFuzzer's coverage
# instrumentation, so the same build serves the fuzz target.
option(TALVIK_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(TALVIK_SANITIZE)
  # float-cast-overflow is not part of -fsanitize=undefined: a float out of an integer's range
  # converted to it is one of the faults a host's odd values could cause.
  set(TALVIK_SANITIZER_FLAGS
      -fsanitize=address,undefined,float-cast-overflow
      -fno-sanitize-recover=all
      -fno-omit-frame-pointer)
  add_compile_options(${TALVIK_SANITIZER_FLAGS})
  add_link_options(-fsanitize=address,undefined,float-cast-overflow)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # Edge coverage only: tracing every comparison cost the export fuzzer a third of its time
    # (every frame compares signal names word by word), and its inputs reach the values that
    # matter through tables of their own, the script fuzzer's through a dictionary.
    add_compile_options(-fsanitize=fuzzer-no-link -fno-sanitize-coverage=trace-cmp)
  endif()
endif()
