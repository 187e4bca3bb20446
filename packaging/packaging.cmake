# Installation and the Debian packages: the utility, and the simulated controller as a
# package of its own that nothing pulls in, so it can never stand in for a real driver by
# accident. Its library lives in a private folder outside the loader's search path.
include(GNUInstallDirs)

set(CRTEST_SHARE_DIR ${CMAKE_INSTALL_FULL_DATADIR}/crtest)
set(CRTEST_SIM_DIR ${CMAKE_INSTALL_LIBDIR}/crtest-simulator)
# On Debian GNUInstallDirs puts the multiarch triplet in LIBDIR (lib/x86_64-linux-gnu), so
# every text that names the simulator's folder is made here, for the machine built on.
set(CRTEST_SIM_FULL_DIR ${CMAKE_INSTALL_FULL_LIBDIR}/crtest-simulator)
set(CRTEST_PRIVATE_FULL_DIR ${CMAKE_INSTALL_FULL_LIBDIR}/crtest)
# The printer kick-port driver, likewise in a folder of its own.
set(CRTEST_PRINTER_DIR ${CMAKE_INSTALL_LIBDIR}/crtest-printer)
set(CRTEST_PRINTER_FULL_DIR ${CMAKE_INSTALL_FULL_LIBDIR}/crtest-printer)
set(docs ${CMAKE_CURRENT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${docs})

# The program lives in a private folder with the helpers it finds beside itself;
# /usr/bin/crtest is a relative link to it.
set(CRTEST_PRIVATE_DIR ${CMAKE_INSTALL_LIBDIR}/crtest)
install(TARGETS crtest RUNTIME DESTINATION ${CRTEST_PRIVATE_DIR} COMPONENT utility)
if(TARGET crtest-trial-load)
    install(TARGETS crtest-trial-load RUNTIME DESTINATION ${CRTEST_PRIVATE_DIR} COMPONENT utility)
endif()
file(RELATIVE_PATH crtest_link ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_PREFIX}/${CRTEST_PRIVATE_DIR}/crtest)
file(MAKE_DIRECTORY ${docs}/bin)
file(CREATE_LINK ${crtest_link} ${docs}/bin/crtest SYMBOLIC)
install(FILES ${docs}/bin/crtest DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT utility)
# The report's JSON schema and the fleet's examples (the nightly check for node_exporter,
# its alert rules, the playbook), as documentation.
install(FILES packaging/crtest-report.schema.json
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/crtest COMPONENT utility)
install(FILES packaging/examples/crtest-check.service packaging/examples/crtest-check.timer
              packaging/examples/crtest.rules.yml packaging/examples/crtest-tills.yml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/crtest/examples COMPONENT utility)
# The help button opens Readme.Txt from the current directory; the menu entry starts the
# program in the folder that holds it. The copy installed there names the folders the
# packages really use, where the one in the source tree can only say <arch>.
file(READ app/Readme.Txt readme)
string(REPLACE "/usr/lib/<arch>/crtest-simulator" "${CRTEST_SIM_FULL_DIR}" readme "${readme}")
string(REPLACE "/usr/lib/<arch>/crtest-printer" "${CRTEST_PRINTER_FULL_DIR}" readme "${readme}")
string(REPLACE "/usr/share/crtest" "${CRTEST_SHARE_DIR}" readme "${readme}")
file(CONFIGURE OUTPUT ${docs}/Readme.Txt CONTENT "${readme}" @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS app/Readme.Txt)
install(FILES ${docs}/Readme.Txt DESTINATION ${CMAKE_INSTALL_DATADIR}/crtest COMPONENT utility)
configure_file(packaging/crtest.desktop.in crtest.desktop @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/crtest.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT utility)
install(FILES packaging/org.example.crtest.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT utility)
# Every size desktop menus ask for, so that none is scaled by the desktop.
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ui/pictures/hicolor/crtest_${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME crtest.png COMPONENT utility)
endforeach()

install(TARGETS bexor LIBRARY DESTINATION ${CRTEST_SIM_DIR} COMPONENT simulator
        RUNTIME DESTINATION ${CRTEST_SIM_DIR} COMPONENT simulator)
set(driver_packages simulator:crtest-simulator)
if(TARGET printerdriver)
    install(TARGETS printerdriver LIBRARY DESTINATION ${CRTEST_PRINTER_DIR} COMPONENT printer)
    list(APPEND driver_packages printer:crtest-printer)
endif()

# Debian's documentation files: copyright, a compressed changelog and the manual page.
find_program(GZIP_EXECUTABLE gzip)
configure_file(packaging/crtest.1 ${docs}/crtest.1 @ONLY)
add_custom_command(OUTPUT ${docs}/changelog.gz ${docs}/crtest.1.gz
    COMMAND ${GZIP_EXECUTABLE} -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog > ${docs}/changelog.gz
    COMMAND ${GZIP_EXECUTABLE} -9n -c ${docs}/crtest.1 > ${docs}/crtest.1.gz
    DEPENDS packaging/changelog ${docs}/crtest.1
    VERBATIM)
add_custom_target(package_docs ALL DEPENDS ${docs}/changelog.gz ${docs}/crtest.1.gz)
install(FILES ${docs}/crtest.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT utility)
foreach(pair utility:crtest ${driver_packages})
    string(REPLACE ":" ";" pair ${pair})
    list(GET pair 0 component)
    list(GET pair 1 package)
    install(FILES packaging/copyright ${docs}/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME crtest)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Varnel Quorvin")
set(CPACK_PACKAGE_CONTACT "crtest developers <crtest@example.org>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL utility simulator)
if(TARGET printerdriver)
    list(APPEND CPACK_COMPONENTS_ALL printer)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_UTILITY_PACKAGE_NAME crtest)
# The window is laid out with the metrics of Liberation Sans, which stands in for Arial;
# another fallback font cuts its labels. The libraries are added by dpkg-shlibdeps. The
# help button opens Readme.Txt through xdg-open.
set(CPACK_DEBIAN_UTILITY_PACKAGE_DEPENDS fonts-liberation)
set(CPACK_DEBIAN_UTILITY_PACKAGE_RECOMMENDS xdg-utils)
set(CPACK_DEBIAN_UTILITY_DESCRIPTION "test utility for USB cash-drawer controllers
Shows whether each of the eight drawers of a controller is open, closed or not
present, kicks every present drawer, and reads the controller's statistics:
serial number, dates, revision, and the counts of good and failed openings.")
set(CPACK_DEBIAN_SIMULATOR_PACKAGE_NAME crtest-simulator)
set(CPACK_DEBIAN_SIMULATOR_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_SIMULATOR_DESCRIPTION "simulated cash-drawer controller for crtest
A driver library that behaves like a controller with drawers attached, for
training machines without hardware. It is installed in a private folder and is
used only when asked for: start crtest in ${CRTEST_SHARE_DIR} with
LD_LIBRARY_PATH=${CRTEST_SIM_FULL_DIR}")
set(CPACK_DEBIAN_PRINTER_PACKAGE_NAME crtest-printer)
set(CPACK_DEBIAN_PRINTER_DESCRIPTION "crtest driver for cash drawers on a receipt printer
A driver library with which crtest tests cash drawers hung on the drawer-kick
connector of a receipt printer on a USB printer device or a serial port. It is
installed in a private folder and is used only when asked for: start crtest
with BEXOR_PRINTER_DEVICE set and
LD_LIBRARY_PATH=${CRTEST_PRINTER_FULL_DIR}")
include(CPack)
