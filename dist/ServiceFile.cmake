# Run at install time: writes the bus activation file for the program at its installed place.
# QUARROW_BINDIR, QUARROW_SERVICE_IN and QUARROW_SERVICE_OUT come from the install rule.
if(IS_ABSOLUTE "${QUARROW_BINDIR}")
    set(_exe "${QUARROW_BINDIR}/Quarrow")
else()
    set(_exe "${CMAKE_INSTALL_PREFIX}/${QUARROW_BINDIR}/Quarrow")
endif()
# The bus reads Exec as a quoted command line; a plain path needs no quoting, and any other
# is refused rather than written so that the bus would start something else.
if(NOT IS_ABSOLUTE "${_exe}" OR NOT _exe MATCHES "^[A-Za-z0-9/._+:@%,=-]+$")
    message(FATAL_ERROR "The bus activation file cannot name ${_exe}; install to a plain path")
endif()
set(QUARROW_SERVICE_EXEC "${_exe} -Embedding")
configure_file("${QUARROW_SERVICE_IN}" "${QUARROW_SERVICE_OUT}" @ONLY)
