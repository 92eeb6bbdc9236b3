# SPDX-License-Identifier: Apache-2.0
# Debian packages from the install tree, split as Debian splits such a
# project. Each install rule carries one of three components (the source
# folders set CMAKE_INSTALL_DEFAULT_COMPONENT_NAME before their rules):
#   program      -> ombrel          the desktop program, the tool, its chart module, data, man pages
#   python       -> python3-ombrel  the module, in /usr/lib/python3/dist-packages
#   development  -> libombrel-dev   the headers, the static libraries, the CMake package
# scripts/package configures with -DCMAKE_INSTALL_PREFIX=/usr and runs cpack.
# Debian's own texts (copyright, changelog, descriptions) are in packaging/debian/.

set(OMBREL_DEBIAN_DIR ${PROJECT_SOURCE_DIR}/packaging/debian)
set(OMBREL_DEBIAN_REVISION 1 CACHE STRING "Debian revision of the packages (the -1 of 1.0.0-1)")
# The project has no mail domain of its own. The default address is under
# .invalid, which is reserved never to resolve, so it names nobody's domain
# and shows at a glance that no one reads it; whoever builds packages to hand
# out sets a real one: -DOMBREL_MAINTAINER="The Ombrel developers <you@host>"
# (or OMBREL_MAINTAINER=... ./scripts/package). It signs the changelog too.
set(OMBREL_MAINTAINER_PLACEHOLDER "The Ombrel developers <packager@ombrel.invalid>")
set(OMBREL_MAINTAINER "${OMBREL_MAINTAINER_PLACEHOLDER}" CACHE STRING
  "Maintainer field of the Debian packages, as 'Name <address>'")
if(NOT OMBREL_MAINTAINER MATCHES "^[^<>]+ <[^<>@ ]+@[^<>@ ]+\\.[^<>@ ]+>$")
  message(FATAL_ERROR "OMBREL_MAINTAINER is '${OMBREL_MAINTAINER}': it needs the form 'Name <address>'")
endif()
if(OMBREL_MAINTAINER STREQUAL OMBREL_MAINTAINER_PLACEHOLDER)
  message(STATUS "Debian packages: Maintainer is the placeholder ${OMBREL_MAINTAINER}; "
                 "set OMBREL_MAINTAINER to a real address before handing them out")
endif()

# What a program built against the C++ package needs on top of its own files.
# Where a library joins the core or Ombrel::files, the line that links it adds
# its -dev package here, e.g. beside the core's libsodium:
#   set_property(GLOBAL APPEND PROPERTY OMBREL_DEV_PACKAGE_DEPENDS libsodium-dev)
# Qt6Gui's CMake package (found by OmbrelConfig.cmake) comes with qt6-base-dev.
set_property(GLOBAL APPEND PROPERTY OMBREL_DEV_PACKAGE_DEPENDS qt6-base-dev)

set(ombrel_components program development)
if(OMBREL_PYTHON)
  list(APPEND ombrel_components python)
endif()

# An install rule without a component would silently miss every package.
get_cmake_property(ombrel_install_components COMPONENTS)
list(REMOVE_ITEM ombrel_install_components ${ombrel_components})
if(ombrel_install_components)
  message(WARNING "Install rules in components ${ombrel_install_components} go into no Debian "
                  "package: set CMAKE_INSTALL_DEFAULT_COMPONENT_NAME before them (see cmake/Packaging.cmake).")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ombrel)
set(CPACK_PACKAGE_VENDOR "The Ombrel developers")
set(CPACK_PACKAGE_CONTACT "${OMBREL_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${OMBREL_MAINTAINER}")
# No web site yet: CPack writes no Homepage field while both are empty, rather
# than one naming a domain nobody owns.
set(CPACK_PACKAGE_HOMEPAGE_URL "")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_COMPONENTS_ALL ${ombrel_components})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${OMBREL_DEBIAN_REVISION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Stripped by DebianFiles.cmake, with the symbols left out: no -dbgsym package.
set(CPACK_STRIP_FILES OFF)
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE OFF)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

function(ombrel_debian_package component package section)
  string(TOUPPER ${component} c)
  file(READ ${OMBREL_DEBIAN_DIR}/${package}.description description)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${OMBREL_DEBIAN_DIR}/${package}.description)
  list(JOIN ARGN ", " depends)
  set(CPACK_DEBIAN_${c}_PACKAGE_NAME ${package} PARENT_SCOPE)
  set(CPACK_DEBIAN_${c}_PACKAGE_SECTION ${section} PARENT_SCOPE)
  set(CPACK_DEBIAN_${c}_DESCRIPTION "${description}" PARENT_SCOPE)
  set(CPACK_DEBIAN_${c}_PACKAGE_DEPENDS "${depends}" PARENT_SCOPE)
  # Shared libraries the package's programs and modules link, found by dpkg-shlibdeps.
  set(CPACK_DEBIAN_${c}_PACKAGE_SHLIBDEPS ON PARENT_SCOPE)
endfunction()

# The windows ask for fonts that Liberation stands in for; TIFF comes from Qt's plugins.
ombrel_debian_package(program ombrel graphics fonts-liberation2 qt6-image-formats-plugins)
get_property(dev_depends GLOBAL PROPERTY OMBREL_DEV_PACKAGE_DEPENDS)
list(REMOVE_DUPLICATES dev_depends)
ombrel_debian_package(development libombrel-dev libdevel ${dev_depends})
if(OMBREL_PYTHON)
  # An extension module works with the one Python version it was built for.
  string(REPLACE "." ";" python_version ${OMBREL_PYTHON_VERSION})
  list(GET python_version 0 python_major)
  list(GET python_version 1 python_minor)
  math(EXPR python_next "${python_minor} + 1")
  ombrel_debian_package(python python3-ombrel python
    "python3 (>= ${python_major}.${python_minor}~)" "python3 (<< ${python_major}.${python_next})"
    python3-numpy)
endif()

# After the staging install and before the packages are built: strip, gzip
# the man pages, add each package's copyright, changelog.Debian.gz and lintian
# overrides.
set(CPACK_OMBREL_DEBIAN_DIR ${OMBREL_DEBIAN_DIR})
set(CPACK_OMBREL_MAINTAINER "${OMBREL_MAINTAINER}")
set(CPACK_OMBREL_COMPONENTS ${ombrel_components})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebianFiles.cmake)

include(CPack)
