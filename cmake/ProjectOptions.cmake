# Compile settings shared by every target of the project.

# Warnings are errors in continuous integration (the ci presets) only: a newer
# compiler on a user's machine may warn of more, and must still build the tool.
option(TELLVANE_WERROR "Treat compiler warnings as errors" OFF)

add_library(tellvane_options INTERFACE)
target_compile_options(tellvane_options INTERFACE -Wall -Wextra -Wpedantic)
if(TELLVANE_WERROR)
  target_compile_options(tellvane_options INTERFACE -Werror -Wno-error=deprecated-declarations)
endif()
target_compile_definitions(tellvane_options INTERFACE
  QT_NO_FOREACH
  QT_NO_CAST_TO_ASCII
  QT_NO_URL_CAST_FROM_STRING)

set(TELLVANE_SANITIZE "" CACHE STRING "Sanitizers to build with, for example address,undefined")
if(TELLVANE_SANITIZE)
  add_compile_options(-fsanitize=${TELLVANE_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=${TELLVANE_SANITIZE})
endif()

# Adds a static library of project code with the shared settings.
function(tellvane_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC tellvane_options ${ARG_LIBS})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src ${CMAKE_BINARY_DIR}/generated)
endfunction()
