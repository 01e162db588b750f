# The Debian package (cpack -G DEB, run by tools/package). Library dependencies come from
# dpkg-shlibdeps; what the libraries cannot tell is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarrow)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Korvane@Work")
set(CPACK_PACKAGE_CONTACT "Quarrow developers <quarrow@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find objects in SQL Server databases")
set(CPACK_PACKAGE_DESCRIPTION
    "Quarrow searches the databases of SQL Servers, or catalogue snapshots taken
of them, for tables, views, stored procedures, functions, triggers, rules,
defaults and datatypes: by text in the object's script, by its exact name or
a regular expression, by type, size and creation date. Scripts open in an
editor, and result rows drag out as text or export to a delimited file.
.
The package holds the find window (Quarrow) and the command-line search
(quarrow-find), with demo catalogues to try them on.")
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
# Stage with DESTDIR, so install-time code sees the real prefix (/usr) and not the staging
# folder: the bus activation file names the program by it.
set(CPACK_SET_DESTDIR ON)
if(QUARROW_WEB_ADDRESS)
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${QUARROW_WEB_ADDRESS})
endif()
# Qt finds its window-system plugins at run time, so no library names them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Live servers need an ODBC driver (FreeTDS's by default); snapshots need none. Scripts open
# and help pages show through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "tdsodbc, xdg-utils")
include(CPack)
