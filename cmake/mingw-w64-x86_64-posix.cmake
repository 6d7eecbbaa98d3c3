# The 64-bit Windows test build in the posix thread model (see
# mingw-w64-i686-posix.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
