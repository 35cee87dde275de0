# Windows CE on ARM, for the device itself. Written for the CeGCC cross
# toolchain (arm-mingw32ce-*), the GCC for Windows CE; it is not packaged by
# Debian and is not available on the build machines here, so this file is
# untested. Point AUTORUN_CE_ROOT at the toolchain's install prefix.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(AUTORUN_CE_ROOT "/opt/mingw32ce" CACHE PATH "Install prefix of the Windows CE cross toolchain")
set(CMAKE_C_COMPILER ${AUTORUN_CE_ROOT}/bin/arm-mingw32ce-gcc)
set(CMAKE_CXX_COMPILER ${AUTORUN_CE_ROOT}/bin/arm-mingw32ce-g++)
set(CMAKE_RC_COMPILER ${AUTORUN_CE_ROOT}/bin/arm-mingw32ce-windres)

set(CMAKE_FIND_ROOT_PATH ${AUTORUN_CE_ROOT}/arm-mingw32ce)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Tells cmake/windows.cmake to build the device image: Windows CE GUI
# subsystem 3.0, WinMain with a wide command line, COREDLL.
set(AUTORUN_WINCE ON CACHE BOOL "Build for Windows CE" FORCE)
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WCE=0x300 -DUNDER_CE=0x300 -DARM -D_ARM_")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WCE=0x300 -DUNDER_CE=0x300 -DARM -D_ARM_")
set(CMAKE_RC_FLAGS_INIT "-D_WIN32_WCE=0x300 -DUNDER_CE=0x300")
