#include "app/LensDesk.h"

#include "admin/changeIPDlg.h"
#include "admin/masterDlg.h"
#include "admin/tftpDlg.h"
#include "app/ClickableLabel.h"
#include "app/FormBuilder.h"
#include "base/Branding.h"
#include "base/EventWait.h"
#include "base/ProcessExit.h"
#include "base/SettingsStore.h"
#include "discovery/setIPDlg.h"
#include "lens/loadSettDlg.h"
#include "link/CommandPort.h"
#include "link/Protocol.h"
#include "link/ReplyIntake.h"
#include "platform/Platform.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSettings>
#include <QShortcut>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QUdpSocket>
#include <QUrl>

namespace {

constexpr int WindowWidth = 438;
constexpr int WindowHeight = 173;

QString buildDate() { return QStringLiteral(__DATE__).simplified(); }

QFont boldFont()
{
    QFont font;
    font.setBold(true); // weight 75 on Qt 5's scale, 700 on Qt 6's
    return font;
}

QFont smallKernedFont()
{
    QFont font;
    font.setPointSize(8);
    font.setKerning(true);
    return font;
}

QFont kernedFont()
{
    QFont font;
    font.setKerning(true);
    return font;
}

QPalette darkGreyText(const QPalette& base)
{
    QPalette palette(base);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::WindowText, Qt::darkGray);
    return palette;
}

QIcon icon(const char* name) { return QIcon(QStringLiteral(":/LensDesk/") + QLatin1String(name)); }

// Six "-" separated decimal octets, followed by their hexadecimal form.
QString macWithHexadecimal(const QString& mac)
{
    const QStringList pieces = mac.split(QLatin1Char('-'));
    if (pieces.size() != 6)
        return mac;
    QStringList hex;
    for (const QString& piece : pieces)
        hex << QString::number(piece.toInt(nullptr, 10), 16);
    return QStringLiteral("%1 (%2)").arg(mac, hex.join(QLatin1Char(':')));
}

} // namespace

LensDesk::LensDesk(QWidget* parent)
    : QMainWindow(parent)
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("LensDeskClass"));
    resize(WindowWidth, WindowHeight);
    setMinimumSize(WindowWidth, WindowHeight);
    setMaximumSize(WindowWidth, WindowHeight);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setWindowIcon(QIcon(QStringLiteral(":/LensDesk/Lens.png")));

    buildActionsAndMenus();
    buildCentralArea();
    buildProtocolMenu();

    connectingDialog =
        new QProgressDialog(tr("Connecting.."), tr("Stop"), 0, 0, this, Qt::Window | Qt::CustomizeWindowHint);
    connectingDialog->setObjectName(QStringLiteral("connectingDialog"));
    connectingDialog->reset();
    connect(connectingDialog, &QProgressDialog::canceled, this, &LensDesk::stopConnecting);

    connectTimer = new QTimer(this);
    connect(connectTimer, &QTimer::timeout, this, &LensDesk::initSettings);

    commandSocket = new QUdpSocket(this);
    if (!CommandPort::bindRandom(*commandSocket)) {
        QMessageBox::critical(
            nullptr, tr("Error"),
            tr("No local UDP port from 60000 to 65000 could be bound; the panel cannot talk to a controller."));
        endProcess(1);
    }
    // The default (about 200 KB on Linux) holds some 250 short reports; 1 MiB
    // (the kernel books twice that) holds ten times as many.
    CommandPort::requestReceiveBuffer(*commandSocket, CommandPort::PanelReceiveBufferBytes);
    m_channel = CommandChannel(commandSocket);
    m_replyIntake = new ReplyIntake(
        commandSocket, [this] { return controllerAddress; },
        [this](const QString& text, const QHostAddress&) { handleReply(text); }, this);
    // The dispatcher must be the first reader of the socket: the motion
    // worker and the service dialog connect readers of their own later.
    connect(commandSocket, &QUdpSocket::readyRead, this, &LensDesk::readUDPDatagrams);
    connect(this, &LensDesk::isProductCorrect, this, &LensDesk::initSettings);

    mainSettings = SettingsStore::openMain(this);
    profileSettings = SettingsStore::openProfiles(this);

    m_firmwareDialog = new tftpDlg(this);
    connect(m_firmwareDialog, &tftpDlg::rebootDeviceNow, this, &LensDesk::rebootDevice);
    connect(m_firmwareDialog, &tftpDlg::setFirmwareFlag, this, &LensDesk::sendFirmwareFlag);
    connect(m_firmwareDialog, &tftpDlg::setNoFirmwareFlag, this, &LensDesk::sendNoFirmwareFlag);
    m_firmwareDialog->setTargetLookup([this] { return tftpDlg::Target{controllerAddress, hasLiveController()}; });

    menuID->setTitle(QString());

    changeIPDialog = new changeIPDlg(this);
    changeIPDialog->setModal(true);
    connect(changeIPDialog, &changeIPDlg::newIPSettings, this, &LensDesk::updateIPSettings);

    buildStatusBar();

    m_loadDialog = new loadSettDlg(this);
    connect(m_loadDialog, &loadSettDlg::loadSetPoint, this, &LensDesk::loadSetPointNow);
    connect(m_loadDialog, &loadSettDlg::notgonnaload, this, &LensDesk::notgonnaloadFunc);

    setLensControlsEnabled(false);
    setWindowTitle(tr("ORVO :: Ethernet KX (for EF/EFS Lens) v.%1").arg(QLatin1String(ProgramVersion)));
    connect(focusSlider, &QSlider::sliderMoved, this, &LensDesk::focusSliderPressed);
    buildShortcuts();
}

