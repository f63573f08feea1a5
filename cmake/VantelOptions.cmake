# The compile and link options of the suite's own targets, as interface targets that each target
# links privately (target_link_libraries(<target> PRIVATE vantel_defaults)), never as options of a
# whole folder: code of others built here keeps its own. vantel_check_defaults, at the end of the
# top CMakeLists.txt, fails the configure for a target of ours that does not link them.

# -DVANTEL_WERROR=ON (CI sets it): any warning in the suite's code fails the build. Every source
# compiled here is our own; the libraries we use come in as system headers, which give none.
option(VANTEL_WERROR "Treat compiler warnings as errors" OFF)
add_library(vantel_warnings INTERFACE)
target_compile_options(vantel_warnings INTERFACE -Wall -Wextra -Wno-unused-parameter $<$<BOOL:${VANTEL_WERROR}>:-Werror>)
target_compile_definitions(vantel_warnings INTERFACE QT_DEPRECATED_WARNINGS)

# -DVANTEL_SANITIZE=address (with undefined behaviour) or =thread: a build for the sanitizers. The
# link options reach every program and test through the static libraries they link.
set(VANTEL_SANITIZE "" CACHE STRING "Build with a sanitizer: address or thread")
add_library(vantel_sanitizers INTERFACE)
if(VANTEL_SANITIZE STREQUAL "address")
  target_compile_options(vantel_sanitizers INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                         -fno-sanitize-recover=undefined)
  target_link_options(vantel_sanitizers INTERFACE -fsanitize=address,undefined)
elseif(VANTEL_SANITIZE STREQUAL "thread")
  target_compile_options(vantel_sanitizers INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(vantel_sanitizers INTERFACE -fsanitize=thread)
elseif(NOT VANTEL_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VANTEL_SANITIZE must be address or thread, not '${VANTEL_SANITIZE}'")
endif()

# What every target of ours links: the warnings, the sanitizers of the build, and Qt without its
# foreach macro.
add_library(vantel_defaults INTERFACE)
target_link_libraries(vantel_defaults INTERFACE vantel_warnings vantel_sanitizers)
target_compile_definitions(vantel_defaults INTERFACE QT_NO_FOREACH)

# vantel_check_defaults(<folder>): every library, object library and executable defined in the
# folder or below links vantel_defaults; one that does not fails the configure with its name (a
# target added without them would build without the warnings CI holds the code to).
function(vantel_check_defaults dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
      get_target_property(libs ${target} LINK_LIBRARIES)
      if(NOT "vantel_defaults" IN_LIST libs)
        message(FATAL_ERROR "${target} (${dir}) does not link vantel_defaults: add "
                            "target_link_libraries(${target} PRIVATE vantel_defaults)")
      endif()
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    vantel_check_defaults(${sub})
  endforeach()
endfunction()
