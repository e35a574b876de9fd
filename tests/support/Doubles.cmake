# The test doubles shared by tests/, benchmarks/ and fuzz/ (no test framework),
# included by each so that any one of them can be built alone.
include_guard(GLOBAL)
add_library(tellvane_doubles STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Doubles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Doubles.h
  ${CMAKE_CURRENT_LIST_DIR}/FakeAdapter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FakeAdapter.h)
target_include_directories(tellvane_doubles PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tellvane_doubles PUBLIC tellvane_can tellvane_core)
