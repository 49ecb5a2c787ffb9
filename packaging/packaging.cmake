# Installation and the Debian packages (cpack -G DEB, see scripts/package.sh).
# Three packages from one tree:
#   omb          omb, ombctl, ombsvc, their man pages, the systemd units, docs
#   omb-console  the Qt console, so that a headless server needs no Qt
#   dominosim    the Domino stand-in for demos and tests
# Their dependencies on shared libraries are computed by dpkg-shlibdeps.
include(GNUInstallDirs)

set(OMB_PKG_SOURCE ${PROJECT_SOURCE_DIR}/packaging)
set(OMB_PKG_BUILD ${PROJECT_BINARY_DIR}/packaging)
set(OMB_SYSTEMD_UNIT_DIR lib/systemd/system CACHE STRING
    "Folder of the systemd units, below the installation prefix")

install(TARGETS omb ombctl ombsvc RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT omb)
install(TARGETS dominosim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT dominosim)
if(OMB_CONSOLE)
  install(TARGETS omb-console RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT console)
endif()

install(FILES ${OMB_PKG_SOURCE}/systemd/ombsvc.service ${OMB_PKG_SOURCE}/systemd/omb-backup@.service
              ${OMB_PKG_SOURCE}/systemd/omb-backup@.timer ${OMB_PKG_SOURCE}/systemd/omb-archive-logs@.service
              ${OMB_PKG_SOURCE}/systemd/omb-archive-logs@.timer
        DESTINATION ${OMB_SYSTEMD_UNIT_DIR} COMPONENT omb)

# Bash completion for ombctl, where bash-completion looks for it on demand.
install(FILES ${PROJECT_SOURCE_DIR}/completion/ombctl.bash
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions RENAME ombctl
        COMPONENT omb)

# Each package's doc folder: copyright, and the changelog that Debian
# requires of a native package, compressed as policy asks.
file(MAKE_DIRECTORY ${OMB_PKG_BUILD})
configure_file(${OMB_PKG_SOURCE}/debian/changelog.in ${OMB_PKG_BUILD}/changelog @ONLY)
add_custom_command(OUTPUT ${OMB_PKG_BUILD}/changelog.gz
                   COMMAND gzip -9nc ${OMB_PKG_BUILD}/changelog > ${OMB_PKG_BUILD}/changelog.gz
                   DEPENDS ${OMB_PKG_BUILD}/changelog VERBATIM)
add_custom_target(omb_changelog ALL DEPENDS ${OMB_PKG_BUILD}/changelog.gz)

set(OMB_PACKAGE_COMPONENTS omb dominosim)
if(OMB_CONSOLE)
  list(APPEND OMB_PACKAGE_COMPONENTS console)
endif()
foreach(component ${OMB_PACKAGE_COMPONENTS})
  set(package ${component})
  if(component STREQUAL "console")
    set(package omb-console)
  endif()
  install(FILES ${OMB_PKG_SOURCE}/debian/copyright ${OMB_PKG_BUILD}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/remote.md
              ${OMB_PKG_SOURCE}/examples/backup.conf
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/omb COMPONENT omb)
install(FILES ${PROJECT_SOURCE_DIR}/docs/dominosim.md
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/dominosim COMPONENT dominosim)

include(${PROJECT_SOURCE_DIR}/man/man.cmake)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME omb)
set(CPACK_PACKAGE_VENDOR "omb developers")
set(CPACK_PACKAGE_CONTACT "omb developers <omb@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_COMPONENTS_ALL ${OMB_PACKAGE_COMPONENTS})

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_OMB_PACKAGE_NAME omb)
set(CPACK_COMPONENT_OMB_DESCRIPTION
    "snapshot backup and restore for Domino servers\n"
    "omb backs up the Domino servers of a machine with storage snapshots:\n"
    "it puts the databases in backup mode, has the storage component snapshot\n"
    "the data volume, saves the change information and archives the\n"
    "transaction logs, and restores a volume to a point in time or up to the\n"
    "minute. The package holds the command line (omb), the administrator's\n"
    "tool (ombctl), the remote service (ombsvc) with its systemd unit, and\n"
    "systemd templates for scheduled backups.")
set(CPACK_DEBIAN_OMB_PACKAGE_CONTROL_EXTRA
    ${OMB_PKG_SOURCE}/debian/postinst ${OMB_PKG_SOURCE}/debian/prerm ${OMB_PKG_SOURCE}/debian/postrm)
set(CPACK_DEBIAN_OMB_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_CONSOLE_PACKAGE_NAME omb-console)
set(CPACK_COMPONENT_CONSOLE_DEPENDS omb)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_CONSOLE_DESCRIPTION
    "management console of omb, the Domino snapshot backup\n"
    "The graphical console that omb starts without arguments: backup and\n"
    "restore wizards, the configuration wizard, the reports, status dialogs\n"
    "and printing, for this machine or another one through its ombsvc.\n"
    "It is a package of its own so that a headless server needs no Qt.")

set(CPACK_DEBIAN_DOMINOSIM_PACKAGE_NAME dominosim)
set(CPACK_DEBIAN_DOMINOSIM_PACKAGE_SECTION misc)
set(CPACK_COMPONENT_DOMINOSIM_DESCRIPTION
    "simulated Domino machine for omb demos and tests\n"
    "dominosim makes a simulated machine with Domino servers, their\n"
    "databases, transaction logs and virtual disks, writes and damages\n"
    "documents, prints checksums and runs as a server process, so that\n"
    "omb can be tried and tested without a Domino installation.")

include(CPack)
