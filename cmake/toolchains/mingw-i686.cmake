# Cross build of the 32-bit Windows product with Debian's mingw-w64 (posix thread model,
# so std::thread and std::mutex are available).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KESTRUNE_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
