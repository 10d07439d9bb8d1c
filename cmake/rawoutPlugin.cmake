# CMake functions for authors of Velmont export plug-ins, installed with rawout.
#
#   rawout_add_plugin(TARGET SOURCE...)
#     A loadable module named as the platform names plug-ins (myformat.so, myformat.dll: no
#     "lib"), built with hidden visibility and exporting exactly SavePrgmFile,
#     GetPluginDescription and About (a version script on ELF systems, a module-definition file
#     on Windows), linked to rawout::boundary, the header.
#
#   rawout_add_plugin_check(TARGET)
#     A test, for ctest, that runs `exporthost check` on the module and writes JUnit XML to
#     TARGET-check.xml in the build folder.

set(_rawout_plugin_dir ${CMAKE_CURRENT_LIST_DIR})

function(rawout_add_plugin target)
  if(ARGC LESS 2)
    message(FATAL_ERROR "rawout_add_plugin(${target}): name at least one source file")
  endif()
  add_library(${target} MODULE ${ARGN})
  target_link_libraries(${target} PRIVATE rawout::boundary)
  target_compile_definitions(${target} PRIVATE RAWOUT_BUILDING_PLUGIN)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(WIN32)
    target_sources(${target} PRIVATE ${_rawout_plugin_dir}/rawout-plugin.def)
  elseif(APPLE)
    target_link_options(${target} PRIVATE
      "LINKER:-exported_symbol,_SavePrgmFile" "LINKER:-exported_symbol,_GetPluginDescription"
      "LINKER:-exported_symbol,_About")
  else()
    target_link_options(${target} PRIVATE
      "LINKER:--version-script=${_rawout_plugin_dir}/rawout-plugin.map")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS
      ${_rawout_plugin_dir}/rawout-plugin.map)
  endif()
endfunction()

function(rawout_add_plugin_check target)
  set(command $<TARGET_FILE:rawout::exporthost>)
  # A cross build runs the checker the way it runs its own tests, under wine for instance.
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    set(command ${CMAKE_CROSSCOMPILING_EMULATOR} ${command})
  endif()
  add_test(NAME ${target}.check
    COMMAND ${command} check --plugin $<TARGET_FILE:${target}>
            --junit=${CMAKE_CURRENT_BINARY_DIR}/${target}-check.xml)
endfunction()
