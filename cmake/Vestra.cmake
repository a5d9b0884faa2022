# Helpers shared by the folders' CMakeLists.txt files.

# vestra_library(NAME [SOURCES ...] LIBS ...): a static library; without SOURCES, every .cpp in the
# calling folder.
function(vestra_library name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  if(A_SOURCES)
    set(srcs ${A_SOURCES})
  else()
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_LIBS} Threads::Threads)
endfunction()

# vestra_qt(TARGET): a target whose sources use Qt's meta-object system gets moc run on them. Only such
# targets do, so that no other target carries an empty moc unit; the GUI folders set CMAKE_AUTOMOC for
# every target they create (see the top CMakeLists.txt).
function(vestra_qt target)
  set_target_properties(${target} PROPERTIES AUTOMOC ON)
endfunction()

# vestra_test(NAME SOURCES ... LIBS ... [GUI] [TSAN]): a GoogleTest executable registered with ctest.
# GUI tests run on the offscreen platform and get moc. TSAN marks a test that starts threads: it carries the
# ctest label "tsan", which "make tsan" runs under ThreadSanitizer.
function(vestra_test name)
  cmake_parse_arguments(A "GUI;TSAN" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  # One variable only: a list-valued ENVIRONMENT does not survive test discovery. Tests find the programs in
  # build/bin relative to their own executable (build/tests).
  set(env "VESTRA_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  if(A_GUI)
    set(env "QT_QPA_PLATFORM=offscreen")
    vestra_qt(${name})
  endif()
  set(props ENVIRONMENT "${env}" TIMEOUT 300)
  if(A_TSAN)
    list(APPEND props LABELS tsan)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# vestra_window_test(NAME SOURCES ...): a test of the worksheet's real windows against vestra-emu, with the
# GUI tests' own main (one QApplication set up as the program's) and their rig. The emulator serves on a
# thread of its own, so these run under ThreadSanitizer too. The window wants its help file at start.
function(vestra_window_test name)
  cmake_parse_arguments(A "" "" "SOURCES" ${ARGN})
  add_executable(${name} ${A_SOURCES} ${CMAKE_SOURCE_DIR}/tests/gui/GuiTest.cpp ${CMAKE_SOURCE_DIR}/tests/gui/gui_main.cpp)
  target_link_libraries(${name} PRIVATE vestra_gui vestra_emulator Qt6::Test GTest::gtest Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  vestra_qt(${name})
  add_dependencies(${name} vestra_help)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS tsan TIMEOUT 300)
endfunction()

# vestra_bench(NAME SOURCES ... LIBS ...): a benchmark program in build/bin.
function(vestra_bench name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} Threads::Threads)
endfunction()
