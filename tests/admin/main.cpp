#include "AdminTests.h"

#include "app/Platform.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], FlushNeighboursArgument) == 0) {
        std::printf("%d\n", Platform::flushAddressResolutionCache());
        return 0;
    }
    QApplication application(argc, argv);
    int failures = 0;
    for (auto run : {runAdminRulesTest, runNetworkConfigTest, runNeighbourFlushTest, runDeviceOptionsTest,
                     runServiceDialogTest})
        failures += run(argc, argv);
    return failures == 0 ? 0 : 1;
}
