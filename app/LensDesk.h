#pragma once

#include "link/CommandChannel.h"
#include "platform/Platform.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QVector>

#include <array>
#include <functional>

class ClickableLabel;
class QAction;
class QActionGroup;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QProgressDialog;
class QPushButton;
class QSettings;
class QShortcut;
class QSlider;
class QTimer;
class MoveConfirmation;
class QUdpSocket;
class ReplyIntake;
class changeIPDlg;
class loadSettDlg;
class masterDlg;
class pingWorker;
class setIPDlg;
class tftpDlg;
class zoomWorker;

// The panel's one main window. It owns the command socket, the settings
// stores, the dialogs, the per-connection worker threads and the device
// record, and holds most of the slots. Its member functions live in the
// folder of the subsystem they belong to:
//   app/LensDesk.cpp          construction, menus, About, Help, show and close
//   link/connection.cpp       connecting and identification
//   link/dispatcher.cpp       the reply dispatcher
//   lens/controls.cpp         the manual lens controls
//   lens/setpoints.cpp        saved lens positions (profiles)
//   lens/limits.cpp           the lens limit finder
//   discovery/addressChoice.cpp  "Connect to..."
//   admin/networkConfig.cpp   address, mask, gateway, DHCP
//   admin/deviceOptions.cpp   restart, focus init, name, focus time-out, protocol menu
//   admin/firmwareHandshake.cpp  the update-mode commands around a firmware upload
// Everything runs on the GUI thread.
class LensDesk : public QMainWindow
{
    Q_OBJECT

public:
    explicit LensDesk(QWidget* parent = nullptr);
    ~LensDesk() override;

    // Sends one command text to the current controller (see CommandChannel).
    void sendToController(const QString& text);

signals:
    void isProductCorrect(bool);

public slots:
    // Shell.
    void about();
    void help();
    void alwaysOnTop(bool on);
    void updateFW();
    void showMasterDialog();
    void overloadAF();

    // Connection.
    void isORVOProduct(QString address);
    void initSettings();
    void stopConnecting();
    void pingError(QString);
    void pingError2(QString);

    // Replies.
    void readUDPDatagrams();

    // Manual controls.
    void zoomUpdateVal(int value);
    void focusUpdateVal(int value);
    void irisUpdateVal(float fNumber);
    void zoomFastWidePressed();
    void zoomFastWideReleased();
    void zoomSlowWidePressed();
    void zoomSlowWideReleased();
    void zoomSlowNarrowPressed();
    void zoomSlowNarrowReleased();
    void zoomFastNarrowPressed();
    void zoomFastNarrowReleased();
    void focusFastFarPressed();
    void focusFastFarReleased();
    void focusSlowFarPressed();
    void focusSlowFarReleased();
    void focusSlowNearPressed();
    void focusSlowNearReleased();
    void focusFastNearPressed();
    void focusFastNearReleased();
    void irisFastClosePressed();
    void irisFastCloseReleased();
    void irisSlowClosePressed();
    void irisSlowCloseReleased();
    void irisSlowOpenPressed();
    void irisSlowOpenReleased();
    void irisFastOpenPressed();
    void irisFastOpenReleased();
    void zoomSliderPressed();
    void focusSliderPressed();
    void irisSliderPressed();
    void zoomSliderMovedTo();
    void focusSliderMovedTo();
    void irisSliderMovedTo();
    void showZoomSliderValue(int value);
    void showFocusSliderValue(int value);
    void showFocusSpeedSliderValue(int value);
    void aperSliderMoved(int index);
    void zoomSpeedSlider();
    void focusSpeedSlider();
    void focusSpeedChanged(int value);
    void fullOpenAper();
    void fullCloseAper();
    void enISbyUser(bool ticked);
    void enIS(bool);
    void swapZoom(bool swapped);

    // Set points.
    void saveSettings();
    void loadSettings();
    void loadSetPointNow(QString name);
    void loadSetPointNow0();
    void loadSetPointNow1();
    void loadSetPointNow2();
    void loadSetPointNow3();
    void loadSetPointNow4();
    void loadSetPointNow5();
    void loadSetPointNow6();
    void loadSetPointNow7();
    void loadSetPointNow8();
    void loadSetPointNow9();
    void notgonnaloadFunc();

    // Limit finder.
    void findLimits();
    void updateZoomStep(int value);
    void updateFocusStep(int value);
    void updateIrisStep(int value);

