# CMake functions for authors of Velmont export plug-ins, installed with rawout.
#
#   rawout_add_plugin(TARGET SOURCE...)
#     A loadable module named as the platform names plug-ins (myformat.so, myformat.dll: no
#     "lib"), built with hidden visibility and exporting exactly SavePrgmFile,
#     GetPluginDescription and About (the export list of each linker: rawout-plugin.map, a
#     version script, on ELF systems, rawout-plugin.def on Windows, rawout-plugin.exp on macOS),
#     linked to rawout::boundary, the header; with mingw-w64, its runtime linked in (-static).
#
#   rawout_add_plugin_check(TARGET [EXPECT identity] [REFERENCE command] [ONLY names...]
#                           [SKIP names...] [TIMEOUT seconds] [ABOUT] [STRICT]
#                           [SEED n|random] [REPEAT rounds] [MAX_SIZE size] [ARGS extra...])
#     A test, for ctest, that runs `exporthost check` on the module and writes JUnit XML to
#     TARGET-check.xml in the build folder. EXPECT identity: each file holds its block byte for
#     byte; REFERENCE: each file holds what the command (run through sh -c, or cmd /c on
#     Windows) writes from the block on its standard input; with neither, the content check is
#     skipped. In a cross build the command is the build machine's: tests TARGET.blocks and
#     TARGET.reference write the blocks and run it on them before the check reads the result.
#     ONLY and SKIP choose checks by name (a name the installed exporthost does not know stops
#     the configure step), TIMEOUT gives each check that long (seconds, above 0), ABOUT
#     adds the about check (it shows a box), STRICT fails the test for a skipped check (one a
#     missing declaration skips, say), SEED, REPEAT and MAX_SIZE add rounds of random blocks to
#     the content and reproducible checks (--seed, --repeat, --max-size; pin the seed for a test
#     that gives the same verdict every time), and ARGS go to exporthost as they are. A cross
#     build runs the checker through CMAKE_CROSSCOMPILING_EMULATOR (wine, for Windows).

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
    # mingw-w64's runtime DLLs (libstdc++, libgcc, winpthread) are no part of Windows: linked in,
    # the module needs no DLL a host's machine lacks.
    if(MINGW)
      target_link_options(${target} PRIVATE -static)
    endif()
  elseif(APPLE)
    target_link_options(${target} PRIVATE
      "LINKER:-exported_symbols_list,${_rawout_plugin_dir}/rawout-plugin.exp")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS
      ${_rawout_plugin_dir}/rawout-plugin.exp)
  else()
    target_link_options(${target} PRIVATE
      "LINKER:--version-script=${_rawout_plugin_dir}/rawout-plugin.map")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS
      ${_rawout_plugin_dir}/rawout-plugin.map)
  endif()
endfunction()

# Refuses a check name that the installed exporthost does not know, as its --list names them. An
# exporthost being built alongside, or one that runs only under an emulator, is not asked: the
# check itself then refuses the name when it runs.
function(_rawout_check_names_known target given)
  string(REPLACE "," ";" given "${given}")
  list(REMOVE_ITEM given "")
  get_target_property(imported rawout::exporthost IMPORTED)
  if(NOT given OR NOT imported OR CMAKE_CROSSCOMPILING)
    return()
  endif()
  get_target_property(program rawout::exporthost LOCATION)
  execute_process(COMMAND "${program}" check --list OUTPUT_VARIABLE listing RESULT_VARIABLE failed
    ERROR_QUIET)
  if(failed)
    return()
  endif()
  # A line that starts with a name; a promise's further lines start with spaces.
  string(REGEX MATCHALL "(^|\n)[a-z][a-z0-9-]*" known "${listing}")
  list(TRANSFORM known STRIP)
  foreach(name IN LISTS given)
    if(NOT name IN_LIST known)
      list(JOIN known ", " names)
      message(FATAL_ERROR "rawout_add_plugin_check(${target}): no check is called \"${name}\"; "
        "the checks are ${names}")
    endif()
  endforeach()
endfunction()

