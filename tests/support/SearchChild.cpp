#include "SearchChild.h"
#include "TestWaits.h"

#include "base/EventWait.h"
#include "discovery/setIPDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QStandardItemModel>
#include <QTimer>
#include <QUdpSocket>

#include <cstdio>

namespace SearchChild {

namespace {

constexpr int DeleteDuringSearchMs = 1000;
const QByteArray LateAnswer = QByteArrayLiteral("ORVO KX-MQTR=0.0.1");

class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

void print(const QString& line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
}

void runSearch(setIPDlg& dialog, bool expand)
{
    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(TickMs);
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    PaintCounter counter;
    qApp->installEventFilter(&counter);

    QElapsedTimer clock;
    clock.start();
    ticker.start();
    if (expand)
        dialog.searchKX2();
    else
        dialog.reload();
    const qint64 elapsed = clock.elapsed();
    ticker.stop();
    qApp->removeEventFilter(&counter);

    print(QStringLiteral("SEARCH %1 %2 %3").arg(elapsed).arg(ticks).arg(counter.paints));
    const QStandardItemModel* model = dialog.resultModel();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QStandardItem* interfaceRow = model->item(row);
        print(QStringLiteral("I ") + interfaceRow->text());
        for (int child = 0; child < interfaceRow->rowCount(); ++child)
            print(QStringLiteral("C ") + interfaceRow->child(child)->text());
    }
}

} // namespace

int run(int argc, char** argv)
{
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    QPointer<setIPDlg> dialog = new setIPDlg;
    dialog->show();
    runSearch(*dialog, true);
    print(QStringLiteral("SOCKETS %1").arg(dialog->searchSockets().size()));

    if (arguments.contains(QLatin1String(LateReply))) {
        if (dialog->searchSockets().isEmpty())
            return 3;
        const QUdpSocket* target = dialog->searchSockets().first();
        QUdpSocket late;
        late.writeDatagram(LateAnswer, target->localAddress(), target->localPort());
        QElapsedTimer clock;
        clock.start();
        while (dialog->pendingReplies().isEmpty() && clock.elapsed() < TestWaits::reply())
            delayWithEvents(TickMs);
        print(QStringLiteral("LATE %1").arg(dialog->pendingReplies().size()));

        // The main window drops its dialog while this search runs.
        QTimer::singleShot(DeleteDuringSearchMs, dialog, [dialog] { dialog->deleteLater(); });
        runSearch(*dialog, false);
        clock.restart();
        while (dialog && clock.elapsed() < TestWaits::reply())
            delayWithEvents(TickMs);
        print(QStringLiteral("DELETED %1").arg(dialog.isNull() ? 1 : 0));
    }
    delete dialog;
    std::fflush(stdout);
    return 0;
}

QList<Search> parse(const QByteArray& output, int* late, int* deleted, int* sockets)
{
    QList<Search> searches;
    if (sockets)
        *sockets = -1;
    if (late)
        *late = -1;
    if (deleted)
        *deleted = -1;
    const QStringList lines = QString::fromUtf8(output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("SEARCH "))) {
            const QStringList figures = line.split(QLatin1Char(' '));
            Search search;
            search.milliseconds = figures.value(1).toLongLong();
            search.ticks = figures.value(2).toInt();
            search.paints = figures.value(3).toInt();
            searches << search;
        } else if (line.startsWith(QLatin1String("LATE ")) && late) {
            *late = line.mid(5).toInt();
        } else if (line.startsWith(QLatin1String("SOCKETS ")) && sockets) {
            *sockets = line.mid(8).toInt();
        } else if (line.startsWith(QLatin1String("DELETED ")) && deleted) {
            *deleted = line.mid(8).toInt();
        } else if ((line.startsWith(QLatin1String("I ")) || line.startsWith(QLatin1String("C ")))
                   && !searches.isEmpty()) {
            searches.last().tree << line;
        }
    }
    return searches;
}

} // namespace SearchChild
