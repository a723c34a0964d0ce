# The Windows backend and programs, included from src/CMakeLists.txt in place of the Linux ones.
nicops_library(nicops_platform_windows platform/windows nicops_platform iphlpapi ole32
  oleaut32 wbemuuid advapi32)

add_library(nicops_app_common STATIC app/backend_choice.cpp app/command_line.cpp
  app/console_view.cpp app/data_output.cpp app/nicopsctl_commands.cpp app/nicopsctl_runs.cpp)
target_compile_definitions(nicops_app_common PRIVATE NICOPS_VERSION="${PROJECT_VERSION}")
target_include_directories(nicops_app_common PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(nicops_app_common PUBLIC nicops_ui nicops_platform_sim
  nicops_platform_windows)

# nicopsctl.exe carries Libcurl.dll's image for its lookup.
add_executable(nicopsctl app/nicopsctl_main.cpp)
target_link_libraries(nicopsctl PRIVATE nicops_app_common nicops_http_image)

# The native main window and nicops.exe.
nicops_library(nicops_ui_win32 ui/win32 nicops_ui comctl32)
add_executable(nicops WIN32 app/nicops_win32_main.cpp)
# nicops.exe (like nicopsctl.exe) carries Libcurl.dll's image and writes it at start-up when
# it is missing.
target_link_libraries(nicops PRIVATE nicops_ui_win32 nicops_app_common nicops_http_image)
