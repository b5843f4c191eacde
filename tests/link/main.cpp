#include "TestSupport.h"

#include <QApplication>
#include <QtTest>

#include <cstring>
#include <memory>

QObject* makeVersionRulesTest();
QObject* makePingWorkerTest();
QObject* makeConnectionTest();
QObject* makeDispatcherTest();

// One executable for the device link. With "--old-firmware-child" it plays
// the program against a controller with too old firmware (the connection
// tests run it as a child process, because that path ends the process).
int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--old-firmware-child") == 0)
        return runOldFirmwareChild(argc, argv);

    QApplication app(argc, argv);
    int failures = 0;
    for (auto make : {makeVersionRulesTest, makePingWorkerTest, makeConnectionTest, makeDispatcherTest}) {
        std::unique_ptr<QObject> test(make());
        // LENSDESK_TEST_CLASS=DispatcherTest runs one group (with its test
        // function names as arguments, if wanted).
        const QByteArray only = qgetenv("LENSDESK_TEST_CLASS");
        if (!only.isEmpty() && only != test->metaObject()->className())
            continue;
        failures += QTest::qExec(test.get(), argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
