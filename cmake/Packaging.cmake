# The Debian package (`make deb`): CPack packs whatever `cmake --install` installs, so every
# install() rule of the project lands in the .deb without being listed here. This file adds
# what only the package needs: its control fields, the AppStream metadata that names the
# version, and the Debian copyright and changelog.

set(OK_HOMEPAGE "https://ortix-kelvane.example" CACHE STRING
    "The project's home page (AppStream metadata and the package's Homepage field)")
set(OK_SCREENSHOTS_URL "${OK_HOMEPAGE}/docs/images" CACHE STRING
    "Where docs/images, the README's screenshots, are served (AppStream metadata)")
set(OK_MAINTAINER "Ortix-Kelvane maintainers <maintainers@ortix-kelvane.example>" CACHE STRING
    "The package's Maintainer field")
set(OK_APPSTREAM_ID org.ortix.kelvane)
# No licence has been granted for the program: it is marked proprietary until one is.
set(OK_LICENSE_SPDX LicenseRef-proprietary)

# The release date is the last commit's: SOURCE_DATE_EPOCH, set in the top CMakeLists.txt.
string(TIMESTAMP OK_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP OK_RELEASE_YEAR "%Y" UTC)
string(TIMESTAMP OK_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)

configure_file(${PROJECT_SOURCE_DIR}/resources/ortix-kelvane.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/${OK_APPSTREAM_ID}.metainfo.xml @ONLY)
if(OK_BUILD_GUI)
  install(FILES ${PROJECT_BINARY_DIR}/${OK_APPSTREAM_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# Read by cmake/debian/prebuild.cmake, which CPack runs in its staging folder.
foreach(doc copyright changelog)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/${doc}.in ${PROJECT_BINARY_DIR}/debian/${doc} @ONLY)
endforeach()
set(CPACK_OK_DEBIAN_DOCS ${PROJECT_BINARY_DIR}/debian/copyright ${PROJECT_BINARY_DIR}/debian/changelog)
set(CPACK_OK_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian/prebuild.cmake)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ortix-kelvane)
set(CPACK_PACKAGE_VENDOR "The Ortix-Kelvane maintainers")
set(CPACK_PACKAGE_CONTACT "${OK_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for the package libraries of printed-circuit designs")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Ortix-Kelvane edits the packaging library of a printed-circuit CAD suite.
A package ties the logical sections of a part (Class IDs with their pin
number changes) and its hidden connections to a footprint: a shape with three
parameters. Each package file (.qpk, .pkg) opens in its own list window;
packages are edited in package editor and field editor windows.
.
The qpk command-line tool lists, shows, checks, finds, exports and imports
packages from scripts.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${OK_HOMEPAGE}")
# Depends comes from the libraries the programs link (dpkg-shlibdeps), never from a list.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
