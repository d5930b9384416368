# Cross-build for 64-bit Windows with Debian's mingw-w64 (posix threads: std::thread
# and std::mutex through winpthread). Used by `make windows` and `make test-windows`.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(EMG_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
