# Cross-build for 32-bit Windows (for a 32-bit vendor DLL) with Debian's mingw-w64.
# SSE2 arithmetic instead of the x87 unit, so the model's floats round as on x86-64
# and the written model keeps its bytes; and the stack realigned where SSE needs
# it, since 32-bit Windows starts threads with a 4-byte-aligned stack.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(EMG_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
