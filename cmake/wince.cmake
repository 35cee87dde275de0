# The device image: autorun.exe for Windows CE on ARM, and its checks.
#
# GCC for ARM (arm-none-eabi-g++) compiles each source to assembly for ELF;
# cmake/wince/translate_asm.py turns that into the PE assembler's form; GNU
# binutils for arm-mingw32ce (built once by scripts/device-toolchain) then
# assembles it, compiles the resources, makes the COREDLL import library and
# links. CMake's own compiler support is not used: every step is a command
# below.

enable_testing()

set(AUTORUN_PYTHON /usr/bin/python3 CACHE FILEPATH
    "Python with pefile and capstone, for the translation, the icon and the image check")
find_program(AUTORUN_DEVICE_CXX arm-none-eabi-g++)
# The desktop resource compiler preprocesses the script with the Windows
# headers it comes with; the .res it writes is the same for every machine.
find_program(AUTORUN_RES_COMPILER i686-w64-mingw32-windres)
execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/device-toolchain --prefix
    OUTPUT_VARIABLE toolchain OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE toolchain_found
    ERROR_QUIET)
if(toolchain_found EQUAL 0)
    set(AUTORUN_DEVICE_BINUTILS ${toolchain} CACHE PATH
        "Install prefix of GNU binutils for arm-mingw32ce (made by scripts/device-toolchain)")
endif()
execute_process(COMMAND ${AUTORUN_PYTHON} -c "import pefile, capstone"
    RESULT_VARIABLE python_modules_found OUTPUT_QUIET ERROR_QUIET)

# Less is installed for the demo (scripts/setup demo) than this build needs:
# one message names all that is missing, and what to run.
set(missing)
if(NOT AUTORUN_DEVICE_CXX)
    list(APPEND missing "GCC for ARM (arm-none-eabi-g++)")
endif()
if(NOT AUTORUN_RES_COMPILER)
    list(APPEND missing "MinGW-w64's resource compiler (i686-w64-mingw32-windres)")
endif()
if(NOT EXISTS "${AUTORUN_DEVICE_BINUTILS}/.complete")
    list(APPEND missing "binutils for arm-mingw32ce (built by scripts/device-toolchain)")
endif()
if(NOT python_modules_found EQUAL 0)
    list(APPEND missing "Python's pefile and capstone (${AUTORUN_PYTHON})")
endif()
if(missing)
    list(JOIN missing ", " missing)
    message(FATAL_ERROR "The device image needs what is not installed here: ${missing}. "
        "Run scripts/setup, which installs the packages and builds the device toolchain "
        "(a few minutes the first time), then configure again.")
endif()
foreach(tool as ld windres dlltool nm)
    set(device_${tool} ${AUTORUN_DEVICE_BINUTILS}/bin/arm-mingw32ce-${tool})
endforeach()

# ARMv4 in ARM state (StrongARM has no BX: returns are mov pc, lr and pops
# into pc), int-sized enums; no exceptions,
# unwind tables or C runtime. Loops are not turned into library calls: of
# those, only memset is provided (platform/wince/memory.cpp).
set(device_flags
    -std=c++17 -march=armv4 -marm -Os -ffreestanding ${AUTORUN_PROGRAM_FLAGS}
    -fno-threadsafe-statics -fno-short-enums -fno-asynchronous-unwind-tables
    -fno-unwind-tables -fno-tree-loop-distribute-patterns -ffunction-sections -fdata-sections
    -Wall -Wextra -Werror -I${PROJECT_SOURCE_DIR})
set(translate ${PROJECT_SOURCE_DIR}/cmake/wince/translate_asm.py)
set(device_dir ${CMAKE_BINARY_DIR}/device)

set(device_objects)
foreach(source ${AUTORUN_SOURCES} platform/wince/calls.cpp platform/wince/entry.cpp
        platform/wince/memory.cpp)
    string(REGEX REPLACE "\\.cpp$" "" stem ${device_dir}/${source})
    get_filename_component(folder ${stem} DIRECTORY)
    file(MAKE_DIRECTORY ${folder})
    add_custom_command(OUTPUT ${stem}.o
        COMMAND ${AUTORUN_DEVICE_CXX} ${device_flags} -MD -MF ${stem}.d -MT ${stem}.o
            -S -o ${stem}.elf.s ${PROJECT_SOURCE_DIR}/${source}
        COMMAND ${AUTORUN_PYTHON} ${translate} ${stem}.elf.s ${stem}.s
        COMMAND ${device_as} -o ${stem}.o ${stem}.s
        DEPENDS ${PROJECT_SOURCE_DIR}/${source} ${translate}
        DEPFILE ${stem}.d
        COMMENT "Compiling ${source} for the device"
        VERBATIM)
    list(APPEND device_objects ${stem}.o)
