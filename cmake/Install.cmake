# `cmake --install <build>` puts the program, its icon and its desktop entry in
# place under the prefix (default /usr/local).
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
