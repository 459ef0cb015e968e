# Cross-compiling for Windows with MinGW-w64; the toolchain files set MINGW_TRIPLET and MINGW_PACKAGE.
set(CMAKE_SYSTEM_NAME Windows)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR "${MINGW_TRIPLET}")

# Finds one tool of the cross toolchain, or stops the configuration and names what to install.
function(mingw_find_tool variable program)
    find_program(${variable} ${program})
    if(NOT ${variable})
        message(FATAL_ERROR "${program} not found on PATH: the Windows build needs the MinGW-w64 "
                            "cross compiler for ${MINGW_TRIPLET} (Debian package ${MINGW_PACKAGE}).")
    endif()
endfunction()

mingw_find_tool(MINGW_CXX_COMPILER ${MINGW_TRIPLET}-g++)
mingw_find_tool(MINGW_RC_COMPILER ${MINGW_TRIPLET}-windres)
set(CMAKE_CXX_COMPILER ${MINGW_CXX_COMPILER})
set(CMAKE_RC_COMPILER ${MINGW_RC_COMPILER})

# Headers and libraries come from the cross environment only; programs run during the build from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