endforeach()

# Resources: the desktop build's script and icon, compiled to a .res, then
# to an ARM object.
set(icon ${CMAKE_BINARY_DIR}/resources/autorun.ico)
add_custom_command(OUTPUT ${icon}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/resources
    COMMAND ${AUTORUN_PYTHON} ${PROJECT_SOURCE_DIR}/resources/icon/make_icon.py ${icon}
    DEPENDS resources/icon/make_icon.py
    COMMENT "Drawing the icon"
    VERBATIM)
add_custom_command(OUTPUT ${device_dir}/autorun.res ${device_dir}/resources.o
    COMMAND ${AUTORUN_RES_COMPILER} -I ${PROJECT_SOURCE_DIR}/resources
        -I ${CMAKE_BINARY_DIR}/resources -O res -i ${PROJECT_SOURCE_DIR}/resources/autorun.rc
        -o ${device_dir}/autorun.res
    COMMAND ${device_windres} -i ${device_dir}/autorun.res -o ${device_dir}/resources.o
    DEPENDS resources/autorun.rc resources/product.h ${icon}
    COMMENT "Compiling the resources for the device"
    VERBATIM)

# COREDLL's operations, imported by ordinal only: the definitions are made
# from the table of operations, then the import library from them.
set(make_def ${PROJECT_SOURCE_DIR}/cmake/wince/make_def.py)
add_custom_command(OUTPUT ${device_dir}/coredll.def ${device_dir}/libcoredll.a
    COMMAND ${AUTORUN_PYTHON} ${make_def} ${PROJECT_SOURCE_DIR}/platform/operations.h
        ${device_dir}/coredll.def
    COMMAND ${device_dlltool} -d ${device_dir}/coredll.def -l ${device_dir}/libcoredll.a
    DEPENDS platform/operations.h ${make_def} cmake/operations.py
    COMMENT "Making the COREDLL import library"
    VERBATIM)

# Windows CE GUI 3.0; stack 64 KB / 4 KB, heap 1 MB / 4 KB; loaded at 0x10000,
# where it always is, so no relocations and no dynamic base; no NX flag.
# Unused sections are dropped and the symbols stripped; the linker's map
# (autorun.map) names the functions for the coverage report. The layout script
# makes three sections: code with the constants, imports, resources; the
# linker makes the resources writable, and a last step takes that off.
set(layout ${PROJECT_SOURCE_DIR}/cmake/wince.ld)
set(read_only_resources ${PROJECT_SOURCE_DIR}/cmake/wince/read_only_resources.py)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/autorun.exe ${CMAKE_BINARY_DIR}/autorun.map
    COMMAND ${device_ld} --subsystem=wince:3.0 --stack=0x10000,0x1000
        --heap=0x100000,0x1000 --image-base=0x10000 --disable-dynamicbase --disable-nxcompat
        --disable-reloc-section --no-insert-timestamp -e WinMainCRTStartup --gc-sections -s
        -T ${layout} -Map=${CMAKE_BINARY_DIR}/autorun.map -o ${device_dir}/autorun.linked.exe
        ${device_objects}
        ${device_dir}/resources.o ${device_dir}/libcoredll.a
    COMMAND ${AUTORUN_PYTHON} ${read_only_resources} ${device_dir}/autorun.linked.exe
        ${CMAKE_BINARY_DIR}/autorun.exe
    DEPENDS ${device_objects} ${device_dir}/resources.o ${device_dir}/libcoredll.a ${layout}
        ${read_only_resources}
    COMMENT "Linking autorun.exe for the device"
    VERBATIM)
add_custom_target(autorun ALL DEPENDS ${CMAKE_BINARY_DIR}/autorun.exe)

add_test(NAME wince_image
    COMMAND ${AUTORUN_PYTHON} ${PROJECT_SOURCE_DIR}/tests/windows/check_image.py --device
        ${CMAKE_BINARY_DIR}/autorun.exe)
add_test(NAME wince_program_uses_no_heap
    COMMAND ${PROJECT_SOURCE_DIR}/tests/check_no_heap.sh ${device_nm} ${device_objects})
add_subdirectory(tests/wince)
