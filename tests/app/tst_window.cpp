#include "ConnectedWindow.h"
#include "TestMain.h"

#include "app/ClickableLabel.h"
#include "app/FontCompensation.h"

#include <QtTest>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>

namespace {

// Opens the About box and returns what it said; the box comes only after
// the waits of the controller queries.
QString aboutText(ConnectedWindow& panel)
{
    ModalAnswerer::Box about;
    panel.modals().expectBox(QMessageBox::Ok, &about);
    panel.window().about();
    return panel.modals().pending() == 0 ? about.text : QStringLiteral("(no About box)");
}

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    void windowProperties();
    void menusInOrder();
    void actions_data();
    void actions();
    void centralWidgets_data();
    void centralWidgets();
    void statusBar();
    void aboutWithoutController();
    void aboutShowsControllerTextAsText();
    void aboutShowsMacInHexadecimal_data();
    void aboutShowsMacInHexadecimal();
    void fontCompensation();

private:
    LensDesk* window() { return m_window.get(); }
    std::unique_ptr<LensDesk> m_window{new LensDesk};
};

void WindowTest::windowProperties()
{
    QCOMPARE(window()->objectName(), QStringLiteral("LensDeskClass"));
    QCOMPARE(window()->windowTitle(), QStringLiteral("ORVO :: Ethernet KX (for EF/EFS Lens) v.1.4.6"));
    QCOMPARE(window()->size(), QSize(438, 173));
    QCOMPARE(window()->minimumSize(), QSize(438, 173));
    QCOMPARE(window()->maximumSize(), QSize(438, 173));
    QVERIFY(!window()->windowIcon().isNull());
}

void WindowTest::menusInOrder()
{
    auto names = [](QMenu* menu) {
        QStringList out;
        for (QAction* action : menu->actions())
            out << (action->isSeparator() ? QStringLiteral("-")
                        : action->menu()  ? action->menu()->title()
                                          : action->objectName());
        return out;
    };
    const QList<QAction*> bar = window()->menuBar()->actions();
    QCOMPARE(bar.size(), 3);
    QCOMPARE(bar.at(0)->text(), QStringLiteral("Settings"));
    QCOMPARE(bar.at(1)->text(), QStringLiteral("About"));
    QCOMPARE(bar.at(2)->text(), QString());
    QVERIFY(!bar.at(2)->isEnabled());

    QStringList settings = names(named<QMenu>(*window(), "menuSettings"));
    // The protocol submenu, where present, stands in for the hidden switch.
    settings.removeAll(QStringLiteral("Lens Protocol"));
    QCOMPARE(settings,
             QStringList({"actionSetIP",
                          "actionChange_IP",
                          "actionDHCP",
                          "-",
                          "actionLoadPresets",
                          "actionSavePresets",
                          "-",
                          "actionAlwaysOnTop",
                          "-",
                          "actionSet_a_name",
                          "actionSet_Focus_Timout",
                          "actionSwap_Zoom_Direction",
                          "actionSwitch_Proto_version",
                          "actionMultiControl",
                          "-",
                          "actionReboot",
                          "actionFocus_Reinit",
                          "-",
                          "actionRun_API_Command",
                          "-",
                          "actionExit"}));
    QCOMPARE(names(named<QMenu>(*window(), "menuHelp")),
             QStringList({"actionHelp", "actionAbout", "-", "actionFirmware_Update"}));
}

