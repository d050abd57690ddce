# One INTERFACE target, tivaro_options, carries the warnings and strict Qt
# defines for every target: libraries, programs, tests, benchmarks, fuzzers.
option(TIVARO_WERROR "Turn compiler warnings into errors" OFF)

add_library(tivaro_options INTERFACE)
target_compile_features(tivaro_options INTERFACE cxx_std_17)
target_compile_options(tivaro_options INTERFACE -Wall -Wextra -Wpedantic)
if(TIVARO_WERROR)
  target_compile_options(tivaro_options INTERFACE -Werror)
endif()
# Text crosses between QString and bytes only through an explicit call
# (fromUtf8, fromLatin1, toUtf8, u"..."_s), never through an implicit cast.
target_compile_definitions(tivaro_options INTERFACE
  QT_NO_FOREACH
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_CONTEXTLESS_CONNECT)

# tivaro_add_library(<name> SOURCES <files...> [LIBS <targets...>]): one static
# library of the given files of the calling folder. Headers are included by
# folder: #include "protocol/messages.h".
function(tivaro_add_library name)
  cmake_parse_arguments(L "" "" "LIBS;SOURCES" ${ARGN})
  if(NOT L_SOURCES)
    message(FATAL_ERROR "tivaro_add_library(${name}): no SOURCES")
  endif()
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${L_LIBS} PRIVATE tivaro_options)
endfunction()