    // Discovery.
    void changeIP();

    // Network configuration.
    void changeIPAddress();
    void updateIPSettings(QString address, QString mask, QString gateway);
    void setDHCP();

    // Device options.
    void setName();
    void getName();
    void setFocusTimeout();
    void getFocusTimeout();
    void focusReInit();
    void rebootDevice();
    void switchProtocol(bool on);
    void protoChosen(QAction* action);

    // Firmware handshake.
    void sendFirmwareFlag();
    void sendNoFirmwareFlag();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildCentralArea();
    void buildActionsAndMenus();
    void buildStatusBar();
    void buildShortcuts();

    // Reply handling, one datagram's text through every test in order.
    void handleReply(const QString& text);
    void handleIdentification(const QString& product, const QString& version);

    void setZoomWidgetsEnabled(bool on);
    void restoreZoomSwapFromSettings();
    bool isPowerZoomModel() const;

    void buildProtocolMenu();
    void updateProtocolTexts();
    void updateProtocolMenuEnabled();

    void stopWorkers();
    void keepDispatcherSoleReader();
    // Counts the liveness monitors stopped; a loss signal counts only while
    // its monitor's generation is the current one (link/connection.cpp).
    quint64 m_livenessGeneration = 0;
    // A controller was identified, no attempt has begun since without
    // identifying one, and the liveness monitor has not declared it lost.
    bool hasLiveController() const;
    // An attempt has begun and not (yet) identified a controller: it runs,
    // or it failed or was stopped.
    bool m_attemptUnanswered = false;

    // Device link: the read-outs of a lost or absent lens.
    void markLensUnavailable();

    // Set while "Always On Top" shows the window again after changing its
    // window flags; that show is not one that asks for a controller.
    bool m_reshowingWithNewFlags = false;

    // Pause and resume the liveness monitor, which exists only once a
    // controller was identified (lens/controls.cpp). A resume outside the
    // reply dispatcher does not count a lost controller alive.
    void pauseLiveness();
    void resumeLiveness();
    // An absolute move the controller never confirmed ends with one message.
    void reportUnconfirmedMove();

    // Firmware update: the controller the last update handshake switched
    // into update mode (admin/firmwareHandshake.cpp).
    QString m_firmwareTarget;

public:
    // Enabling the lens controls and the connection-dependent actions
    // (lens/controls.cpp).
    void setLensControlsEnabled(bool on);
    void disableLensControls();

private:
    // The tests' one way to state that no widget, action or datagram shows
    // (tests/support/LensDeskTestAccess.h).
    friend class LensDeskTestAccess;

    // The widgets and actions, named as their object names: tests and tools
    // reach them with findChild() as the operator reaches them on screen.
    QWidget* m_centralWidget = nullptr;
    QMenuBar* m_menuBar = nullptr;
    QMenu* menuSettings = nullptr;
    QMenu* menuHelp = nullptr;
    QMenu* menuID = nullptr;

    QAction* actionIP = nullptr;
    QAction* actionAlwaysOnTop = nullptr;
    QAction* actionSetIP = nullptr;
    QAction* actionChange_IP = nullptr;
    QAction* actionSaveSettings_ = nullptr;
    QAction* actionLoadSettings_ = nullptr;
    QAction* actionFindLimits = nullptr;
    QAction* actionHelp = nullptr;
    QAction* actionAbout = nullptr;
    QAction* actionExit = nullptr;
    QAction* actionMultiControl = nullptr;
    QAction* actionReboot = nullptr;
    QAction* actionFirmware_Update = nullptr;
    QAction* actionSet_a_name = nullptr;
    QAction* actionDHCP = nullptr;
    QAction* actionFocus_Reinit = nullptr;
    QAction* actionRun_API_Command = nullptr;
    QAction* actionSwap_Zoom_Direction = nullptr;
    QAction* actionSwitch_Proto_version = nullptr;
    QAction* actionSet_Focus_Timout = nullptr;
    QAction* actionLoadPresets = nullptr;
    QAction* actionSavePresets = nullptr;

