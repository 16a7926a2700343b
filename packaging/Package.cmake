# What `cmake --install` puts where, and the Debian package built from it
# (scripts/package). Included by the top-level CMakeLists.txt.
#
# The programs live together in a folder of their own (default /opt/zelvor):
# the program keeps config.ini and its export folder log/ beside its
# executable. Links in the bin folder put both on PATH; the programs find
# their folder through /proc/self/exe, which resolves the links. The terminal
# simulator, the screenshots tool, the tests and the benchmark are not installed.
include(GNUInstallDirs)

set(ZELVOR_INSTALL_DIR "/opt/zelvor" CACHE PATH
    "Folder of the programs, beside which they keep config.ini and log/")
set(ZELVOR_SYSTEMD_UNIT_DIR "/lib/systemd/system" CACHE PATH "Folder of the systemd units")

install(TARGETS zelvor zelvor-settings RUNTIME DESTINATION ${ZELVOR_INSTALL_DIR})

set(links ${CMAKE_CURRENT_BINARY_DIR}/bin-links)
file(MAKE_DIRECTORY ${links})
foreach(program zelvor zelvor-settings)
    file(CREATE_LINK ${ZELVOR_INSTALL_DIR}/${program} ${links}/${program} SYMBOLIC)
    install(FILES ${links}/${program} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

# Installed, never enabled: the site enables the timer when config.ini is ready.
install(FILES docs/systemd/zelvor-run.service docs/systemd/zelvor-run.timer
        DESTINATION ${ZELVOR_SYSTEMD_UNIT_DIR})

file(GLOB doc_pages ${CMAKE_CURRENT_SOURCE_DIR}/docs/*.md)
install(FILES README.md ${doc_pages} docs/odbcinst.ini.example DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES docs/man/zelvor.1 docs/man/zelvor-settings.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

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
# manager and its tools; the SQL Server driver itself is the site's choice.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, libqt6sql6-odbc, unixodbc")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "tdsodbc")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/debian/postinst
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/debian/prerm
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
