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
#
# A library sees only the headers of the libraries it links (through PUBLIC
# links), never src/ as a whole: each has a folder of its own in the build
# tree, include/<library>/, that tellvane_library_headers() fills with links to
# the headers it owns, and that is its one include folder. It owns the header
# of each of its sources (folder/Name.h beside folder/Name.cpp), the HEADERS
# named, and the headers of its folders that no library's sources declare
# (header-only ones); the header of a source of another library in the same
# folder it sees through that library only if it links it. So a lower library
# including a higher one's header fails to compile.
function(tellvane_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;HEADERS;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC tellvane_options ${ARG_LIBS})
  target_include_directories(${name} PUBLIC ${CMAKE_BINARY_DIR}/include/${name})
  set(folders)
  set(owned)
  foreach(file IN LISTS ARG_SOURCES ARG_HEADERS)
    get_filename_component(folder ${file} DIRECTORY)
    get_filename_component(stem ${file} NAME_WLE)
    list(APPEND folders ${folder})
    list(APPEND owned ${folder}/${stem}.h)
  endforeach()
  list(REMOVE_DUPLICATES folders)
  set_target_properties(${name} PROPERTIES TELLVANE_FOLDERS "${folders}" TELLVANE_OWNED "${owned}")
  set_property(GLOBAL APPEND PROPERTY TELLVANE_LIBRARIES ${name})
endfunction()

# Fills each library's include folder (see tellvane_library), once every
# library is known. The links are made anew at each configure; a header
# added to or taken from src/ configures again.
function(tellvane_library_headers)
  get_property(libraries GLOBAL PROPERTY TELLVANE_LIBRARIES)
  foreach(library IN LISTS libraries)
    get_target_property(owned ${library} TELLVANE_OWNED)
    foreach(header IN LISTS owned)
      string(MAKE_C_IDENTIFIER "${header}" key)
      set(owner_${key} ${library})
    endforeach()
  endforeach()
  foreach(library IN LISTS libraries)
    set(root ${CMAKE_BINARY_DIR}/include/${library})
    file(REMOVE_RECURSE ${root})  # links to files only: src/ is never reached
    get_target_property(folders ${library} TELLVANE_FOLDERS)
    foreach(folder IN LISTS folders)
      file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/src/${folder}/*.h)
      file(MAKE_DIRECTORY ${root}/${folder})
      foreach(header IN LISTS headers)
        string(MAKE_C_IDENTIFIER "${header}" key)
        if(NOT DEFINED owner_${key} OR owner_${key} STREQUAL library)
          file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${header} ${root}/${header} SYMBOLIC)
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()
