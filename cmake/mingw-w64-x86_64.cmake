# Cross toolchain for 64-bit Windows with Debian's mingw-w64: the same sources
# as the 32-bit products, so the Windows tests run under 64-bit Wine on hosts
# that cannot execute 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
