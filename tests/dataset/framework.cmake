# The SQL framework's tests and the in-memory server they run against.
add_library(vestra_testserver STATIC ${CMAKE_CURRENT_SOURCE_DIR}/testserver/TestServer.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/testserver/TestComponents.cpp)
target_link_libraries(vestra_testserver PUBLIC vestra_dataset)
target_include_directories(vestra_testserver PUBLIC ${CMAKE_SOURCE_DIR})

vestra_test(test_qxaccess SOURCES test_qxaccess.cpp LIBS vestra_testserver)
vestra_test(test_damacros SOURCES test_damacros.cpp LIBS vestra_dataset)
vestra_test(test_daconnection SOURCES test_daconnection.cpp LIBS vestra_testserver)
vestra_test(test_dadataset SOURCES test_dadataset.cpp LIBS vestra_testserver)
vestra_test(test_daupdate SOURCES test_daupdate.cpp LIBS vestra_testserver)
vestra_test(test_danonblocking SOURCES test_danonblocking.cpp LIBS vestra_testserver TSAN)
