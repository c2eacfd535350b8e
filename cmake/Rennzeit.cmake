# SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
# SPDX-License-Identifier: GPL-3.0-or-later

# rennzeit_library(<name> [SOURCES <files>...] [EXCLUDE <files>...]
#                  [DEPS <targets>...] [QT <components>...] [LIBS <targets>...])
# One static library per source folder, named rennzeit_<name>, built from
# every .cpp in the folder except main.cpp, or from SOURCES when given. A
# folder may split off a widget-free part as a second library: list its
# files as SOURCES there and as EXCLUDE here.
function(rennzeit_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;EXCLUDE;DEPS;QT;LIBS" ${ARGN})
  if(ARG_SOURCES)
    set(sources ${ARG_SOURCES})
    set(headers)
  else()
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
    foreach(excluded ${ARG_EXCLUDE})
      list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
      string(REGEX REPLACE "\\.cpp$" ".h" excluded_header ${excluded})
      list(REMOVE_ITEM headers ${CMAKE_CURRENT_SOURCE_DIR}/${excluded_header})
    endforeach()
  endif()
  set(target rennzeit_${name})
  set(qtlibs)
  foreach(c ${ARG_QT})
    list(APPEND qtlibs Qt6::${c})
  endforeach()
  if(sources)
    add_library(${target} STATIC ${sources} ${headers})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} PUBLIC ${ARG_DEPS} ${qtlibs} ${ARG_LIBS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} INTERFACE ${ARG_DEPS} ${qtlibs} ${ARG_LIBS})
  endif()
endfunction()

# rennzeit_tests(<folder> LIBS <targets>...)
# Every tst_*.cpp in the folder is one QtTest executable and one CTest test.
# Each test runs offscreen, in a fixed German locale, with its own settings
# store (XDG_CONFIG_HOME) and its own working folder.
function(rennzeit_tests folder)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/tst_*.cpp)
  foreach(src ${tests})
    get_filename_component(name ${src} NAME_WE)
    set(exe ${folder}_${name})
    add_executable(${exe} ${src})
    target_link_libraries(${exe} PRIVATE ${ARG_LIBS} rennzeit_testsupport Qt6::Test)
    target_compile_definitions(${exe} PRIVATE
      RENNZEIT_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
      RENNZEIT_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
    set_target_properties(${exe} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    set(home ${CMAKE_BINARY_DIR}/testhome/${exe})
    file(MAKE_DIRECTORY ${home}/config ${home}/work ${home}/runtime)
    file(CHMOD ${home}/runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    add_test(NAME ${exe} COMMAND ${exe} WORKING_DIRECTORY ${home}/work)
    set_tests_properties(${exe} PROPERTIES
      TIMEOUT 300
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=de_DE.UTF-8;LC_ALL=de_DE.UTF-8;LANGUAGE=de;TZ=Europe/Berlin;HOME=${home};XDG_CONFIG_HOME=${home}/config;XDG_RUNTIME_DIR=${home}/runtime;QT_LOGGING_RULES=qt.qpa.*=false")
  endforeach()
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/PortGuard.cmake)
