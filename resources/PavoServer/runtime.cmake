# Run-time files of the event console next to the executables in ${VANTEL_BIN_DIR} (the resource
# bundle, languages and style sheets come from resources/KestoServer/runtime.cmake):
#   PavoServer.ini   default settings, copied only when the program directory has none
set(PAVO_RES_DIR ${PROJECT_SOURCE_DIR}/resources/PavoServer)
add_custom_target(pavo_default_settings
  COMMAND ${CMAKE_COMMAND} -DSRC=${PAVO_RES_DIR}/PavoServer.ini -DDST=${VANTEL_BIN_DIR}/PavoServer.ini
          -P ${CMAKE_BINARY_DIR}/copy_if_absent.cmake
  VERBATIM)
