# SPDX-License-Identifier: MIT
# Run by CPack (CPACK_PRE_BUILD_SCRIPTS, set in cmake/Packaging.cmake) on the staged trees of the
# Debian packages, one a component, before the packages are made: the files Debian wants in
# every package, which a plain "cmake --install" has no use for. For each PACKAGE:
#
#   usr/share/doc/PACKAGE/copyright        machine-readable, from LICENSE (which it replaces)
#   usr/share/doc/PACKAGE/changelog.gz     packaging/debian-changelog, the changelog of a native
#                                          package
#   usr/share/lintian/overrides/PACKAGE    the lines of packaging/lintian-overrides for the files
#                                          in the package, if there are any
#
# CPACK_STRIP_FILES has stripped the programs and plug-ins already; as dh_strip does, the
# compiler's identification (.comment) and .note sections go too.

set(src "${CPACK_PANEL_SOURCE_DIR}")
if(NOT CPACK_PANEL_STRIP)
  message(FATAL_ERROR "DebianFiles.cmake: no strip program (CMAKE_STRIP) to strip the programs")
endif()
find_program(gzip gzip REQUIRED)
set(file_mode OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
set(dir_mode OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
             WORLD_EXECUTE)

# ROOT is the staged tree of the package PACKAGE.
function(panel_debian_files root package)
  set(usr "${root}${CPACK_PACKAGING_INSTALL_PREFIX}")
  set(doc "${usr}/share/doc/${package}")
  if(NOT IS_DIRECTORY "${usr}")
    message(FATAL_ERROR "DebianFiles.cmake: no ${usr} in the staged package ${package}")
  endif()
  # Only the panel's has LICENSE there; the directories are made as dpkg would.
  foreach(dir "${usr}/share" "${usr}/share/doc" "${doc}")
    if(NOT IS_DIRECTORY "${dir}")
      file(MAKE_DIRECTORY "${dir}")
      file(CHMOD "${dir}" PERMISSIONS ${dir_mode})
    endif()
  endforeach()

  file(GLOB programs LIST_DIRECTORIES false "${usr}/bin/*" "${usr}/sbin/*"
       "${usr}/lib/projector-panel/*.so")
  foreach(program IN LISTS programs)
    file(READ "${program}" magic LIMIT 4 HEX)
    if(NOT magic STREQUAL "7f454c46") # not ELF: a script
      continue()
    endif()
    execute_process(COMMAND "${CPACK_PANEL_STRIP}" --remove-section=.comment --remove-section=.note
                            "${program}"
                    COMMAND_ERROR_IS_FATAL ANY)
  endforeach()

  # copyright: Debian's machine-readable format. The MIT licence of LICENSE is the one Debian
  # calls Expat; its text is copied as it is, blank lines written as " .".
  file(READ "${src}/LICENSE" license)
  if(NOT license MATCHES "Copyright \\(c\\) ([^\n]+)\n")
    message(FATAL_ERROR "DebianFiles.cmake: no \"Copyright (c) ...\" line in LICENSE")
  endif()
  set(holders "${CMAKE_MATCH_1}")
  string(FIND "${license}" "Permission is hereby granted" start)
  if(start LESS 0)
    message(FATAL_ERROR "DebianFiles.cmake: LICENSE is not the MIT licence this script expects")
  endif()
  string(SUBSTRING "${license}" ${start} -1 terms)
  string(STRIP "${terms}" terms)
  string(REGEX REPLACE "\n\n" "\n.\n" terms "${terms}")
  string(REPLACE "\n" "\n " terms "${terms}")
  file(WRITE "${doc}/copyright" "\
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${CPACK_PACKAGE_NAME}
Upstream-Contact: ${CPACK_PACKAGE_CONTACT}
Source: ${CPACK_PANEL_HOMEPAGE}

Files: *
Copyright: ${holders}
License: Expat
Comment: The MIT License, as in the file LICENSE of the source.

License: Expat
 ${terms}
")
  file(REMOVE "${doc}/LICENSE")

  # changelog.gz: -n keeps the name and time stamp out, so the same changelog gives the same bytes.
  execute_process(COMMAND "${gzip}" -9nc "${src}/packaging/debian-changelog"
                  OUTPUT_FILE "${doc}/changelog.gz"
                  COMMAND_ERROR_IS_FATAL ANY)
  file(CHMOD "${doc}/copyright" "${doc}/changelog.gz" PERMISSIONS ${file_mode})

  # An override whose file (in brackets) is not in this package is left out, with the comments
  # just above it: lintian reports overrides it did not use, and each package has only its own
  # files.
  if(EXISTS "${src}/packaging/lintian-overrides")
    file(STRINGS "${src}/packaging/lintian-overrides" lines)
    set(kept "")
    set(comments "")
    foreach(line IN LISTS lines)
      if(line MATCHES "^#")
        string(APPEND comments "${line}\n")
        continue()
      endif()
      if(line MATCHES "\\[(.+)\\]$")
        file(GLOB found "${root}/${CMAKE_MATCH_1}")
        if(NOT found)
          set(comments "")
          continue()
        endif()
      endif()
      string(APPEND kept "${comments}${line}\n")
      set(comments "")
    endforeach()
    if(NOT kept STREQUAL "")
      set(overrides "${usr}/share/lintian/overrides")
      file(MAKE_DIRECTORY "${overrides}")
      file(CHMOD "${usr}/share/lintian" "${overrides}" PERMISSIONS ${dir_mode})
      file(WRITE "${overrides}/${package}" "${kept}")
      file(CHMOD "${overrides}/${package}" PERMISSIONS ${file_mode})
    endif()
  endif()
endfunction()

foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER "${component}" upper)
  set(package "${CPACK_DEBIAN_${upper}_PACKAGE_NAME}")
  if(NOT package)
    message(FATAL_ERROR "DebianFiles.cmake: the component ${component} names no package")
  endif()
  panel_debian_files("${CPACK_TEMPORARY_DIRECTORY}/${component}" "${package}")
endforeach()
