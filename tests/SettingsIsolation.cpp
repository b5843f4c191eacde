#include <QStandardPaths>
#include <QtGlobal>

// Linked into every test program. A test program must never read or write
// the settings of the person who runs it, whether CTest starts it or a
// developer does by hand. The toolkit's test mode moves the settings store
// (and every other standard location) under ~/.qttest/. It has to be on
// before the first settings object exists, because the store's user path is
// worked out once, on first use; a static initializer runs before main().
static void enableTestLocations()
{
    QStandardPaths::setTestModeEnabled(true);
}
Q_CONSTRUCTOR_FUNCTION(enableTestLocations)