    QLabel* label_6 = nullptr;
    QLineEdit* zoomVal = nullptr;
    QLabel* label_7 = nullptr;
    QLabel* label_8 = nullptr;
    QPushButton* fastWideZoom = nullptr;
    QPushButton* slowWideZoom = nullptr;
    QPushButton* slowNarrowZoom = nullptr;
    QPushButton* fastNarrowZoom = nullptr;
    QSlider* zoomSlider = nullptr;
    QLabel* label_25 = nullptr;
    QSlider* zoomStepSlider = nullptr;
    QLabel* label_28 = nullptr;
    QFrame* line_2 = nullptr;
    QLabel* label_19 = nullptr;
    QLineEdit* focusVal = nullptr;
    QLabel* label_20 = nullptr;
    QLabel* label_18 = nullptr;
    QPushButton* fastFarFocus = nullptr;
    QPushButton* slowFarFocus = nullptr;
    QPushButton* slowNearFocus = nullptr;
    QPushButton* fastNearFocus = nullptr;
    QSlider* focusSlider = nullptr;
    QLabel* label_17 = nullptr;
    QSlider* focusStepSlider = nullptr;
    QLabel* label_27 = nullptr;
    QFrame* line_4 = nullptr;
    QLabel* label_24 = nullptr;
    QLineEdit* irisVal = nullptr;
    QPushButton* pushButtonOpen = nullptr;
    QPushButton* pushButtonClose = nullptr;
    QPushButton* fastCloseIris = nullptr;
    QPushButton* slowCloseIris = nullptr;
    QPushButton* slowOpenIris = nullptr;
    QPushButton* fastOpenIris = nullptr;
    QSlider* irisSlider = nullptr;
    QLabel* label_23 = nullptr;
    QCheckBox* checkBoxIS = nullptr;

    QLabel* deviceInfoLabel = nullptr;
    ClickableLabel* nameLabel = nullptr;
    QLabel* lensLabel = nullptr;

    // The command socket and what is bound to it. The intake reads the
    // replies of the current controller for the dispatcher; while it runs
    // (also inside a step of the dispatcher that waits with events) a
    // readyRead() starts no second pass.
    QUdpSocket* commandSocket = nullptr;
    CommandChannel m_channel;
    ReplyIntake* m_replyIntake = nullptr;
    QString controllerAddress;
    QProgressDialog* connectingDialog = nullptr;
    QTimer* connectTimer = nullptr;
    bool productConfirmed = false;

    QSettings* mainSettings = nullptr;
    QSettings* profileSettings = nullptr;

    zoomWorker* m_motionWorker = nullptr;
    pingWorker* m_livenessMonitor = nullptr;
    QPointer<setIPDlg> m_connectDialog;
    changeIPDlg* changeIPDialog = nullptr;
    loadSettDlg* m_loadDialog = nullptr;
    tftpDlg* m_firmwareDialog = nullptr;
    QPointer<masterDlg> m_serviceDialog;

    QString deviceName;

    // Device record: what the controller reported.
    QString productName;
    QString firmwareVersion = QStringLiteral("n/a");
    QString firmwareNumber;
    QString bootloaderVersion = QStringLiteral("1");
    QString hardwareVersion;
    QString serialNumber;
    QString macAddress;
    QString vendorInfo;
    int zoomRangeWide = 0;
    int zoomRangeTele = 0;
    float minimumFNumber = 0.0f;
    int focusTimeout = -1;
    int currentProtocol = 0;

    // Lens-control state.
    QVector<float> fNumberTable;
    int currentZoom = -1;
    int currentFocus = -1;
    float currentIris = -1.0f;
    bool afEnabled = false;
    bool afOverride = false;
    bool zoomDoneFlag = false;
    bool focusDoneFlag = false;
    bool irisDoneFlag = false;
    // The move a set-point recall waits for; the dispatcher tells it every
    // fact of the controller's replies (lens/setpoints.cpp).
    MoveConfirmation* m_moveConfirmation = nullptr;

    // The "Lens Protocol" submenu that takes the place of actionSwitch_Proto_version.
    QMenu* protocolMenu = nullptr;
    QActionGroup* protocolGroup = nullptr;
    std::array<QAction*, 3> protocolActions{};

    // Network configuration: the step that empties the host's neighbour (ARP)
    // cache after the controller's address changed. Replaceable so that tests
    // never clear the cache of the machine they run on. Returns the
    // listing's error code; entries left for lack of privilege are no
    // concern of the panel.
    std::function<int()> m_flushAddressResolutionCache = [] {
        return Platform::flushAddressResolutionCache().listingError;
    };
};
