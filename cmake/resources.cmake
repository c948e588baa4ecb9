# Windows resources of the deliverables, compiled by windres.

# kelvo_add_resources(TARGET RC_FILE): links RC_FILE into TARGET. The resource compiler finds
# files named in it beside it, in the build folder of its directory (generated files) and in
# cmake/ (the shared version resource); the version numbers come from the project.
function(kelvo_add_resources target rc_file)
  target_sources(${target} PRIVATE ${rc_file})
  set_property(SOURCE ${rc_file} APPEND PROPERTY INCLUDE_DIRECTORIES
    ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR} ${PROJECT_SOURCE_DIR}/cmake)
  set_property(SOURCE ${rc_file} APPEND PROPERTY COMPILE_DEFINITIONS
    KELVO_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    KELVO_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    KELVO_VERSION_PATCH=${PROJECT_VERSION_PATCH})
  set_property(SOURCE ${rc_file} APPEND PROPERTY OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/version_info.rc ${ARGN})
endfunction()
