# Installation (cmake --install, any prefix) and the Debian package (cpack -G DEB,
# scripts/balicek.sh).  Included last from the top-level CMakeLists.txt, so
# every target it names exists.
#
# Layout below the prefix:
#   bin/zq-datalogger, bin/zq-modsim (bin/zq-logger, bin/zq-prohlizec when built)
#   <libdir>/zentrolix-datalogger/libW*.so   the interface libraries, private:
#                                            the program loads them by full path
#   share/applications, share/metainfo, share/icons/hicolor (the program's
#   and the viewer's desktop entry and icon),
#   share/man/man1 (English), share/man/cs/man1 (Czech),
#   share/doc/zentrolix-datalogger (copyright, changelog, documents, their
#                                   pictures in screenshots/)
#   lib/systemd/system, lib/sysusers.d (with zq-logger)
# The program finds its libraries relative to its own folder, so the prefix
# may be chosen at install time.

include(GNUInstallDirs)

set(ZQ_ID cz.zentrolix.datalogger)
# The viewer has a desktop entry and an icon of its own: a menu shows it
# beside the program, and a file manager offers it for the data files.
set(ZQ_ID_PROHLIZECE ${ZQ_ID}.prohlizec)
# Debian keeps a package's private architecture-dependent libraries in
# /usr/lib/<triplet>/<package>; the same place below any prefix, so the layout
# does not depend on the prefix the build was configured with.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(zq_knihovny lib/${CMAKE_LIBRARY_ARCHITECTURE}/zentrolix-datalogger)
else()
  set(zq_knihovny ${CMAKE_INSTALL_LIBDIR}/zentrolix-datalogger)
endif()
set(ZQ_SLOZKA_KNIHOVEN ${zq_knihovny} CACHE STRING
    "Folder of the interface libraries, relative to the install prefix")
if(IS_ABSOLUTE "${ZQ_SLOZKA_KNIHOVEN}" OR IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}")
  # The program finds its libraries relative to itself; absolute folders would
  # tie that to the prefix of this configuration.
  message(FATAL_ERROR "ZQ_SLOZKA_KNIHOVEN and CMAKE_INSTALL_BINDIR must be relative to the prefix")
endif()
file(RELATIVE_PATH zq_knihovny_z_bin ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_PREFIX}/${ZQ_SLOZKA_KNIHOVEN})
# The one place the program learns the layout (platform/Umisteni.cpp).
target_compile_definitions(zq_umisteni PRIVATE ZQ_KNIHOVNY_Z_BIN="${zq_knihovny_z_bin}")

# Directories the install creates are 0755 whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The icons of the program and of the viewer: PNGs of every size and the
# SVG, drawn by packaging/Ikona.h (the window icons are the same drawings).
add_executable(zq-ikony ${PROJECT_SOURCE_DIR}/packaging/ikony.cpp)
target_link_libraries(zq-ikony PRIVATE Qt6::Gui)
set_target_properties(zq-ikony PROPERTIES
  AUTOMOC OFF
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)
set(zq_ikony ${CMAKE_BINARY_DIR}/packaging/hicolor)
add_custom_command(
  OUTPUT ${zq_ikony}/scalable/apps/${ZQ_ID}.svg ${zq_ikony}/scalable/apps/${ZQ_ID_PROHLIZECE}.svg
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${zq_ikony}
  # The sanitizer build runs the tool too; Qt's own allocations at exit are no
  # leak of ours.
  COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
          $<TARGET_FILE:zq-ikony> ${zq_ikony} ${ZQ_ID} ${ZQ_ID_PROHLIZECE}
  DEPENDS zq-ikony
  COMMENT "Drawing the icons"
  VERBATIM)

set(zq_programy zq-datalogger zq-modsim)
if(TARGET zq-logger)
  list(APPEND zq_programy zq-logger)
endif()
if(TARGET zq-prohlizec)
  list(APPEND zq_programy zq-prohlizec)
endif()

