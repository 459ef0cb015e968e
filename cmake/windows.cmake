# The Windows product: monitor_listing.exe, its ZIP package, and its tests.
enable_language(RC)

# Formatted output must come from the system runtime's wprintf (msvcrt.dll), not from MinGW's own
# printf family, which is larger than the whole program. C++ mode and libstdc++'s headers switch
# MinGW's on, but only where <stdio.h> has not been read yet: so every translation unit reads it
# first, with the switch off, whatever order its own includes come in.
target_compile_definitions(monitor_listing_program PRIVATE __USE_MINGW_ANSI_STDIO=0)
target_compile_options(monitor_listing_program PRIVATE "SHELL:-include stdio.h")

add_executable(monitor_listing monitor_listing/monitor_listing.rc)
target_link_libraries(monitor_listing PRIVATE monitor_listing_program)
# The .rc names the manifest, which the build cannot see as a dependency by itself.
set_property(SOURCE monitor_listing/monitor_listing.rc APPEND PROPERTY
    OBJECT_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/monitor_listing/monitor_listing.manifest)
# -static-libgcc: no libgcc DLL to ship. -s and --gc-sections: the size. The map records what
# was linked in, for the tests, since the stripped program no longer tells.
set(monitor_listing_map ${CMAKE_CURRENT_BINARY_DIR}/monitor_listing.map)
target_link_options(monitor_listing PRIVATE
    -static-libgcc -s -Wl,--gc-sections -Wl,-Map=${monitor_listing_map})

install(TARGETS monitor_listing RUNTIME DESTINATION .)
# Windows line ends for Notepad; the source keeps the repository's.
configure_file(packaging/README.txt README.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(LICENSE LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(monitor_listing_package ${PROJECT_NAME}-${PROJECT_VERSION}-win32)
else()
    set(monitor_listing_package ${PROJECT_NAME}-${PROJECT_VERSION}-win64)
endif()
set(CPACK_PACKAGE_FILE_NAME ${monitor_listing_package})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Lists the display monitors and tells which one is the primary")
include(CPack)

include(CTest)
if(BUILD_TESTING)
    add_subdirectory(tests/windows)
endif()
