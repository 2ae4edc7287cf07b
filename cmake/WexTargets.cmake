# Target helpers of the Windows build.

# Every program of the Windows build links the C and C++ runtimes' support
# code in, so that it needs nothing beside the system DLLs and msvcrt.dll.
#   wex_windows_executable(NAME [WIN32] SOURCES...)
function(wex_windows_executable name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "WIN32" "" "")
  if(arg_WIN32)
    add_executable(${name} WIN32 ${arg_UNPARSED_ARGUMENTS})
  else()
    add_executable(${name} ${arg_UNPARSED_ARGUMENTS})
  endif()
  target_link_options(${name} PRIVATE ${WEX_STATIC_RUNTIME})
endfunction()

# A GoogleTest program that CTest runs under Wine: against the real
# Wexlib.dll through its import library (DLL), seeing only what ships in
# include/, as a setup program does; or linked with the library's internals,
# to reach what no export returns (INTERNALS).
#   wex_test(NAME DLL|INTERNALS SOURCES...)
function(wex_test name kind)
  wex_windows_executable(${name} ${ARGN})
  if(kind STREQUAL "DLL")
    target_link_libraries(${name} PRIVATE wextest_main WexlibImport)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/include)
  elseif(kind STREQUAL "INTERNALS")
    target_link_libraries(${name} PRIVATE wextest_main wexlib_core)
  else()
    message(FATAL_ERROR "wex_test(${name}): DLL or INTERNALS, not ${kind}")
  endif()
  wex_wine_test(${name} COMMAND ${name})
endfunction()

# A CTest case that runs under Wine, in the build's own prefix (the
# wine_prefix fixture, tests/CMakeLists.txt), labelled "wine".
#   wex_wine_test(NAME COMMAND ...)
function(wex_wine_test name)
  add_test(NAME ${name} ${ARGN})
  # A test that hangs (a box nobody dismisses, a process left behind) fails
  # the run instead of stalling it.
  set_tests_properties(${name} PROPERTIES TIMEOUT 600 FIXTURES_REQUIRED wine_prefix LABELS wine)
endfunction()
