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
nicops_test(windows_tests windows nicops_platform_windows nicops_ipops nicops_external
  nicops_ui nicops_platform_sim nicops_http_image)
# The lookup's tests load Libcurl.dll from beside the test program, as the programs do.
add_custom_command(TARGET windows_tests POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${NICOPS_HTTP_LIBRARY_FILE}
          $<TARGET_FILE_DIR:windows_tests>/Libcurl.dll)
nicops_test(win32_tests win32 nicops_ui_win32 nicops_platform_sim)
nicops_test(app_tests app nicops_app_common)

# nicopsctl.exe add --probe on the host's own adapters, inside the lab's namespace (the addresses
# go to the lab's link): the lab's own address answers the echo probe and is skipped as in use;
# 10.77.0.9, which nobody holds, goes on to the platform (Wine's AddIPAddress answers 50).
add_test(NAME nicopsctl_add_probe_netns
  COMMAND bash -c "set -o pipefail; \"$@\" 2>&1 | iconv -f GBK -t UTF-8" netns-lab
          ${PROJECT_SOURCE_DIR}/tests/windows/netns-lab $<TARGET_FILE:nicopsctl>
          --store ${PROJECT_BINARY_DIR}/nicopsctl-add-probe-store.json
          add --probe 10.77.0.5 10.77.0.9)
set_tests_properties(nicopsctl_add_probe_netns PROPERTIES SKIP_RETURN_CODE 77
  LABELS app_tests PASS_REGULAR_EXPRESSION
  "10\\.77\\.0\\.5 失败,该ip可能已被占用\\..*10\\.77\\.0\\.9 失败,返回代码50\\.")

# The backend under Wine inside a network namespace with known links (needs root: skipped
# otherwise); the test itself skips when run outside the lab.
add_test(NAME windows_backend_netns
  COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/netns-lab $<TARGET_FILE:windows_tests>
          --gtest_filter=WindowsBackendLab.*:WmiConfigurationLab.*)
set_tests_properties(windows_backend_netns PROPERTIES SKIP_RETURN_CODE 77 LABELS windows_tests)

# nicopsctl.exe says, prints and exits with what the Linux build's nicopsctl does for the same
# session on the demo host (tests/app/nicopsctl-parity.expected), in code page 936; its lookup
# goes through Libcurl.dll, as the Linux one through libcurl.
add_test(NAME nicopsctl_parity
  COMMAND ${PROJECT_SOURCE_DIR}/tests/app/nicopsctl-parity --gbk
          ${PROJECT_SOURCE_DIR}/cmake/wine-run $<TARGET_FILE:nicopsctl>)
set_tests_properties(nicopsctl_parity PROPERTIES LABELS app_tests)

# nicopsctl.exe dhcp on the lab's link goes to the WMI configuration: Wine's WMI refuses the
# query by connection name, and the reason comes before the failure line. Without a console the
# program writes code page 936; the lines are read back as UTF-8.
add_test(NAME nicopsctl_dhcp_netns
  COMMAND bash -c "set -o pipefail; \"$@\" 2>&1 | iconv -f GBK -t UTF-8" netns-lab
          ${PROJECT_SOURCE_DIR}/tests/windows/netns-lab $<TARGET_FILE:nicopsctl>
          --store ${PROJECT_BINARY_DIR}/nicopsctl-dhcp-store.json dhcp --adapter lab0)
set_tests_properties(nicopsctl_dhcp_netns PROPERTIES SKIP_RETURN_CODE 77
  SKIP_REGULAR_EXPRESSION "skipped: "
  PASS_REGULAR_EXPRESSION "在 WMI 中查找连接名为“lab0”的网络适配器失败: 0x80041001\\.[^\n]*\n[^\n]*lab0 修改为自动获取IP失败！"
  LABELS app_tests)

# The lookup through Libcurl.dll against the Linux build's nicops-echo on 127.0.0.1 (skipped
# when the release preset hasn't built it).
add_test(NAME windows_lookup_echo
  COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/with-echo
          ${PROJECT_SOURCE_DIR}/build/release/src/nicops-echo $<TARGET_FILE:windows_tests>
          --gtest_filter=LookupThroughDllTest.*:QueryThroughDllTest.*)
set_tests_properties(windows_lookup_echo PROPERTIES SKIP_RETURN_CODE 77 LABELS windows_tests)

# The in-use probe inside the lab, with a router that answers host unreachable: only echo
# replies count.
add_test(NAME windows_icmp_probe_netns
  COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/netns-lab
          ${PROJECT_SOURCE_DIR}/tests/windows/router-lab $<TARGET_FILE:windows_tests>
          --gtest_filter=IcmpEchoProbeLab.*)
set_tests_properties(windows_icmp_probe_netns PROPERTIES SKIP_RETURN_CODE 77 LABELS windows_tests)
