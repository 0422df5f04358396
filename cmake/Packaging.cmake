# Two Debian packages from one install, written by `cpack -G DEB` in the build folder:
#   vtserver  the console (vtserver, vtagent, desktop entry, icon; translations are inside
#             the executable)
#   vtagentd  the agent of each PC (daemon, systemd unit, /etc/vtagentd.conf as a conffile)
# Install rules without a component belong to vtserver.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veltrane)
set(CPACK_PACKAGE_VENDOR TORVANE)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "TORVANE Veltrane Server team <veltrane@torvane.invalid>")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL vtserver vtagentd)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
# Library dependencies as dpkg-shlibdeps reads them from the executables (package dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_VTSERVER_PACKAGE_NAME vtserver)
set(CPACK_DEBIAN_VTSERVER_PACKAGE_SECTION net)
# Loaded at run time, so not among the libraries the executable names: the SVG icon and
# image plugins. The X11 platform plugin comes with libqt6gui6.
set(CPACK_DEBIAN_VTSERVER_PACKAGE_DEPENDS "libqt6svg6 (>= 6.4)")
set(CPACK_DEBIAN_VTSERVER_DESCRIPTION
    "Console that switches the PCs of a lab or classroom on and off
Veltrane Server keeps a roster of up to 254 networked PCs in groups, shows which are
running, reboots or shuts them down through the agent each PC runs (package vtagentd),
wakes them with Wake-on-LAN, and schedules this daily, weekly or monthly. English and
Japanese. Also holds vtagent, which simulates a lab of agents on loopback addresses.")

set(CPACK_DEBIAN_VTAGENTD_PACKAGE_NAME vtagentd)
set(CPACK_DEBIAN_VTAGENTD_PACKAGE_DEPENDS "init-system-helpers (>= 1.54~)")
set(CPACK_DEBIAN_VTAGENTD_PACKAGE_RECOMMENDS systemd)
set(CPACK_DEBIAN_VTAGENTD_DESCRIPTION
    "Agent that lets Veltrane Server reboot and shut down this PC
vtagentd answers the Veltrane Server console over UDP (port 9001): it reports this PC's
name to searches and status requests, and reboots or shuts the PC down when asked by an
allowed sender, through systemd or a command of the administrator's choice.")
set(VT_DEB_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian/vtagentd)
set(CPACK_DEBIAN_VTAGENTD_PACKAGE_CONTROL_EXTRA
    "${VT_DEB_SCRIPTS}/postinst;${VT_DEB_SCRIPTS}/prerm;${VT_DEB_SCRIPTS}/postrm;${VT_DEB_SCRIPTS}/conffiles")
set(CPACK_DEBIAN_VTAGENTD_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

include(CPack)
