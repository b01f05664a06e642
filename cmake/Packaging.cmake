# SPDX-License-Identifier: MIT
# What gets installed besides the programs (desktop entry, icon, AppStream metadata, manual
# pages, licence, projectord's system files) and the two Debian packages built from it:
# cmake --build DIR --target package.
# Included from the top-level CMakeLists.txt before the programs, so that the hardening flags
# reach every target.

set(PANEL_HOMEPAGE "https://github.com/projector-panel/projector-panel")
set(PANEL_CONTACT "projector-panel developers <projector-panel@users.noreply.github.com>")
set(PANEL_APP_ID io.github.projector_panel.ProjectorPanel)

# --- Debian's hardening flags -----------------------------------------------------------------
# On by default for Release builds where dpkg-buildflags exists: the package and the release
# preset get them, the test and sanitizer builds stay as they are.
find_program(PANEL_DPKG_BUILDFLAGS dpkg-buildflags)
mark_as_advanced(PANEL_DPKG_BUILDFLAGS)
if(PANEL_DPKG_BUILDFLAGS AND CMAKE_BUILD_TYPE STREQUAL "Release")
  set(_panel_hardening_default ON)
else()
  set(_panel_hardening_default OFF)
endif()
option(PANEL_DEB_HARDENING
       "Compile and link with the hardening flags of dpkg-buildflags (default: on in Release builds where it exists)"
       ${_panel_hardening_default})
if(PANEL_DEB_HARDENING)
  if(NOT PANEL_DPKG_BUILDFLAGS)
    message(FATAL_ERROR "PANEL_DEB_HARDENING needs dpkg-buildflags (package dpkg-dev)")
  endif()
  # All of them (bindnow too), unless the caller chose otherwise.
  set(_panel_maint_options "$ENV{DEB_BUILD_MAINT_OPTIONS}")
  if(_panel_maint_options STREQUAL "")
    set(_panel_maint_options "hardening=+all")
  endif()
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    # Run in the source tree: its -ffile-prefix-map then maps this tree to ".".
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env "DEB_BUILD_MAINT_OPTIONS=${_panel_maint_options}"
              ${PANEL_DPKG_BUILDFLAGS} --get ${kind}
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      OUTPUT_VARIABLE _panel_flags_${kind}
      OUTPUT_STRIP_TRAILING_WHITESPACE
      COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(_panel_flags_${kind} UNIX_COMMAND "${_panel_flags_${kind}}")
  endforeach()
  # Not -O2 and -g: the optimisation stays the build type's, and the package is stripped.
  list(FILTER _panel_flags_CXXFLAGS EXCLUDE REGEX "^-O.*$|^-g.*$")
  list(JOIN _panel_flags_CPPFLAGS " " _panel_cppflags)
  list(JOIN _panel_flags_CXXFLAGS " " _panel_cxxflags)
  list(JOIN _panel_flags_LDFLAGS " " _panel_ldflags)
  string(APPEND CMAKE_CXX_FLAGS " ${_panel_cppflags} ${_panel_cxxflags}")
  string(APPEND CMAKE_EXE_LINKER_FLAGS " ${_panel_ldflags}")
  string(APPEND CMAKE_SHARED_LINKER_FLAGS " ${_panel_ldflags}")
  string(APPEND CMAKE_MODULE_LINKER_FLAGS " ${_panel_ldflags}")
  message(STATUS "Hardening flags: ${_panel_cppflags} ${_panel_cxxflags} ${_panel_ldflags}")
endif()

# --- The release: version and date ------------------------------------------------------------
# The newest release in the AppStream metadata dates the manual pages. It and the Debian
# changelog must name the version in project(); a version without release notes is reported.
set(_panel_metainfo ${PROJECT_SOURCE_DIR}/data/${PANEL_APP_ID}.metainfo.xml)
set(_panel_changelog ${PROJECT_SOURCE_DIR}/packaging/debian-changelog)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${_panel_metainfo} ${_panel_changelog})
file(READ ${_panel_metainfo} _panel_text)
string(REGEX MATCH "<release version=\"([^\"]*)\" date=\"([^\"]*)\"" _ "${_panel_text}")
set(_panel_release_version "${CMAKE_MATCH_1}")
set(PANEL_RELEASE_DATE "${CMAKE_MATCH_2}")
file(STRINGS ${_panel_changelog} _panel_text LIMIT_COUNT 1)
string(REGEX MATCH "^projector-panel \\(([^)]*)\\)" _ "${_panel_text}")
set(_panel_changelog_version "${CMAKE_MATCH_1}")
if(NOT _panel_release_version STREQUAL PROJECT_VERSION)
  message(WARNING "The newest <release> in data/${PANEL_APP_ID}.metainfo.xml is "
                  "\"${_panel_release_version}\", not ${PROJECT_VERSION}: add this release first.")
