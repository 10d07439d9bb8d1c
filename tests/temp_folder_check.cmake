# The suite leaves the temporary folder as it found it: every scratch folder exporthost or a test
# makes there is named exporthost-*, and none may be left once the last test has run.
#   cmake -DMODE=list|compare -DLIST=file -P temp_folder_check.cmake
if(DEFINED ENV{TMPDIR} AND NOT "$ENV{TMPDIR}" STREQUAL "")
  set(folder "$ENV{TMPDIR}")
else()
  set(folder /tmp)
endif()
file(GLOB now LIST_DIRECTORIES true RELATIVE "${folder}" "${folder}/exporthost-*")
if(MODE STREQUAL "list")
  file(WRITE "${LIST}" "${now}")
  return()
endif()
file(READ "${LIST}" before)
# A test outside the fixture (a plug-in's own check) may still be running: what it made goes
# when it ends. What is still there after half a minute was left behind.
foreach(second RANGE 30)
  file(GLOB now LIST_DIRECTORIES true RELATIVE "${folder}" "${folder}/exporthost-*")
  list(REMOVE_ITEM now ${before})
  if(NOT now)
    break()
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 1)
endforeach()
if(now)
  message(FATAL_ERROR "the tests left in ${folder}: ${now}")
endif()
message(STATUS "${folder} holds no scratch folder the tests made")
