#include "app/FontCompensation.h"
#include "app/LayoutFont.h"
#include "app/LensDesk.h"
#include "base/DisplayScale.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QPixmap>
#include <QSplashScreen>
#include <QThread>

namespace {

constexpr int SplashPauseMs = 618;

double decideDisplayScale()
{
    DisplayScale::Inputs in;
    in.scaleFactorSet = qEnvironmentVariableIsSet("QT_SCALE_FACTOR");
    if (!in.scaleFactorSet) {
        in.textScalePercent = Platform::textScalePercent();
        if (in.textScalePercent) {
            in.workArea = Platform::workArea();
            if (in.workArea)
                in.verticalDpi = Platform::verticalDpi();
        }
    }
    const double scale = DisplayScale::decide(in);
    if (scale > 1.0)
        qputenv("QT_SCALE_FACTOR", DisplayScale::environmentText(scale));
    return scale;
}

// No widget of the panel draws with GL, yet Qt's X11 plugin loads the whole
// GL stack (Mesa and LLVM, about 50 MiB resident) to offer it. Unless the
// user chose an integration, ask for none.
void preferNoGlIntegration()
{
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
}

} // namespace

int main(int argc, char* argv[])
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 always scales for high resolutions and always uses high-resolution
    // pixmaps; Qt 5 has to be asked.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps, true);
#endif
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    const double displayScale = decideDisplayScale();
    preferNoGlIntegration();

    QApplication app(argc, argv);
    useLayoutFont();
    compensateClassFonts(displayScale);

    QPixmap picture(QStringLiteral(":/LensDesk/orvo_canon_kx2_upd.png"));
    QSplashScreen splash(picture);
    splash.show();
    app.processEvents();
    QThread::msleep(SplashPauseMs);

    LensDesk window;
    // The splash closes once the main window is on screen. Qt's finish()
    // waits up to a second for the window to be exposed, so the window is
    // shown first rather than after it.
    window.show();
    splash.finish(&window);
    return app.exec();
}
