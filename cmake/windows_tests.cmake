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
nicops_test(settings_tests settings nicops_settings)
nicops_test(ipops_tests ipops nicops_ipops nicops_platform_sim)
nicops_test(ui_tests ui nicops_ui nicops_platform_sim)
nicops_test(windows_tests windows nicops_platform_windows nicops_inventory)
nicops_test(win32_tests win32 nicops_ui_win32 nicops_platform_sim)
nicops_test(app_tests app nicops_app_common)

# nicopsctl.exe add --probe on the host's own adapters, inside the lab's namespace (the addresses
# go to the lab's link): the lab's own address answers the echo probe and is skipped as in use;
# 10.77.0.9, which nobody holds, goes on to the platform (Wine's AddIPAddress answers 50).
add_test(NAME nicopsctl_add_probe_netns
  COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/netns-lab $<TARGET_FILE:nicopsctl>
          --store ${PROJECT_BINARY_DIR}/nicopsctl-add-probe-store.json
          add --probe 10.77.0.5 10.77.0.9)
set_tests_properties(nicopsctl_add_probe_netns PROPERTIES SKIP_RETURN_CODE 77
  LABELS app_tests PASS_REGULAR_EXPRESSION
  "10\\.77\\.0\\.5 失败,该ip可能已被占用\\..*10\\.77\\.0\\.9 失败,返回代码50\\.")

# The backend under Wine inside a network namespace with known links (needs root: skipped
# otherwise); the test itself skips when run outside the lab.
add_test(NAME windows_backend_netns
  COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/netns-lab $<TARGET_FILE:windows_tests>
          --gtest_filter=WindowsBackendLab.*)
set_tests_properties(windows_backend_netns PROPERTIES SKIP_RETURN_CODE 77 LABELS windows_tests)

# The in-use probe inside the lab, with a router that answers host unreachable: only echo
# replies count.
add_test(NAME windows_icmp_probe_netns
  COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/netns-lab
          ${PROJECT_SOURCE_DIR}/tests/windows/router-lab $<TARGET_FILE:windows_tests>
          --gtest_filter=IcmpEchoProbeLab.*)
set_tests_properties(windows_icmp_probe_netns PROPERTIES SKIP_RETURN_CODE 77 LABELS windows_tests)
