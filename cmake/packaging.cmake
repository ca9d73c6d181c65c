# Installing (GNUInstallDirs) and the Debian package (CPack DEB). Included at
# the end of the top CMakeLists.txt, when every program target exists.
#
# A program is installed with one line:
#   tavrin_install_program(<target> <manual page name>)
# which installs the target into bin and builds packaging/man/<name>.1.scd
# into a compressed section 1 manual page.

set(TAVRIN_DEB_NAME tavrin-rx-ctrl)
set(TAVRIN_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)
set(TAVRIN_MAN_DIR ${CMAKE_BINARY_DIR}/man)
set(TAVRIN_DEB_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/${TAVRIN_DEB_NAME})

find_program(TAVRIN_SCDOC scdoc)
if(NOT TAVRIN_SCDOC)
  message(FATAL_ERROR "scdoc builds the manual pages and was not found: apt-get install scdoc")
endif()
find_program(TAVRIN_GZIP gzip REQUIRED)

# A file compressed the way Debian wants it (gzip -9n: no name, no time).
function(tavrin_gzip_file input output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${TAVRIN_GZIP} -9n -c ${input} > ${output}
    DEPENDS ${input} VERBATIM)
endfunction()

function(tavrin_man_page name)
  set(_scd ${TAVRIN_PACKAGING}/man/${name}.1.scd)
  set(_page ${TAVRIN_MAN_DIR}/${name}.1)
  add_custom_command(OUTPUT ${_page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TAVRIN_MAN_DIR}
    COMMAND sh -c "\"$1\" < \"$2\" > \"$3\"" sh ${TAVRIN_SCDOC} ${_scd} ${_page}
    DEPENDS ${_scd} VERBATIM)
  tavrin_gzip_file(${_page} ${_page}.gz)
  add_custom_target(man_${name} ALL DEPENDS ${_page}.gz)
  install(FILES ${_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

function(tavrin_install_program target manpage)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  tavrin_man_page(${manpage})
endfunction()

# --- the programs and their manual pages ------------------------------------------
tavrin_install_program(tavrinctl tavrinctl)
tavrin_install_program(tavrin_unit_sim tavrin_unit_sim)
if(TARGET tavrin_rx_ctrl)
  tavrin_install_program(tavrin_rx_ctrl tavrin_rx_ctrl)
endif()
if(TARGET tavrin_bridge)
  tavrin_install_program(tavrin_bridge tavrin_bridge)
endif()

# --- the installed tree's mark: programs that see it keep their files in the
# user's folders (platform/user_folders.h) ---------------------------------------
install(FILES ${TAVRIN_PACKAGING}/installed DESTINATION ${CMAKE_INSTALL_DATADIR}/${TAVRIN_DATA_SUBDIR})

# --- the desktop program's entry, metainfo and icons ------------------------------
if(TARGET tavrin_rx_ctrl)
  install(FILES ${TAVRIN_PACKAGING}/org.tavrin.RxCtrl.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  configure_file(${TAVRIN_PACKAGING}/org.tavrin.RxCtrl.metainfo.xml
                 ${CMAKE_BINARY_DIR}/packaging/org.tavrin.RxCtrl.metainfo.xml @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/org.tavrin.RxCtrl.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  foreach(_size 16 22 24 32 48 64 128 256)
    install(FILES ${TAVRIN_PACKAGING}/icons/${_size}x${_size}/tavrin_rx_ctrl.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps)
  endforeach()
endif()

# --- bash completion, the bridge service, copyright and changelog --------------------
# The completion is built from the tool's tables (tools/tavrinctl/CMakeLists.txt).
install(FILES ${TAVRINCTL_COMPLETION}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
# The bridge as a service: its units (not enabled), the udev rules that name a
# unit's adapter, an example configuration and the README that the units name.
# Under the prefix (/usr in the package): Debian looks in /usr/lib/systemd/system
# and /usr/lib/udev/rules.d.
if(TARGET tavrin_bridge)
  install(FILES ${CMAKE_SOURCE_DIR}/deploy/tavrin_bridge.service ${CMAKE_SOURCE_DIR}/deploy/tavrin_bridge@.service
          DESTINATION lib/systemd/system)
  install(FILES ${CMAKE_SOURCE_DIR}/deploy/bridge-example.conf DESTINATION ${TAVRIN_DEB_DOCDIR}/examples)
  install(FILES ${CMAKE_SOURCE_DIR}/deploy/mibs/TAVRIN-RECEIVER-MIB DESTINATION ${TAVRIN_DEB_DOCDIR}/mibs)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/deploy/99-tavrin-serial.rules DESTINATION lib/udev/rules.d)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${TAVRIN_DEB_DOCDIR})
install(FILES ${TAVRIN_PACKAGING}/copyright DESTINATION ${TAVRIN_DEB_DOCDIR})
configure_file(${TAVRIN_PACKAGING}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
tavrin_gzip_file(${CMAKE_BINARY_DIR}/packaging/changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_target(package_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${TAVRIN_DEB_DOCDIR})

# --- the Debian package: cpack -G DEB (scripts/package.sh) ------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${TAVRIN_DEB_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tavrin receiver control developers <rx-ctrl@tavrin.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control program for Tavrin digital video receiver units")
# The long description; the summary above is its first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A desktop program, a command-line tool and a simulated unit for Tavrin
receiver units (COFDM demodulators with an MPEG decoder), reached over an
RS232 serial port or over Ethernet. An operator reads and changes the
demodulator and decoder settings, watches live reception status, keeps
configuration slots and files, and writes descrambling keys.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tavrin.example.org/rx_ctrl")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_THREADS 2)
include(CPack)
