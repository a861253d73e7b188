# What the desktop needs to find Quorel once it is installed, and the Debian package holding it.
# The application id app.quorel.Quorel names the desktop entry, the metainfo, the MIME package
# and the icons, as the window (setDesktopFileName) and the D-Bus name do.
set(QUOREL_APP_ID app.quorel.Quorel)
set(QUOREL_RELEASE_DATE 2026-12-09)
set(resource_dir ${PROJECT_SOURCE_DIR}/resources)

install(FILES ${resource_dir}/${QUOREL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${resource_dir}/${QUOREL_APP_ID}.mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME ${QUOREL_APP_ID}.xml)
configure_file(${resource_dir}/${QUOREL_APP_ID}.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/${QUOREL_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/${QUOREL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Every committed size of the colour icon (resources/icons/hicolor/<size>/apps/quorel.png).
file(GLOB icon_sizes LIST_DIRECTORIES true RELATIVE ${resource_dir}/icons/hicolor ${resource_dir}/icons/hicolor/*)
foreach(size ${icon_sizes})
  install(FILES ${resource_dir}/icons/hicolor/${size}/apps/quorel.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps RENAME ${QUOREL_APP_ID}.png)
endforeach()

# The Debian package: quorel_<version>_<arch>.deb. The libraries come from dpkg-shlibdeps; the
# rest is what Quorel starts or loads at run time: the sound server with its Pulse front and
# session manager, pw-play (pipewire-bin), the SVG icon plugin (most applications' icons are
# SVG), and the Wayland platform plugin. dpkg's own triggers refresh the MIME, desktop and icon
# caches on install and removal, so the package has no maintainer scripts.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorel)
set(CPACK_PACKAGE_VENDOR Quorel)
set(CPACK_PACKAGE_CONTACT "Quorel <support@quorel.app>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "processes all system audio through its own sound chain")
set(CPACK_PACKAGE_DESCRIPTION "Quorel takes the mixed output of every other application, runs it
through its own real-time chain (boost, loudness, 31-band equalizer, leveler,
limiter, headphone correction) and plays the result to the chosen output.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${QUOREL_WEBSITE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "pipewire, pipewire-pulse, wireplumber, pipewire-bin, libqt6svg6, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
include(CPack)