function(rawout_add_plugin_check target)
  cmake_parse_arguments(PARSE_ARGV 1 check "ABOUT;STRICT"
    "EXPECT;REFERENCE;TIMEOUT;SEED;REPEAT;MAX_SIZE" "ONLY;SKIP;ARGS")
  # An unquoted command is several words, the first taken and the rest left over.
  set(keywords ABOUT STRICT EXPECT REFERENCE TIMEOUT SEED REPEAT MAX_SIZE ONLY SKIP ARGS)
  list(FIND ARGN REFERENCE at)
  if(at GREATER -1 AND check_UNPARSED_ARGUMENTS)
    math(EXPR at "${at} + 1")
    list(SUBLIST ARGN ${at} -1 words)
    set(command)
    foreach(word IN LISTS words)
      if(word IN_LIST keywords)
        break()
      endif()
      list(APPEND command "${word}")
    endforeach()
    list(LENGTH command count)
    if(count GREATER 1)
      list(JOIN command " " command)
      message(FATAL_ERROR "rawout_add_plugin_check(${target}): REFERENCE takes the command as "
        "one word: quote the command, as in REFERENCE \"${command}\"")
    endif()
  endif()
  if(DEFINED check_TIMEOUT AND NOT check_TIMEOUT MATCHES "^([0-9]+\\.?[0-9]*|\\.[0-9]+)$"
     OR check_TIMEOUT MATCHES "^[0.]+$")
    message(FATAL_ERROR "rawout_add_plugin_check(${target}): TIMEOUT takes seconds, a number "
      "above 0, not \"${check_TIMEOUT}\"")
  endif()
  foreach(word SEED REPEAT MAX_SIZE)
    set(form_SEED "^([0-9]+|random)$")
    set(form_REPEAT "^0*[1-9][0-9]*$")
    set(form_MAX_SIZE "^0*[1-9][0-9]*(K|KiB|k|M|MiB|G|GiB)?$")
    set(takes_SEED "a whole number or random")
    set(takes_REPEAT "rounds, a whole number above 0")
    set(takes_MAX_SIZE "bytes, a whole number above 0 with K, M or G after it or none")
    if(DEFINED check_${word} AND NOT check_${word} MATCHES "${form_${word}}")
      message(FATAL_ERROR "rawout_add_plugin_check(${target}): ${word} takes ${takes_${word}}, "
        "not \"${check_${word}}\"")
    endif()
  endforeach()
  _rawout_check_names_known(${target} "${check_ONLY};${check_SKIP}")
  if(check_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "rawout_add_plugin_check(${target}): unknown words "
      "\"${check_UNPARSED_ARGUMENTS}\"; it takes EXPECT identity, REFERENCE command, ONLY names, "
      "SKIP names, TIMEOUT seconds, ABOUT, STRICT, SEED n, REPEAT rounds, MAX_SIZE size and "
      "ARGS extra...")
  endif()
  if(DEFINED check_EXPECT AND NOT check_EXPECT STREQUAL "identity")
    message(FATAL_ERROR "rawout_add_plugin_check(${target}): EXPECT takes identity, not "
      "\"${check_EXPECT}\"; a format of its own gives REFERENCE command")
  endif()
  if(DEFINED check_EXPECT AND DEFINED check_REFERENCE)
    message(FATAL_ERROR "rawout_add_plugin_check(${target}): give EXPECT or REFERENCE, not both")
  endif()
  set(command $<TARGET_FILE:rawout::exporthost>)
  if(CMAKE_CROSSCOMPILING)
    if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
      message(FATAL_ERROR "rawout_add_plugin_check(${target}): a cross build runs the checker "
        "through an emulator: set CMAKE_CROSSCOMPILING_EMULATOR (for Windows, to wine; the "
        "toolchain files in rawout's cmake folder set it when wine is found)")
    endif()
    set(command ${CMAKE_CROSSCOMPILING_EMULATOR} ${command})
  endif()
  set(options)
  if(DEFINED check_EXPECT)
    list(APPEND options --expect=${check_EXPECT})
  endif()
  # Under an emulator the reference command is the build machine's: the emulated exporthost
  # writes the blocks, the command runs on them here, and the check reads what it wrote.
  set(reference_dir)
  if(DEFINED check_REFERENCE AND CMAKE_CROSSCOMPILING)
    set(reference_dir ${CMAKE_CURRENT_BINARY_DIR}/${target}-reference)
    list(APPEND options --reference-dir=${reference_dir})
  elseif(DEFINED check_REFERENCE)
    list(APPEND options --reference=${check_REFERENCE})
  endif()
  if(check_ONLY)
    list(JOIN check_ONLY "," names)
    list(APPEND options --only=${names})
  endif()
  if(check_SKIP)
    list(JOIN check_SKIP "," names)
    list(APPEND options --skip=${names})
  endif()
  if(DEFINED check_TIMEOUT)
    list(APPEND options --timeout=${check_TIMEOUT})
  endif()
  if(check_ABOUT)
    list(APPEND options --about)
  endif()
  if(check_STRICT)
    list(APPEND options --strict)
  endif()
  set(random)
  foreach(word SEED REPEAT MAX_SIZE)
    if(DEFINED check_${word})
      string(TOLOWER ${word} option)
      string(REPLACE "_" "-" option ${option})
      list(APPEND random --${option}=${check_${word}})
    endif()
  endforeach()
  list(APPEND options ${random})
  add_test(NAME ${target}.check
    COMMAND ${command} check --plugin $<TARGET_FILE:${target}> ${options} ${check_ARGS}
            --junit=${CMAKE_CURRENT_BINARY_DIR}/${target}-check.xml)
  set(emulated ${target}.check)
  if(reference_dir)
    add_test(NAME ${target}.blocks
      COMMAND ${command} check --write-blocks=${reference_dir} ${random})
    add_test(NAME ${target}.reference
      COMMAND ${CMAKE_COMMAND} -DDIR=${reference_dir} "-DREFERENCE=${check_REFERENCE}"
              -P ${_rawout_plugin_dir}/rawoutReference.cmake)
    set_tests_properties(${target}.blocks PROPERTIES FIXTURES_SETUP ${target}.blocks)
    set_tests_properties(${target}.reference PROPERTIES FIXTURES_REQUIRED ${target}.blocks
      FIXTURES_SETUP ${target}.reference)
    set_tests_properties(${target}.check PROPERTIES FIXTURES_REQUIRED ${target}.reference)
    list(APPEND emulated ${target}.blocks)
  endif()
  # Under wine: a prefix of the build's own (made by the first run) unless the configure step was
  # given one, and none of wine's own messages among the check's lines.
  list(GET command 0 emulator)
  if(CMAKE_CROSSCOMPILING AND emulator MATCHES "wine[^/]*$")
    set(prefix ${CMAKE_BINARY_DIR}/wineprefix)
    if(DEFINED ENV{WINEPREFIX})
      set(prefix $ENV{WINEPREFIX})
    endif()
    set_tests_properties(${emulated} PROPERTIES ENVIRONMENT "WINEPREFIX=${prefix};WINEDEBUG=-all")
  endif()
endfunction()
