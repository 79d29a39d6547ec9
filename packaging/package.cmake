# The Debian package (make package): the board, the demo content as its fallback content,
# a desktop entry with an icon, a manual page, the copyright file and the changelog. The
# dependencies come from the shared libraries the binary links (dpkg-shlibdeps), and libmpv.
include(GNUInstallDirs)
set(here ${CMAKE_CURRENT_LIST_DIR})
set(doc ${CMAKE_INSTALL_DATADIR}/doc/orlido)
# Where the package puts its files once installed.
set(package_prefix /usr)

install(TARGETS orlido orlido-edit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/demo/UserData DESTINATION ${CMAKE_INSTALL_DATADIR}/orlido)
install(FILES ${CMAKE_SOURCE_DIR}/demo/Tillbaka.wav ${CMAKE_SOURCE_DIR}/demo/Nej.wav ${CMAKE_SOURCE_DIR}/demo/Ja.wav
              ${CMAKE_SOURCE_DIR}/demo/JagValde.wav ${CMAKE_SOURCE_DIR}/demo/WebBrowser.lnk
        DESTINATION ${CMAKE_INSTALL_DATADIR}/orlido)
# The demo's story page. Its web address in the source tree is relative to the working
# directory (scripts/run-board links web/ there); an installed board is started from any
# folder, so the installed demo names the installed page by its full path.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/demo/web DESTINATION ${CMAKE_INSTALL_DATADIR}/orlido)
set(installed_story ${CMAKE_BINARY_DIR}/package/W00003.txt)
file(WRITE ${installed_story} "file://${package_prefix}/${CMAKE_INSTALL_DATADIR}/orlido/web/bok.html\r\n")
install(FILES ${installed_story} DESTINATION ${CMAKE_INSTALL_DATADIR}/orlido/UserData/L00001/L00003)
install(FILES ${here}/orlido.desktop ${here}/orlido-edit.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${here}/orlido.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${here}/copyright ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${doc})
install(FILES ${CMAKE_SOURCE_DIR}/demo/Setup.txt DESTINATION ${doc}/examples)
install(FILES ${CMAKE_SOURCE_DIR}/demo/scan/Setup.txt DESTINATION ${doc}/examples/scan)
install(FILES ${CMAKE_SOURCE_DIR}/demo/filters/Setup.txt DESTINATION ${doc}/examples/filters)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${doc} FILES_MATCHING PATTERN "*.png")

# Debian wants the manual page and the changelog compressed, without a time stamp.
set(gz ${CMAKE_BINARY_DIR}/package)
add_custom_command(OUTPUT ${gz}/orlido.1.gz ${gz}/orlido-edit.1.gz ${gz}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${gz}
  COMMAND gzip -9nc ${here}/orlido.1 > ${gz}/orlido.1.gz
  COMMAND gzip -9nc ${here}/orlido-edit.1 > ${gz}/orlido-edit.1.gz
  COMMAND gzip -9nc ${here}/changelog > ${gz}/changelog.gz
  DEPENDS ${here}/orlido.1 ${here}/orlido-edit.1 ${here}/changelog)
add_custom_target(orlido_package_files ALL DEPENDS ${gz}/orlido.1.gz ${gz}/orlido-edit.1.gz ${gz}/changelog.gz)
install(FILES ${gz}/orlido.1.gz ${gz}/orlido-edit.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${gz}/changelog.gz DESTINATION ${doc})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orlido)
set(CPACK_PACKAGE_VERSION 0.1.0)
set(CPACK_PACKAGING_INSTALL_PREFIX ${package_prefix})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Orlido developers <orlido@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "full-screen picture board for people who cannot speak")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Orlido shows pages of pictures over the whole screen. The user
chooses with the mouse, or with two switches while the board highlights
the pictures in turn; a chosen picture plays its sound and opens a
further page, a program, a film, music or a web page. Carers build the
content as folders of numbered pictures and sounds, and orlido --check
tells them what a user would trip over; orlido-edit makes and changes
the pages without file names or numbers.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libsndfile, libmpv and SDL2 are loaded when first used (the first sound, the first film
# or WMA, the controller subsystem), espeak-ng when speech is first made, and libzip, librsvg
# and libcurl by an import or export, so the linker does not name them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libsndfile1, libmpv2, libsdl2-2.0-0, libespeak-ng1, libzip4, librsvg2-2, libcurl4")
# The demo's web page opens in Dillo (demo/WebBrowser.lnk).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, xdg-utils, dillo")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
