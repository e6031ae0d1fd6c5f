# Debian packages with CPack's DEB generator (`make package`, scripts/package.sh):
# one package per install component declared with kz_package()
# (cmake/kz_install.cmake), built from the same build as `cmake --install`.
#   lib    -> libkzrqo317-1     the shared library
#   dev    -> libkzrqo317-dev   headers, pkg-config file, CMake package
#   tools  -> kzrqo317-tools    kzrqo317-demo, kzrqo317-inspect
# Another part of the project joins by installing its files with a component
# of its own and calling kz_package() for it in its CMakeLists.txt (print
# pipeline: libkzrqo317-print-1, libkzrqo317-print-dev and kzrqo317-print;
# CUPS driver: printer-driver-kzrqo317; printer application: kzrqo317-printer-app).
# Nothing here changes: this file reads what kz_package() recorded.
get_property(components GLOBAL PROPERTY KZ_PACKAGED_COMPONENTS)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kzrqo317)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "kzrqo317 developers <kzrqo317@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
# Staged through DESTDIR, so absolute destinations (the CUPS filter and PPD
# folders) land in the package too, never on the building machine.
set(CPACK_SET_DESTDIR ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${components})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Packages holding a shared library get a shlibs file, so that packages built
# elsewhere against it depend on it through dpkg-shlibdeps too.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

# dpkg-shlibdeps looks for the project's own libraries where they are built,
# finds no shlibs for them there and leaves them out: the packages'
# dependencies on each other come from DEPENDS.
function(kz_shared_library_dirs dir out)
  set(found ${${out}})
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "SHARED_LIBRARY")
      get_target_property(binary_dir ${target} BINARY_DIR)
      list(APPEND found ${binary_dir})
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    kz_shared_library_dirs(${subdir} found)
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()
set(library_dirs "")
kz_shared_library_dirs(${PROJECT_SOURCE_DIR} library_dirs)
list(REMOVE_DUPLICATES library_dirs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${library_dirs})

foreach(component IN LISTS components)
  string(TOUPPER ${component} upper)
  foreach(key NAME SECTION SUMMARY DESCRIPTION DEPENDS EXTRA_DEPENDS RECOMMENDS)
    get_property(${key} GLOBAL PROPERTY KZ_PACKAGE_${component}_${key})
  endforeach()
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${NAME})
  set(CPACK_DEBIAN_${upper}_PACKAGE_SECTION ${SECTION})
  set(CPACK_COMPONENT_${upper}_DESCRIPTION "${SUMMARY}")
  if(DESCRIPTION)
    string(APPEND CPACK_COMPONENT_${upper}_DESCRIPTION "\n${DESCRIPTION}")
  endif()
  set(CPACK_COMPONENT_${upper}_DEPENDS ${DEPENDS})
  if(EXTRA_DEPENDS)
    list(JOIN EXTRA_DEPENDS ", " CPACK_DEBIAN_${upper}_PACKAGE_DEPENDS)
  endif()
  if(RECOMMENDS)
    list(JOIN RECOMMENDS ", " CPACK_DEBIAN_${upper}_PACKAGE_RECOMMENDS)
  endif()
endforeach()
include(CPack)
