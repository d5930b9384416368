# uWebSockets 0.14 (libuv backend) as a static library, built from the
# sources of the npm package uws@0.14.5, fetched and checked at configure time.
set(UWS_DIR ${CMAKE_BINARY_DIR}/_deps/uws/package)
execute_process(
    COMMAND ${CMAKE_SOURCE_DIR}/tools/fetch_npm_package.sh uws@0.14.5
            oMU9WJmbsu0M2oGXJ8vgbDSTLxAGCfvLGg1knjH07E9LgKTQ1cdDTGMwUl8bvEwsfKiAiwLEWRbE+hC/Qvtsjw==
            ${CMAKE_BINARY_DIR}/_deps/uws src LICENSE
    RESULT_VARIABLE UWS_FETCH_RESULT)
if(NOT UWS_FETCH_RESULT EQUAL 0)
    message(FATAL_ERROR "uWebSockets could not be fetched or failed its checksum; see the message above.")
endif()

find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBUV REQUIRED IMPORTED_TARGET libuv)
find_package(ZLIB REQUIRED)
find_package(OpenSSL REQUIRED)

set(UWS_SOURCES)
foreach(name Extensions Group HTTPSocket Hub Networking Node Socket WebSocket)
    list(APPEND UWS_SOURCES ${UWS_DIR}/src/${name}.cpp)
endforeach()
add_library(uws STATIC ${UWS_SOURCES})
target_compile_definitions(uws PUBLIC USE_LIBUV)
target_compile_options(uws PRIVATE -w)
target_include_directories(uws SYSTEM PUBLIC ${UWS_DIR}/src)
target_link_libraries(uws PUBLIC PkgConfig::LIBUV ZLIB::ZLIB OpenSSL::SSL OpenSSL::Crypto)
