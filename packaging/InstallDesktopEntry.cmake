# Run at install time, where CMAKE_INSTALL_PREFIX is the prefix the program really lands
# under (/usr for the Debian package, ~/.local for a user's own install), so the menu
# entry starts the program that was installed rather than one under the build's prefix.
# Needs KELVANE_DESKTOP_SOURCE, KELVANE_DESKTOP_STAGING and KELVANE_PROGRAM (relative to
# the prefix).
file(READ "${KELVANE_DESKTOP_SOURCE}" entry)
set(program "${CMAKE_INSTALL_PREFIX}/${KELVANE_PROGRAM}")
if(program MATCHES " ")
    set(program "\"${program}\"")  # a prefix such as "/home/Ann Lee/.local"
endif()
string(REGEX REPLACE "\nExec=[^\n]*" "\nExec=${program}" entry "${entry}")
# The entry keeps its source's name, the application id software centres look it up by.
get_filename_component(name "${KELVANE_DESKTOP_SOURCE}" NAME)
file(WRITE "${KELVANE_DESKTOP_STAGING}/${name}" "${entry}")
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications" TYPE FILE
     FILES "${KELVANE_DESKTOP_STAGING}/${name}")
