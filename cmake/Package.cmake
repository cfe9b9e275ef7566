# The Debian package: `cpack` in a build folder (scripts/package) writes
# tarnview_<version>_amd64.deb with everything cmake/Install.cmake installs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnview)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tarnview maintainers <maintainers@tarnview.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "delayed live video from a network camera, for coaching divers")
set(CPACK_PACKAGE_DESCRIPTION
  "Tarnview shows a network camera's live picture full screen, a chosen 1 to 60\n\
seconds late, so that a diver who climbs out of the pool watches the dive just\n\
performed. C saves a snapshot, Escape stops. The package holds a demo camera,\n\
tarnview-democam, to try it without a camera.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # tarnview_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries both programs link come from dpkg-shlibdeps; what they load at
# run time without linking it is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# The packages a list names that are run-time parts rather than headers or tools:
# GStreamer's plugin packages and fonts.
function(tarnview_runtime_packages list out)
  file(STRINGS ${PROJECT_SOURCE_DIR}/scripts/packages/${list} lines REGEX "^(gstreamer1\\.0-|fonts-)")
  set(${out} ${lines} PARENT_SCOPE)
endfunction()
# The dialog font (without it every Chinese text shows as boxes) and Qt's
# Wayland platform, used on a Wayland session without XWayland.
tarnview_runtime_packages(ui.txt program_packages)
list(APPEND program_packages qt6-wayland)
# The demo camera's elements and its clock's font, from the list the build
# installs them by, so the two cannot drift apart.
tarnview_runtime_packages(democam.txt camera_packages)
list(APPEND program_packages ${camera_packages})
list(REMOVE_DUPLICATES program_packages)
list(JOIN program_packages ", " CPACK_DEBIAN_PACKAGE_DEPENDS)

include(CPack)
