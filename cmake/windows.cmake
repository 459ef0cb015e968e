# The Windows product, monitor_listing.exe, its package and its tests.
enable_language(RC)

target_compile_definitions(monitor_listing_program PRIVATE __USE_MINGW_ANSI_STDIO=0)
target_compile_options(monitor_listing_program PRIVATE "SHELL:-include stdio.h")

add_executable(monitor_listing monitor_listing/monitor_listing.rc)
target_link_libraries(monitor_listing PRIVATE monitor_listing_program)
target_link_options(monitor_listing PRIVATE -static-libgcc -s -Wl,--gc-sections
    -Wl,-Map=$<TARGET_FILE_DIR:monitor_listing>/monitor_listing.map)
