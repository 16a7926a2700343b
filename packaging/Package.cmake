# What `cmake --install` puts where, and the Debian package built from it
# (scripts/package). Included by the top-level CMakeLists.txt.
#
# Debian's layout: the programs in the bin folder, the manual pages
# compressed, the documentation with the package's copyright file and
# changelog in the doc folder, the systemd units in the unit folder. The
# installed programs keep config.ini in /etc/zelvor and their state in
# /var/lib/zelvor when built with ZELVOR_SYSTEM_LAYOUT (scripts/package does);
# the package's maintainer scripts make those folders. The terminal simulator,
# the screenshots tool, the tests and the benchmarks are not installed.
set(ZELVOR_SYSTEMD_UNIT_DIR "/lib/systemd/system" CACHE PATH "Folder of the systemd units")

install(TARGETS zelvor zelvor-settings RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Without the compiler's version notes (.comment), as debhelper's dh_strip
# installs programs; cpack strips the symbols (CPACK_STRIP_FILES).
foreach(program zelvor zelvor-settings)
    install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\" COMMAND_ERROR_IS_FATAL ANY)")
endforeach()

# Installed, never enabled: the site enables the timer when config.ini is ready.
install(FILES docs/systemd/zelvor-run.service docs/systemd/zelvor-run.timer
        DESTINATION ${ZELVOR_SYSTEMD_UNIT_DIR})

# Manual pages and the changelog go compressed (gzip -9n: no name or time
# stamp, so the same sources give the same bytes).
set(compressed ${CMAKE_CURRENT_BINARY_DIR}/compressed)
set(compressed_files)
foreach(source docs/man/zelvor.1 docs/man/zelvor-settings.1 packaging/debian/changelog)
    get_filename_component(name ${source} NAME)
    add_custom_command(OUTPUT ${compressed}/${name}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${compressed}
        COMMAND gzip -9nc ${CMAKE_CURRENT_SOURCE_DIR}/${source} > ${compressed}/${name}.gz
        DEPENDS ${source} VERBATIM)
    list(APPEND compressed_files ${compressed}/${name}.gz)
endforeach()
add_custom_target(zelvor-compressed-docs ALL DEPENDS ${compressed_files})
install(FILES ${compressed}/zelvor.1.gz ${compressed}/zelvor-settings.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

file(GLOB doc_pages ${CMAKE_CURRENT_SOURCE_DIR}/docs/*.md)
install(FILES README.md ${doc_pages} docs/odbcinst.ini.example packaging/debian/copyright
              ${compressed}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The alert rules for the run's metrics, for the site's Prometheus (operating.md, "Metrics").
install(FILES packaging/prometheus/zelvor-alerts.yml DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package: zelvor_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelvor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Zelvor maintainers <maintainers@zelvor.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "moves attendance punches from time terminals into an HR database")
set(CPACK_PACKAGE_DESCRIPTION [[
For each time terminal listed in its config.ini, Zelvor connects over the
network, reads the punch log, writes a daily export file and inserts the new
punches as movements into the HR suite's SQL Server database over ODBC. It
runs interactively (an Arabic, right-to-left dialog) or unattended from a
systemd timer, which the package installs but does not enable.]])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link come from dpkg-shlibdeps. The Qt ODBC driver
# is a plugin loaded at run time, so it is named here, with the ODBC driver
# manager and odbcinst, with which the package registers FreeTDS; the SQL
# Server driver itself is the site's choice.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, libqt6sql6-odbc, unixodbc, odbcinst")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "tdsodbc, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/debian/preinst
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/debian/postinst
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/debian/prerm
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
