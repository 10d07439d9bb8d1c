# Runs a plug-in check's reference command on the build machine, for a check that runs under an
# emulator: on each DIR/NAME.block, as exporthost check --write-blocks wrote them, through sh -c,
# with NAME in RAWOUT_BASE_NAME, writing DIR/NAME.expected for exporthost check --reference-dir.
#   cmake -DDIR=folder -DREFERENCE=command -P rawoutReference.cmake
if(NOT DEFINED DIR OR NOT DEFINED REFERENCE)
  message(FATAL_ERROR "rawoutReference.cmake: give -DDIR=folder and -DREFERENCE=command")
endif()
file(GLOB blocks "${DIR}/*.block")
if(NOT blocks)
  message(FATAL_ERROR "rawoutReference.cmake: no blocks in ${DIR}; exporthost check "
    "--write-blocks writes them")
endif()
foreach(block IN LISTS blocks)
  get_filename_component(name "${block}" NAME_WE)
  set(ENV{RAWOUT_BASE_NAME} "${name}")
  execute_process(COMMAND sh -c "${REFERENCE}" INPUT_FILE "${block}"
    OUTPUT_FILE "${DIR}/${name}.expected" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "the reference command \"${REFERENCE}\" failed (${failed}) on ${block}; it "
      "must write the expected file from the block on its standard input")
  endif()
endforeach()
