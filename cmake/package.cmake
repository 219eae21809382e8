# The release package of a Windows build: a version resource in every shipped program, and the
# install rules from which cpack makes talvik-<version>-<width>.zip. The version is the project's.
if(NOT WIN32)
  return()
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(talvik_width win64)
  set(talvik_bits 64-bit)
else()
  set(talvik_width win32)
  set(talvik_bits 32-bit)
endif()

# Adds a version resource to `target`, shipped as `file_name` and described as `description`.
function(talvik_version_resource target file_name description)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(TALVIK_RC_FILETYPE VFT_DLL)
  else()
    set(TALVIK_RC_FILETYPE VFT_APP)
  endif()
  set(TALVIK_RC_NAME ${target})
  set(TALVIK_RC_FILE_NAME ${file_name})
  set(TALVIK_RC_DESCRIPTION "${description} (${talvik_bits})")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in
                 ${PROJECT_BINARY_DIR}/version/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${PROJECT_BINARY_DIR}/version/${target}.rc)
endfunction()

talvik_version_resource(talvik talvik.dll "talvik train-protection and cab-equipment plug-in")
install(FILES $<TARGET_FILE:talvik>
              ${PROJECT_SOURCE_DIR}/scripts/signal_pattern.nut
              ${PROJECT_SOURCE_DIR}/docs/authors-guide.md
        DESTINATION .)

set(tool_descriptions
  "talvik-dbgview=talvik diagnostic listener"
  "talvik-sim=talvik offline host and script checker")
foreach(entry IN LISTS tool_descriptions)
  string(REGEX REPLACE "=.*" "" tool "${entry}")
  string(REGEX REPLACE "^[^=]*=" "" description "${entry}")
  if(TARGET ${tool})
    talvik_version_resource(${tool} ${tool}.exe "${description}")
    install(PROGRAMS $<TARGET_FILE:${tool}> DESTINATION .)
  else()
    message(WARNING "${tool} is not in this tree: the package goes without ${tool}.exe")
  endif()
endforeach()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME talvik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME talvik-${PROJECT_VERSION}-${talvik_width})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
