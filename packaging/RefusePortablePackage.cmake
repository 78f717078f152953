# Run by CPack before it makes the Debian package of a build without
# KELVANE_SYSTEM_INSTALL. Such a program keeps its settings beside itself wherever its
# user may write, and root may write /usr/lib/kelvane: one run by root would give every
# user root's settings. So no package is made from it.
message(FATAL_ERROR "This build keeps settings beside the program, which a package in "
                    "/usr/lib/kelvane must not do. Configure the build for the package with "
                    "-DKELVANE_SYSTEM_INSTALL=ON.")
