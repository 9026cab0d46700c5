# What people install: on Linux a Debian package made by CPack (`cpack -G DEB` in the build
# folder), on Windows an installer made by makensis and a portable zip (the targets
# `installer` and `portable`). Their names and metadata take the project's version.
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsInstaller.cmake)
  return()
endif()

include(GNUInstallDirs)
set(paquet ${CMAKE_BINARY_DIR}/packaging)
set(VERRELUNE_SCREENSHOTS_URL "${VERRELUNE_REPOSITORY_URL}/raw/main/docs/screenshots")
execute_process(COMMAND date -u -R -d "${VERRELUNE_RELEASE_DATE} 12:00"
                OUTPUT_VARIABLE VERRELUNE_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)

configure_file(packaging/linux/verrelune.metainfo.xml.in
               ${paquet}/${VERRELUNE_APPSTREAM_ID}.metainfo.xml @ONLY)
configure_file(packaging/linux/copyright.in ${paquet}/copyright @ONLY)
# Manual page and changelog are installed compressed, without a time stamp in the gzip header,
# so that the same sources make the same package.
foreach(fichier verrelune.1 changelog)
  configure_file(packaging/linux/${fichier}.in ${paquet}/${fichier} @ONLY)
  execute_process(COMMAND gzip -9 -n -f -k ${paquet}/${fichier} COMMAND_ERROR_IS_FATAL ANY)
endforeach()

install(FILES ${paquet}/${VERRELUNE_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${paquet}/verrelune.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${paquet}/copyright ${paquet}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/verrelune)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME verrelune)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ${VERRELUNE_PUBLISHER})
set(CPACK_PACKAGE_CONTACT ${VERRELUNE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop wallpaper changer with a notification-area icon")
set(CPACK_PACKAGE_DESCRIPTION [=[
Verrelune lives as an icon in the notification area, takes its pictures
from one folder tree (BMP, JPEG, GIF, PNG, TIFF and Targa files) and
changes the desktop wallpaper to a random picture at start-up, every few
seconds, minutes, hours or days, or when its icon is clicked. Its window
chooses the folder, lists the pictures with thumbnails and sets the
schedule.

It shows the wallpaper through the desktop's own settings on GNOME, KDE
Plasma, Xfce, MATE, Cinnamon, Budgie, LXQt and sway, and on the root
window of other X11 window managers.]=])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VERRELUNE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VERRELUNE_REPOSITORY_URL})
# The libraries the program needs are read from the program itself by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Without Qt's Wayland plugin the window opens on Xwayland in Wayland sessions.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
include(CPack)
