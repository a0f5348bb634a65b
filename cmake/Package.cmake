# The Debian package (scripts/package runs cpack on a built tree): what the install rules put
# under /usr, with dependencies from dpkg-shlibdeps, the font the window needs and a postinst
# that applies the udev rule.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mirantos)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "MIRANTOS maintainers")
set(CPACK_PACKAGE_CONTACT "MIRANTOS maintainers <maintainers@users.noreply.c-seed-1e762e1d.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "noise measurement with the MIRANTOS AD7177 USB board")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "MIRANTOS is the desktop measurement program for the MIRANTOS Board, a USB
data-acquisition board with an Analog Devices AD7177 32-bit sigma-delta
converter behind an FTDI USB FIFO chip. It is made for engineers who check
the noise of a precision front end.

Pick a data rate (5 sps to 10 ksps), the Sinc3 or Sinc5+Sinc1 filter, a
sample count and a channel, and watch the samples stream into a one- or
two-channel line graph; the window then shows the maximum, minimum,
peak-to-peak value and standard deviation in converter codes or
microvolts. Data sets are saved to and loaded from .DTA files.

The package holds the window for the board (mirantos), the same window on
a built-in simulated board (mirantos-sim), the command-line tool
mirantos-cli (measurements, statistics, graph pictures, CSV export, noise
analysis, long captures streamed to disk, and noise tests against a limits
file whose results go to an SQLite or PostgreSQL database), the udev rule that lets the
logged-in user open the board, and a menu entry.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not libraries the linker sees: the window's Japanese texts need a Japanese
# font, and the results database is opened through Qt's SQL driver plugins
# (SQLite always; PostgreSQL only for a shared server); Qt's own dialogs and
# buttons read their Japanese from Qt's translation files.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, libqt6sql6-sqlite, qt6-translations-l10n")
# The dashboard's charts: Debian's Chart.js, read from /usr/share/javascript at run time.
string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libjs-chart.js")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
