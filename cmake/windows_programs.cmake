# The Windows backend and programs, included from src/CMakeLists.txt in place of the Linux ones.
nicops_library(nicops_platform_windows platform/windows nicops_platform iphlpapi ole32
  oleaut32 wbemuuid advapi32)

add_library(nicops_app_common STATIC app/backend_choice.cpp app/command_line.cpp
  app/console_view.cpp app/data_output.cpp app/json_writer.cpp app/nicopsctl_commands.cpp
  app/nicopsctl_runs.cpp)
target_compile_definitions(nicops_app_common PRIVATE NICOPS_VERSION="${PROJECT_VERSION}")
target_include_directories(nicops_app_common PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(nicops_app_common PUBLIC nicops_ui nicops_platform_sim
  nicops_platform_windows)

# Every program's own resources (packaging/windows): the icon (ID 1), the version from
# PROJECT_VERSION and the manifest with the rights it runs with. The .rc is UTF-8.
enable_language(RC)
function(nicops_program_resources target description level)
  set(NICOPS_PROGRAM ${target})
  set(NICOPS_PROGRAM_DESCRIPTION ${description})
  set(NICOPS_EXECUTION_LEVEL ${level})
  set(parts)
  foreach(part MAJOR MINOR PATCH TWEAK)
    if("${PROJECT_VERSION_${part}}" STREQUAL "")
      list(APPEND parts 0)
    else()
      list(APPEND parts ${PROJECT_VERSION_${part}})
    endif()
  endforeach()
  list(JOIN parts "," NICOPS_VERSION_COMMAS)
  list(JOIN parts "." NICOPS_VERSION_QUAD)
  set(dir ${PROJECT_BINARY_DIR}/resources)
  set(NICOPS_ICON_FILE ${PROJECT_SOURCE_DIR}/packaging/windows/nicops.ico)
  set(NICOPS_MANIFEST_FILE ${dir}/${target}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/program.manifest.in
    ${NICOPS_MANIFEST_FILE} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/program.rc.in ${dir}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${dir}/${target}.rc)
  set_source_files_properties(${dir}/${target}.rc PROPERTIES
    OBJECT_DEPENDS "${NICOPS_ICON_FILE};${NICOPS_MANIFEST_FILE}")
endfunction()

# nicopsctl.exe carries Libcurl.dll's image for its lookup.
add_executable(nicopsctl app/nicopsctl_main.cpp)
target_link_libraries(nicopsctl PRIVATE nicops_app_common nicops_http_image)
# It runs with the rights it was started with and says when they are missing.
nicops_program_resources(nicopsctl "汐桉网卡操作 命令行" asInvoker)

# The native main window and nicops.exe.
nicops_library(nicops_ui_win32 ui/win32 nicops_ui comctl32)
add_executable(nicops WIN32 app/nicops_win32_main.cpp)
# nicops.exe (like nicopsctl.exe) carries Libcurl.dll's image and writes it at start-up when
# it is missing.
target_link_libraries(nicops PRIVATE nicops_ui_win32 nicops_app_common nicops_http_image)
# Every change to an adapter needs the administrator's rights: the program asks for them.
nicops_program_resources(nicops "汐桉网卡操作" requireAdministrator)

if(NICOPS_BUILD_TESTS)
  enable_testing()  # this folder's tests are read before the top folder turns testing on
  # Both programs' icon, version and manifest read back from the .exe, and nicops.exe's start
  # under Wine though it asks for the administrator's rights.
  add_test(NAME program_resources
    COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/program-resources ${CMAKE_RC_COMPILER}
            ${PROJECT_VERSION} $<TARGET_FILE:nicops> $<TARGET_FILE:nicopsctl>)
  set_tests_properties(program_resources PROPERTIES LABELS app_tests)
endif()
