# CPack's external generator for the Windows build: turns the staged program into
# Kelvane-<version>-win64.msi with wixl (Debian package wixl), beside the zip.
# CPack sets CPACK_TEMPORARY_DIRECTORY (the staged install) and the CPACK_KELVANE_*
# variables the project passes on.
find_program(WIXL wixl)
if(NOT WIXL)
    message(FATAL_ERROR "wixl is needed for the Windows installer: scripts/install-deps.sh test")
endif()
set(work "${CPACK_TEMPORARY_DIRECTORY}/../msi")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")
file(COPY "${CPACK_TEMPORARY_DIRECTORY}/Kelvane.exe" "${CPACK_TEMPORARY_DIRECTORY}/ReadMe.txt"
     DESTINATION "${work}")
file(COPY_FILE "${CPACK_KELVANE_ICON}" "${work}/Kelvane.ico")
set(msi "${work}/${CPACK_PACKAGE_FILE_NAME}.msi")
execute_process(COMMAND "${WIXL}" -a x64 -D "Version=${CPACK_PACKAGE_VERSION}" -o "${msi}"
                        "${CPACK_KELVANE_WXS}"
                WORKING_DIRECTORY "${work}" RESULT_VARIABLE built ERROR_VARIABLE complaints)
if(NOT built EQUAL 0 OR NOT EXISTS "${msi}")
    message(FATAL_ERROR "wixl could not build ${msi}:\n${complaints}")
endif()
set(CPACK_EXTERNAL_BUILT_PACKAGES "${msi}")
