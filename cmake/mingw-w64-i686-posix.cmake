# The Windows test build: the same cross compiler in its posix thread model,
# which GoogleTest needs (std::mutex). Products are built with the win32 model
# (mingw-w64-i686.cmake), because winpthreads imports GetTickCount64, which
# Windows XP lacks.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-i686.cmake)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
