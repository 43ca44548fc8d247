# fwup_windows_resources(TARGET DESCRIPTION): gives a Windows program its application manifest
# (cmake/windows/program.manifest.in) and its VERSIONINFO, both from project(VERSION), so that
# every .exe carries the same version as `fwupgrade --version` and the packages.
include_guard(GLOBAL)

function(fwup_windows_resources target description)
  set(templates ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/windows)
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  set(FWUP_RES_NAME ${name})
  set(FWUP_RES_FILE_NAME ${name}.exe)
  set(FWUP_RES_DESCRIPTION "${description}")
  # Windows wants four numbers; the project's version has three.
  set(FWUP_RES_VERSION_QUAD ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
  set(FWUP_RES_VERSION_COMMAS ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources)
  set(FWUP_RES_MANIFEST ${dir}/${name}.exe.manifest)
  configure_file(${templates}/program.manifest.in ${FWUP_RES_MANIFEST} @ONLY)
  configure_file(${templates}/program_resources.rc.in ${dir}/program_resources.rc @ONLY)
  # The manifest is read by the resource compiler, not listed among the sources.
  set_source_files_properties(${dir}/program_resources.rc PROPERTIES OBJECT_DEPENDS ${FWUP_RES_MANIFEST})
  target_sources(${target} PRIVATE ${dir}/program_resources.rc)
endfunction()
