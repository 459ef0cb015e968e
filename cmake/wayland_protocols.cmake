# Client code for the Wayland protocols, generated from the system's XML: the core protocol's
# interface descriptions (libwayland-client has them too, but it is loaded only at run time),
# xdg-output (wayland-protocols) and KDE's output order (plasma-wayland-protocols).
pkg_get_variable(wayland_core_dir wayland-client pkgdatadir)
pkg_get_variable(wayland_protocols_dir wayland-protocols pkgdatadir)
pkg_get_variable(wayland_scanner wayland-scanner wayland_scanner)
find_package(PlasmaWaylandProtocols REQUIRED)
if(NOT wayland_core_dir OR NOT wayland_protocols_dir OR NOT wayland_scanner)
    message(FATAL_ERROR "The Wayland backend needs Debian's wayland-protocols and libwayland-bin.")
endif()

set(wayland_protocol_dir ${CMAKE_CURRENT_BINARY_DIR}/wayland_protocols)
set(wayland_protocol_sources)
set(wayland_protocol_server_sources)  # server headers and the same code, for the tests' stand-in
foreach(xml ${wayland_core_dir}/wayland.xml ${wayland_protocols_dir}/unstable/xdg-output/xdg-output-unstable-v1.xml
            ${PLASMA_WAYLAND_PROTOCOLS_DIR}/kde-output-order-v1.xml)
    get_filename_component(name ${xml} NAME_WE)
    set(header ${wayland_protocol_dir}/${name}-client-protocol.h)
    set(code ${wayland_protocol_dir}/${name}-protocol.c)
    add_custom_command(OUTPUT ${header} ${code}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${wayland_protocol_dir}
        COMMAND ${wayland_scanner} client-header ${xml} ${header}
        COMMAND ${wayland_scanner} private-code ${xml} ${code}
        DEPENDS ${xml} VERBATIM)
    list(APPEND wayland_protocol_sources ${header} ${code})
    set(server_header ${wayland_protocol_dir}/${name}-server-protocol.h)
    add_custom_command(OUTPUT ${server_header}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${wayland_protocol_dir}
        COMMAND ${wayland_scanner} server-header ${xml} ${server_header}
        DEPENDS ${xml} VERBATIM)
    list(APPEND wayland_protocol_server_sources ${server_header} ${code})
endforeach()
# Custom command outputs are built only for targets of this folder: the tests' target depends on this.
add_custom_target(wayland_protocol_server DEPENDS ${wayland_protocol_server_sources})
