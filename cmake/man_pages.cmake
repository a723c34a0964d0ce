# The manual pages: docs/man/NAME.N.scd, each turned by scdoc into the roff page NAME.N
# (compressed, as Debian keeps them) and installed to share/man/manN with the component of the
# program NAME (NICOPS_COMPONENT_NAME). A page whose program this build doesn't make is left
# out.
find_program(NICOPS_SCDOC scdoc)
if(NICOPS_SCDOC)
  set(man_default ON)
else()
  set(man_default OFF)
endif()
option(NICOPS_MAN_PAGES "Make and install the manual pages (needs scdoc)" ${man_default})
if(NOT NICOPS_MAN_PAGES)
  return()
endif()
if(NOT NICOPS_SCDOC)
  message(FATAL_ERROR "NICOPS_MAN_PAGES needs scdoc (Debian package scdoc)")
endif()

file(GLOB man_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/*.scd)
set(man_pages)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/man)
foreach(source IN LISTS man_sources)
  get_filename_component(page ${source} NAME_WLE)  # nicops-echo.8
  string(REGEX MATCH "^(.+)\\.([1-9])$" named ${page})
  if(NOT named)
    message(FATAL_ERROR "${source}: a manual page's source is NAME.SECTION.scd")
  endif()
  set(program ${CMAKE_MATCH_1})
  set(section ${CMAKE_MATCH_2})
  if(NOT TARGET ${program})
    continue()
  endif()
  set(roff ${PROJECT_BINARY_DIR}/man/${page})
  set(output ${roff}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "\"$0\" < \"$1\" > \"$2\"" ${NICOPS_SCDOC} ${source} ${roff}
    COMMAND gzip -9nf ${roff}
    DEPENDS ${source}
    COMMENT "Manual page ${page}"
    VERBATIM)
  list(APPEND man_pages ${output})
  install(FILES ${output} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section}
    COMPONENT ${NICOPS_COMPONENT_${program}})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_pages})
