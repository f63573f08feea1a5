# Run-time files of the server consoles, laid out next to the executables in ${VANTEL_BIN_DIR}:
#   vantelres.xdll            the resource bundle (binary rcc) listed in bundle.txt
#   Languages/languages.ini   the offered languages; Languages/<Language>.qm from translations/*_<Language>.ts
#   res/default/qss/*.qss     the style sheets
#   kestoconfig.ini           default settings, copied only when the program directory has none
set(KESTO_RES_DIR ${PROJECT_SOURCE_DIR}/resources/KestoServer)
set(VANTEL_RES_GEN ${CMAKE_BINARY_DIR}/vantelres)

# --- resource bundle ---------------------------------------------------------------------------
add_executable(vantel_svgrender ${KESTO_RES_DIR}/svgrender.cpp)
target_link_libraries(vantel_svgrender PRIVATE vantel_defaults)
target_link_libraries(vantel_svgrender PRIVATE Qt5::Gui Qt5::Svg)
set_target_properties(vantel_svgrender PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools AUTOUIC OFF AUTOMOC OFF)

set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KESTO_RES_DIR}/bundle.txt)
file(STRINGS ${KESTO_RES_DIR}/bundle.txt bundle_lines)
set(bundle_outputs)
set(qrc_entries)
foreach(line IN LISTS bundle_lines)
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^#")
    continue()
  endif()
  string(REGEX REPLACE "[ \t]+" ";" parts "${line}")
  list(LENGTH parts nparts)
  list(GET parts 0 res_path)
  list(GET parts 1 res_src)
  set(res_size "")
  if(nparts GREATER 2)
    list(GET parts 2 res_size)
  endif()
  set(res_out ${VANTEL_RES_GEN}/${res_path})
  set(res_in ${KESTO_RES_DIR}/images/${res_src})
  if(res_src MATCHES "\\.svg$")
    vantel_svg_png(${res_out} ${res_in} ${res_size})
  else()
    add_custom_command(OUTPUT ${res_out} COMMAND ${CMAKE_COMMAND} -E copy ${res_in} ${res_out} DEPENDS ${res_in} VERBATIM)
  endif()
  list(APPEND bundle_outputs ${res_out})
  list(APPEND qrc_entries ${res_path})
endforeach()
vantel_write_qrc(${VANTEL_RES_GEN}/vantelres.qrc / ${qrc_entries})
add_custom_command(OUTPUT ${VANTEL_BIN_DIR}/vantelres.xdll
  COMMAND Qt5::rcc -binary ${VANTEL_RES_GEN}/vantelres.qrc -o ${VANTEL_BIN_DIR}/vantelres.xdll
  DEPENDS ${bundle_outputs} ${VANTEL_RES_GEN}/vantelres.qrc
  WORKING_DIRECTORY ${VANTEL_RES_GEN} VERBATIM)

# --- languages ----------------------------------------------------------------------------------
# One translator file per language for all the hosts that share the program directory: every
# translations/<Program>_<Language>.ts goes into Languages/<Language>.qm.
file(GLOB ts_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/translations/*_*.ts)
# The player keeps its own languages under data/language (resources/VantelPlayer/runtime.cmake).
list(FILTER ts_files EXCLUDE REGEX "/VantelPlayer[^/]*$")
set(qm_outputs)
vantel_compile_languages(qm_outputs ${VANTEL_BIN_DIR}/Languages ${ts_files})

# --- files copied as they are (the programs only read them) ------------------------------------
set(copied_outputs)
foreach(pair
    "Languages/languages.ini=Languages/languages.ini"
    "qss/default.qss=res/default/qss/default.qss"
    "qss/picture.qss=res/default/qss/picture.qss")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 from)
  list(GET pair 1 to)
  add_custom_command(OUTPUT ${VANTEL_BIN_DIR}/${to}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${KESTO_RES_DIR}/${from} ${VANTEL_BIN_DIR}/${to}
    DEPENDS ${KESTO_RES_DIR}/${from} VERBATIM)
  list(APPEND copied_outputs ${VANTEL_BIN_DIR}/${to})
endforeach()

# --- default settings: an operator's settings in the program directory are never overwritten ---
file(WRITE ${CMAKE_BINARY_DIR}/copy_if_absent.cmake
  "if(NOT EXISTS \"\${DST}\")\n  configure_file(\"\${SRC}\" \"\${DST}\" COPYONLY)\nendif()\n")
add_custom_target(vantel_default_settings
  COMMAND ${CMAKE_COMMAND} -DSRC=${KESTO_RES_DIR}/kestoconfig.ini -DDST=${VANTEL_BIN_DIR}/kestoconfig.ini
          -P ${CMAKE_BINARY_DIR}/copy_if_absent.cmake
  VERBATIM)

add_custom_target(vantel_runtime ALL
  DEPENDS ${VANTEL_BIN_DIR}/vantelres.xdll ${qm_outputs} ${copied_outputs})
add_dependencies(vantel_runtime vantel_default_settings)
