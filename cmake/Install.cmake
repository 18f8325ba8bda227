# Installing Tempomere like any desktop program: the two programs, the help file, a menu entry
# with its icon, AppStream metadata and manual pages, where a distribution's conventions put them
# (GNUInstallDirs), and a Debian package of the same tree (CPack).
include(GNUInstallDirs)

# Installing (and packaging, which installs) takes what is built and builds nothing: the check of
# the installed tree runs beside the other tests and must not relink their programs under them.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

set(packaging_dir ${PROJECT_SOURCE_DIR}/packaging)
set(app_id org.tempomere.Tempomere)

# The tools that turn the icon into PNG sizes and the manual pages into man format; the set-up
# (scripts/install-deps.sh) installs both.
find_program(RSVG_CONVERT_EXECUTABLE rsvg-convert)
find_program(SCDOC_EXECUTABLE scdoc)
foreach(tool RSVG_CONVERT SCDOC)
  if(NOT ${tool}_EXECUTABLE)
    message(FATAL_ERROR
      "${tool}_EXECUTABLE was not found: rsvg-convert (Debian package librsvg2-bin) draws the "
      "icon's PNG sizes and scdoc (Debian package scdoc) writes the manual pages. Install them "
      "with 'sudo apt-get install librsvg2-bin scdoc' (scripts/install-deps.sh does this), then "
      "configure again.")
  endif()
endforeach()

# Icon: the drawn SVG, plus the PNG sizes that menus and window managers without SVG support use.
set(icon_sizes 16 24 32 48 64 128 256)
set(icon_outputs)
foreach(size ${icon_sizes})
  set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/tempomere.png)
  add_custom_command(
    OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
    COMMAND ${RSVG_CONVERT_EXECUTABLE} -w ${size} -h ${size} -o ${png} ${packaging_dir}/tempomere.svg
    DEPENDS ${packaging_dir}/tempomere.svg
    COMMENT "Drawing the ${size}x${size} icon"
    VERBATIM)
  list(APPEND icon_outputs ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${packaging_dir}/tempomere.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Manual pages, written in scdoc's plain source form.
set(man_outputs)
foreach(page tempomere tempomere-query)
  set(man ${CMAKE_BINARY_DIR}/man/${page}.1)
  add_custom_command(
    OUTPUT ${man}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -D SCDOC=${SCDOC_EXECUTABLE} -D INPUT=${packaging_dir}/man/${page}.1.scd
            -D OUTPUT=${man} -P ${PROJECT_SOURCE_DIR}/cmake/RunScdoc.cmake
    DEPENDS ${packaging_dir}/man/${page}.1.scd ${PROJECT_SOURCE_DIR}/cmake/RunScdoc.cmake
    COMMENT "Writing the manual page ${page}(1)"
    VERBATIM)
  list(APPEND man_outputs ${man})
  install(FILES ${man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# The AppStream metadata carries the one version number of the project.
configure_file(${packaging_dir}/${app_id}.metainfo.xml ${CMAKE_BINARY_DIR}/${app_id}.metainfo.xml
               @ONLY)

add_custom_target(desktopfiles ALL DEPENDS ${icon_outputs} ${man_outputs})

# The window shows the same icon: the PNG sizes are built into the program.
qt_add_resources(tempomere tempomere_icons PREFIX /icons BASE ${CMAKE_BINARY_DIR}/icons
                 FILES ${icon_outputs})
add_dependencies(tempomere desktopfiles)

install(TARGETS tempomere tempomere-query RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/Horaplex.chm
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tempomere)
install(FILES ${packaging_dir}/${app_id}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_BINARY_DIR}/${app_id}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The query tool reports the project's version.
target_compile_definitions(tempomere-query PRIVATE TEMPOMERE_VERSION="${PROJECT_VERSION}")

# The installed tree and the package, checked as a distribution would check them.
if(TEMPOMERE_TESTS)
  add_test(NAME InstallTree
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install/check-install.sh ${CMAKE_BINARY_DIR}
                   ${PROJECT_VERSION})
endif()

# The Debian package: the same tree under /usr, its dependencies computed from the binaries, the
# help viewer recommended. It grants no capability by itself; its post-install note says how.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tempomere)
set(CPACK_PACKAGE_VENDOR "Tempomere")
set(CPACK_PACKAGE_CONTACT "Tempomere developers <tempomere@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "see how far the computer's clock is from network time, and correct it")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Tempomere asks a time server by SNTP and shows the server's time beside the computer's, with\n"
    "the error and the reply's parameters. It charts the error, keeps statistics and the drift\n"
    "per day, turns a drift into a new clock rate, sets the clock, keeps a host list and writes\n"
    "the time service's poll interval. tempomere-query asks from the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "kchmviewer | xchm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${packaging_dir}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
