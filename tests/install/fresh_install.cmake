# Installs the build tree into an empty prefix, so that a file missing from the install rules can
# never be masked by one left there by an earlier run.
#   cmake -DBUILD_DIR=... -DPREFIX=... -P fresh_install.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                COMMAND_ERROR_IS_FATAL ANY)