# Man pages: packaging/<program>.1 of every program installed in English
# (man1), packaging/cs/<program>.1 in Czech (cs/man1), compressed as Debian
# wants them (-n: no name or time inside, so the package is reproducible).
find_program(ZQ_GZIP gzip REQUIRED)
# gzip -9n of $1 into $2 at build time; the output is appended to `seznam`.
function(zq_gzip zdroj cil seznam)
  add_custom_command(
    OUTPUT ${cil}
    COMMAND sh -c "mkdir -p \"$(dirname \"$2\")\" && ${ZQ_GZIP} -9n -c \"$1\" > \"$2\"" sh
            ${zdroj} ${cil}
    DEPENDS ${zdroj}
    VERBATIM)
  set(${seznam} ${${seznam}} ${cil} PARENT_SCOPE)
endfunction()
set(zq_gz)
foreach(jazyk en cs)
  set(slozka "")
  if(NOT jazyk STREQUAL en)
    set(slozka ${jazyk}/)
  endif()
  set(zq_manualy_${jazyk})
  foreach(p ${zq_programy})
    set(m ${PROJECT_SOURCE_DIR}/packaging/${slozka}${p}.1)
    if(EXISTS ${m})
      zq_gzip(${m} ${CMAKE_BINARY_DIR}/packaging/man/${slozka}${p}.1.gz zq_manualy_${jazyk})
    endif()
  endforeach()
  list(APPEND zq_gz ${zq_manualy_${jazyk}})
endforeach()

# Documents in share/doc/zentrolix-datalogger: the licence as Debian reads it
# (packaging/copyright, machine-readable, left uncompressed as Debian wants
# it), the changelog, and the documents the man pages name, compressed:
# docs/prvni-kroky.md speaks to the package's user; README.md speaks of the
# source tree and stays out.
set(zq_slozka_dokumentu ${CMAKE_INSTALL_DATADIR}/doc/zentrolix-datalogger)
set(zq_dokumenty prvni-kroky instalace zq-logger prohlizec publikace simulator prubeh profilove-soubory
    datove-soubory rozhrani protokol)
set(zq_dokumenty_gz)
set(zq_obrazky)
foreach(d ${zq_dokumenty})
  set(md ${PROJECT_SOURCE_DIR}/docs/${d}.md)
  zq_gzip(${md} ${CMAKE_BINARY_DIR}/packaging/doc/${d}.md.gz zq_dokumenty_gz)
  # The pictures a document names go to screenshots/ beside it, as they lie
  # in docs/: its relative links hold in both places (compression changes
  # only the document's own name).  Read again when a document changes.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${md})
  file(STRINGS ${md} radky REGEX "screenshots/")
  string(REGEX MATCHALL "screenshots/[A-Za-z0-9_.-]+[.]png" o "${radky}")
  list(APPEND zq_obrazky ${o})
endforeach()
list(REMOVE_DUPLICATES zq_obrazky)
list(TRANSFORM zq_obrazky PREPEND ${PROJECT_SOURCE_DIR}/docs/)
zq_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog ${CMAKE_BINARY_DIR}/packaging/doc/changelog.gz
        zq_dokumenty_gz)
list(APPEND zq_gz ${zq_dokumenty_gz})

add_custom_target(zq_instalacni_soubory ALL
  DEPENDS ${zq_ikony}/scalable/apps/${ZQ_ID}.svg ${zq_ikony}/scalable/apps/${ZQ_ID_PROHLIZECE}.svg
          ${zq_gz})

set(zq_knihovny_cile WCOM407 WPCI407 WPCI1407 WUSB1407 WZQ1407)
# Everything that gets installed, and only that: scripts/balicek.sh builds it
# without the tests.
add_custom_target(zq-instalace)
add_dependencies(zq-instalace ${zq_programy} ${zq_knihovny_cile} zq_instalacni_soubory)