LensDesk::~LensDesk() { stopWorkers(); }

void LensDesk::sendToController(const QString& text) { m_channel.send(controllerAddress, text); }

void LensDesk::buildActionsAndMenus()
{
    auto makeAction = [this](const char* objectName, const QString& text, const char* iconName = nullptr) {
        auto* action = new QAction(this);
        action->setObjectName(QLatin1String(objectName));
        action->setText(text);
        if (iconName)
            action->setIcon(icon(iconName));
        return action;
    };

    actionIP = makeAction("actionIP", tr("IP"), "1397513549_Gnome-Network-Wired-64.png");
    actionAlwaysOnTop =
        makeAction("actionAlwaysOnTop", tr("Always On Top"), "1395094351_preferences-system-windows.png");
    actionAlwaysOnTop->setCheckable(true);
    actionAlwaysOnTop->setShortcut(QKeySequence(tr("Ctrl+A")));
    actionSetIP = makeAction("actionSetIP", tr("Connect to..."), "1397513549_Gnome-Network-Wired-64.png");
    actionSetIP->setShortcut(QKeySequence(tr("Ctrl+C")));
    actionChange_IP = makeAction("actionChange_IP", tr("Change IP..."), "1398376427_settings.png");
    actionSaveSettings_ = makeAction("actionSaveSettings_", tr("Save Settings..."), "1398449275_download.png");
    actionLoadSettings_ = makeAction("actionLoadSettings_", tr("Load Settings..."), "1398449279_upload.png");
    actionFindLimits = makeAction("actionFindLimits", tr("Find Limits"), "1409019108_length-measure.png");
    actionFindLimits->setEnabled(false);
    actionHelp = makeAction("actionHelp", tr("Help"), "1409019057_icon-ios7-help-outline.png");
    actionHelp->setShortcut(QKeySequence(tr("F1")));
    actionAbout = makeAction("actionAbout", tr("About ORVO Lens Controller"), "vaveruzir.png");
    actionExit = makeAction("actionExit", tr("Exit"), "1409019188_cancel.png");
    actionExit->setShortcut(QKeySequence(tr("Ctrl+X")));
    actionMultiControl = makeAction("actionMultiControl", tr("Multi KX-Control"), "1409019238_multi-agents.png");
    actionMultiControl->setIconText(tr("Multi KX-Control"));
    actionMultiControl->setToolTip(tr("Multi KX-Control"));
    actionMultiControl->setShortcut(QKeySequence(tr("Ctrl+M")));
    actionReboot = makeAction("actionReboot", tr("Restart KX"), "restart.png");
    actionReboot->setShortcut(QKeySequence(tr("Ctrl+R")));
    actionFirmware_Update = makeAction("actionFirmware_Update", tr("Firmware Update..."), "1441908816_chip.png");
    actionSet_a_name = makeAction("actionSet_a_name", tr("Set a Name..."));
    actionSet_a_name->setShortcut(QKeySequence(tr("Ctrl+N")));
    actionDHCP = makeAction("actionDHCP", tr("DHCP..."), "1398287352_internt_web_technology-12.png");
    actionDHCP->setEnabled(false);
    actionFocus_Reinit = makeAction("actionFocus_Reinit", tr("Focus Init"));
    actionFocus_Reinit->setShortcut(QKeySequence(tr("Ctrl+F")));
    actionRun_API_Command =
        makeAction("actionRun_API_Command", tr("Run API Command..."), "1408399654_icon-ios7-arrow-right.png");
    actionRun_API_Command->setEnabled(false);
    actionSwap_Zoom_Direction = makeAction("actionSwap_Zoom_Direction", tr("Swap Zoom Direction"));
    actionSwap_Zoom_Direction->setCheckable(true);
    actionSwitch_Proto_version = makeAction("actionSwitch_Proto_version", tr("Switch Protocol"));
    actionSwitch_Proto_version->setCheckable(true);
    actionSwitch_Proto_version->setToolTip(tr("workaround for Canon18-135mm "));
    actionSet_Focus_Timout = makeAction("actionSet_Focus_Timout", tr("Set Focus Timeout..."));
    actionLoadPresets = makeAction("actionLoadPresets", tr("Load Presets..."), "1398449279_upload.png");
    actionLoadPresets->setShortcut(QKeySequence(tr("Ctrl+L")));
    actionSavePresets = makeAction("actionSavePresets", tr("Save Presets..."), "1398449275_download.png");
    actionSavePresets->setShortcut(QKeySequence(tr("Ctrl+S")));

    m_menuBar = makeChild<QMenuBar>(this, "menuBar", QRect(0, 0, WindowWidth, 21));
    menuSettings = makeNamed<QMenu>(m_menuBar, "menuSettings");
    menuSettings->setTitle(tr("Settings"));
    menuHelp = makeNamed<QMenu>(m_menuBar, "menuHelp");
    menuHelp->setTitle(tr("About"));
    menuID = makeNamed<QMenu>(m_menuBar, "menuID");
    menuID->setEnabled(false);
    setMenuBar(m_menuBar);

    m_menuBar->addAction(menuSettings->menuAction());
    m_menuBar->addAction(menuHelp->menuAction());
    m_menuBar->addAction(menuID->menuAction());

    menuSettings->addAction(actionSetIP);
    menuSettings->addAction(actionChange_IP);
    menuSettings->addAction(actionDHCP);
    menuSettings->addSeparator();
    menuSettings->addAction(actionLoadPresets);
    menuSettings->addAction(actionSavePresets);
    menuSettings->addSeparator();
    menuSettings->addAction(actionAlwaysOnTop);
    menuSettings->addSeparator();
    menuSettings->addAction(actionSet_a_name);
    menuSettings->addAction(actionSet_Focus_Timout);
    menuSettings->addAction(actionSwap_Zoom_Direction);
    menuSettings->addAction(actionSwitch_Proto_version);
    menuSettings->addAction(actionMultiControl);
    menuSettings->addSeparator();
    menuSettings->addAction(actionReboot);
    menuSettings->addAction(actionFocus_Reinit);
    menuSettings->addSeparator();
    menuSettings->addAction(actionRun_API_Command);
    menuSettings->addSeparator();
    menuSettings->addAction(actionExit);
    menuHelp->addAction(actionHelp);
    menuHelp->addAction(actionAbout);
    menuHelp->addSeparator();
    menuHelp->addAction(actionFirmware_Update);

    connect(actionAlwaysOnTop, &QAction::triggered, this, &LensDesk::alwaysOnTop);
    connect(actionExit, &QAction::triggered, this, &LensDesk::close);
    connect(actionSwap_Zoom_Direction, &QAction::toggled, this, &LensDesk::swapZoom);
    connect(actionSwitch_Proto_version, &QAction::toggled, this, &LensDesk::switchProtocol);
    const std::pair<QAction*, void (LensDesk::*)()> commands[] = {
        {actionSetIP, &LensDesk::changeIP},
        {actionChange_IP, &LensDesk::changeIPAddress},
        {actionFindLimits, &LensDesk::findLimits},
        {actionHelp, &LensDesk::help},
        {actionAbout, &LensDesk::about},
        {actionMultiControl, &LensDesk::showMasterDialog},
        {actionReboot, &LensDesk::rebootDevice},
        {actionFirmware_Update, &LensDesk::updateFW},
        {actionSet_a_name, &LensDesk::setName},
        {actionDHCP, &LensDesk::setDHCP},
        {actionFocus_Reinit, &LensDesk::focusReInit},
        {actionSet_Focus_Timout, &LensDesk::setFocusTimeout},
        {actionLoadPresets, &LensDesk::loadSettings},
        {actionSavePresets, &LensDesk::saveSettings},
    };
    for (const auto& [action, slot] : commands)
        connect(action, &QAction::triggered, this, slot);
}

