# Installing and packaging. `cmake --install` puts everything below under the
# prefix; `cpack -G DEB` in the build folder makes two Debian packages of it:
#   halvero-configurator        the window program, halvero-cli, desktop entry,
#                               icon, man page (and the optional udev rule)
#   halvero-configurator-tools  the board simulator, for development and tests
# Only these two components are packaged: whatever is installed without a
# component (or not installed, like the tests and benchmarks) stays out.

set(HALVERO_USB_IDS "" CACHE STRING
    "USB ids of the boards as VENDOR:PRODUCT, separated by ';' (e.g. 0483:5740;1234:abcd); when set, a udev rule lets the user at the machine open them and keeps ModemManager away")

set(halvero_packaging ${PROJECT_SOURCE_DIR}/packaging)

install(FILES ${halvero_packaging}/halvero-configurator.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT configurator)
install(FILES ${halvero_packaging}/halvero-configurator.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT configurator)

# Desktop entry, icon, man page and udev rule are for Linux desktops.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
    return()
endif()

# Man pages are shipped compressed, without name or time stamp in the gzip header.
set(halvero_man ${CMAKE_CURRENT_BINARY_DIR}/man/halvero-cli.1)
add_custom_command(OUTPUT ${halvero_man}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -E copy ${halvero_packaging}/halvero-cli.1 ${halvero_man}
    COMMAND gzip -9nf ${halvero_man}
    DEPENDS ${halvero_packaging}/halvero-cli.1
    VERBATIM)
add_custom_target(halvero-man ALL DEPENDS ${halvero_man}.gz)
install(FILES ${halvero_man}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT configurator)

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
if(NOT CPACK_PACKAGE_CONTACT)
    set(CPACK_PACKAGE_CONTACT "Halvero configurator maintainers <configurator@halvero.example>")
endif()
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL configurator tools)
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
