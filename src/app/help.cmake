# Help and version information, the icons, the desktop files and installation. Included by the
# window's CMakeLists.txt after it has defined the library `vorlet_app` and the executable `vorlet`.
find_package(Qt6 REQUIRED COMPONENTS Widgets Svg)
include(GNUInstallDirs)

target_sources(vorlet_app PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Help.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Help.h
)
# The icons are SVG files; Qt draws them through its SVG icon engine.
target_link_libraries(vorlet_app PUBLIC Qt6::Widgets Qt6::Svg)

# The linker drops resource objects from a static library because nothing names their symbols,
# so the compiled icons go straight onto the link line of everything that links `vorlet_app`:
# the program and the tests alike. (AUTORCC sources appear too late for $<TARGET_OBJECTS>.)
qt_add_resources(vorlet_icon_sources ${CMAKE_CURRENT_LIST_DIR}/icons/icons.qrc)
add_library(vorlet_icons OBJECT ${vorlet_icon_sources})
target_link_libraries(vorlet_icons PRIVATE Qt6::Core)
target_link_libraries(vorlet_app INTERFACE $<TARGET_OBJECTS:vorlet_icons>)
add_dependencies(vorlet_app vorlet_icons)

# The program looks for its help file beside itself, so every build refreshes a copy there.
set(vorlet_help_source ${CMAKE_CURRENT_LIST_DIR}/vorlet.hlp)
add_custom_target(vorlet_help ALL
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${vorlet_help_source} $<TARGET_FILE_DIR:vorlet>
  VERBATIM)
add_dependencies(vorlet_help vorlet)

if(WIN32)
  # The version resource and the program file's icon.
  configure_file(${CMAKE_CURRENT_LIST_DIR}/vorlet.rc.in ${CMAKE_CURRENT_BINARY_DIR}/vorlet.rc @ONLY)
  target_sources(vorlet PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/vorlet.rc)
endif()

# Installed as a Debian program: the window in bin, its help file in share/vorlet (where the
# program looks when none is beside it), and the desktop entry, icons, AppStream metainfo and
# manual page that desktops and package tools expect.
install(TARGETS vorlet RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(WIN32)
  install(FILES ${vorlet_help_source} DESTINATION ${CMAKE_INSTALL_BINDIR})
else()
  install(FILES ${vorlet_help_source} DESTINATION ${CMAKE_INSTALL_DATADIR}/vorlet)
endif()
if(UNIX AND NOT APPLE)
  set(vorlet_app_id io.github.vorlet.Vorlet)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/${vorlet_app_id}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/${vorlet_app_id}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/vorlet.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

  # Menus and docks that draw no SVG take the 48 px picture, drawn from the SVG at build time.
  find_program(VORLET_RSVG_CONVERT rsvg-convert)
  if(VORLET_RSVG_CONVERT)
    set(vorlet_png ${CMAKE_CURRENT_BINARY_DIR}/icons/48x48/vorlet.png)
    add_custom_command(OUTPUT ${vorlet_png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/icons/48x48
      COMMAND ${VORLET_RSVG_CONVERT} --width=48 --height=48 --format=png
              --output=${vorlet_png} ${CMAKE_CURRENT_LIST_DIR}/icons/vorlet.svg
      DEPENDS ${CMAKE_CURRENT_LIST_DIR}/icons/vorlet.svg
      COMMENT "Drawing the 48 px icon"
      VERBATIM)
    add_custom_target(vorlet_icon_png ALL DEPENDS ${vorlet_png})
    install(FILES ${vorlet_png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)
  else()
    message(WARNING "rsvg-convert (librsvg2-bin) not found: the 48 px icon is not installed; "
                    "scripts/install-deps installs it")
  endif()

  # The manual page carries the version of project(); Debian keeps manual pages compressed.
  configure_file(${CMAKE_CURRENT_LIST_DIR}/vorlet.1 ${CMAKE_CURRENT_BINARY_DIR}/man/vorlet.1 @ONLY)
  set(vorlet_man ${CMAKE_CURRENT_BINARY_DIR}/man/vorlet.1.gz)
  add_custom_command(OUTPUT ${vorlet_man}
    COMMAND gzip -9 --no-name --force --keep ${CMAKE_CURRENT_BINARY_DIR}/man/vorlet.1
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/man/vorlet.1
    COMMENT "Compressing the manual page"
    VERBATIM)
  add_custom_target(vorlet_man ALL DEPENDS ${vorlet_man})
  install(FILES ${vorlet_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
