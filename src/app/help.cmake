# Help and version information, the icons, and the desktop package. Included by the window's
# CMakeLists.txt after it has defined the library `vorlet_app` and the executable `vorlet`.
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

install(TARGETS vorlet RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${vorlet_help_source} DESTINATION ${CMAKE_INSTALL_BINDIR})
if(UNIX AND NOT APPLE)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/vorlet.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/vorlet.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
