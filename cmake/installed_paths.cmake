# Run when installing (cmake/linux_install.cmake): NICOPS_TEMPLATE with @BINDIR@ turned into
# the folder the programs are installed to by this install, written to NICOPS_INSTALLED.
if(IS_ABSOLUTE "${NICOPS_BINDIR}")
  set(bindir "${NICOPS_BINDIR}")
else()
  set(bindir "${CMAKE_INSTALL_PREFIX}/${NICOPS_BINDIR}")
endif()
file(READ "${NICOPS_TEMPLATE}" text)
string(REPLACE "@BINDIR@" "${bindir}" text "${text}")
file(WRITE "${NICOPS_INSTALLED}" "${text}")
