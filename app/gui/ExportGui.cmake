# The export form, the folder picker, the export and clipboard handlers of the worksheet (included from
# app/gui/CMakeLists.txt); the worksheet window links vestra_exportgui.
add_library(vestra_exportgui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Cp1252Qt.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ClipboardCopy.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ExportAction.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FExport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FFolderSelect.cpp)
target_include_directories(vestra_exportgui PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(vestra_exportgui PUBLIC vestra_appcore vestra_oracle Qt6::Widgets)
vestra_qt(vestra_exportgui)
