# What a build records of its source, taken from the source alone so that two builds of one commit
# are the same file for file, wherever and whenever they run:
#   RAWOUT_SOURCE_DATE_EPOCH  the time every package and page carries: SOURCE_DATE_EPOCH when the
#                             builder sets it, else the commit's time, else (a tree that is no git
#                             clone) the time of the newest entry in cmake/debian/changelog
#   RAWOUT_COMMIT             the commit built, or empty where there is none
#   RAWOUT_SOURCE_DATE_FROM   which of those the time came from, for the configure log

# Seconds since 1970 of a changelog trailer's date ("Tue, 08 Dec 2026 12:00:00 +0000").
function(rawout_changelog_epoch changelog result)
  file(STRINGS ${changelog} trailer REGEX "^ -- .*>  " LIMIT_COUNT 1)
  set(date_form "^ -- .*>  [A-Za-z]+, ([0-9]+) ([A-Za-z]+) ([0-9]+) ([0-9]+):([0-9]+):([0-9]+) ([-+])([0-9][0-9])([0-9][0-9])$")
  if(NOT trailer MATCHES "${date_form}")
    message(FATAL_ERROR "${changelog}: no dated trailer line to take the build's time from")
  endif()
  set(day ${CMAKE_MATCH_1})
  set(month_name ${CMAKE_MATCH_2})
  set(year ${CMAKE_MATCH_3})
  math(EXPR seconds_of_day "${CMAKE_MATCH_4} * 3600 + ${CMAKE_MATCH_5} * 60 + ${CMAKE_MATCH_6}")
  math(EXPR offset "${CMAKE_MATCH_7}(${CMAKE_MATCH_8} * 3600 + ${CMAKE_MATCH_9} * 60)")
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(FIND months ${month_name} month)
  math(EXPR month "${month} + 1")
  # Days from civil (Howard Hinnant's algorithm), with March as the first month of the year.
  if(month LESS_EQUAL 2)
    math(EXPR year "${year} - 1")
  endif()
  math(EXPR era "${year} / 400")
  math(EXPR year_of_era "${year} - ${era} * 400")
  math(EXPR shifted_month "(${month} + 9) % 12")
  math(EXPR day_of_year "(153 * ${shifted_month} + 2) / 5 + ${day} - 1")
  math(EXPR day_of_era "${year_of_era} * 365 + ${year_of_era} / 4 - ${year_of_era} / 100 + ${day_of_year}")
  math(EXPR days "${era} * 146097 + ${day_of_era} - 719468")
  math(EXPR epoch "${days} * 86400 + ${seconds_of_day} - (${offset})")
  set(${result} ${epoch} PARENT_SCOPE)
endfunction()

set(RAWOUT_COMMIT "")
find_package(Git QUIET)
if(Git_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} log -1 --format=%H%n%ct
    OUTPUT_VARIABLE rawout_head RESULT_VARIABLE rawout_git_status ERROR_QUIET
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(rawout_git_status EQUAL 0 AND rawout_head MATCHES "^([0-9a-f]+)\n([0-9]+)$")
    set(RAWOUT_COMMIT ${CMAKE_MATCH_1})
    set(rawout_commit_time ${CMAKE_MATCH_2})
    # A new commit or checkout configures again, so the commit recorded stays the one built.
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} rev-parse --absolute-git-dir
      OUTPUT_VARIABLE rawout_git_dir OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    foreach(moved logs/HEAD HEAD)
      if(EXISTS ${rawout_git_dir}/${moved})
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${rawout_git_dir}/${moved})
        break()
      endif()
    endforeach()
  endif()
endif()

if(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  if(NOT "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH is '$ENV{SOURCE_DATE_EPOCH}': it must be seconds since 1970")
  endif()
  set(RAWOUT_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
  set(RAWOUT_SOURCE_DATE_FROM "SOURCE_DATE_EPOCH")
elseif(RAWOUT_COMMIT)
  set(RAWOUT_SOURCE_DATE_EPOCH ${rawout_commit_time})
  set(RAWOUT_SOURCE_DATE_FROM "commit ${RAWOUT_COMMIT}")
else()
  rawout_changelog_epoch(${PROJECT_SOURCE_DIR}/cmake/debian/changelog RAWOUT_SOURCE_DATE_EPOCH)
  set(RAWOUT_SOURCE_DATE_FROM "cmake/debian/changelog (no git clone)")
endif()
message(STATUS "Build time recorded: ${RAWOUT_SOURCE_DATE_EPOCH}, from ${RAWOUT_SOURCE_DATE_FROM}")