void LensDesk::buildCentralArea()
{
    m_centralWidget = makeNamed<QWidget>(this, "centralWidget");
    setCentralWidget(m_centralWidget);

    auto label = [this](QLabel*& target, const char* name, const QString& text, const QRect& geometry) {
        target = makeChild<QLabel>(m_centralWidget, name, geometry, text);
    };
    auto readOut = [this](QLineEdit*& target, const char* name, const QRect& geometry, const QString& tooltip) {
        target = makeChild<QLineEdit>(m_centralWidget, name, geometry);
        target->setAlignment(Qt::AlignCenter);
        target->setEnabled(false);
        target->setToolTip(tooltip);
    };
    auto button = [this](QPushButton*& target, const char* name, const QString& text, const QRect& geometry,
                         const QString& tooltip) {
        target = makeChild<QPushButton>(m_centralWidget, name, geometry, text);
        target->setToolTip(tooltip);
    };
    auto slider = [this](QSlider*& target, const char* name, const QRect& geometry, int minimum, int maximum, int value,
                         int pageStep) {
        target = makeChild<QSlider>(m_centralWidget, name, geometry);
        target->setOrientation(Qt::Horizontal);
        target->setRange(minimum, maximum);
        target->setValue(value);
        target->setSingleStep(1);
        target->setPageStep(pageStep);
    };
    const QString x1 = tr("x1 speed");
    const QString x2 = tr("x2 speed");

    // Zoom.
    label(label_6, "label_6", tr("Zoom"), QRect(51, 10, 46, 13));
    label_6->setFont(boldFont());
    readOut(zoomVal, "zoomVal", QRect(47, 32, 41, 20), tr("Zoom motor value"));
    label(label_7, "label_7", tr("Wide"), QRect(11, 35, 34, 16));
    label(label_8, "label_8", tr("Narrow"), QRect(90, 35, 38, 16));
    button(fastWideZoom, "fastWideZoom", QStringLiteral("\u00ab"), QRect(16, 76, 26, 24), x2);
    button(slowWideZoom, "slowWideZoom", QStringLiteral("\u2039"), QRect(41, 76, 26, 24), x1);
    button(slowNarrowZoom, "slowNarrowZoom", QStringLiteral("\u203a"), QRect(66, 76, 26, 24), x1);
    slowNarrowZoom->setAutoRepeat(true);
    slowNarrowZoom->setAutoRepeatDelay(300);
    slowNarrowZoom->setAutoRepeatInterval(100);
    button(fastNarrowZoom, "fastNarrowZoom", QStringLiteral("\u00bb"), QRect(91, 76, 26, 24), x2);
    slider(zoomSlider, "zoomSlider", QRect(52, 56, 61, 16), 1, 10, 5, 2);
    zoomSlider->setFont(smallKernedFont());
    label(label_25, "label_25", tr("Value:"), QRect(16, 53, 32, 18));
    slider(zoomStepSlider, "zoomStepSlider", QRect(53, 105, 62, 16), 1, 10, 5, 1);
    zoomStepSlider->setFont(kernedFont());
    zoomStepSlider->setToolTip(tr("Set focus step"));
    label(label_28, "label_28", tr("Step:5"), QRect(17, 103, 34, 16));
    line_2 = makeLine(m_centralWidget, "line_2", QRect(133, 7, 20, 110), Qt::Vertical);
    for (QWidget* w : {static_cast<QWidget*>(label_6), static_cast<QWidget*>(label_7), static_cast<QWidget*>(label_8),
                       static_cast<QWidget*>(fastWideZoom), static_cast<QWidget*>(slowWideZoom),
                       static_cast<QWidget*>(slowNarrowZoom), static_cast<QWidget*>(fastNarrowZoom),
                       static_cast<QWidget*>(zoomSlider), static_cast<QWidget*>(label_25),
                       static_cast<QWidget*>(zoomStepSlider), static_cast<QWidget*>(label_28)})
        w->setEnabled(false);

    // Focus.
    label(label_19, "label_19", tr("Focus"), QRect(198, 10, 51, 16));
    label_19->setFont(boldFont());
    readOut(focusVal, "focusVal", QRect(194, 32, 41, 20), tr("Focus motor value"));
    label(label_20, "label_20", tr("Far"), QRect(163, 33, 31, 20));
    label(label_18, "label_18", tr("Near"), QRect(244, 35, 31, 16));
    button(fastFarFocus, "fastFarFocus", QStringLiteral("\u00ab"), QRect(164, 76, 26, 24), x2);
    button(slowFarFocus, "slowFarFocus", QStringLiteral("\u2039"), QRect(189, 76, 26, 24), x1);
    button(slowNearFocus, "slowNearFocus", QStringLiteral("\u203a"), QRect(214, 76, 26, 24), x1);
    button(fastNearFocus, "fastNearFocus", QStringLiteral("\u00bb"), QRect(239, 76, 26, 24), x2);
    slider(focusSlider, "focusSlider", QRect(194, 56, 70, 16), 1, 10, 5, 2);
    focusSlider->setFont(smallKernedFont());
    focusSlider->setToolTip(tr("Set focus value"));
    label(label_17, "label_17", tr("Value:"), QRect(159, 53, 34, 16));
    slider(focusStepSlider, "focusStepSlider", QRect(202, 105, 62, 16), 1, 50, 5, 1);
    focusStepSlider->setFont(kernedFont());
    focusStepSlider->setToolTip(tr("Set focus step"));
    label(label_27, "label_27", tr("Step:5"), QRect(165, 103, 38, 16));
    line_4 = makeLine(m_centralWidget, "line_4", QRect(279, 8, 20, 110), Qt::Vertical);

    // Aperture.
    label(label_24, "label_24", tr("Aperture"), QRect(336, 10, 70, 16));
    label_24->setFont(boldFont());
    readOut(irisVal, "irisVal", QRect(343, 32, 41, 20), tr("Aperture motor value"));
    button(pushButtonOpen, "pushButtonOpen", tr("Open"), QRect(299, 31, 40, 22), tr("press to Wide Open Iris"));
    pushButtonOpen->setFont(kernedFont());
    button(pushButtonClose, "pushButtonClose", tr("Close"), QRect(389, 31, 40, 22), tr("press to Max Close Iris"));
    button(fastCloseIris, "fastCloseIris", QStringLiteral("\u00ab"), QRect(313, 76, 26, 24), x2);
    button(slowCloseIris, "slowCloseIris", QStringLiteral("\u2039"), QRect(338, 76, 26, 24), x1);
    button(slowOpenIris, "slowOpenIris", QStringLiteral("\u203a"), QRect(363, 76, 26, 24), x1);
    button(fastOpenIris, "fastOpenIris", QStringLiteral("\u00bb"), QRect(388, 76, 26, 24), x2);
    slider(irisSlider, "irisSlider", QRect(349, 56, 61, 16), 2, 10, 2, 2);
    irisSlider->setFont(smallKernedFont());
    irisSlider->setContextMenuPolicy(Qt::NoContextMenu);
    irisSlider->setTracking(true);
    irisSlider->setToolTip(tr("Set aperture value"));
    label(label_23, "label_23", tr("Value:"), QRect(313, 55, 35, 16));
    checkBoxIS =
        makeChild<QCheckBox>(m_centralWidget, "checkBoxIS", QRect(309, 103, 113, 17), tr("Image Stabilization"));
    checkBoxIS->setEnabled(false);

    QWidget* tabOrder[] = {fastWideZoom, slowWideZoom,  slowNarrowZoom, fastNarrowZoom, fastFarFocus,
                           slowFarFocus, slowNearFocus, fastNearFocus,  fastCloseIris,  slowCloseIris,
                           slowOpenIris, fastOpenIris,  zoomVal,        irisVal,        irisSlider,
                           focusVal,     focusSlider,   zoomSlider,     focusStepSlider};
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(fastWideZoom, &QPushButton::pressed, this, &LensDesk::zoomFastWidePressed);
    connect(fastWideZoom, &QPushButton::released, this, &LensDesk::zoomFastWideReleased);
    connect(slowWideZoom, &QPushButton::pressed, this, &LensDesk::zoomSlowWidePressed);
    connect(slowWideZoom, &QPushButton::released, this, &LensDesk::zoomSlowWideReleased);
    connect(slowNarrowZoom, &QPushButton::pressed, this, &LensDesk::zoomSlowNarrowPressed);
    connect(slowNarrowZoom, &QPushButton::released, this, &LensDesk::zoomSlowNarrowReleased);
    connect(fastNarrowZoom, &QPushButton::pressed, this, &LensDesk::zoomFastNarrowPressed);
    connect(fastNarrowZoom, &QPushButton::released, this, &LensDesk::zoomFastNarrowReleased);
    connect(zoomSlider, &QSlider::sliderPressed, this, &LensDesk::zoomSliderPressed);
    connect(zoomSlider, &QSlider::sliderMoved, this, &LensDesk::showZoomSliderValue);
    connect(zoomSlider, &QSlider::sliderReleased, this, &LensDesk::zoomSliderMovedTo);
    connect(zoomStepSlider, &QSlider::sliderReleased, this, &LensDesk::zoomSpeedSlider);

    connect(fastFarFocus, &QPushButton::pressed, this, &LensDesk::focusFastFarPressed);
    connect(fastFarFocus, &QPushButton::released, this, &LensDesk::focusFastFarReleased);
    connect(slowFarFocus, &QPushButton::pressed, this, &LensDesk::focusSlowFarPressed);
    connect(slowFarFocus, &QPushButton::released, this, &LensDesk::focusSlowFarReleased);
    connect(slowNearFocus, &QPushButton::pressed, this, &LensDesk::focusSlowNearPressed);
    connect(slowNearFocus, &QPushButton::released, this, &LensDesk::focusSlowNearReleased);
    connect(fastNearFocus, &QPushButton::pressed, this, &LensDesk::focusFastNearPressed);
    connect(fastNearFocus, &QPushButton::released, this, &LensDesk::focusFastNearReleased);
    connect(focusSlider, &QSlider::sliderPressed, this, &LensDesk::focusSliderPressed);
    connect(focusSlider, &QSlider::sliderMoved, this, &LensDesk::showFocusSliderValue);
    connect(focusSlider, &QSlider::sliderReleased, this, &LensDesk::focusSliderMovedTo);
    connect(focusStepSlider, &QSlider::valueChanged, this, &LensDesk::focusSpeedChanged);
    connect(focusStepSlider, &QSlider::sliderReleased, this, &LensDesk::focusSpeedSlider);
    connect(focusStepSlider, &QSlider::sliderMoved, this, &LensDesk::showFocusSpeedSliderValue);

    connect(fastCloseIris, &QPushButton::pressed, this, &LensDesk::irisFastClosePressed);
    connect(fastCloseIris, &QPushButton::released, this, &LensDesk::irisFastCloseReleased);
    connect(slowCloseIris, &QPushButton::pressed, this, &LensDesk::irisSlowClosePressed);
    connect(slowCloseIris, &QPushButton::released, this, &LensDesk::irisSlowCloseReleased);
    connect(slowOpenIris, &QPushButton::pressed, this, &LensDesk::irisSlowOpenPressed);
    connect(slowOpenIris, &QPushButton::released, this, &LensDesk::irisSlowOpenReleased);
    connect(fastOpenIris, &QPushButton::pressed, this, &LensDesk::irisFastOpenPressed);
    connect(fastOpenIris, &QPushButton::released, this, &LensDesk::irisFastOpenReleased);
    connect(irisSlider, &QSlider::sliderPressed, this, &LensDesk::irisSliderPressed);
    connect(irisSlider, &QSlider::sliderMoved, this, &LensDesk::aperSliderMoved);
    connect(irisSlider, &QSlider::sliderReleased, this, &LensDesk::irisSliderMovedTo);
    connect(pushButtonOpen, &QPushButton::pressed, this, &LensDesk::fullOpenAper);
    connect(pushButtonClose, &QPushButton::pressed, this, &LensDesk::fullCloseAper);
    connect(checkBoxIS, &QCheckBox::clicked, this, &LensDesk::enISbyUser);
    connect(checkBoxIS, &QCheckBox::toggled, this, &LensDesk::enIS);
}

