# The man pages: scdoc sources in man/, turned into compressed roff at
# build time and installed with the package of their program.
find_program(OMB_SCDOC scdoc)
if(NOT OMB_SCDOC)
  message(WARNING "scdoc not found: the man pages are not built (apt-get install scdoc)")
  return()
endif()

set(OMB_MAN_PAGES omb.1:omb ombctl.8:omb ombsvc.8:omb dominosim.1:dominosim)
if(OMB_CONSOLE)
  list(APPEND OMB_MAN_PAGES omb-console.1:console)
endif()
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/man)
set(OMB_MAN_OUTPUTS)
foreach(entry ${OMB_MAN_PAGES})
  string(REPLACE ":" ";" parts ${entry})
  list(GET parts 0 page)
  list(GET parts 1 component)
  string(REGEX REPLACE "^.*\\.([0-9])$" "\\1" section ${page})
  set(roff ${PROJECT_BINARY_DIR}/man/${page})
  add_custom_command(OUTPUT ${roff} ${roff}.gz
                     COMMAND ${OMB_SCDOC} < ${PROJECT_SOURCE_DIR}/man/${page}.scd > ${roff}
                     COMMAND gzip -9nc ${roff} > ${roff}.gz
                     DEPENDS ${PROJECT_SOURCE_DIR}/man/${page}.scd VERBATIM)
  list(APPEND OMB_MAN_OUTPUTS ${roff}.gz)
  install(FILES ${roff}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
endforeach()
add_custom_target(omb_man ALL DEPENDS ${OMB_MAN_OUTPUTS})
