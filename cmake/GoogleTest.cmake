# GoogleTest, cross-built from Debian's sources.
set(VORNIX_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest source tree")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${VORNIX_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# The gtest sources do not build warning-free with our flags.
foreach(t gtest gtest_main)
  target_compile_options(${t} PRIVATE -w)
endforeach()
