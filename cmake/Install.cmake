# `cmake --install <build>` puts the program, the demo camera, the icon, the
# desktop entry, the manual pages and the AppStream metainfo in place under the
# prefix (default /usr/local).
include(GNUInstallDirs)

if(TARGET tarnview)
  install(TARGETS tarnview RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# The icon theme wants one PNG per size; they are drawn by the same code as the
# program's window icon, so the two never drift apart.
set(TARNVIEW_ICON_SIZES 48 32 16)
set(icon_dir ${PROJECT_BINARY_DIR}/icons)
set(icon_files)
foreach(size IN LISTS TARNVIEW_ICON_SIZES)
  list(APPEND icon_files ${icon_dir}/${size}/tarnview.png)
endforeach()
add_custom_command(OUTPUT ${icon_files}
  COMMAND iconexport ${icon_dir} ${TARNVIEW_ICON_SIZES}
  DEPENDS iconexport
  COMMENT "Exporting the program icon as PNG")
add_custom_target(tarnview_icons ALL DEPENDS ${icon_files})
foreach(size IN LISTS TARNVIEW_ICON_SIZES)
  install(FILES ${icon_dir}/${size}/tarnview.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/res/tarnview.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The program carries hls.js (Apache-2.0) for the web screens: its licence
# goes with it.
install(FILES ${PROJECT_SOURCE_DIR}/web/npm/node_modules/hls.js/LICENSE
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarnview RENAME hls.js-LICENSE)

# The demo camera ships beside the program, so that a coach can try Tarnview
# without a camera; its name says whose it is, in a folder shared with every
# other package.
if(TARGET democam)
  install(PROGRAMS $<TARGET_FILE:democam> DESTINATION ${CMAKE_INSTALL_BINDIR}
    RENAME tarnview-democam)
  # install(PROGRAMS) is left out of `install/strip`; strip it like the program.
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\"
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/tarnview-democam\")
    endif()")
endif()

# The manual page, compressed as Debian's manual readers expect, and one for the
# demo camera that points to it (its section there describes the camera).
set(man_dir ${PROJECT_BINARY_DIR}/man)
configure_file(${PROJECT_SOURCE_DIR}/packaging/tarnview.1.in ${man_dir}/tarnview.1 @ONLY)
file(WRITE ${man_dir}/tarnview-democam.1 ".so man1/tarnview.1\n")
add_custom_command(OUTPUT ${man_dir}/tarnview.1.gz ${man_dir}/tarnview-democam.1.gz
  # -n: no name or time stamp inside, so the same page gives the same bytes.
  COMMAND gzip -9nkf tarnview.1 tarnview-democam.1
  WORKING_DIRECTORY ${man_dir}
  DEPENDS ${man_dir}/tarnview.1 ${man_dir}/tarnview-democam.1
  COMMENT "Compressing the manual pages")
add_custom_target(tarnview_man ALL DEPENDS ${man_dir}/tarnview.1.gz ${man_dir}/tarnview-democam.1.gz)
install(FILES ${man_dir}/tarnview.1.gz ${man_dir}/tarnview-democam.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# AppStream metainfo: what software centres show about the program.
set(TARNVIEW_APPSTREAM_ID net.tarnview.tarnview)
configure_file(${PROJECT_SOURCE_DIR}/packaging/tarnview.metainfo.xml.in
  ${PROJECT_BINARY_DIR}/${TARNVIEW_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/${TARNVIEW_APPSTREAM_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
