# Shared by the mingw-w64 toolchain files; EMG_MINGW_TRIPLE names the target.
set(CMAKE_C_COMPILER ${EMG_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${EMG_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${EMG_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${EMG_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No DLL to hunt for: libgcc, libstdc++ and winpthread linked into each executable.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Windows executables run here under Debian's wine64 (tools/wine_run.sh), also to
# list a test binary's tests; that listing happens when ctest runs, where the
# Wine prefix of the build is set up.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../tools/wine_run.sh)
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

# Release here is -O2, the optimisation of the Linux builds, without debug
# information: with it the test build compiles a third slower and links objects
# six times the size (the zip's executable is stripped anyway).
set(CMAKE_C_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")