install(TARGETS ${zq_programy} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Shared libraries that are only loaded need no execute bit (Debian: 0644).
install(TARGETS ${zq_knihovny_cile}
  LIBRARY DESTINATION ${ZQ_SLOZKA_KNIHOVEN}
  PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
# A stripped install (the package, cmake --install --strip) also drops what
# Debian's own packages drop: the compiler's .comment and the .note section,
# and from the libraries every symbol no other object needs.
set(zq_bin_soubory)
foreach(t ${zq_programy})
  list(APPEND zq_bin_soubory ${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${t}>)
endforeach()
set(zq_lib_soubory)
foreach(t ${zq_knihovny_cile})
  list(APPEND zq_lib_soubory ${ZQ_SLOZKA_KNIHOVEN}/$<TARGET_FILE_NAME:${t}>)
endforeach()
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    set(s \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note)
    foreach(f ${zq_bin_soubory})
      execute_process(COMMAND \${s} \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${f}\"
                      COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
    foreach(f ${zq_lib_soubory})
      execute_process(COMMAND \${s} --strip-unneeded \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${f}\"
                      COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${ZQ_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${ZQ_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
if(TARGET zq-prohlizec)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/${ZQ_ID_PROHLIZECE}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(DIRECTORY ${zq_ikony}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
else()
  install(DIRECTORY ${zq_ikony}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor
    PATTERN "${ZQ_ID_PROHLIZECE}.*" EXCLUDE)
endif()
install(FILES ${zq_manualy_en} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${zq_manualy_cs} DESTINATION ${CMAKE_INSTALL_MANDIR}/cs/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${zq_dokumenty_gz}
  DESTINATION ${zq_slozka_dokumentu})
install(FILES ${zq_obrazky} DESTINATION ${zq_slozka_dokumentu}/screenshots)

# zq-logger@.service runs a task unattended as the system user the
# sysusers.d file makes.  Its ExecStart names the program by full path, so
# the unit is made at install time, for the prefix installed into (also a
# prefix chosen then, and /usr in the package).
if(TARGET zq-logger)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/systemd/zentrolix-datalogger.sysusers
    DESTINATION lib/sysusers.d RENAME zentrolix-datalogger.conf)
  install(CODE "
    set(ZQ_BIN \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    configure_file(\"${PROJECT_SOURCE_DIR}/packaging/systemd/zq-logger@.service.in\"
                   \"${CMAKE_BINARY_DIR}/packaging/systemd/zq-logger@.service\" @ONLY)
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\"
         TYPE FILE FILES \"${CMAKE_BINARY_DIR}/packaging/systemd/zq-logger@.service\")")
endif()

# --- Debian package --------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zentrolix-datalogger)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Zentrolix)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/balicek)
set(CPACK_STRIP_FILES ON)
set(ZQ_SPRAVCE_BALICKU "Zentrolix datalogger maintainers <maintainers@zentrolix.invalid>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT ${ZQ_SPRAVCE_BALICKU})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The system user of zq-logger@.service; systemd told of the unit.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/systemd/postinst ${PROJECT_SOURCE_DIR}/packaging/systemd/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Libraries from dpkg-shlibdeps; what no ELF file names: Qt's X11/Wayland
# platform plugins (without them the window cannot open), Qt's Czech texts,
# and systemd-sysusers for the postinst: systemd's own, or a stand-alone one
# where systemd is not the init system (the dependency debhelper writes for a
# package with a sysusers.d file).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, qt6-translations-l10n, systemd | systemd-standalone-sysusers | systemd-sysusers")
# The window's font; any sans-serif font does if it is missing.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "data logger for RS-485 measuring modules (Czech)")
# The summary is the first line of the package's description, the text below
# the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"A desktop program that reads RS-485 measuring modules through a serial
port, a PCI card, a USB converter or a LAN converter over UDP, shows their
values live and appends one sample per measuring period to a text, CSV or
dBASE III file. The user interface is Czech.

Tasks, the settings file and data files named without a folder are kept in
~/.local/share/zentrolix-datalogger of each user.

Serial ports and USB converters are reachable only for members of the
group dialout: add the user with 'adduser <user> dialout' and log in again.

Includes zq-logger, which measures a task without a window (also as the
systemd service zq-logger@<task> of the system user zq-logger, with its
tasks and data in /var/lib/zentrolix-datalogger), zq-prohlizec, which
shows data files of any size and whole series of them in a window, also
while they are written, and writes their records over a time range as CSV
or a picture, and zq-modsim, a simulator of the module bus for trying the
program without hardware.

First steps (in Czech): /usr/share/doc/zentrolix-datalogger/prvni-kroky.md.gz")
include(CPack)
