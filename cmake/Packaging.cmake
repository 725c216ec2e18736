# Installation under the prefix (console, encoder simulator, launcher, desktop entry, icons,
# AppStream metadata) and the Debian package built from it by CPack.
include(GNUInstallDirs)

# One reverse-DNS id names the desktop entry, the icon and the metadata; the application
# announces the same name (QGuiApplication::setDesktopFileName), so the desktop shows its icon.
set(TESMA_APP_ID com.example.tesma.MessageSender)
target_compile_definitions(tesma PRIVATE TESMA_DESKTOP_ID="${TESMA_APP_ID}")
set(TESMA_LAUNCHER tesma-launcher)
set(TESMA_WM_CLASS tesma)
set(_pkg ${PROJECT_SOURCE_DIR}/packaging)
set(_out ${PROJECT_BINARY_DIR}/packaging)

configure_file(${_pkg}/tesma.desktop.in ${_out}/${TESMA_APP_ID}.desktop @ONLY)
configure_file(${_pkg}/tesma.metainfo.xml.in ${_out}/${TESMA_APP_ID}.metainfo.xml @ONLY)

install(TARGETS tesma RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET tesma-encoder-sim)
    install(TARGETS tesma-encoder-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(PROGRAMS ${_pkg}/tesma-launcher DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${_out}/${TESMA_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_out}/${TESMA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_pkg}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tesma)

# The icon: the SVG as drawn, plus PNGs rendered from it for desktops that want pixels.
set(_icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${_pkg}/tesma.svg DESTINATION ${_icons}/scalable/apps RENAME ${TESMA_APP_ID}.svg)
find_program(RSVG_CONVERT rsvg-convert)
if(RSVG_CONVERT)
    set(_pngs)
    foreach(size 48 64 128 256)
        set(_png ${_out}/icons/${size}/${TESMA_APP_ID}.png)
        add_custom_command(OUTPUT ${_png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${_out}/icons/${size}
            COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${_png} ${_pkg}/tesma.svg
            DEPENDS ${_pkg}/tesma.svg
            COMMENT "Rendering the ${size}x${size} icon")
        install(FILES ${_png} DESTINATION ${_icons}/${size}x${size}/apps)
        list(APPEND _pngs ${_png})
    endforeach()
    add_custom_target(tesma_icons ALL DEPENDS ${_pngs})
else()
    message(WARNING "rsvg-convert not found (Debian: librsvg2-bin): the PNG icons are not built")
endif()

# ---- Debian package ------------------------------------------------------------------------
# cpack and `make install` package what is built (scripts/build.sh) instead of first walking
# every target of the tree again, which costs half a minute here.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tesma)
set(CPACK_PACKAGE_VENDOR Tesma)
set(CPACK_PACKAGE_CONTACT "Tesma <assistenza@tesma.example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "operator console for sending messages to radio pagers")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "An operator picks users from an address book, or types a pager code, writes\n"
    "a message and sends it. For every addressee the console frames the message for\n"
    "a paging encoder on a serial port, waits for its acknowledgement and records\n"
    "a report row per frame. The package also holds tesma-encoder-sim, which plays\n"
    "the encoder on a pseudo-terminal so the console can be tried without hardware.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.tesma.example.com/)
# dpkg-shlibdeps finds the libraries the binaries link; Qt loads the SQLite driver and the
# platform plugins at run time, so those packages are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-qpa-plugins")
include(CPack)

# ---- checks of the install tree and the package -------------------------------------------
# Labelled "packaging": the sanitizer build leaves them out, its binaries are not the ones shipped.
if(BUILD_TESTING)
    set(_check ${PROJECT_SOURCE_DIR}/tests/packaging/check_package.sh)
    foreach(what install-tree metadata deb)
        add_test(NAME packaging_${what} COMMAND ${_check} ${what} ${PROJECT_BINARY_DIR})
        set_tests_properties(packaging_${what} PROPERTIES TIMEOUT 60 LABELS packaging
                             ENVIRONMENT "TESMA_APP_ID=${TESMA_APP_ID}")
    endforeach()
endif()
