# cmake -DSOURCE=... -DDESTINATION=... -P CopyIfMissing.cmake
# Puts the default settings beside the executable unless the user already has some.
if(NOT EXISTS "${DESTINATION}")
  file(COPY_FILE "${SOURCE}" "${DESTINATION}")
endif()
