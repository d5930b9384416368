#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

// The server thread started by the tests never ends; leave without static
// destruction under it.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::fflush(stdout);
    std::_Exit(result);
}
