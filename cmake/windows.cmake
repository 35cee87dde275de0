# The Windows build: the program linked against the real Win32 backend, with
# its resources, as one small self-contained image; the image check; and the
# end-to-end runs under Wine.
#
# Desktop (MinGW-w64): GUI subsystem, wWinMain. Device (AUTORUN_WINCE, set by
# cmake/toolchains/wince-arm.cmake): Windows CE GUI subsystem 3.0, WinMain.
# Both: stack 64 KB reserved / 4 KB committed, heap 1 MB / 4 KB, runtime
# linked statically so that only system DLLs are imported.

enable_language(RC)
enable_testing()

option(AUTORUN_WINCE "Build for Windows CE" OFF)
set(AUTORUN_PYTHON /usr/bin/python3 CACHE FILEPATH
    "Python with pefile, for the icon and the image check")
set(AUTORUN_WINE "" CACHE FILEPATH
    "Wine loader that runs this build's images; empty: no Wine runs")

# The Win32 backend.
add_library(autorun_win32 OBJECT
    platform/win32/calls.cpp platform/win32/entry.cpp platform/win32/start.cpp)
target_include_directories(autorun_win32 PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_options(autorun_win32 PRIVATE ${AUTORUN_PROGRAM_FLAGS})

# Small code: every function in its own section, unused ones dropped.
foreach(part autorun_core autorun_win32)
    target_compile_options(${part} PRIVATE -Os -ffunction-sections -fdata-sections)
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
target_link_options(autorun PRIVATE
    -static -s -Wl,--gc-sections
    "SHELL:-Xlinker --stack=0x10000,0x1000"
    "SHELL:-Xlinker --heap=0x100000,0x1000")
if(AUTORUN_WINCE)
    target_link_options(autorun PRIVATE "SHELL:-Xlinker --subsystem=windowsce:3.0")
else()
    target_link_options(autorun PRIVATE -municode)
endif()
if(NOT AUTORUN_WINCE)
    target_link_libraries(autorun PRIVATE shell32 advapi32 user32 kernel32)
endif()

add_test(NAME windows_program_uses_no_heap
    COMMAND ${PROJECT_SOURCE_DIR}/tests/check_no_heap.sh ${CMAKE_NM}
        $<TARGET_OBJECTS:autorun_core> $<TARGET_OBJECTS:autorun_win32>
    COMMAND_EXPAND_LISTS)

add_subdirectory(tests/windows)