void LensDesk::buildStatusBar()
{
    deviceInfoLabel = makeNamed<QLabel>(this, "deviceInfoLabel");
    // The device line quotes the controller's product and firmware texts:
    // whatever they hold is shown as it came, never rendered.
    deviceInfoLabel->setTextFormat(Qt::PlainText);
    nameLabel = makeNamed<ClickableLabel>(this, "nameLabel");
    lensLabel = makeNamed<QLabel>(this, "lensLabel");

    QFont statusFont(QStringLiteral("Arial"), 7, QFont::Normal);
    for (QLabel* label : {deviceInfoLabel, static_cast<QLabel*>(nameLabel), lensLabel}) {
        label->setFont(statusFont);
        label->setPalette(darkGreyText(label->palette()));
    }
    menuID->setFont(QFont(QStringLiteral("Arial"), 5));
    menuID->setPalette(darkGreyText(menuID->palette()));

    statusBar()->addWidget(deviceInfoLabel);
    statusBar()->addPermanentWidget(nameLabel);
    statusBar()->addWidget(lensLabel);
    nameLabel->setText(QLatin1String(MakerSite));
    connect(nameLabel, &ClickableLabel::clicked, this, &LensDesk::help);
}

void LensDesk::buildShortcuts()
{
    using Slot = void (LensDesk::*)();
    const Slot digitSlots[] = {&LensDesk::loadSetPointNow1, &LensDesk::loadSetPointNow2, &LensDesk::loadSetPointNow3,
                               &LensDesk::loadSetPointNow4, &LensDesk::loadSetPointNow5, &LensDesk::loadSetPointNow6,
                               &LensDesk::loadSetPointNow7, &LensDesk::loadSetPointNow8, &LensDesk::loadSetPointNow9,
                               &LensDesk::loadSetPointNow0};
    const char* const digitKeys[] = {"Ctrl+1", "Ctrl+2", "Ctrl+3", "Ctrl+4", "Ctrl+5",
                                     "Ctrl+6", "Ctrl+7", "Ctrl+8", "Ctrl+9", "Ctrl+0"};
    for (int i = 0; i < 10; ++i) {
        auto* shortcut = new QShortcut(QKeySequence(QLatin1String(digitKeys[i])), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, digitSlots[i]);
    }
    for (const QKeySequence& keys : masterDlg::serviceKeys()) {
        auto* service = new QShortcut(keys, this);
        service->setContext(Qt::WindowShortcut);
        connect(service, &QShortcut::activated, this, &LensDesk::showMasterDialog);
    }
    auto* afOverrideKey = new QShortcut(QKeySequence(QStringLiteral("Ctrl+T")), this);
    afOverrideKey->setContext(Qt::WindowShortcut);
    connect(afOverrideKey, &QShortcut::activated, this, &LensDesk::overloadAF);
}

