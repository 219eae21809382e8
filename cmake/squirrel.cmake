# Squirrel 3.1 and its standard library, built from the patched tree that tools/setup.sh squirrel
# unpacks into .deps/squirrel3 (Debian's patches and cmake/squirrel-limits.patch). The embedding
# calls it; it is never edited here. Its memory comes from the script host's allocator
# (protection/script_memory.cpp), which holds the VM under a ceiling.

set(TALVIK_SQUIRREL_DIR "${PROJECT_SOURCE_DIR}/.deps/squirrel3" CACHE PATH
    "The patched Squirrel 3.1 source tree")

if(NOT EXISTS "${TALVIK_SQUIRREL_DIR}/.patched")
  message(FATAL_ERROR "Squirrel sources missing in ${TALVIK_SQUIRREL_DIR}: run tools/setup.sh squirrel")
endif()
# A tree unpacked before the carried patch changed lacks it: its marker names another checksum.
file(SHA256 "${PROJECT_SOURCE_DIR}/cmake/squirrel-limits.patch" talvik_limits_sha)
file(READ "${TALVIK_SQUIRREL_DIR}/.patched" talvik_patched)
string(FIND "${talvik_patched}" "squirrel-limits.patch ${talvik_limits_sha}" talvik_limits_at)
if(talvik_limits_at EQUAL -1)
  message(FATAL_ERROR "Squirrel in ${TALVIK_SQUIRREL_DIR} lacks the current squirrel-limits.patch: run tools/setup.sh squirrel")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  "${PROJECT_SOURCE_DIR}/cmake/squirrel-limits.patch" "${TALVIK_SQUIRREL_DIR}/.patched")

file(GLOB TALVIK_SQUIRREL_SOURCES CONFIGURE_DEPENDS
  "${TALVIK_SQUIRREL_DIR}/squirrel/*.cpp"
  "${TALVIK_SQUIRREL_DIR}/sqstdlib/*.cpp")

# talvik_add_squirrel(<name> [extra compile and link options...]) makes one static Squirrel
# library; the options let a sanitizer build instrument the VM together with its callers.
function(talvik_add_squirrel name)
  add_library(${name} STATIC ${TALVIK_SQUIRREL_SOURCES})
  # SYSTEM: its headers raise no warnings in our -Wall -Wextra build.
  target_include_directories(${name} SYSTEM PUBLIC "${TALVIK_SQUIRREL_DIR}/include")
  # The carried patch takes the script limits from protection/script_limits.h.
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}")
  # Upstream code, upstream warnings: not ours to fix.
  target_compile_options(${name} PRIVATE -w -fno-strict-aliasing ${ARGN})
  # sq_vm_malloc, sq_vm_realloc and sq_vm_free come from the script host.
  target_compile_definitions(${name} PRIVATE SQ_EXCLUDE_DEFAULT_MEMFUNCTIONS)
  target_link_options(${name} INTERFACE ${ARGN})
  # The integer width is part of the API: callers must agree with the library.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    target_compile_definitions(${name} PUBLIC _SQ64)
  endif()
  set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
endfunction()

talvik_add_squirrel(squirrel)
