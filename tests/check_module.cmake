# Checks what the built module shows a host: exactly the three entry points, and no library
# beyond the system's (on Windows, a 32-bit DLL; on Linux, the C library and the sanitizers'
# runtimes in those builds).
#   cmake -DMODULE=path -DOBJDUMP=objdump [-DWINDOWS=ON] -P check_module.cmake
set(expected About GetPluginDescription SavePrgmFile)

execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} -p ${MODULE} failed")
endif()

if(WINDOWS)
  if(NOT dump MATCHES "file format pei-i386")
    message(FATAL_ERROR "${MODULE} is not a 32-bit Windows DLL")
  endif()
  # The export names are the indented "[ n] Name" lines under "[Ordinal/Name Pointer] Table".
  string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
  string(SUBSTRING "${dump}" ${start} -1 table)
  string(REGEX REPLACE "\n\n.*" "" table "${table}")
  string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" names "${table}")
  list(TRANSFORM names REPLACE "^\\[ *[0-9]+\\] " "")
  string(REGEX MATCHALL "DLL Name: [^\n]+" needed "${dump}")
  list(TRANSFORM needed REPLACE "^DLL Name: " "")
  list(TRANSFORM needed TOUPPER)
  list(REMOVE_ITEM needed KERNEL32.DLL USER32.DLL MSVCRT.DLL)
else()
  execute_process(COMMAND ${NM} -D --defined-only ${MODULE} OUTPUT_VARIABLE symbols
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${NM} -D --defined-only ${MODULE} failed")
  endif()
  string(REGEX MATCHALL "[0-9a-f]+ [A-Za-z] [^\n]+" names "${symbols}")
  list(TRANSFORM names REPLACE "^[0-9a-f]+ [A-Za-z] " "")
  string(REGEX MATCHALL "NEEDED +[^\n]+" needed "${dump}")
  list(TRANSFORM needed REPLACE "^NEEDED +" "")
  list(FILTER needed EXCLUDE REGEX "^(libc\\.so|lib[at]san\\.so|libubsan\\.so)")
endif()
if(needed)
  message(FATAL_ERROR "${MODULE} needs libraries a host may not have or may clash with: ${needed}")
endif()

list(SORT names)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "${MODULE} exports [${names}], not exactly [${expected}]")
endif()
message(STATUS "${MODULE} exports exactly: ${names}")