void LensDesk::about()
{
    macAddress.clear();
    const struct
    {
        const char* command;
        int waitMs;
    } queries[] = {{Protocol::Command::GetSerial, 200},
                   {Protocol::Command::GetMac, 200},
                   {Protocol::Command::GetHardware, 300},
                   {Protocol::Command::GetVendor, 200}};
    for (const auto& query : queries) {
        sendToController(QLatin1String(query.command));
        delayWithEvents(query.waitMs);
    }

    // No controller answered: the box says so. The controller address itself
    // stays, or a controller that was only briefly silent would never be
    // heard again.
    QString shownAddress = controllerAddress;
    if (hardwareVersion.isEmpty() && macAddress.isEmpty()) {
        const QString none = QStringLiteral("N/A");
        shownAddress = hardwareVersion = macAddress = firmwareNumber = serialNumber = vendorInfo = none;
    }
    // The box is rich text; what the controller reports is shown as text.
    QMessageBox::about(this, tr("About"),
                       tr("<b>ORVO Ethernet Lens Controller (for EF/EF-S Lens)</b><br>Version %1 (%2)<br><br>"
                          "Hardware version: %3<br>Firmware version: %4<br>S/N: %7<br>IP: %5<br>MAC: %6<br>"
                          "Vendor info: %8")
                           .arg(QLatin1String(ProgramVersion), buildDate(), hardwareVersion.toHtmlEscaped(),
                                firmwareNumber.toHtmlEscaped(), shownAddress,
                                macWithHexadecimal(macAddress).toHtmlEscaped(), serialNumber.toHtmlEscaped(),
                                vendorInfo.toHtmlEscaped()));
}

