# Libcurl.dll, the HTTP library of the Windows programs' external-address lookup: built for the
# target from Debian's curl source package (the same suite the Linux build links), HTTP and
# HTTPS only, TLS through Windows' own Schannel, no other library; libgcc linked in, so the DLL
# imports only system DLLs. The source is fetched once into the build tree
# (third_party/curl-source) and reused; the DLL lands in third_party/Libcurl.dll, and its
# headers are the ones the lookup is compiled with.
include(ExternalProject)
set(nicops_curl_source ${PROJECT_BINARY_DIR}/third_party/curl-source)
set(nicops_curl_build ${PROJECT_BINARY_DIR}/third_party/curl-build)
set(NICOPS_HTTP_LIBRARY_FILE ${PROJECT_BINARY_DIR}/third_party/Libcurl.dll)
set(NICOPS_CURL_INCLUDE_DIR ${nicops_curl_source}/include)
ExternalProject_Add(curl_dll
  PREFIX ${PROJECT_BINARY_DIR}/third_party/curl-steps
  SOURCE_DIR ${nicops_curl_source}
  BINARY_DIR ${nicops_curl_build}
  DOWNLOAD_COMMAND ${PROJECT_SOURCE_DIR}/cmake/fetch-debian-source curl ${nicops_curl_source}
  UPDATE_COMMAND ""
  PATCH_COMMAND ""
  CMAKE_GENERATOR Ninja
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64.cmake
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_C_FLAGS_RELEASE=-O2
    "-DCMAKE_SHARED_LINKER_FLAGS=-static-libgcc -static -s"
    -DBUILD_SHARED_LIBS=ON -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF
    -DCURL_ENABLE_EXPORT_TARGET=OFF -DPICKY_COMPILER=OFF
    -DHTTP_ONLY=ON -DCURL_USE_SCHANNEL=ON -DCURL_WINDOWS_SSPI=ON -DCURL_USE_OPENSSL=OFF
    -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DCURL_USE_LIBSSH2=OFF
    -DCURL_USE_LIBSSH=OFF -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF -DCURL_USE_LIBPSL=OFF
    -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON -DUSE_NGHTTP2=OFF -DCURL_USE_GSSAPI=OFF
    -DENABLE_UNIX_SOCKETS=OFF -DCURL_DISABLE_NTLM=ON -DCURL_DISABLE_ALTSVC=ON
    -DCURL_DISABLE_HSTS=ON -DCURL_DISABLE_COOKIES=ON -DCURL_DISABLE_DOH=ON
    -DCURL_DISABLE_NETRC=ON -DCURL_DISABLE_MIME=ON -DCURL_DISABLE_PROXY=ON
    -DCURL_DISABLE_CRYPTO_AUTH=ON -DCURL_DISABLE_HTTP_AUTH=ON -DCURL_DISABLE_GETOPTIONS=ON
    -DCURL_DISABLE_PROGRESS_METER=ON
  BUILD_COMMAND ${CMAKE_COMMAND} --build . --target libcurl
  INSTALL_COMMAND ${CMAKE_COMMAND} -E copy ${nicops_curl_build}/lib/libcurl.dll
                  ${NICOPS_HTTP_LIBRARY_FILE}
  BUILD_BYPRODUCTS ${NICOPS_HTTP_LIBRARY_FILE}
  USES_TERMINAL_BUILD OFF)

# The DLL's image, carried by every program that may have to write it (a resource of the .exe,
# name "LIBCURL_DLL", type RCDATA): link the object library into the program itself.
set(nicops_http_image_rc ${PROJECT_BINARY_DIR}/third_party/http_library_image.rc)
file(WRITE ${nicops_http_image_rc}.in "LIBCURL_DLL RCDATA \"@NICOPS_HTTP_LIBRARY_FILE@\"\n")
configure_file(${nicops_http_image_rc}.in ${nicops_http_image_rc} @ONLY)
add_library(nicops_http_image OBJECT ${nicops_http_image_rc})
set_source_files_properties(${nicops_http_image_rc} PROPERTIES
  OBJECT_DEPENDS ${NICOPS_HTTP_LIBRARY_FILE})
add_dependencies(nicops_http_image curl_dll)
