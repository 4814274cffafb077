# trellybridge_testsupport: the quiet headless sandbox that tests, benchmarks and fuzz
# targets share. Included from each of those folders; defined once.
if(NOT TARGET trellybridge_testsupport)
  add_library(trellybridge_testsupport STATIC ${CMAKE_CURRENT_LIST_DIR}/Sandbox.cpp)
  target_include_directories(trellybridge_testsupport PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
  target_link_libraries(trellybridge_testsupport PUBLIC trellybridge_core)
endif()
