# What `cmake --install` puts where, and the Debian 12 package CPack makes of it:
#
#   cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release && cmake --build build-rel --target package -j2
#
# gives build-rel/lorimet_<version>-<release>_<arch>.deb. The package is meant to be built from a Release
# configure; any other build type makes a working package too (CPack strips the binaries), only slower
# and without the hardening flags of the top CMakeLists.
include(GNUInstallDirs)

# The day this version is released: the package's changelog, the AppStream release and the manual pages
# show it. Seconds since 1970 (UTC), so that one number gives every form of the date.
set(LORIMET_RELEASE_EPOCH 1796904000) # 2026-12-10 12:00 UTC
set(_saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} ${LORIMET_RELEASE_EPOCH})
string(TIMESTAMP LORIMET_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP LORIMET_RELEASE_DATE_RFC2822 "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${_saved_epoch}")

set(LORIMET_MAINTAINER "lorimet developers <dev@lorimet.example.org>")
set(LORIMET_APPSTREAM_ID org.lorimet.lorimet)
set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(generated ${PROJECT_BINARY_DIR}/packaging)

# ---- what is installed ----

# The program and its four tools; tests, benchmarks and build helpers stay out.
set(LORIMET_INSTALLED_PROGRAMS lorimet lorimet-replay lorimet-report lorimet-sim lorimet-journal)
foreach(program ${LORIMET_INSTALLED_PROGRAMS})
    if(NOT TARGET ${program})
        message(FATAL_ERROR "the package needs the target ${program}")
    endif()
endforeach()
install(TARGETS ${LORIMET_INSTALLED_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${packaging}/lorimet.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${LORIMET_ICON_DIR}/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

configure_file(${packaging}/${LORIMET_APPSTREAM_ID}.metainfo.xml.in
               ${generated}/${LORIMET_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${generated}/${LORIMET_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The manual pages and the changelog, gzip -9n as Debian wants them (no name, no time stamp: the same
# bytes from every build).
find_program(LORIMET_GZIP gzip REQUIRED)
set(compressed)
function(lorimet_gzip input output)
    add_custom_command(OUTPUT ${output}
        COMMAND ${LORIMET_GZIP} -9n -c ${input} > ${output}
        DEPENDS ${input}
        VERBATIM)
    set(compressed ${compressed} ${output} PARENT_SCOPE)
endfunction()
foreach(program ${LORIMET_INSTALLED_PROGRAMS})
    configure_file(${packaging}/man/${program}.1.in ${generated}/man/${program}.1 @ONLY)
    lorimet_gzip(${generated}/man/${program}.1 ${generated}/man/${program}.1.gz)
    install(FILES ${generated}/man/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${LORIMET_MAINTAINER})
configure_file(${packaging}/changelog.Debian.in ${generated}/changelog.Debian @ONLY)
lorimet_gzip(${generated}/changelog.Debian ${generated}/changelog.Debian.gz)
add_custom_target(lorimet-package-files ALL DEPENDS ${compressed})
install(FILES ${generated}/changelog.Debian.gz ${packaging}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${packaging}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME lorimet)

# The documents the tools' manual pages point to, and the manual when it is there.
install(FILES ${PROJECT_SOURCE_DIR}/docs/journal.md ${PROJECT_SOURCE_DIR}/docs/replay.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/manual/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/manual OPTIONAL)

# The example day for lorimet-replay (lorimet-replay /usr/share/lorimet/examples/day.scenario).
install(FILES ${PROJECT_SOURCE_DIR}/examples/day.scenario DESTINATION ${CMAKE_INSTALL_DATADIR}/lorimet/examples)

# ---- the package ----

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lorimet)
set(CPACK_PACKAGE_VENDOR "lorimet developers")
set(CPACK_PACKAGE_CONTACT ${LORIMET_MAINTAINER})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "front end of an oxygen-sensor BOD analyser")
# Read here rather than named as CPACK_PACKAGE_DESCRIPTION_FILE, which CPack would XML-escape ("&apos;").
file(READ ${packaging}/description.txt CPACK_DEBIAN_PACKAGE_DESCRIPTION)
set(CPACK_RESOURCE_FILE_LICENSE ${packaging}/copyright)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries the binaries link come from dpkg-shlibdeps. Plugins are loaded by name at run time, where
# it cannot see them: the SQLite driver of the journal is needed (Qt's platform plugins, xcb and
# offscreen, are in libqt6gui6 on Debian 12, which the binaries link); the PostgreSQL driver only with a
# lab server, Qt's Russian texts for its own buttons, DejaVu for the pictures' lettering; Wayland
# sessions run the program through XWayland without Qt's Wayland plugin.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql, qt6-translations-l10n, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland")

set(CPACK_SOURCE_GENERATOR TXZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/")

include(CPack)
