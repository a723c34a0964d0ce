# The install rules of the Linux programs and the files that go with them, in two components:
# nicops (the window, nicopsctl, the restore unit, the desktop entry, icon, AppStream metainfo,
# manual pages, bash completion, polkit action) and echo (nicops-echo, its unit and manual
# page). `cmake --install` installs both; cmake/debian_packages.cmake makes a Debian package of
# each.
include(GNUInstallDirs)

set(NICOPS_SYSTEMD_UNIT_DIR lib/systemd/system CACHE STRING
  "Where the systemd units are installed (below the install prefix unless absolute)")
set(NICOPS_COMPONENT_nicops nicops)
set(NICOPS_COMPONENT_nicopsctl nicops)
set(NICOPS_COMPONENT_nicops-echo echo)

foreach(program nicops nicopsctl nicops-echo)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
      COMPONENT ${NICOPS_COMPONENT_${program}})
  endif()
endforeach()

# A file that names an installed program: SOURCE with each OLD text (which it must hold) turned
# into NEW, where @BINDIR@ stands for the programs' folder of the install being made (the
# prefix of `cmake --install`, /usr in the packages), filled in by cmake/installed_paths.cmake
# when installing.
function(nicops_install_naming_programs source destination component)
  cmake_parse_arguments(PARSE_ARGV 3 arg "" "" "REPLACE")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} text)
  while(arg_REPLACE)
    list(POP_FRONT arg_REPLACE old new)
    string(FIND "${text}" "${old}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${source} no longer holds \"${old}\"")
    endif()
    string(REPLACE "${old}" "${new}" text "${text}")
  endwhile()
  get_filename_component(name ${source} NAME)
  set(template ${PROJECT_BINARY_DIR}/packaging/${name}.in)
  set(installed ${PROJECT_BINARY_DIR}/packaging/installed/${name})
  file(WRITE ${template} "${text}")
  install(CODE "set(NICOPS_TEMPLATE \"${template}\")
    set(NICOPS_INSTALLED \"${installed}\")
    set(NICOPS_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
    include(\"${PROJECT_SOURCE_DIR}/cmake/installed_paths.cmake\")" COMPONENT ${component})
  install(FILES ${installed} DESTINATION ${destination} COMPONENT ${component})
endfunction()

set(linux ${PROJECT_SOURCE_DIR}/packaging/linux)
nicops_install_naming_programs(${PROJECT_SOURCE_DIR}/packaging/nicops-restore.service
  ${NICOPS_SYSTEMD_UNIT_DIR} nicops
  REPLACE "/usr/local/bin/nicopsctl" "@BINDIR@/nicopsctl")
# The packaged unit runs as the package's own system user (made by its postinst) instead of a
# dynamic one; RemoveIPC= keeps what DynamicUser= implied beyond the unit's other settings.
nicops_install_naming_programs(${PROJECT_SOURCE_DIR}/packaging/nicops-echo.service
  ${NICOPS_SYSTEMD_UNIT_DIR} echo
  REPLACE "/usr/local/bin/nicops-echo" "@BINDIR@/nicops-echo"
  "DynamicUser=yes\n" "User=nicops-echo\nGroup=nicops-echo\nRemoveIPC=yes\n"
  "throw-away user" "user of its own")
nicops_install_naming_programs(${linux}/org.nicops.nicopsctl.policy
  ${CMAKE_INSTALL_DATADIR}/polkit-1/actions nicops
  REPLACE ">/usr/bin/nicopsctl<" ">@BINDIR@/nicopsctl<")

if(TARGET nicops)
  install(FILES ${linux}/nicops.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
    COMPONENT nicops)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/windows/nicops.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT nicops)
  install(FILES ${linux}/nicops.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
    RENAME org.nicops.nicops.metainfo.xml COMPONENT nicops)
endif()
install(FILES ${linux}/nicopsctl.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME nicopsctl
  COMPONENT nicops)

include(${PROJECT_SOURCE_DIR}/cmake/man_pages.cmake)
include(${PROJECT_SOURCE_DIR}/cmake/debian_packages.cmake)