void LensDesk::help() { QDesktopServices::openUrl(QUrl(QStringLiteral("https://%1/").arg(QLatin1String(MakerSite)))); }

void LensDesk::alwaysOnTop(bool on)
{
    if (Platform::setWindowTopmost(quintptr(winId()), on))
        return;
    // Elsewhere the stay-on-top hint does it; changing window flags hides the
    // window, so show it again where it was, without taking the focus.
    const QRect placement = geometry();
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (wasVisible) {
        // The same window again, not a new appearance: no connect dialog.
        const QScopedValueRollback<bool> reshowing(m_reshowingWithNewFlags, true);
        setAttribute(Qt::WA_ShowWithoutActivating, true);
        setGeometry(placement);
        show();
        setAttribute(Qt::WA_ShowWithoutActivating, false);
    }
}

void LensDesk::updateFW()
{
    m_firmwareDialog->setCurrentIP(controllerAddress);
    m_firmwareDialog->show();
}

void LensDesk::showMasterDialog()
{
    if (!m_serviceDialog)
        return;
    // A connection attempt started during the queries replaces the dialog:
    // the replaced one is not shown (it goes once its queries are done), nor
    // is the new one, which nobody has asked yet.
    masterDlg* const queried = m_serviceDialog;
    queried->queryIdentity();
    if (queried == m_serviceDialog)
        queried->show();
}

void LensDesk::overloadAF() { afOverride = true; }

void LensDesk::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_reshowingWithNewFlags)
        return;
    auto* dialog = new setIPDlg(this);
    dialog->setModal(true);
    connect(dialog, &setIPDlg::hasIP, this, &LensDesk::isORVOProduct);
    connect(dialog, &setIPDlg::hasNOIP, this, &LensDesk::close);
    if (m_connectDialog)
        m_connectDialog->deleteLater();
    m_connectDialog = dialog;
    if (focusVal->text().isEmpty())
        dialog->show();
}

void LensDesk::closeEvent(QCloseEvent* event)
{
    event->accept();
    endProcess(1);
}
