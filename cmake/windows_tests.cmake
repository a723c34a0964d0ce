# The tests of the Windows build, included from tests/CMakeLists.txt: GoogleTest built for the
# target from Debian's sources, and the test folders of what the Windows build holds. They run
# under Wine through CMAKE_CROSSCOMPILING_EMULATOR (cmake/wine-run).
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)
add_compile_options(-include ${PROJECT_SOURCE_DIR}/tests/support/windows_posix.h)

nicops_test(text_tests text nicops_text)
nicops_test(platform_tests platform nicops_platform_sim)
nicops_test(inventory_tests inventory nicops_inventory nicops_platform_sim)
nicops_test(ipops_tests ipops nicops_ipops nicops_platform_sim)
nicops_test(ui_tests ui nicops_ui nicops_platform_sim)
nicops_test(windows_tests windows nicops_platform_windows)
nicops_test(win32_tests win32 nicops_ui_win32)
