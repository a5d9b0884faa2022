vestra_test(test_cp1252 SOURCES test_cp1252.cpp LIBS vestra_dataset)
