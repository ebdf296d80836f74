# Everything a user gets on install, laid out as Debian lays out a package:
# the programs in bin, their manual pages gzipped in share/man/man1, and the
# README, the user documents, the licence, the copyright file and the
# changelog in share/doc/tarvel. cmake/Package.cmake makes the Debian package
# from these rules.

# The changelog's newest entry names the version being installed, so that the
# package, the programs' --version and the changelog cannot disagree.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog newest LIMIT_COUNT 1)
string(REGEX MATCH "^tarvel \\(([^)]*)\\)" _ "${newest}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog begins with \"${newest}\": "
                      "its newest entry must be for version ${PROJECT_VERSION}")
endif()

set(generated ${PROJECT_BINARY_DIR}/packaging)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/packaging/changelog)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
file(WRITE ${generated}/copyright
  "tarvel: film-strip scans to video, by the tarvel developers.\n"
  "It is free software under the MIT licence (the Expat licence):\n\n${license}")

add_custom_command(OUTPUT ${generated}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/changelog ${generated}/changelog
  COMMAND gzip -9nf ${generated}/changelog
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
  VERBATIM)
add_custom_target(changelog ALL DEPENDS ${generated}/changelog.gz)

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS tarvel4 tarvel1m tarvel1d tarvel-make-scans RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${TARVEL_MAN_DIR}/tarvel4.1.gz ${TARVEL_MAN_DIR}/tarvel1m.1.gz ${TARVEL_MAN_DIR}/tarvel1d.1.gz
              ${TARVEL_MAN_DIR}/tarvel-make-scans.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md LICENSE ${generated}/copyright ${generated}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs PATTERN man EXCLUDE)
