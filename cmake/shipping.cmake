# How the Windows programs are built for shipping: byte for byte the same from build to build,
# and without their symbols (about half of the plug-in's size). The symbols, with function names
# and line numbers, stay beside each program in the build tree as <file>.debug, which the
# stripped file names, for reading crash addresses (README.md says how).
if(WIN32)
  # Line tables and function names only; the generated code is the same without them.
  add_compile_options(-g1)
  # The symbols name source files as /talvik/...: the same bytes from any checkout.
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=/talvik)
  # No link time in the file header: the same sources give the same bytes.
  add_link_options(-Wl,--no-insert-timestamp)
endif()

function(talvik_symbols_apart target)
  if(NOT WIN32)
    return()
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} -p --only-keep-debug $<TARGET_FILE:${target}>
            $<TARGET_FILE:${target}>.debug
    # -p keeps the header's link time (none) instead of writing the time of stripping.
    COMMAND ${CMAKE_OBJCOPY} -p --strip-all --add-gnu-debuglink=$<TARGET_FILE:${target}>.debug
            $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
