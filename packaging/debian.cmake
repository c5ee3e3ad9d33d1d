# Debian packages, made with `cpack --config build/CPackConfig.cmake` (scripts/package):
#   palm-flash-tools  the programs, libprc.so.0, desktop entries, icons, the udev rule, the
#                     sample catalogue and component databases, the section 1 manual pages
#   libprc-dev        prc.h, prc.pc, the libprc.so link and libprc(3)
# Every install() without a component belongs to palm-flash-tools ("tools"); what building
# against libprc needs says COMPONENT dev.  Dependencies come from dpkg-shlibdeps.

set(PALM_FLASH_TOOLS_MAINTAINER "Palm Flash Tools developers <maintainers@palm-flash-tools.org>"
    CACHE STRING "The Maintainer field of the Debian packages")
set(PACKAGING_DEBIAN_DIR ${CMAKE_CURRENT_LIST_DIR}/debian)

# The changelog and copyright every package carries in /usr/share/doc/PACKAGE.
set(PACKAGING_CHANGELOG_GZ ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${PACKAGING_CHANGELOG_GZ}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
    COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" ${PACKAGING_DEBIAN_DIR}/changelog
            ${PACKAGING_CHANGELOG_GZ}
    DEPENDS ${PACKAGING_DEBIAN_DIR}/changelog
    COMMENT "Compressing the Debian changelog"
    VERBATIM)
add_custom_target(packaging_changelog ALL DEPENDS ${PACKAGING_CHANGELOG_GZ})
foreach(component_package tools:palm-flash-tools dev:libprc-dev)
    string(REPLACE ":" ";" pair ${component_package})
    list(GET pair 0 component)
    list(GET pair 1 package)
    install(FILES ${PACKAGING_DEBIAN_DIR}/copyright ${PACKAGING_CHANGELOG_GZ}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME palm-flash-tools)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${PALM_FLASH_TOOLS_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL tools dev)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${PALM_FLASH_TOOLS_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME palm-flash-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
# libprc.so.0 is in this package, so dpkg-shlibdeps resolves it here and other packages
# depend on this one for it.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_TOOLS_PACKAGE_CONTROL_EXTRA
    ${PACKAGING_DEBIAN_DIR}/postinst ${PACKAGING_DEBIAN_DIR}/postrm
    ${PACKAGING_DEBIAN_DIR}/triggers)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
"back up, restore and build flash for Palm OS handhelds
Ostervane backs up a Palm OS handheld's flash ROM into a .rom file and
restores ROM images into up to eight handhelds at once, through the Palm OS
debugger over a serial line or USB.  Tarnhollow builds and edits flash
install files: Palm resource databases that carry databases for a
handheld's expansion flash.
.
Both come as Qt window programs (ostervane, tarnhollow) and as command-line
programs (ostervane-cli, tarnhollow-cli).  The package also holds a
simulated handheld for trying them without one (handheld-sim), prcdump,
which prints what a Palm database holds, and libprc, the Palm database
library beneath them.  A udev rule lets members of the plugdev group use
USB handhelds without root.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libprc-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "palm-flash-tools (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEV_DESCRIPTION
"Palm database library (development files)
libprc reads, edits and writes whole Palm record databases (.pdb) and
resource databases (.prc) through a plain C interface.
.
This package holds the header prc.h, the pkg-config file prc.pc, the link
used when building against the library, and the manual page libprc(3).  The
library itself, libprc.so.0, comes with palm-flash-tools.")

include(CPack)
