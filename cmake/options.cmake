# One INTERFACE target carries warnings and strict Qt defines for every target.
add_library(tivaro_options INTERFACE)
target_compile_features(tivaro_options INTERFACE cxx_std_17)
target_compile_options(tivaro_options INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(tivaro_options INTERFACE
  QT_NO_FOREACH
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)

# tivaro_add_library(<name> [SOURCES <files...>] [EXCLUDE <files...>] [LIBS <targets...>]):
# one static library of every .cpp/.h/.ui/.qrc in the calling folder (main.cpp
# and the EXCLUDE files excepted), or of just the SOURCES given. Headers are
# included by folder: #include "protocol/messages.h".
function(tivaro_add_library name)
  cmake_parse_arguments(L "" "" "LIBS;SOURCES;EXCLUDE" ${ARGN})
  if(L_SOURCES)
    list(TRANSFORM L_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ OUTPUT_VARIABLE sources)
  else()
    file(GLOB sources CONFIGURE_DEPENDS
      ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
      ${CMAKE_CURRENT_SOURCE_DIR}/*.ui ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
    list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
    foreach(f ${L_EXCLUDE})
      list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${f})
    endforeach()
  endif()
  set(cpp ${sources})
  list(FILTER cpp INCLUDE REGEX "\\.cpp$")
  if(cpp)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${L_LIBS} PRIVATE tivaro_options)
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${L_LIBS})
  endif()
endfunction()
