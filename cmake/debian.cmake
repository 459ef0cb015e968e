# The Linux install (program, manual page, copyright, changelog) and its Debian package, made
# by CPack's DEB generator as monitor-listing_<version>_<arch>.deb.
include(GNUInstallDirs)

# Debian's package names have no underscore; the program and its page keep the project's name.
set(debian_package monitor-listing)
set(debian_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${debian_package})

# The changelog's newest entry must be the version packaged.
file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/packaging/debian/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^${debian_package} \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/debian/changelog starts with \"${changelog_head}\": "
                        "give version ${PROJECT_VERSION} an entry first.")
endif()

# Debian ships manual pages and changelogs compressed with gzip -9; -n leaves out the name and
# time, so that the same source gives the same bytes.
set(compressed)
foreach(source monitor_listing.1 debian/changelog)
    get_filename_component(name ${source} NAME)
    set(copy ${CMAKE_CURRENT_BINARY_DIR}/packaging/${name})
    add_custom_command(OUTPUT ${copy}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/packaging/${source} ${copy}
        COMMAND gzip -9nf ${copy}
        DEPENDS packaging/${source} VERBATIM)
    list(APPEND compressed ${copy}.gz)
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${compressed})

install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/monitor_listing.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/debian/copyright ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz
    DESTINATION ${debian_doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${debian_package})
set(CPACK_PACKAGE_CONTACT "monitor_listing maintainers <maintainers@users.noreply.c-seed-837933b0.example>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Left to the umask by CPack, the package's directories are set to 0755 by this script.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/cmake/debian_directories.cmake)
# The C library is read from the program by dpkg-shlibdeps (from dpkg-dev). The display client
# libraries are loaded at run time, so the program does not name them: they are listed here, at
# the versions that first have every call it makes (RandR's GetMonitors, wl_proxy_marshal_flags).
# libdbus serves only GNOME's primary.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libwayland-client0 (>= 1.20.0), libxcb-randr0 (>= 1.12), libxcb1")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libdbus-1-3, libxcb-xinerama0")
# md5sums and the other control files 0644, as Debian's own tools write them.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "command-line tool that lists the display monitors and the primary one")
# No double quotes or semicolons in it: CPack's DEB generator mangles them.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [[
monitor_listing writes one line per display monitor of the desktop: the
monitor's name (such as HDMI-1), a tab, and the word true for the primary
monitor or false for any other. It is meant for scripts that place windows
or check a screen set-up, and for a quick look at a terminal.

Under Wayland it lists the compositor's outputs by their connector names,
with the primary that KWin or mutter names. Under X11 it lists the active
monitors of the X server named by DISPLAY (RandR 1.5), as
xrandr --listactivemonitors does. After the list it waits for one
character on standard input, so a script runs it as
monitor_listing </dev/null.]])
include(CPack)
