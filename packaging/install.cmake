# Installs Korvane like a desktop program and packages it as a .deb (cpack -G DEB in the build folder).
include(GNUInstallDirs)
set(KORVANE_VERSION 1.0.0)

# The icon files come from the same drawing as the window's icon.
add_executable(korvane_make_icons packaging/make_icons.cpp)
target_link_libraries(korvane_make_icons PRIVATE korvane_ui)
set(KORVANE_ICON_SIZES 16 32 48 64 128 256)
set(KORVANE_ICON_DIR ${CMAKE_BINARY_DIR}/icons)
set(KORVANE_ICON_FILES ${KORVANE_ICON_DIR}/korvane.svg)
foreach(size ${KORVANE_ICON_SIZES})
  list(APPEND KORVANE_ICON_FILES ${KORVANE_ICON_DIR}/korvane-${size}.png)
endforeach()
add_custom_command(OUTPUT ${KORVANE_ICON_FILES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KORVANE_ICON_DIR}
  COMMAND korvane_make_icons ${KORVANE_ICON_DIR}
  DEPENDS korvane_make_icons
  COMMENT "Drawing the program icon")
add_custom_target(korvane_icons ALL DEPENDS ${KORVANE_ICON_FILES})

# The manual page and the bash completion come from the table of command-line modes that --help prints.
add_executable(korvane_make_docs packaging/make_docs.cpp)
target_link_libraries(korvane_make_docs PRIVATE korvane_cli)
set(KORVANE_DOC_DIR ${CMAKE_BINARY_DIR}/doc)
add_custom_command(OUTPUT ${KORVANE_DOC_DIR}/korvane.1 ${KORVANE_DOC_DIR}/korvane.1.gz ${KORVANE_DOC_DIR}/changelog.gz ${KORVANE_DOC_DIR}/korvane.bash-completion
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KORVANE_DOC_DIR}
  COMMAND korvane_make_docs ${KORVANE_DOC_DIR}
  # Debian's manual pages are compressed to the utmost, without a name or time in the header.
  COMMAND gzip -9nf -k ${KORVANE_DOC_DIR}/korvane.1
  COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/packaging/changelog > ${KORVANE_DOC_DIR}/changelog.gz
  DEPENDS korvane_make_docs packaging/changelog
  COMMENT "Writing the manual page and the bash completion")
add_custom_target(korvane_docs ALL DEPENDS ${KORVANE_DOC_DIR}/korvane.1.gz ${KORVANE_DOC_DIR}/korvane.bash-completion)

install(TARGETS korvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The shipped program directory, owned by root and so read-only to every user: each user's copy is made from
# it on first start (and made writable there).
install(DIRECTORY data/ DESTINATION ${CMAKE_INSTALL_DATADIR}/korvane
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
  DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(FILES ${KORVANE_DOC_DIR}/korvane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/copyright ${KORVANE_DOC_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${KORVANE_DOC_DIR}/korvane.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
  RENAME korvane)
# What software centres list. The id and the home page stay placeholders until the project has a home of its
# own; a packager sets both.
set(KORVANE_APPSTREAM_ID "org.example.korvane" CACHE STRING "AppStream component id (reverse DNS)")
set(KORVANE_HOMEPAGE "https://korvane.example.org" CACHE STRING "Home page; screenshots are below it")
configure_file(packaging/korvane.metainfo.xml.in ${KORVANE_DOC_DIR}/${KORVANE_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${KORVANE_DOC_DIR}/${KORVANE_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES packaging/korvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# `systemctl --user enable --now korvane-watch` (or korvane-watch@NAME for a library by name) keeps the search
# index current for scripts and launchers without a window.
install(FILES packaging/korvane-watch.service packaging/korvane-watch@.service DESTINATION lib/systemd/user)
install(FILES ${KORVANE_ICON_DIR}/korvane.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size ${KORVANE_ICON_SIZES})
  install(FILES ${KORVANE_ICON_DIR}/korvane-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME korvane.png)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvane)
set(CPACK_PACKAGE_VERSION ${KORVANE_VERSION})
# A placeholder address, as the home page is, until the project has one.
set(KORVANE_MAINTAINER "Korvane developers <korvane@example.org>" CACHE STRING "The package's maintainer")
set(CPACK_PACKAGE_CONTACT "${KORVANE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop card manager for personal text collections")
# Lines of at most 80 characters, as Debian's tools show them.
set(CPACK_PACKAGE_DESCRIPTION "Keeps a personal collection of text material as cards, one GB2312 XML file\n\
per card, filed in libraries whose folders are the classes; shows each card in\n\
the browser through its stylesheet.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# The libraries (Qt 6, libxslt, libxml2, SQLite, libarchive) are found by shlibdeps with their versions; added
# by hand only the fonts without which every Chinese label is a box, and Qt's Chinese texts, without which
# every button and file dialog that Qt draws is English.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk, qt6-translations-l10n")
# Typing Chinese into any field needs an input method that Qt 6 talks to.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fcitx5-frontend-qt6 | ibus")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "chromium | firefox-esr")
include(CPack)
