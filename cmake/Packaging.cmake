# Installing and packaging. `cmake --install` puts everything below under the
# prefix; `cpack -G DEB` in the build folder makes two Debian packages of it:
#   halvero-configurator        the window program, halvero-cli, desktop entry,
#                               icon, AppStream metainfo, their man pages,
#                               halvero-cli's bash completion (and the
#                               optional udev rule)
#   halvero-configurator-tools  the board simulator and its man page, for
#                               development and tests
# each with its copyright file and changelog in /usr/share/doc/<package>.
# Only these two components are packaged: whatever is installed without a
# component (or not installed, like the tests and benchmarks) stays out.

set(HALVERO_USB_IDS "" CACHE STRING
    "USB ids of the boards as VENDOR:PRODUCT, separated by ';' (e.g. 0483:5740;1234:abcd); when set, a udev rule lets the user at the machine open them and keeps ModemManager away")

set(halvero_packaging ${PROJECT_SOURCE_DIR}/packaging)

install(FILES ${halvero_packaging}/example.halvero.configurator.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT configurator)
install(FILES ${halvero_packaging}/halvero-configurator.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT configurator)

# Desktop entry, icon, man pages, package documentation, AppStream metainfo and
# udev rule are for Linux desktops.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
    return()
endif()

set(HALVERO_HOMEPAGE "https://git.halvero.example/halvero/halvero-configurator" CACHE STRING
    "The project's web page: the packages' homepage, the AppStream URL and where its screenshot is fetched from")
if(NOT CPACK_PACKAGE_CONTACT)
    set(CPACK_PACKAGE_CONTACT "Halvero configurator maintainers <configurator@halvero.example>")
endif()
# The changelog's and the metainfo's release date: configure time, or
# SOURCE_DATE_EPOCH when a reproducible build sets it.
string(TIMESTAMP HALVERO_RELEASE_TIME "%a, %d %b %Y %H:%M:%S +0000" UTC)
string(TIMESTAMP HALVERO_RELEASE_DAY "%Y-%m-%d" UTC)

set(halvero_generated ${CMAKE_CURRENT_BINARY_DIR}/packaging)
configure_file(${halvero_packaging}/copyright.in ${halvero_generated}/copyright @ONLY)
configure_file(${halvero_packaging}/changelog.in ${halvero_generated}/changelog @ONLY)
configure_file(${halvero_packaging}/example.halvero.configurator.metainfo.xml.in
               ${halvero_generated}/example.halvero.configurator.metainfo.xml @ONLY)

# Man pages and the changelog are shipped compressed, without name or time
# stamp in the gzip header.
set(halvero_gzipped "")
foreach(source IN ITEMS ${halvero_packaging}/halvero-configurator.1 ${halvero_packaging}/halvero-cli.1
                        ${halvero_packaging}/halvero-boardsim.1 ${halvero_generated}/changelog)
    get_filename_component(name ${source} NAME)
    set(copy ${halvero_generated}/gz/${name})
    add_custom_command(OUTPUT ${copy}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
        COMMAND gzip -9nf ${copy}
        DEPENDS ${source}
        VERBATIM)
    list(APPEND halvero_gzipped ${copy}.gz)
endforeach()
add_custom_target(halvero-packaging-files ALL DEPENDS ${halvero_gzipped})

set(halvero_man1 ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${halvero_generated}/gz/halvero-configurator.1.gz ${halvero_generated}/gz/halvero-cli.1.gz
        DESTINATION ${halvero_man1} COMPONENT configurator)
# Tab completion of halvero-cli's commands, options and serial ports in bash
# (the bash-completion package loads it on first use).
install(FILES ${halvero_packaging}/halvero-cli.bash RENAME halvero-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT configurator)
install(FILES ${halvero_generated}/example.halvero.configurator.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT configurator)
# Each package carries the copyright file and changelog in its own doc folder.
# The version has no Debian revision, so Debian reads the packages as native
# ones, whose changelog is changelog.gz.
set(halvero_docs ${halvero_generated}/copyright ${halvero_generated}/gz/changelog.gz)
install(FILES ${halvero_docs} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/halvero-configurator
        COMPONENT configurator)
# The simulator's package, only where the simulator is built.
if(HALVERO_SIMULATOR)
    install(FILES ${halvero_generated}/gz/halvero-boardsim.1.gz DESTINATION ${halvero_man1} COMPONENT tools)
    install(FILES ${halvero_docs} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/halvero-configurator-tools
            COMPONENT tools)
endif()

if(HALVERO_USB_IDS)
    string(REPLACE "," ";" halvero_usb_ids "${HALVERO_USB_IDS}")
    set(HALVERO_UDEV_MATCHES "")
    foreach(id IN LISTS halvero_usb_ids)
        string(STRIP "${id}" id)
        string(TOLOWER "${id}" id)
        if(NOT id MATCHES "^([0-9a-f][0-9a-f][0-9a-f][0-9a-f]):([0-9a-f][0-9a-f][0-9a-f][0-9a-f])$")
            message(FATAL_ERROR "HALVERO_USB_IDS: '${id}' is not VENDOR:PRODUCT, four hex digits each (like 0483:5740)")
        endif()
        string(APPEND HALVERO_UDEV_MATCHES
            "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"${CMAKE_MATCH_1}\", ATTRS{idProduct}==\"${CMAKE_MATCH_2}\", "
            "TAG+=\"uaccess\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n")
    endforeach()
    configure_file(${halvero_packaging}/70-halvero-boards.rules.in
                   ${CMAKE_CURRENT_BINARY_DIR}/70-halvero-boards.rules @ONLY)
    # udev reads /usr/lib/udev/rules.d, not lib/ under another prefix; the package's prefix is /usr.
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/70-halvero-boards.rules
            DESTINATION lib/udev/rules.d COMPONENT configurator)
    message(STATUS "udev rule for the boards' USB ids: ${halvero_usb_ids}")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME halvero-configurator)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Halvero)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${HALVERO_HOMEPAGE})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL configurator)
if(HALVERO_SIMULATOR)
    list(APPEND CPACK_COMPONENTS_ALL tools)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from the binaries (dpkg-shlibdeps, in dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_CONFIGURATOR_PACKAGE_NAME halvero-configurator)
# Qt loads its platform plugins (xcb, wayland, offscreen) at run time: no binary links them.
set(CPACK_DEBIAN_CONFIGURATOR_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_COMPONENT_CONFIGURATOR_DESCRIPTION
"configure and monitor Halvero parachute-system boards
The Halvero configurator talks to the boards of the Halvero parachute system
(08A3 and 08A2 switch boards, 04F2 trigger board) over a USB serial port:
it identifies a board, shows and edits its stored configuration, restores its
defaults, dumps its EEPROM and shows its live status.
.
This package holds the window program halvero-configurator and the
command-line companion halvero-cli, for scripting many boards and keeping
their configurations in files.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME halvero-configurator-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION devel)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
"simulated Halvero board for trying the configurator without hardware
halvero-boardsim stands in for a Halvero parachute-system board on a
pseudo-terminal, with fault modes (silent, late, split or garbled replies,
endless output, pulled cable, a paced UART), for development and tests.")

include(CPack)
