#pragma once

// What every test program writes with: rows of data, children found by
// name, the named waits.
#include "DataRow.h"
#include "Named.h"
#include "TestWaits.h"

#include <QStringList>
#include <QTest>

#if defined(QT_WIDGETS_LIB)
#include <QApplication>
#define LENSDESK_TEST_APPLICATION QApplication
#else
#include <QCoreApplication>
#define LENSDESK_TEST_APPLICATION QCoreApplication
#endif

// The one main() of every test program:
//
//   LENSDESK_TEST_MAIN(ConnectionTest)
//
// It keeps the program away from the settings of whoever runs it, picks the
// offscreen platform unless another one was chosen, calls the test class's
// static initMain() if it has one (for what must happen before the
// application object exists), and runs the class with the application
// object its libraries call for: QApplication where the program links the
// widgets, QCoreApplication otherwise.
//
// A test that starts its own program as a child process to play another
// part names that part's first argument and entry point:
//
//   LENSDESK_TEST_MAIN_WITH_CHILD(ConnectionTest, "--old-firmware-child", runOldFirmwareChild)
//
// The child's entry point runs instead of the tests, before any
// application object exists; it makes the one it needs.
namespace TestMain {

struct Child
{
    const char* argument = nullptr;
    int (*run)(int argc, char** argv) = nullptr;
};

// The toolkit's test locations (settings, caches) before anything can open
// a settings store, and the offscreen platform unless one was chosen.
void prepareProcess();

// The arguments for the test run: those given, plus a report in the
// toolkit's plain text form written to the file LENSDESK_TEST_REPORT names
// (CTest sets it), so that every skipped test can be listed afterwards.
QStringList runArguments(int argc, char** argv);

template <typename TestClass, typename Application>
int exec(int argc, char** argv, const Child& child = {})
{
    prepareProcess();
    if (child.argument && argc > 1 && qstrcmp(argv[1], child.argument) == 0)
        return child.run(argc, argv);
    QTest::Internal::callInitMain<TestClass>();
    Application application(argc, argv);
    application.setAttribute(Qt::AA_Use96Dpi, true);
    TestClass test;
    return QTest::qExec(&test, runArguments(argc, argv));
}

} // namespace TestMain

#define LENSDESK_TEST_MAIN(TestClass)                                                                                  \
    int main(int argc, char** argv) { return TestMain::exec<TestClass, LENSDESK_TEST_APPLICATION>(argc, argv); }

#define LENSDESK_TEST_MAIN_WITH_CHILD(TestClass, childArgument, childRun)                                              \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        return TestMain::exec<TestClass, LENSDESK_TEST_APPLICATION>(argc, argv, {childArgument, childRun});            \
    }