void WindowTest::actions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shortcut");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("checkable");
    QTest::addColumn<bool>("hasIcon");

    auto row = [](const char* name, const char* text, const char* shortcut, bool enabled, bool checkable, bool icon) {
        const QString keys = QString::fromLatin1(shortcut);
        dataRow(name, QString::fromLatin1(name), QString::fromUtf8(text), keys, enabled, checkable, icon);
    };
    row("actionIP", "IP", "", true, false, true);
    row("actionAlwaysOnTop", "Always On Top", "Ctrl+A", true, true, true);
    row("actionSetIP", "Connect to...", "Ctrl+C", true, false, true);
    row("actionChange_IP", "Change IP...", "", false, false, true);
    row("actionSaveSettings_", "Save Settings...", "", true, false, true);
    row("actionLoadSettings_", "Load Settings...", "", true, false, true);
    row("actionFindLimits", "Find Limits", "", false, false, true);
    row("actionHelp", "Help", "F1", true, false, true);
    row("actionAbout", "About ORVO Lens Controller", "", true, false, true);
    row("actionExit", "Exit", "Ctrl+X", true, false, true);
    row("actionMultiControl", "Multi KX-Control", "Ctrl+M", false, false, true);
    row("actionReboot", "Restart KX", "Ctrl+R", false, false, true);
    row("actionFirmware_Update", "Firmware Update...", "", true, false, true);
    row("actionSet_a_name", "Set a Name...", "Ctrl+N", false, false, false);
    row("actionDHCP", "DHCP...", "", false, false, true);
    row("actionFocus_Reinit", "Focus Init", "Ctrl+F", true, false, false);
    row("actionRun_API_Command", "Run API Command...", "", false, false, true);
    row("actionSwap_Zoom_Direction", "Swap Zoom Direction", "", true, true, false);
    row("actionSet_Focus_Timout", "Set Focus Timeout...", "", true, false, false);
    row("actionLoadPresets", "Load Presets...", "Ctrl+L", false, false, true);
    row("actionSavePresets", "Save Presets...", "Ctrl+S", false, false, true);
}

void WindowTest::actions()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, shortcut);
    QFETCH(bool, enabled);
    QFETCH(bool, checkable);
    QFETCH(bool, hasIcon);

    auto* action = window()->findChild<QAction*>(name);
    QVERIFY(action);
    QCOMPARE(action->text(), text);
    QCOMPARE(action->shortcut(), QKeySequence(shortcut));
    QCOMPARE(action->isEnabled(), enabled);
    QCOMPARE(action->isCheckable(), checkable);
    QCOMPARE(!action->icon().isNull(), hasIcon);
    if (checkable)
        QVERIFY(!action->isChecked());
}

void WindowTest::centralWidgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("enabled");

    auto row = [](const char* name, QRect geometry, const char* text, bool enabled) {
        QTest::newRow(name) << QString::fromLatin1(name) << geometry << QString::fromUtf8(text) << enabled;
    };
    row("label_6", {51, 10, 46, 13}, "Zoom", false);
    row("zoomVal", {47, 32, 41, 20}, "", false);
    row("label_7", {11, 35, 34, 16}, "Wide", false);
    row("label_8", {90, 35, 38, 16}, "Narrow", false);
    row("fastWideZoom", {16, 76, 26, 24}, "\u00ab", false);
    row("slowWideZoom", {41, 76, 26, 24}, "\u2039", false);
    row("slowNarrowZoom", {66, 76, 26, 24}, "\u203a", false);
    row("fastNarrowZoom", {91, 76, 26, 24}, "\u00bb", false);
    row("zoomSlider", {52, 56, 61, 16}, "", false);
    row("label_25", {16, 53, 32, 18}, "Value:", false);
    row("zoomStepSlider", {53, 105, 62, 16}, "", false);
    row("label_28", {17, 103, 34, 16}, "Step:5", false);
    row("line_2", {133, 7, 20, 110}, "", true);
    row("label_19", {198, 10, 51, 16}, "Focus", false);
    row("focusVal", {194, 32, 41, 20}, "", false);
    row("label_20", {163, 33, 31, 20}, "Far", true);
    row("label_18", {244, 35, 31, 16}, "Near", true);
    row("fastFarFocus", {164, 76, 26, 24}, "\u00ab", false);
    row("slowFarFocus", {189, 76, 26, 24}, "\u2039", false);
    row("slowNearFocus", {214, 76, 26, 24}, "\u203a", false);
    row("fastNearFocus", {239, 76, 26, 24}, "\u00bb", false);
    row("focusSlider", {194, 56, 70, 16}, "", false);
    row("label_17", {159, 53, 34, 16}, "Value:", true);
    row("focusStepSlider", {202, 105, 62, 16}, "", false);
    row("label_27", {165, 103, 38, 16}, "Step:5", false);
    row("line_4", {279, 8, 20, 110}, "", true);
    row("label_24", {336, 10, 70, 16}, "Aperture", false);
    row("irisVal", {343, 32, 41, 20}, "", false);
    row("pushButtonOpen", {299, 31, 40, 22}, "Open", true);
    row("pushButtonClose", {389, 31, 40, 22}, "Close", true);
    row("fastCloseIris", {313, 76, 26, 24}, "\u00ab", false);
    row("slowCloseIris", {338, 76, 26, 24}, "\u2039", false);
    row("slowOpenIris", {363, 76, 26, 24}, "\u203a", false);
    row("fastOpenIris", {388, 76, 26, 24}, "\u00bb", false);
    row("irisSlider", {349, 56, 61, 16}, "", false);
    row("label_23", {313, 55, 35, 16}, "Value:", true);
    row("checkBoxIS", {309, 103, 113, 17}, "Image Stabilization", false);
}

