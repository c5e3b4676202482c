# Tests of the asynchronous log facility.
tarvok_test(asynclog_test asynclog_test.cpp asynclog_sites.cpp)
target_link_libraries(asynclog_test PRIVATE asynclog)
