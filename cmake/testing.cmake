# GoogleTest: the system's package natively, its shipped sources for MinGW so
# that the same tests run under Wine.
if(WIN32)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_library(lzx_gtest INTERFACE)
  target_link_libraries(lzx_gtest INTERFACE gtest gtest_main)
else()
  find_package(GTest REQUIRED)
  add_library(lzx_gtest INTERFACE)
  target_link_libraries(lzx_gtest INTERFACE GTest::gtest GTest::gtest_main)
endif()
include(GoogleTest)

# lzx_unit_test(NAME DIR LIBS...): one test program from every .cpp in
# tests/unit/DIR, registered test by test with ctest (run under Wine in the
# Windows build through the cross-compiling emulator).
function(lzx_unit_test name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARGN} lzx_gtest)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests/unit)
  target_compile_options(${name} PRIVATE -Wall -Wextra -Werror)
  set(prefix "")
  if(WIN32)
    set(prefix "win.")
  endif()
  gtest_discover_tests(${name} TEST_PREFIX "${prefix}${name}." DISCOVERY_TIMEOUT 120
    PROPERTIES LABELS "unit" ENVIRONMENT "LZX_TEST_TMP=${CMAKE_BINARY_DIR}/testtmp")
endfunction()