void WindowTest::centralWidgets()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(bool, enabled);

    auto* widget = window()->centralWidget()->findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(widget->isEnabled(), enabled);
    QString shown;
    if (auto* label = qobject_cast<QLabel*>(widget))
        shown = label->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        shown = button->text();
    else if (auto* edit = qobject_cast<QLineEdit*>(widget))
        shown = edit->text();
    QCOMPARE(shown, text);
}

void WindowTest::statusBar()
{
    // The sliders' ranges, and the one auto-repeating button.
    QCOMPARE(named<QSlider>(*window(), "irisSlider")->minimum(), 2);
    QCOMPARE(named<QSlider>(*window(), "irisSlider")->maximum(), 10);
    QCOMPARE(named<QSlider>(*window(), "focusStepSlider")->maximum(), 50);
    QVERIFY(named<QPushButton>(*window(), "slowNarrowZoom")->autoRepeat());
    QCOMPARE(named<QPushButton>(*window(), "slowNarrowZoom")->autoRepeatDelay(), 300);
    QCOMPARE(named<QPushButton>(*window(), "slowNarrowZoom")->autoRepeatInterval(), 100);
    QVERIFY(!named<QPushButton>(*window(), "fastNarrowZoom")->autoRepeat());

    QCOMPARE(named<ClickableLabel>(*window(), "nameLabel")->text(), QStringLiteral("www.orvo.example"));
    QCOMPARE(named<QLabel>(*window(), "deviceInfoLabel")->text(), QString());
    QCOMPARE(named<QLabel>(*window(), "lensLabel")->text(), QString());
    for (QLabel* label :
         {named<QLabel>(*window(), "deviceInfoLabel"),
          static_cast<QLabel*>(named<ClickableLabel>(*window(), "nameLabel")), named<QLabel>(*window(), "lensLabel")}) {
        QCOMPARE(label->font().family(), QStringLiteral("Arial"));
        QCOMPARE(label->font().pointSize(), 7);
        QCOMPARE(label->palette().color(QPalette::Disabled, QPalette::WindowText), QColor(Qt::darkGray));
        QCOMPARE(label->parentWidget(), window()->statusBar());
    }
    QSignalSpy clicked(named<ClickableLabel>(*window(), "nameLabel"), &ClickableLabel::clicked);
    QTest::mouseClick(named<ClickableLabel>(*window(), "nameLabel"), Qt::RightButton);
    QCOMPARE(clicked.count(), 1);
}

