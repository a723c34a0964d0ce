# Settings of the Windows cross-build, included from the top CMakeLists.txt.

# nlohmann-json is header-only: the cross-build includes Debian's copy through a folder that
# holds nothing else, so no other header of the build machine is seen.
find_path(NICOPS_NLOHMANN_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
  REQUIRED)
set(nicops_json_dir ${PROJECT_BINARY_DIR}/third_party/include)
file(MAKE_DIRECTORY ${nicops_json_dir})
file(CREATE_LINK ${NICOPS_NLOHMANN_INCLUDE}/nlohmann ${nicops_json_dir}/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
target_include_directories(nlohmann_json::nlohmann_json INTERFACE ${nicops_json_dir})

# Every program is one static .exe; the socket functions (address text, name look-ups) and
# the IP helper live in system DLLs.
link_libraries(ws2_32)

# localtime_r and the other reentrant time functions; <windows.h> without its rarely used parts
# and without the min/max macros.
add_compile_definitions(_POSIX_THREAD_SAFE_FUNCTIONS=200112L WIN32_LEAN_AND_MEAN NOMINMAX)

# Libcurl.dll and its image for the programs.
include(${CMAKE_CURRENT_LIST_DIR}/curl_dll.cmake)