endif()
if(NOT _panel_changelog_version STREQUAL PROJECT_VERSION)
  message(WARNING "The newest entry of packaging/debian-changelog is "
                  "\"${_panel_changelog_version}\", not ${PROJECT_VERSION}: add this release first.")
endif()

# --- Desktop integration and documentation ----------------------------------------------------
# Every install() names its component, which is its Debian package: "service" (projectord, with
# projector-ctl, the simulator and the plug-ins, none of which needs a display) or "panel" (the
# window and what a desktop reads).
install(FILES ${PROJECT_SOURCE_DIR}/data/${PANEL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT panel)
install(FILES ${PROJECT_SOURCE_DIR}/data/${PANEL_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT panel)
install(FILES ${PROJECT_SOURCE_DIR}/data/${PANEL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT panel)
# The Debian packages have their copyright files instead (cmake/DebianFiles.cmake).
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT panel)

# --- What depends on the programs --------------------------------------------------------------
# The manual pages, projectord's system files and the package's scripts follow from which
# programs there are: they are set up at the end of the top directory, once all are defined
# (the call is at the end of this file).
macro(_panel_after_programs)
  # The manual pages name the version and the date of the release, and are installed
  # compressed. Each is docs/NAME.SECTION.
  set(_panel_man_pages projector-panel.1 projector-sim.1)
  if(EXISTS ${PROJECT_SOURCE_DIR}/docs/projector-ctl.1)
    list(APPEND _panel_man_pages projector-ctl.1)
  endif()
  if(TARGET projectord)
    list(APPEND _panel_man_pages projectord.8)
    _panel_service_files()
  endif()
  find_program(PANEL_GZIP gzip)
  mark_as_advanced(PANEL_GZIP)
  set(_panel_man_files)
  foreach(page IN LISTS _panel_man_pages)
    set(_man ${PROJECT_BINARY_DIR}/man/${page})
    configure_file(${PROJECT_SOURCE_DIR}/docs/${page} ${_man} @ONLY)
    if(PANEL_GZIP)
      # -n: no name or time stamp inside, so the same page gives the same bytes.
      add_custom_command(OUTPUT ${_man}.gz
                         COMMAND ${PANEL_GZIP} -9nkf ${page}
                         WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/man
                         DEPENDS ${_man}
                         COMMENT "Compressing the manual page ${page}" VERBATIM)
      set(_man ${_man}.gz)
    endif()
    list(APPEND _panel_man_files ${_man})
    string(REGEX MATCH "[^.]+$" _section "${page}")
    if(page STREQUAL "projector-panel.1")
      set(_component panel)
    else()
      set(_component service)
    endif()
    install(FILES ${_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${_section} COMPONENT ${_component})
  endforeach()
  add_custom_target(man-pages ALL DEPENDS ${_panel_man_files})

  # The package's settings are below; CPack takes them as they are now.
  include(CPack)
endmacro()

# --- projectord's system files ----------------------------------------------------------------
# The interfaces go wherever the prefix is. The rest is read by systemd and the system bus only
# from /usr and /etc, and the unit runs /usr/sbin/projectord: it is installed only with the
# prefix /usr (the package, or "cmake --install --prefix /usr"); with any other it is left out
# with a message, and projectord runs by hand (--session, --config).
macro(_panel_service_files)
  install(FILES ${PROJECT_SOURCE_DIR}/data/dbus/io.github.projector_panel.Projectord1.xml
                ${PROJECT_SOURCE_DIR}/data/dbus/io.github.projector_panel.Projectord1.Projector.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/interfaces COMPONENT service)
  install(CODE "set(_panel_data \"${PROJECT_SOURCE_DIR}/data\")" COMPONENT service)
  install(CODE [[
    if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
      file(INSTALL "${_panel_data}/systemd/projectord.service" DESTINATION /usr/lib/systemd/system)
      file(INSTALL "${_panel_data}/systemd/projectord.sysusers" DESTINATION /usr/lib/sysusers.d
           RENAME projectord.conf)
      file(INSTALL "${_panel_data}/dbus/io.github.projector_panel.Projectord1.service"
           DESTINATION /usr/share/dbus-1/system-services)
      file(INSTALL "${_panel_data}/dbus/io.github.projector_panel.Projectord1.conf"
           DESTINATION /usr/share/dbus-1/system.d)
      # The administrator's configuration is never overwritten; the package's is a conffile.
      if(NOT EXISTS "$ENV{DESTDIR}/etc/projectord.conf")
        file(INSTALL "${_panel_data}/projectord.conf" DESTINATION /etc)
      endif()
    else()
      message(STATUS "Left out with the prefix ${CMAKE_INSTALL_PREFIX} (they need /usr): "
                     "projectord's unit, user, D-Bus activation and policy, /etc/projectord.conf")
    endif()
  ]] COMPONENT service)

  # In the package: the user is made, then the unit enabled and started as Debian does for a
  # daemon (packaging/postinst, prerm, postrm). The service needs a system bus.
  set(_panel_control ${PROJECT_BINARY_DIR}/debian)
  file(WRITE ${_panel_control}/conffiles "/etc/projectord.conf\n")
  foreach(script postinst prerm postrm)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/${script} ${_panel_control}/${script} COPYONLY)
  endforeach()
  set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_EXTRA
      ${_panel_control}/conffiles ${_panel_control}/postinst ${_panel_control}/prerm
      ${_panel_control}/postrm)
  set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_DEBIAN_SERVICE_PACKAGE_RECOMMENDS "dbus | dbus-system-bus")
