# The desktop build: the program linked against the Win32 backend, with its
# resources, as one small image; the image check; and the end-to-end runs
# under Wine.
#
# GUI subsystem, stack 64 KB reserved / 4 KB committed, heap 1 MB / 4 KB. No C
# runtime: the backend's RunProcess is the entry point, and the image imports
# only the program's operations and the start-up calls, from system DLLs.

enable_language(RC)
enable_testing()

set(AUTORUN_PYTHON /usr/bin/python3 CACHE FILEPATH
    "Python with pefile, for the icon and the image check")
set(AUTORUN_WINE "" CACHE FILEPATH
    "Wine loader that runs this build's images; empty: no Wine runs")

# The Win32 backend.
add_library(autorun_win32 OBJECT
    platform/win32/calls.cpp platform/win32/command_line.cpp platform/win32/entry.cpp
    platform/win32/start.cpp)
target_include_directories(autorun_win32 PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_options(autorun_win32 PRIVATE ${AUTORUN_PROGRAM_FLAGS})

# Small code: every function in its own section, unused ones dropped; no
# unwind tables, since nothing unwinds. No C runtime is linked, so copying
# loops stay loops instead of becoming calls to memmove or memset (a call the
# compiler still emits fails the link).
foreach(part autorun_core autorun_win32)
    target_compile_options(${part} PRIVATE -Os -ffunction-sections -fdata-sections
        -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-tree-loop-distribute-patterns)
endforeach()

# The icon is drawn by a script kept with the resources.
set(AUTORUN_ICON ${CMAKE_BINARY_DIR}/resources/autorun.ico)
add_custom_command(OUTPUT ${AUTORUN_ICON}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/resources
    COMMAND ${AUTORUN_PYTHON} ${PROJECT_SOURCE_DIR}/resources/icon/make_icon.py ${AUTORUN_ICON}
    DEPENDS ${PROJECT_SOURCE_DIR}/resources/icon/make_icon.py
    COMMENT "Drawing the icon")
set_source_files_properties(resources/autorun.rc PROPERTIES OBJECT_DEPENDS
    "${AUTORUN_ICON};${PROJECT_SOURCE_DIR}/resources/product.h")

add_executable(autorun WIN32
    $<TARGET_OBJECTS:autorun_core>
    $<TARGET_OBJECTS:autorun_win32>
    resources/autorun.rc)
target_include_directories(autorun PRIVATE
    ${CMAKE_BINARY_DIR}/resources ${PROJECT_SOURCE_DIR}/resources)
set_target_properties(autorun PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
# The entry point by its symbol name: C names carry a leading underscore on i686.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(AUTORUN_ENTRY _RunProcess)
else()
    set(AUTORUN_ENTRY RunProcess)
endif()
# Loaded at its image base, as on the device: no relocations (a 512-byte block
# and a section header). The layout script puts the constants with the code.
target_link_options(autorun PRIVATE
    -nostdlib -s -Wl,--gc-sections
    "SHELL:-Xlinker --entry=${AUTORUN_ENTRY}"
    -Wl,--disable-dynamicbase,--disable-reloc-section
    "SHELL:-Xlinker -T -Xlinker ${PROJECT_SOURCE_DIR}/cmake/windows.ld"
    "SHELL:-Xlinker --stack=0x10000,0x1000"
    "SHELL:-Xlinker --heap=0x100000,0x1000")
set_target_properties(autorun PROPERTIES LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/windows.ld)
target_link_libraries(autorun PRIVATE shell32 advapi32 user32 kernel32)

add_test(NAME windows_program_uses_no_heap
    COMMAND ${PROJECT_SOURCE_DIR}/tests/check_no_heap.sh ${CMAKE_NM}
        $<TARGET_OBJECTS:autorun_core> $<TARGET_OBJECTS:autorun_win32>
    COMMAND_EXPAND_LISTS)

add_subdirectory(tests/windows)