void WindowTest::aboutWithoutController()
{
    // The controller hears the queries and answers none.
    ConnectedWindow panel;
    const QString text = aboutText(panel);
    QVERIFY2(text.contains(QStringLiteral("<br>Hardware version: N/A<br>Firmware version: N/A<br>S/N: N/A<br>IP: N/A"
                                          "<br>MAC: N/A<br>Vendor info: N/A")),
             qPrintable(text));
    QVERIFY(
        text.startsWith(QStringLiteral("<b>ORVO Ethernet Lens Controller (for EF/EF-S Lens)</b><br>Version 1.4.6 (")));
    // The box says "N/A", but the panel keeps talking to the same address:
    // a second About asks the same controller again.
    panel.controller().clear();
    aboutText(panel);
    QVERIFY(panel.controller().waitFor(QStringLiteral("getSN")));
}

void WindowTest::aboutShowsMacInHexadecimal_data()
{
    QTest::addColumn<QByteArray>("macReply");
    QTest::addColumn<QString>("shown");
    const auto row = [](const char* name, const char* mac, const char* shown) {
        dataRow(name, "MAC=" + QByteArray(mac), QStringLiteral("MAC: %1<br>").arg(QLatin1String(shown)));
    };
    row("six decimal octets", "0-26-43-60-77-94", "0-26-43-60-77-94 (0:1a:2b:3c:4d:5e)");
    row("not six parts stays as it is", "0-26-43", "0-26-43");
    row("a piece that is no number shows as 0", "0-26-xx-60-77-255", "0-26-xx-60-77-255 (0:1a:0:3c:4d:ff)");
}

void WindowTest::aboutShowsMacInHexadecimal()
{
    QFETCH(QByteArray, macReply);
    QFETCH(QString, shown);
    ConnectedWindow panel;
    panel.controller().answer(QStringLiteral("getMAC"), {QString::fromLatin1(macReply)});
    panel.controller().answer(QStringLiteral("getHW"), {QStringLiteral("HW=3")});
    const QString text = aboutText(panel);
    // The four questions went out in order, whatever the dispatcher made of the answers.
    QCOMPARE(panel.controller().texts(), QStringList({"getSN", "getMAC", "getHW", "getVENDOR"}));
    QVERIFY2(text.contains(shown), qPrintable(text));
}

void WindowTest::aboutShowsControllerTextAsText()
{
    ConnectedWindow panel;
    panel.controller().answer(QStringLiteral("getSN"), {QStringLiteral("SN=<i>15001")});
    panel.controller().answer(QStringLiteral("getHW"), {QStringLiteral("HW=3<br>")});
    panel.controller().answer(QStringLiteral("getVENDOR"), {QStringLiteral("VENDOR=<b>ACME</b> & Co")});
    const QString text = aboutText(panel);
    QVERIFY2(text.contains(QStringLiteral("Hardware version: 3&lt;br&gt;<br>")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("S/N: &lt;i&gt;15001<br>")), qPrintable(text));
    QVERIFY2(text.endsWith(QStringLiteral("Vendor info: &lt;b&gt;ACME&lt;/b&gt; &amp; Co")), qPrintable(text));
}

void WindowTest::fontCompensation()
{
    const QFont general = QApplication::font();
    QFont menu = general;
    menu.setPointSizeF(8);
    QApplication::setFont(menu, "QMenu");
    QFont bar = general;
    bar.setPointSizeF(general.pointSizeF() + 4);
    QApplication::setFont(bar, "QMenuBar");

    compensateClassFonts(1.0);
    QCOMPARE(QApplication::font("QMenu").pointSizeF(), 8.0);

    compensateClassFonts(2.0);
    QCOMPARE(QApplication::font("QMenu").pointSizeF(), 7.0);
    QCOMPARE(QApplication::font("QMenuBar").pointSizeF(), qMax((general.pointSizeF() + 4) / 2, 7.0));
    QCOMPARE(QApplication::font("QStatusBar"), general); // same as the general font: untouched
}

LENSDESK_TEST_MAIN(WindowTest)
#include "tst_window.moc"
