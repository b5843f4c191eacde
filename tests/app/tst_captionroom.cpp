#include "TestMain.h"

#include "admin/changeIPDlg.h"
#include "admin/masterDlg.h"
#include "admin/tftpDlg.h"
#include "app/LayoutFont.h"
#include "app/LensDesk.h"
#include "discovery/setIPDlg.h"
#include "lens/loadSettDlg.h"

#include <QtTest>
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QStyle>
#include <QStyleOption>
#include <QTextDocument>
#include <QToolButton>
#include <QUdpSocket>

#include <functional>
#include <memory>

using WindowMaker = std::function<std::unique_ptr<QWidget>()>;
Q_DECLARE_METATYPE(WindowMaker)

// Every caption, button text and check-box text of the main window and of
// each dialog fits the room its fixed geometry gives it, measured with the
// font the program starts with, at 96 DPI.
class CaptionRoomTest : public QObject
{
    Q_OBJECT

public:
    // The layouts were drawn at 96 DPI; the offscreen screen of Qt 5 reports
    // 100 unless told otherwise.
    static void initMain() { qputenv("QT_FONT_DPI", "96"); }

private slots:
    void initTestCase();
    void everyTextFits_data();
    void everyTextFits();

private:
    QUdpSocket m_socket;
};

namespace {

// The widest line of a text, in pixels, with the widget's own font.
int widestLine(const QWidget* widget, const QString& text)
{
    const QFontMetrics metrics(widget->font());
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        widest = qMax(widest, metrics.horizontalAdvance(line));
    return widest;
}

QString plainTextOf(const QLabel* label)
{
    if (label->textFormat() == Qt::RichText
        || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()))) {
        QTextDocument document;
        document.setHtml(label->text());
        return document.toPlainText();
    }
    return label->text();
}

// The room a label gives its text: the contents less margin and indent.
int roomOf(const QLabel* label)
{
    int indent = label->indent();
    if (indent < 0)
        indent = label->frameWidth() > 0 ? QFontMetrics(label->font()).horizontalAdvance(QLatin1Char('x')) / 2 : 0;
    return label->contentsRect().width() - 2 * label->margin() - indent;
}

// The room a push button, check box or radio button gives its text: the
// contents rectangle the style draws the label into, less the icon.
int roomOf(const QAbstractButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<const QCheckBox*>(button))
        contents = QStyle::SE_CheckBoxContents;
    else if (qobject_cast<const QRadioButton*>(button))
        contents = QStyle::SE_RadioButtonContents;
    int room = button->style()->subElementRect(contents, &option, button).width();
    if (contents == QStyle::SE_PushButtonContents && !button->icon().isNull())
        room -= button->iconSize().width() + 4;
    return room;
}

// The room of a group box's title: the box's width less the title's inset
// on both sides.
int roomOf(const QGroupBox* box)
{
    QStyleOptionGroupBox option;
    option.initFrom(box);
    option.text = box->title();
    option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    const QRect title = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
    return box->width() - 2 * qMax(title.left(), 0);
}

// One line per text that does not fit: "object: "text" needs N px, has M px".
QStringList textsThatDoNotFit(QWidget* window)
{
    QStringList shortfalls;
    auto check = [&](const QWidget* widget, const QString& text, int room) {
        if (text.isEmpty())
            return;
        const int needed = widestLine(widget, text);
        if (needed > room)
            shortfalls << QStringLiteral("%1: \"%2\" needs %3 px, has %4 px")
                              .arg(widget->objectName(), text)
                              .arg(needed)
                              .arg(room);
    };
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (widget->window() != window)
            continue; // a dialog owned by this window has a row of its own
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            if (label->wordWrap()) {
                const int needed = label->heightForWidth(label->width());
                if (needed > label->height())
                    shortfalls << QStringLiteral("%1: wrapped \"%2\" needs %3 px height, has %4 px")
                                      .arg(label->objectName(), label->text())
                                      .arg(needed)
                                      .arg(label->height());
            } else {
                check(label, plainTextOf(label), roomOf(label));
            }
        } else if (auto* toolButton = qobject_cast<QToolButton*>(widget)) {
            const int frame = toolButton->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, toolButton);
            if (toolButton->toolButtonStyle() != Qt::ToolButtonIconOnly)
                check(toolButton, toolButton->text(), toolButton->width() - 2 * frame);
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            check(button, button->text().remove(QLatin1Char('&')), roomOf(button));
        } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
            check(box, box->title().remove(QLatin1Char('&')), roomOf(box));
        }
    }
    return shortfalls;
}

} // namespace

void CaptionRoomTest::initTestCase()
{
    // The layouts are measured at the resolution they were drawn for.
    QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInchY(), 96.0);
    useLayoutFont();
    // Without the narrow face the toolkit stands in another family, and
    // every caption below would be reported clipped; the cause is named here.
    const QFontInfo chosen(QApplication::font());
    QVERIFY2(chosen.family() == QLatin1String("Liberation Sans Narrow"),
             qPrintable(QStringLiteral("the layouts need the font \"Liberation Sans Narrow\" (Debian package "
                                       "fonts-liberation), but \"%1\" was chosen")
                            .arg(chosen.family())));
}

void CaptionRoomTest::everyTextFits_data()
{
    QTest::addColumn<WindowMaker>("make");
    QTest::newRow("main window") << WindowMaker([] { return std::unique_ptr<QWidget>(new LensDesk); });
    // The step captions grow with their sliders ("Step:10", "Step:50").
    const WindowMaker stepsAtTheirEnds = [] {
        auto window = std::make_unique<LensDesk>();
        for (const char* name : {"zoomStepSlider", "focusStepSlider"}) {
            auto* slider = window->findChild<QSlider*>(QLatin1String(name));
            slider->setValue(slider->maximum());
        }
        window->zoomSpeedSlider(); // the zoom caption follows the slider's release
        return std::unique_ptr<QWidget>(window.release());
    };
    // The socket only has to exist: nothing is sent while the dialog is built.
    const WindowMaker serviceDialog = [this] {
        return std::unique_ptr<QWidget>(new masterDlg(QStringLiteral("127.0.0.1"), &m_socket));
    };
    QTest::newRow("main window, step sliders at their ends") << stepsAtTheirEnds;
    QTest::newRow("connect dialog") << WindowMaker([] { return std::unique_ptr<QWidget>(new setIPDlg); });
    QTest::newRow("change-IP dialog") << WindowMaker([] { return std::unique_ptr<QWidget>(new changeIPDlg); });
    QTest::newRow("load dialog") << WindowMaker([] { return std::unique_ptr<QWidget>(new loadSettDlg); });
    QTest::newRow("firmware dialog") << WindowMaker([] { return std::unique_ptr<QWidget>(new tftpDlg); });
    QTest::newRow("service dialog") << serviceDialog;
}

void CaptionRoomTest::everyTextFits()
{
    QFETCH(WindowMaker, make);
    const std::unique_ptr<QWidget> window = make();
    // Shown, so that every layout and style has given its widgets their
    // final geometry.
    window->show();
    const QStringList shortfalls = textsThatDoNotFit(window.get());
    QVERIFY2(shortfalls.isEmpty(), qPrintable(shortfalls.join(QLatin1String("\n  ")).prepend(QLatin1String("\n  "))));
}

LENSDESK_TEST_MAIN(CaptionRoomTest)

#include "tst_captionroom.moc"
