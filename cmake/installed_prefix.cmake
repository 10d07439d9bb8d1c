# Files that name the folders they are installed in are finished as they are installed, when the
# prefix is the one installed under (`cmake --install --prefix DIR` too, and CPack's), not the one
# configured. Included by the install script; the build writes such a file with
# @RAWOUT_INSTALLED_PREFIX@ where the prefix goes.
#   rawout_install_with_prefix(SOURCE DESTINATION [GZIP])   DESTINATION under the prefix
function(rawout_install_with_prefix source destination)
  set(prefix "${CMAKE_INSTALL_PREFIX}")
  if(DEFINED ENV{RAWOUT_NAMED_PREFIX})
    set(prefix "$ENV{RAWOUT_NAMED_PREFIX}")  # cpack's staging folder is no place to name
  endif()
  file(READ "${source}" text)
  string(REPLACE "@RAWOUT_INSTALLED_PREFIX@" "${prefix}" text "${text}")
  get_filename_component(name "${source}" NAME)
  # One staging folder a prefix: two installs side by side to two prefixes do not meet.
  string(MD5 key "${CMAKE_INSTALL_PREFIX}")
  set(staged "${RAWOUT_INSTALL_STAGING}/${key}/${name}")
  file(WRITE "${staged}" "${text}")
  if(ARGC GREATER 2 AND ARGV2 STREQUAL "GZIP")
    execute_process(COMMAND "${RAWOUT_GZIP}" -9nf "${staged}" COMMAND_ERROR_IS_FATAL ANY)
    string(APPEND staged .gz)
  endif()
  file(INSTALL "${staged}" DESTINATION "${CMAKE_INSTALL_PREFIX}/${destination}"
       PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endfunction()
