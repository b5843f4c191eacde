// Times the connect dialog's LAN search inside private network namespaces:
// with two kept interfaces, then with one (the other link down), and counts
// the GUI thread's timer ticks and paint events during each search to show
// that the window keeps repainting while it listens.
//
// Needs root and iproute2; sends nothing outside the namespaces it creates.
#include "NetnsLab.h"
#include "SearchChild.h"

#include "discovery/setIPDlg.h"

#include <QApplication>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int Repetitions = 2;
constexpr int ChildTimeoutMs = 120000;

bool measure(NetnsLab& lab, int interfaces)
{
    for (int run = 0; run < Repetitions; ++run) {
        QByteArray output;
        QString error;
        if (!lab.runInPanel(QCoreApplication::applicationFilePath(), {SearchChild::Argument}, ChildTimeoutMs, &output,
                            &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return false;
        }
        const auto searches = SearchChild::parse(output);
        if (searches.size() != 1)
            return false;
        const SearchChild::Search& s = searches.first();
        const qint64 overhead = s.milliseconds - qint64(interfaces) * setIPDlg::ListeningWindowMs;
        const double expectedTicks = double(s.milliseconds) / SearchChild::TickMs;
        std::printf("search, %d kept interface(s), run %d: %lld ms (%d x %d ms + %lld ms); "
                    "%d timer ticks of %d ms (%.0f%% of %.0f); %d paint events; %lld rows\n",
                    interfaces, run + 1, static_cast<long long>(s.milliseconds), interfaces,
                    setIPDlg::ListeningWindowMs, static_cast<long long>(overhead), s.ticks, SearchChild::TickMs,
                    100.0 * s.ticks / expectedTicks, expectedTicks, s.paints, static_cast<long long>(s.tree.size()));
        std::fflush(stdout);
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc > 1 && qstrcmp(argv[1], SearchChild::Argument) == 0)
        return SearchChild::run(argc, argv);
    QApplication app(argc, argv);

    const QString unavailable = NetnsLab::unavailableReason();
    if (!unavailable.isEmpty()) {
        std::printf("discovery search benchmark skipped: %s\n", qPrintable(unavailable));
        return 0;
    }
    // The searching dialog reads the settings store: give it an empty one.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    NetnsLab lab;
    QString error;
    if (!lab.setUp(&error) || !lab.startResponder(lab.deviceA, {"ORVO RE-2=1.8.3"}, &error)
        || !lab.startResponder(lab.deviceB, {"ORVO KX-MQTR=2.0.1"}, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    if (!measure(lab, 2))
        return 1;
    if (!lab.setLinkUp(lab.linkZ, false, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    return measure(lab, 1) ? 0 : 1;
}
