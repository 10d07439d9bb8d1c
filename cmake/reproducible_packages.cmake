# Run by cpack after it made each package (CPACK_POST_BUILD_SCRIPTS): makes the package depend on
# the source alone, then writes its checksum into SHA256SUMS beside it.
#
# CMake 3.25's CPack stores file times, the file system's order and modes that follow the
# builder's umask, and it has no setting against any of them. So each package is unpacked and
# made again with the standard tools: entries sorted by name, times clamped to the source's time
# (CPACK_RAWOUT_SOURCE_DATE_EPOCH), owner and group 0, folders and programs 0755, other files 0644.
#   tarball  GNU tar and gzip -n
#   .deb     dpkg-deb, which sorts, clamps to SOURCE_DATE_EPOCH and sets root as owner itself
#   ZIP      strip-nondeterminism, which sorts and normalises times, modes and owners in place

set(epoch ${CPACK_RAWOUT_SOURCE_DATE_EPOCH})
if(NOT epoch MATCHES "^[0-9]+$")
  message(FATAL_ERROR "no source time was configured for the packages")
endif()

function(rawout_run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    list(JOIN ARGV " " command)
    message(FATAL_ERROR "making the package reproducible: '${command}' failed (${status})")
  endif()
endfunction()

function(rawout_required tool hint)
  find_program(rawout_tool_${tool} ${tool})
  if(NOT rawout_tool_${tool})
    message(FATAL_ERROR "${tool} makes the package reproducible: ${hint}")
  endif()
  set(${tool} ${rawout_tool_${tool}} PARENT_SCOPE)
endfunction()

# Unpacked files get the modes a package should give them, whatever the umask was.
function(rawout_normalise_modes folder)
  rawout_run(chmod -R u=rwX,go=rX ${folder})
endfunction()

function(rawout_remake_tarball package)
  rawout_required(tar "it is GNU tar, in every Linux distribution")
  rawout_required(gzip "apt-get install gzip")
  set(unpacked ${package}.unpacked)
  file(REMOVE_RECURSE ${unpacked})
  file(MAKE_DIRECTORY ${unpacked})
  rawout_run(${tar} -xzf ${package} -C ${unpacked})
  rawout_normalise_modes(${unpacked})
  file(GLOB top RELATIVE ${unpacked} ${unpacked}/*)
  execute_process(
    COMMAND ${tar} --sort=name --format=gnu --mtime=@${epoch} --clamp-mtime --owner=0 --group=0
            --numeric-owner -C ${unpacked} -cf - ${top}
    COMMAND ${gzip} -9n
    OUTPUT_FILE ${package}.remade RESULTS_VARIABLE statuses)
  if(NOT statuses STREQUAL "0;0")
    message(FATAL_ERROR "making ${package} reproducible: tar and gzip gave ${statuses}")
  endif()
  file(RENAME ${package}.remade ${package})
  file(REMOVE_RECURSE ${unpacked})
endfunction()

function(rawout_remake_deb package)
  rawout_required(dpkg-deb "apt-get install dpkg")
  set(unpacked ${package}.unpacked)
  file(REMOVE_RECURSE ${unpacked})
  rawout_run(${dpkg-deb} --raw-extract ${package} ${unpacked})
  rawout_normalise_modes(${unpacked})
  rawout_run(${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${epoch}
             ${dpkg-deb} --root-owner-group -Zgzip -z9 --build ${unpacked} ${package})
  file(REMOVE_RECURSE ${unpacked})
endfunction()

function(rawout_remake_zip package)
  rawout_required(strip-nondeterminism "apt-get install strip-nondeterminism")
  rawout_run(${strip-nondeterminism} --type zip --timestamp ${epoch} --clamp-timestamp ${package})
endfunction()

# One line a package, as sha256sum writes them; a package made again replaces its line, and the
# packages of other generators in the same folder keep theirs.
# cpack copies each package from its working folder to this one after the script.
if(CPACK_OUTPUT_FILE_PREFIX)
  set(package_folder ${CPACK_OUTPUT_FILE_PREFIX})
else()
  set(package_folder ${CPACK_PACKAGE_DIRECTORY})
endif()
function(rawout_record_checksum package)
  set(folder ${package_folder})
  get_filename_component(name ${package} NAME)
  set(sums ${folder}/SHA256SUMS)
  set(lines "")
  if(EXISTS ${sums})
    file(STRINGS ${sums} kept)
    foreach(line IN LISTS kept)
      string(FIND "${line}" "  " gap)
      math(EXPR name_start "${gap} + 2")
      string(SUBSTRING "${line}" ${name_start} -1 listed)
      if(NOT listed STREQUAL name)
        list(APPEND lines "${line}")
      endif()
    endforeach()
  endif()
  file(SHA256 ${package} sum)
  list(APPEND lines "${sum}  ${name}")
  # Sorted by name, so the file does not depend on which generator ran first.
  list(TRANSFORM lines REPLACE "^([0-9a-f]+)  (.*)$" "\\2\t\\1")
  list(SORT lines)
  list(TRANSFORM lines REPLACE "^(.*)\t([0-9a-f]+)$" "\\2  \\1")
  list(JOIN lines "\n" text)
  file(WRITE ${sums} "${text}\n")
endfunction()

foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(package MATCHES "\\.tar\\.gz$")
    rawout_remake_tarball(${package})
  elseif(package MATCHES "\\.deb$")
    rawout_remake_deb(${package})
  elseif(package MATCHES "\\.zip$")
    rawout_remake_zip(${package})
  else()
    message(FATAL_ERROR "${package}: no way known to make this kind of package reproducible")
  endif()
  rawout_record_checksum(${package})
endforeach()
