vestra_test(test_memds_view SOURCES test_memds_view.cpp LIBS vestra_dataset)
