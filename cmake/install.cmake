# Installing VEXO and its Debian package.
#
# `cmake --install <build>` puts the programs in bin/, the shipped language
# file in share/vexo/ (where the programs look when the current directory has
# none), and the desktop entry with its launcher, icons, AppStream metadata,
# man pages, udev rule and the serial set-up guide where a desktop and udev
# look for them. `cpack -G DEB` in the build directory makes the package of
# the same files under /usr. The install test does both into scratch
# directories and starts the installed programs.

include(GNUInstallDirs)

set(vexo_packaging_dir ${CMAKE_SOURCE_DIR}/packaging)
set(vexo_app_id org.vexo.Vexo)
set(vexo_udev_rule 60-vexo-serial.rules)
set(vexo_icon_sizes 16 22 24 32 48 64 128 256)

# ---- Programs and data ---------------------------------------------------------

foreach(program vexo vexo-flash vexo-radio-sim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/data/language.sys DESTINATION ${CMAKE_INSTALL_DATADIR}/vexo)

# The browser page, when scripts/build-web.sh has built it: static files a
# local web server (or a file share) can serve as they are.
if(EXISTS ${VEXO_WEB_DIR}/index.html AND EXISTS ${VEXO_WEB_DIR}/vexo-engine.wasm)
  install(DIRECTORY ${VEXO_WEB_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/vexo/web
          FILES_MATCHING PATTERN "*.html" PATTERN "*.js" PATTERN "*.wasm" PATTERN "*.css"
                         PATTERN "*.webmanifest" PATTERN "*.svg" PATTERN "*.png"
          PATTERN "CMakeFiles" EXCLUDE)
endif()

# ---- The window on the desktop ---------------------------------------------------

if(TARGET vexo)
  # The menu starts vexo through this launcher, in a data directory per user.
  install(PROGRAMS ${vexo_packaging_dir}/vexo-desktop DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${vexo_packaging_dir}/${vexo_app_id}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${vexo_packaging_dir}/${vexo_app_id}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${vexo_packaging_dir}/icons/${vexo_app_id}.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size ${vexo_icon_sizes})
    install(FILES ${vexo_packaging_dir}/icons/${size}x${size}/${vexo_app_id}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
endif()

# ---- Manual pages, compressed as Debian has them ---------------------------------

set(vexo_man_pages)
foreach(page vexo.1 vexo-desktop.1 vexo-flash.1 vexo-radio-sim.1)
  set(compressed ${CMAKE_BINARY_DIR}/man/${page}.gz)
  add_custom_command(
    OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -E copy ${vexo_packaging_dir}/man/${page} ${CMAKE_BINARY_DIR}/man/${page}
    COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/man/${page}
    DEPENDS ${vexo_packaging_dir}/man/${page}
    VERBATIM)
  list(APPEND vexo_man_pages ${compressed})
endforeach()
add_custom_target(vexo_man_pages ALL DEPENDS ${vexo_man_pages})
install(FILES ${vexo_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# ---- Serial set-up ---------------------------------------------------------------

# In udev's own directory (in force with the package), and beside the language
# file for copying to /etc/udev/rules.d after an install elsewhere.
install(FILES ${vexo_packaging_dir}/${vexo_udev_rule} DESTINATION lib/udev/rules.d)
install(FILES ${vexo_packaging_dir}/${vexo_udev_rule} DESTINATION ${CMAKE_INSTALL_DATADIR}/vexo)
install(FILES ${CMAKE_SOURCE_DIR}/docs/serial-setup.md ${CMAKE_SOURCE_DIR}/docs/json-events.md
              ${CMAKE_SOURCE_DIR}/docs/history.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# ---- Copyright and changelog, where Debian keeps them ----------------------------

# A package whose version has no Debian revision keeps its changelog as
# changelog.gz, compressed like the manual pages.
set(vexo_changelog ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_command(
  OUTPUT ${vexo_changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
  COMMAND ${CMAKE_COMMAND} -E copy ${vexo_packaging_dir}/debian/changelog ${CMAKE_BINARY_DIR}/doc/changelog
  COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/doc/changelog
  DEPENDS ${vexo_packaging_dir}/debian/changelog
  VERBATIM)
add_custom_target(vexo_changelog ALL DEPENDS ${vexo_changelog})
install(FILES ${vexo_packaging_dir}/debian/copyright ${vexo_changelog}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# ---- The Debian package ----------------------------------------------------------

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vexo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The maintainer as Debian wants it: a name and an address.
set(CPACK_PACKAGE_CONTACT "VEXO developers <vexo@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "write new firmware into a two-way radio over a serial line")
set(CPACK_PACKAGE_DESCRIPTION
    "VEXO erases and programs a radio's flash through its boot loader, and reads it\n"
    "back to verify, over the radio's serial programming cable. It has a window\n"
    "(Chinese and English), the command-line program vexo-flash for scripts and\n"
    "several radios at once, and vexo-radio-sim, a simulated boot loader on a\n"
    "pseudo-terminal for trying it out without a radio.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The build keeps its debug information; the package does not need it.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# Chinese glyphs, and Qt's own texts (file dialog, buttons) in Chinese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${vexo_packaging_dir}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries the programs link, as Debian names them; dpkg-shlibdeps (from
# dpkg-dev, with the file program) works them out with versions, and the list
# stands in without them.
find_program(VEXO_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(VEXO_FILE_PROGRAM file)
if(VEXO_DPKG_SHLIBDEPS AND VEXO_FILE_PROGRAM)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
  if(TARGET vexo)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6core6, libqt6gui6, libqt6widgets6")
  endif()
endif()
include(CPack)

# ---- The install test ------------------------------------------------------------

add_test(NAME install.package
         COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/install_test.sh ${CMAKE_BINARY_DIR}
                 ${CMAKE_SOURCE_DIR} ${VEXO_WEB_DIR})
set_tests_properties(install.package PROPERTIES TIMEOUT 300 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
