cmake_minimum_required(VERSION 3.25)
# Makes rawout-plugin(7) from its template and the contract in the boundary header, so that the
# contract is written once, in the header, and the page cannot drift from it.
#   cmake -DHEADER=export_plugin.h -DTEMPLATE=rawout-plugin.7.in -DVERSION=1.1.0 -DOUTPUT=...
#         -P contract_manual.cmake
# The header's contract comment is read as blocks parted by blank lines: a block that starts with
# a declaration becomes a subsection named after the function, "In all three:" the subsection
# on what every call leaves alone, and "rawout's own format:" the last one. `name` is set in
# italics, as the page's arguments are. The date is SOURCE_DATE_EPOCH's, as the build sets it.
file(READ ${HEADER} header)
string(FIND "${header}" " * The contract every export plug-in owes" start)
string(FIND "${header}" " */" end)
if(start LESS 0 OR end LESS start)
  message(FATAL_ERROR "${HEADER}: no contract comment to make rawout-plugin(7) from")
endif()
math(EXPR length "${end} - ${start}")
string(SUBSTRING "${header}" ${start} ${length} comment)
string(REGEX REPLACE "\n \\*  ?" "\n" comment "\n${comment}")
string(REGEX REPLACE "\n \\*\n" "\n\n" comment "${comment}")
# Roff: backslashes escaped first, then `name` in italics.
string(REPLACE "\\" "\\e" comment "${comment}")
string(REGEX REPLACE "`([^`]+)`" "\\\\fI\\1\\\\fR" comment "${comment}")
# Blocks as a CMake list: the text's own semicolons stand aside meanwhile.
string(REPLACE ";" "@SEMICOLON@" comment "${comment}")
string(REPLACE "\n\n" ";" blocks "${comment}")

set(contract "")
foreach(block IN LISTS blocks)
  string(STRIP "${block}" block)
  if(block MATCHES "^The contract every export plug-in owes")
    continue()
  endif()
  if(block MATCHES "^[a-z][a-z* ]* \\**([A-Za-z]+)\\([^\n]*\\)\n(.*)$")
    set(heading ${CMAKE_MATCH_1})
    set(text "${CMAKE_MATCH_2}")
  elseif(block MATCHES "^In all three: (.*)$")
    set(heading "What every call leaves alone")
    set(text "${CMAKE_MATCH_1}")
  elseif(block MATCHES "^rawout's own format: (.*)$")
    set(heading "rawout's own format")
    set(text "${CMAKE_MATCH_1}")
  else()
    message(FATAL_ERROR "${HEADER}: a contract paragraph rawout-plugin(7) cannot place: ${block}")
  endif()
  string(REGEX REPLACE "[ \n]+" " " text "${text}")
  string(STRIP "${text}" text)
  # A sentence starts with a capital in the page as in the header.
  string(SUBSTRING "${text}" 0 1 first)
  string(TOUPPER "${first}" first)
  string(SUBSTRING "${text}" 1 -1 rest)
  # A line may not start with a roff control character.
  string(APPEND contract ".SS ${heading}\n\\&${first}${rest}\n")
endforeach()

string(REPLACE "@SEMICOLON@" ";" contract "${contract}")
string(TIMESTAMP DATE "%Y-%m-%d" UTC)
file(READ ${TEMPLATE} page)
string(REPLACE "@CONTRACT@\n" "${contract}" page "${page}")
string(REPLACE "@VERSION@" "${VERSION}" page "${page}")
string(REPLACE "@DATE@" "${DATE}" page "${page}")
file(WRITE ${OUTPUT} "${page}")
