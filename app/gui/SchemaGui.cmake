# The schema browser panel and the Ziziv Ovod IZ workbench window (included from app/gui/CMakeLists.txt).
add_library(vestra_schemagui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/SchemaPanel.cpp ${CMAKE_CURRENT_LIST_DIR}/SchemaPanel.h
  ${CMAKE_CURRENT_LIST_DIR}/FQuickView.cpp ${CMAKE_CURRENT_LIST_DIR}/FQuickView.h
  ${CMAKE_CURRENT_LIST_DIR}/SchemaText.h)
target_include_directories(vestra_schemagui PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(vestra_schemagui PUBLIC vestra_appcore vestra_worksheet vestra_oracle vestra_grid Qt6::Widgets)
vestra_qt(vestra_schemagui)
