cmake_minimum_required(VERSION 3.25)
# Makes rawout-plugin(7) from its template and the contract in the boundary header, so that the
# contract is written once, in the header, and the page cannot drift from it.
#   cmake -DHEADER=export_plugin.h -DTEMPLATE=rawout-plugin.7.in -DVERSION=1.1.0 -DOUTPUT=...
#         -P contract_manual.cmake
# The contract is the comment headed "Every entry point" and the comment that ends just before
# each of the three declarations: a paragraph, then "  NAME: ..." for each parameter and
# "  Returns ..." for the result, each going on in lines indented further. Each becomes a
# subsection; `name` is set in italics, as the page's arguments are. A comment laid out otherwise
# stops the build. The date is SOURCE_DATE_EPOCH's, as the build sets it.
file(READ ${HEADER} header)
# The text's own semicolons stand aside while lines are CMake lists.
string(REPLACE ";" "@SEMICOLON@" header "${header}")

# Roff for a piece of the header's text: backslashes escaped first, then `name` in italics.
function(roff_text text out)
  string(REGEX REPLACE "[ \n]+" " " text "${text}")
  string(STRIP "${text}" text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "`([^`]+)`" "\\\\fI\\1\\\\fR" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The lines of the comment that runs from `start` (its "/*") to its "*/", without the comment
# marks; `end` receives where the comment ends.
function(comment_lines start out end_out)
  string(SUBSTRING "${header}" ${start} -1 rest)
  string(FIND "${rest}" "*/" length)
  if(length LESS 0)
    message(FATAL_ERROR "${HEADER}: a contract comment that does not end")
  endif()
  math(EXPR end "${start} + ${length} + 2")
  math(EXPR length "${length} - 2")
  string(SUBSTRING "${rest}" 2 ${length} comment)
  string(REGEX REPLACE "\n \\* ?" "\n" comment "${comment}")
  string(REGEX REPLACE "^ " "" comment "${comment}")
  string(REGEX REPLACE "[ \n]+$" "" comment "${comment}")
  string(REPLACE "\n" ";" lines "${comment}")
  set(${out} "${lines}" PARENT_SCOPE)
  set(${end_out} ${end} PARENT_SCOPE)
endfunction()

# A subsection headed `heading` from comment lines: the paragraph, then a tagged paragraph for
# each parameter and the result.
function(contract_section heading lines out)
  set(paragraph "")
  set(items "")
  set(item "")
  foreach(line IN LISTS lines)
    # One MATCHES a condition: a second one would clear what the first matched.
    if(line MATCHES "^  ([A-Za-z]+): (.*)$")
      list(APPEND items "${item}")
      set(item "${CMAKE_MATCH_1}@TAG@${CMAKE_MATCH_2}")
    elseif(line MATCHES "^  Returns (.*)$")
      list(APPEND items "${item}")
      set(item "Returns@TAG@${CMAKE_MATCH_1}")
    elseif(line MATCHES "^    (.*)$" AND NOT item STREQUAL "")
      string(APPEND item " ${CMAKE_MATCH_1}")
    elseif(NOT line MATCHES "^ " AND item STREQUAL "")
      string(APPEND paragraph " ${line}")
    else()
      message(FATAL_ERROR "${HEADER}: a line of the contract on ${heading} that "
                          "rawout-plugin(7) cannot place: '${line}'")
    endif()
  endforeach()
  list(APPEND items "${item}")
  roff_text("${paragraph}" text)
  # No line may start with a roff control character.
  set(section ".SS ${heading}\n\\&${text}\n")
  foreach(each IN LISTS items)
    if(each STREQUAL "")
      continue()
    endif()
    string(REPLACE "@TAG@" ";" parts "${each}")
    list(GET parts 0 tag)
    list(GET parts 1 body)
    roff_text("${body}" body)
    # A parameter's sentence starts with a capital in the page.
    string(SUBSTRING "${body}" 0 1 first)
    string(TOUPPER "${first}" first)
    string(SUBSTRING "${body}" 1 -1 rest)
    set(body "${first}${rest}")
    if(tag STREQUAL "Returns")
      string(APPEND section ".PP\n\\fBReturns\\fR ${body}\n")
    else()
      string(APPEND section ".TP\n.I ${tag}\n\\&${body}\n")
    endif()
  endforeach()
  set(${out} "${section}" PARENT_SCOPE)
endfunction()

set(contract "")
string(FIND "${header}" "/* Every entry point:" start)
if(start LESS 0)
  message(FATAL_ERROR "${HEADER}: no comment headed \"Every entry point\" for rawout-plugin(7)")
endif()
comment_lines(${start} lines end)
list(POP_FRONT lines)
set(every "")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^  [^ ]")
    message(FATAL_ERROR "${HEADER}: a line of \"Every entry point\" that rawout-plugin(7) "
                        "cannot place: '${line}'")
  endif()
  string(APPEND every " ${line}")
endforeach()
roff_text("${every}" every)

foreach(function SavePrgmFile GetPluginDescription About)
  string(REGEX MATCH "\nRAWOUT_EXPORT [^\n(]* RAWOUT_CALL ${function}\\(" declaration "${header}")
  string(FIND "${header}" "${declaration}" at)
  if(declaration STREQUAL "" OR at LESS 0)
    message(FATAL_ERROR "${HEADER}: no declaration of ${function} for rawout-plugin(7)")
  endif()
  string(SUBSTRING "${header}" 0 ${at} before)
  string(FIND "${before}" "/*" start REVERSE)
  comment_lines(${start} lines end)
  math(EXPR between "${at} - ${end}")
  string(SUBSTRING "${header}" ${end} ${between} gap)
  if(start LESS 0 OR NOT gap MATCHES "^[ \n]*$")
    message(FATAL_ERROR "${HEADER}: the contract comment on ${function} must end just before "
                        "its declaration")
  endif()
  contract_section(${function} "${lines}" section)
  string(APPEND contract "${section}")
endforeach()
string(APPEND contract ".SS What every entry point promises\n\\&${every}\n")

string(REPLACE "@SEMICOLON@" ";" contract "${contract}")
string(TIMESTAMP DATE "%Y-%m-%d" UTC)
file(READ ${TEMPLATE} page)
string(REPLACE "@CONTRACT@\n" "${contract}" page "${page}")
string(REPLACE "@VERSION@" "${VERSION}" page "${page}")
string(REPLACE "@DATE@" "${DATE}" page "${page}")
file(WRITE ${OUTPUT} "${page}")
