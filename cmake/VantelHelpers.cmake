# vantel_add_subdirs(<dir>...): adds each listed sub-directory; a listed one without a
# CMakeLists.txt is an error (a typo or a lost folder must not drop a library or its tests).
function(vantel_add_subdirs)
  foreach(dir ${ARGN})
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${dir} has no CMakeLists.txt")
    endif()
    add_subdirectory(${dir})
  endforeach()
endfunction()

# vantel_take_sources(<taken var> <sources var> <regex>): moves the files of the list <sources var>
# that match the regex into the list <taken var> (a library of their own, from the same folder).
function(vantel_take_sources taken_var sources_var regex)
  set(taken ${${sources_var}})
  set(rest ${${sources_var}})
  list(FILTER taken INCLUDE REGEX "${regex}")
  list(FILTER rest EXCLUDE REGEX "${regex}")
  set(${taken_var} ${taken} PARENT_SCOPE)
  set(${sources_var} ${rest} PARENT_SCOPE)
endfunction()

# vantel_export_headers(<target> [ROOT <folder>] <sources...>): the target's users find its headers
# (the .h among the sources), and no others beside them, by their path under the root folder
# (default app/: "player/playfile.h", the way the programs write them). Each header is linked into
# <build>/include/<target>/<path under the root>, the folder the target exports; the headers stay
# where their authors keep them. Remade at every configure, which a header added or removed brings
# about through the source globs.
function(vantel_export_headers target)
  cmake_parse_arguments(E "" "ROOT" "" ${ARGN})
  set(root ${PROJECT_SOURCE_DIR}/app)
  if(E_ROOT)
    set(root ${E_ROOT})
  endif()
  set(dir ${CMAKE_BINARY_DIR}/include/${target})
  file(REMOVE_RECURSE ${dir})
  foreach(file IN LISTS E_UNPARSED_ARGUMENTS)
    if(NOT file MATCHES "\\.h$")
      continue()
    endif()
    file(RELATIVE_PATH rel ${root} ${file})
    if(rel MATCHES "^\\.\\./")
      message(FATAL_ERROR "vantel_export_headers(${target}): ${file} is not under ${root}")
    endif()
    get_filename_component(folder ${dir}/${rel} DIRECTORY)
    file(MAKE_DIRECTORY ${folder})
    file(CREATE_LINK ${file} ${dir}/${rel} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${dir})
endfunction()

# vantel_add_test(<name> SOURCES <files...> LIBS <targets...> [INTERNALS <libraries...>] [LABELS <labels...>]
#                 [TIMEOUT <s>])
# INTERNALS: the test also sees the private headers of these platform libraries (unit tests of a
# library's insides).
# One Qt Test executable per unit, run offscreen by CTest. Each test also carries the name of its
# folder as a label (media, engine, console ...), and is listed in the target vantel_tests_<folder>,
# so that one area can be built and run alone (the sanitizer builds do).
function(vantel_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV;INTERNALS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE vantel_defaults Qt5::Test Qt5::Network ${T_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
  foreach(lib ${T_INTERNALS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/platform/${lib})
  endforeach()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VANTEL_LOG_DIR=${CMAKE_BINARY_DIR}/test-logs;VANTEL_BIN_DIR=${VANTEL_BIN_DIR};VANTEL_SOURCE_DIR=${PROJECT_SOURCE_DIR};${T_ENV}")
  get_filename_component(area ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set_tests_properties(${name} PROPERTIES LABELS "${area};${T_LABELS}")
  if(NOT TARGET vantel_tests_${area})
    add_custom_target(vantel_tests_${area})
  endif()
  add_dependencies(vantel_tests_${area} ${name})
endfunction()

# vantel_compile_languages(<outputs var> <qm folder> <ts files...>): every <Program>_<Language>.ts
# given goes into <qm folder>/<Language>.qm (one file per language for all the .ts of it); the
# .qm paths are appended to <outputs var>.
function(vantel_compile_languages outputs_var qm_dir)
  set(languages)
  foreach(ts IN LISTS ARGN)
    get_filename_component(ts_name ${ts} NAME_WE)
    string(REGEX REPLACE "^.*_" "" lang ${ts_name})
    list(APPEND languages ${lang})
    list(APPEND ts_of_${lang} ${ts})
  endforeach()
  list(REMOVE_DUPLICATES languages)
  set(outputs ${${outputs_var}})
  foreach(lang IN LISTS languages)
    set(qm ${qm_dir}/${lang}.qm)
    add_custom_command(OUTPUT ${qm}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${qm_dir}
      COMMAND Qt5::lrelease -silent ${ts_of_${lang}} -qm ${qm}
      DEPENDS ${ts_of_${lang}} VERBATIM)
    list(APPEND outputs ${qm})
  endforeach()
  set(${outputs_var} ${outputs} PARENT_SCOPE)
endfunction()

# vantel_svg_png(<out.png> <in.svg> [size]): a build step that draws the SVG into the PNG with the
# suite's tool vantel_svgrender (defined by resources/KestoServer/runtime.cmake).
function(vantel_svg_png out svg)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:vantel_svgrender> ${svg} ${out} ${ARGN}
    DEPENDS vantel_svgrender ${svg} VERBATIM)
endfunction()

# vantel_write_qrc(<file.qrc> <prefix> <files...>): a Qt resource list of the files (paths relative
# to the .qrc's folder) under the prefix; rewritten only when it changes.
function(vantel_write_qrc qrc prefix)
  set(entries "")
  foreach(file IN LISTS ARGN)
    string(APPEND entries "    <file>${file}</file>\n")
  endforeach()
  file(WRITE ${qrc}.in
    "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"${prefix}\">\n${entries}</qresource>\n</RCC>\n")
  configure_file(${qrc}.in ${qrc} COPYONLY)
endfunction()
