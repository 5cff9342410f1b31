// GoogleTest's main, with the socket layer started for the whole run as the programs start it.
#include <gtest/gtest.h>

#include "net/SocketCompat.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (!net::StartSocketLayer()) {
        std::fprintf(stderr, "cannot start the socket layer\n");
        return 1;
    }
    const int result = RUN_ALL_TESTS();
    net::StopSocketLayer();
    return result;
}
