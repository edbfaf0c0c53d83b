enable_language(RC)

# Embeds MANIFEST and a version resource with DESCRIPTION into the Windows
# executable TARGET.
function(orvanta_windows_resources target description manifest)
  get_target_property(internal_name ${target} OUTPUT_NAME)
  if(NOT internal_name)
    set(internal_name ${target})
  endif()
  set(file_name ${internal_name}.exe)
  # FILEVERSION has four numbers; the parts the project leaves out are 0.
  set(numeric_version ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH} ${PROJECT_VERSION_TWEAK})
  list(LENGTH numeric_version count)
  while(count LESS 4)
    list(APPEND numeric_version 0)
    math(EXPR count "${count} + 1")
  endwhile()
  string(REPLACE ";" "," numeric_version "${numeric_version}")
  get_filename_component(manifest_dir ${manifest} DIRECTORY)
  get_filename_component(manifest ${manifest} NAME)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${internal_name}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  # windres finds the manifest through the include path, so that no source
  # folder is written into the generated script.
  target_include_directories(${target} PRIVATE ${manifest_dir})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${manifest_dir}/${manifest})
endfunction()
