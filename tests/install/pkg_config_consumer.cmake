# Builds the consumer program with the compiler and the flags pkg-config gives for the installed
# package, then runs it on IMAGE and checks its report against EXPECTED (a regular expression).
#   cmake -DPREFIX=... -DLIBDIR=... -DCXX=... -DSOURCE=... -DWORK_DIR=... -DIMAGE=... -DEXPECTED=...
#         -P pkg_config_consumer.cmake
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(ENV{PKG_CONFIG_PATH} "${PREFIX}/${LIBDIR}/pkgconfig")
execute_process(COMMAND pkg-config --cflags --libs superpixels
                OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
separate_arguments(flags UNIX_COMMAND "${flags}")
execute_process(COMMAND "${CXX}" -std=c++17 "${SOURCE}" -o "${WORK_DIR}/consumer" ${flags}
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${WORK_DIR}/consumer" "${IMAGE}" 40 1.0
                OUTPUT_VARIABLE report COMMAND_ERROR_IS_FATAL ANY)
message(STATUS "${report}")
if(NOT report MATCHES "${EXPECTED}")
  message(FATAL_ERROR "expected a report matching \"${EXPECTED}\"")
endif()
