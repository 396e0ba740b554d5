# The Windows programs' version: every .exe and .dll carries a version
# resource made from the project's version (PROJECT_VERSION, such as 1.01:
# file version 1.1.0.0, shown as "1.01"), and the release build strips the
# symbols from what it links.
math(EXPR ZORP_VERSION_MAJOR "${PROJECT_VERSION_MAJOR}")
math(EXPR ZORP_VERSION_MINOR "${PROJECT_VERSION_MINOR}")
set(ZORP_VERSION_COMMAS "${ZORP_VERSION_MAJOR},${ZORP_VERSION_MINOR},0,0")
set(ZORP_VERSION_QUAD "${ZORP_VERSION_MAJOR}.${ZORP_VERSION_MINOR}.0.0")

add_link_options($<$<CONFIG:Release>:-s>)

# zorp_add_version_resource(TARGET FILE_NAME DESCRIPTION): the version
# resource of TARGET, whose file is FILE_NAME, described as DESCRIPTION.
function(zorp_add_version_resource target file_name description)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(ZORP_FILE_TYPE VFT_APP)
  else()
    set(ZORP_FILE_TYPE VFT_DLL)
  endif()
  set(ZORP_FILE_NAME "${file_name}")
  set(ZORP_FILE_DESCRIPTION "${description}")
  configure_file(${CMAKE_SOURCE_DIR}/platform/win32/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
endfunction()
