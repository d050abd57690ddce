# tivaro_add_test(<name> SOURCES <files...> LIBS <targets...> [GUI] [LAN] [TIMEOUT s] [LABELS ...])
#   GUI: a Qt Test program, run on the offscreen platform unless QT_QPA_PLATFORM is set.
#   LAN: runs inside a virtual LAN created for it (scripts/vlan), needs root.
function(tivaro_add_test name)
  cmake_parse_arguments(T "GUI;LAN" "TIMEOUT" "SOURCES;LIBS;LABELS;ARGS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE tivaro_options ${T_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests/support)
  if(T_LAN)
    add_test(NAME ${name}
      COMMAND ${PROJECT_SOURCE_DIR}/scripts/vlan run-test $<TARGET_FILE:${name}> ${T_ARGS})
    # scripts/vlan exits 77 when it lacks the rights to build the LAN.
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK vlan LABELS "lan;${T_LABELS}"
      SKIP_RETURN_CODE 77
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TIVARO_BUILD_DIR=${PROJECT_BINARY_DIR}")
  else()
    add_test(NAME ${name} COMMAND ${name} ${T_ARGS})
    if(T_GUI)
      set_tests_properties(${name} PROPERTIES LABELS "gui;${T_LABELS}"
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TIVARO_BUILD_DIR=${PROJECT_BINARY_DIR}")
    else()
      set_tests_properties(${name} PROPERTIES LABELS "unit;${T_LABELS}"
        ENVIRONMENT "TIVARO_BUILD_DIR=${PROJECT_BINARY_DIR}")
    endif()
  endif()
  if(T_TIMEOUT)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  else()
    set_tests_properties(${name} PROPERTIES TIMEOUT 120)
  endif()
endfunction()
