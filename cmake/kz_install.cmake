# Install layout shared by every library and program of the project.
#
# Each part installs its own files with install() rules and a COMPONENT of
# its own (debian/*.install sorts the installed files into the Debian
# packages).  Helpers: kz_install_pkgconfig, kz_install_man.  The core's
# components:
#   lib    libkzrqo317.so.1 (the shared library and its SONAME link)
#   dev    public headers, libkzrqo317.so, kzrqo317.pc, the CMake package
#   tools  kzrqo317-demo, kzrqo317-inspect and their man pages
# and the print pipeline's (print/, frontend/, tools/print/):
#   print-lib   libkzrqo317-print.so.1
#   print-dev   print.h, libkzrqo317-print.so, kzrqo317-print.pc, kzrqo317::print
#   print-tool  kzrqo317-print and its man page
# A library of the project exports its targets into an export set installed
# as ${KZ_INSTALL_CMAKEDIR}/kzrqo317-<part>-targets.cmake (namespace
# kzrqo317::); find_package(kzrqo317) loads every such file it finds, after
# the core's own.
include(GNUInstallDirs)
set(KZ_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/kzrqo317)

# Installed programs find the project's libraries next to them when the
# library directory is not one the system searches (e.g. under /usr/local or a
# private prefix); packages for /usr get no run path.
if(NOT IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  list(FIND CMAKE_C_IMPLICIT_LINK_DIRECTORIES "${CMAKE_INSTALL_FULL_LIBDIR}" system_dir)
  if(system_dir EQUAL -1)
    file(RELATIVE_PATH libdir_from_bindir /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_LIBDIR})
    set(CMAKE_INSTALL_RPATH "$ORIGIN/${libdir_from_bindir}")
  endif()
endif()

# kz_install_pkgconfig(<name> LIBRARY <link name> DESCRIPTION <text> COMPONENT <component>
#                      [REQUIRES <modules...>] [REQUIRES_PRIVATE <modules...>])
# Writes and installs <name>.pc.  Paths are relative to the file's own place
# (${pcfiledir}), so an installed tree can be moved or unpacked anywhere.
function(kz_install_pkgconfig name)
  cmake_parse_arguments(PC "" "LIBRARY;DESCRIPTION;COMPONENT" "REQUIRES;REQUIRES_PRIVATE" ${ARGN})
  set(pcdir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
    set(PC_PREFIX ${CMAKE_INSTALL_PREFIX})
    set(PC_LIBDIR ${CMAKE_INSTALL_LIBDIR})
  else()
    file(RELATIVE_PATH up /prefix/${pcdir} /prefix)
    string(REGEX REPLACE "/$" "" up "${up}")
    set(PC_PREFIX "\${pcfiledir}/${up}")
    set(PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  endif()
  if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
    set(PC_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR})
  else()
    set(PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
  endif()
  list(JOIN PC_REQUIRES ", " PC_REQUIRES)
  list(JOIN PC_REQUIRES_PRIVATE ", " PC_REQUIRES_PRIVATE)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/pkgconfig.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc DESTINATION ${pcdir} COMPONENT ${PC_COMPONENT})
endfunction()

# kz_install_man(<page source, e.g. tool.1> COMPONENT <component>)
# Installs a man page gzip-compressed (as Debian wants it) into its section's folder.
function(kz_install_man source)
  cmake_parse_arguments(M "" "COMPONENT" "" ${ARGN})
  get_filename_component(name ${source} NAME)
  string(REGEX REPLACE ".*\\.([0-9])$" "\\1" section ${name})
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND sh -c "gzip -9n -c '${CMAKE_CURRENT_SOURCE_DIR}/${source}' > '${compressed}'"
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${source} VERBATIM)
  add_custom_target(man_${name} ALL DEPENDS ${compressed})
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${M_COMPONENT})
endfunction()
