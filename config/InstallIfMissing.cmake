# cmake -DSOURCE=... -DTARGET=... -P InstallIfMissing.cmake
# Copies SOURCE to TARGET unless TARGET already exists.
if(NOT EXISTS "${TARGET}")
    get_filename_component(folder "${TARGET}" DIRECTORY)
    file(MAKE_DIRECTORY "${folder}")
    file(COPY_FILE "${SOURCE}" "${TARGET}")
endif()