endmacro()

# --- The Debian packages ----------------------------------------------------------------------
# Two, from the components of the install() rules: projectord for a host without a display (the
# service, projector-ctl, the simulator, the plug-ins: Qt Core, D-Bus, Network and Serial Port
# only), and projector-panel, the window, which needs it. Until 2.0.0 projector-panel held both:
# projectord takes its files over, the conffile with them (Replaces), and the old one cannot stay
# configured beside it (Breaks), so apt upgrades the two together. Their dependencies come from
# the installed libraries (dpkg-shlibdeps), not the build.
set(CPACK_PACKAGE_NAME projector-panel)
set(CPACK_PACKAGE_VENDOR "The projector-panel developers")
set(CPACK_PACKAGE_CONTACT "${PANEL_CONTACT}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${PANEL_HOMEPAGE}")
# Empty, so that each package's first line of description is its own summary.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL service panel)
set(CPACK_COMPONENT_PANEL_DEPENDS service)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_SERVICE_PACKAGE_NAME projectord)
set(CPACK_DEBIAN_SERVICE_PACKAGE_SOURCE projector-panel)
set(CPACK_DEBIAN_SERVICE_PACKAGE_REPLACES "projector-panel (<< 2.0.0)")
set(CPACK_DEBIAN_SERVICE_PACKAGE_BREAKS "projector-panel (<< 2.0.0)")
set(CPACK_DEBIAN_SERVICE_DESCRIPTION [[
Service and command line for data/video projectors on an RS-232 line
The service projectord holds the serial lines of the projectors named in
/etc/projectord.conf and shares each with the panel, projector-ctl and any
program on the system bus: a nightly job can switch a projector off while
the panel is open, and anyone can read its state. It can also answer PJLink
for each projector, so that control systems drive it like a network one. A
serial port of this computer, or one on the network behind a serial device
server (RFC 2217 or raw TCP), at 19200 or 9600 baud.

The command-line tool projector-ctl sends the panel's commands from a
script, a terminal or a crontab, through the service or on a line of its
own, and prints each reply.

The simulator projector-sim plays a projector on a pseudo-terminal or a real
serial port, so that all of them can be tried without one.

None of them needs a display; the window is in the package projector-panel.]])

set(CPACK_DEBIAN_PANEL_PACKAGE_NAME projector-panel)
set(CPACK_DEBIAN_PANEL_DESCRIPTION [[
Control panel for data/video projectors on an RS-232 line
One window whose buttons mirror a projector's remote control. Every command
is three characters and a carriage return, written to the serial port the
moment a button is clicked or pressed: power, input, mute, freeze, menu,
screen mode, picture functions and four status reads with one click; volume,
zoom, focus, digital zoom, keystone and the arrow pad repeated while held.
The traffic in both directions is shown as a readable line trace, and the
status reads in plain words. A serial port of this computer, or one on the
network behind a serial device server (RFC 2217 or raw TCP), at 19200 or
9600 baud, or a projector the service projectord holds.

The service, the command-line tool projector-ctl and the simulator
projector-sim are in the package projectord.]])
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Catalogues are loaded at run time, so shlibdeps cannot see them: Qt's give its own buttons the
# operator's language. The window's icon is built in as PNG, and the launcher's comes from the
# icon theme, so no image plug-in is needed.
set(CPACK_DEBIAN_PANEL_PACKAGE_RECOMMENDS "fonts-ipafont-gothic, qt6-translations-l10n")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Puts the copyright file, the changelog and the lintian overrides into the staged tree.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/DebianFiles.cmake)
set(CPACK_PANEL_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_PANEL_HOMEPAGE "${PANEL_HOMEPAGE}")
set(CPACK_PANEL_STRIP "${CMAKE_STRIP}")

cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL _panel_after_programs)
