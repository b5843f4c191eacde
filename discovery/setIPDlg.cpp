#include "discovery/setIPDlg.h"

#include "app/FormBuilder.h"
#include "base/EventWait.h"
#include "base/SettingsStore.h"
#include "discovery/PickPattern.h"
#include "discovery/ResultTree.h"
#include "link/DottedQuad.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QStandardItemModel>
#include <QTimer>
#include <QTreeView>
#include <QUdpSocket>

namespace {

const QString WiredPicture = QStringLiteral(":/connect/1397513549_Gnome-Network-Wired-64.png");

// A double-click presses OK visibly before accepting.
constexpr int AnimatedClickMs = 100;

} // namespace

setIPDlg::setIPDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("SetIPDialog"));
    setWindowTitle(tr("ORVO :: Lens Controller :: IP Address"));
    setWindowIcon(QIcon(WiredPicture));

    lineEdit = makeChild<QLineEdit>(this, "lineEdit", QRect(130, 19, 116, 20));
    label = makeChild<QLabel>(this, "label", QRect(57, 21, 71, 16), tr("Connect to IP:"));
    groupBox = makeChild<QGroupBox>(this, "groupBox", QRect(11, 8, 421, 41));
    pushButton = makeChild<QPushButton>(groupBox, "pushButton", QRect(284, 9, 61, 23), tr("OK"));
    pushButton->setEnabled(false);
    label_2 = makeChild<QLabel>(groupBox, "label_2", QRect(10, 10, 21, 21));
    label_2->setPixmap(QPixmap(WiredPicture));
    label_2->setScaledContents(true);
    label_2->setToolTip(tr("Specify Lens Controller IP Adrress"));
    pushButton_2 = makeChild<QPushButton>(groupBox, "pushButton_2", QRect(348, 9, 61, 23), tr("BROWSE"));
    browseGroup = makeChild<QGroupBox>(this, "browseGroup", QRect(11, 56, 421, 103));
    treeView = makeChild<QTreeView>(browseGroup, "treeView", QRect(10, 10, 401, 84));
    treeView->setHeaderHidden(true);

    // The address field and its caption sit on the frame of groupBox.
    label->raise();
    lineEdit->raise();

    connect(pushButton, &QPushButton::clicked, this, &setIPDlg::setIP);
    connect(lineEdit, &QLineEdit::textChanged, this, &setIPDlg::editIP);
    connect(pushButton_2, &QPushButton::clicked, this, &setIPDlg::searchKX2);
    connect(treeView, &QTreeView::clicked, this, &setIPDlg::treeViewOneClick);
    connect(treeView, &QTreeView::doubleClicked, this, &setIPDlg::treeViewDoubleClick);

    m_settings = SettingsStore::openMain(this);
    // Older panels stored the address as typed, leading zeros and all.
    lineEdit->setText(DottedQuad::canonical(SettingsStore::LastControllerAddress.read(*m_settings)));

    m_model = new QStandardItemModel(this);
    m_search = new LanSearch(this);
    browseGroup->hide();
    setFixedSize(CompactWidth, CompactHeight);
}

setIPDlg::~setIPDlg() = default;

void setIPDlg::editIP(QString text)
{
    const bool valid = DottedQuad::isValid(text);
    lineEdit->setStyleSheet(FieldStyle::of(valid));
    pushButton->setEnabled(valid);
}

void setIPDlg::setIP()
{
    // The one place the operator's address enters the panel: from here on
    // it has a single written form (see DottedQuad).
    const QString address = DottedQuad::canonical(lineEdit->text());
    // Shown so when "Connect to..." opens this dialog again.
    lineEdit->setText(address);
    SettingsStore::LastControllerAddress.write(*m_settings, address);
    hide();
    emit hasIP(address);
}

bool setIPDlg::event(QEvent* event)
{
    if (event->type() == QEvent::DeferredDelete && m_searching) {
        m_deleteAfterSearch = true;
        return true;
    }
    return QDialog::event(event);
}

void setIPDlg::closeEvent(QCloseEvent* event)
{
    hide();
    emit hasNOIP();
    pushButton_2->setText(tr("RELOAD"));
    event->accept();
}

void setIPDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Escape) {
        QDialog::keyPressEvent(event);
        return;
    }
    hide();
    emit hasNOIP();
}

void setIPDlg::searchKX2()
{
    setFixedSize(CompactWidth, ExpandedHeight);
    browseGroup->show();
    reload();
}

void setIPDlg::closeSearchSockets() { m_search->closeSockets(); }

QUdpSocket* setIPDlg::openSearchSocket(const QHostAddress& address)
{
    bool bound = false;
    QUdpSocket* socket = m_search->openSocket(address, &bound);
    if (!bound)
        QMessageBox::critical(this, tr("Error"), tr("Can't bind to %1").arg(address.toString()), QMessageBox::Ok);
    return socket;
}

void setIPDlg::reload()
{
    closeSearchSockets();
    m_interfaceRows.clear();
    // Answers that trickled in after the last search belong to no window of
    // this one.
    m_search->takeReplies();
    treeView->setEnabled(false);
    if (m_model->rowCount() > 0)
        m_model->removeRows(0, m_model->rowCount());

    m_searching = true;
    QProgressDialog progress(tr("Searching..."), QString(), 0, 0, this, Qt::CustomizeWindowHint);
    progress.setWindowModality(Qt::WindowModal);
    progress.show();

    QVector<SearchResults::InterfaceResult> results = SearchResults::searchableInterfaces();
    for (SearchResults::InterfaceResult& result : results) {
        // An interface without an IPv4 address has nothing to probe from; it
        // still gets its window and its row.
        for (const QString& address : qAsConst(result.addresses)) {
            progress.setLabelText(tr("Looking in %1...").arg(address));
            LanSearch::sendProbe(*openSearchSocket(QHostAddress(address)));
        }
        delayWithEvents(ListeningWindowMs);
        result.responders = m_search->takeReplies();
    }

    progress.setLabelText(tr("Please Wait.."));
    m_interfaceRows = ResultTree::fill(*m_model, results);
    treeView->setModel(m_model);
    treeView->expandAll();
    treeView->setEnabled(true);
    pushButton_2->setText(tr("RELOAD"));
    progress.close();
    m_searching = false;
    // Qt keeps only the first deferred deletion of an object, the one taken
    // above, so the delayed one goes through the event loop as a timer.
    if (m_deleteAfterSearch)
        QTimer::singleShot(0, this, [this] { delete this; });
}

void setIPDlg::readUDPDatagrams() { m_search->readAnswers(); }

QString setIPDlg::rowText(const QModelIndex& index) const { return m_model->data(index, Qt::DisplayRole).toString(); }

void setIPDlg::treeViewOneClick(QModelIndex index)
{
    const QString address = PickPattern::singleClickAddress(rowText(index));
    if (!address.isNull())
        lineEdit->setText(address);
}

void setIPDlg::treeViewDoubleClick(QModelIndex index)
{
    const QString address = PickPattern::doubleClickAddress(rowText(index));
    if (address.isNull())
        return;
    lineEdit->setText(address);
    // Accepts through setIP() only if the pick left OK enabled.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    pushButton->animateClick(AnimatedClickMs);
#else
    static_assert(AnimatedClickMs == 100, "Qt 6 animates a click for 100 ms, always");
    pushButton->animateClick();
#endif
    pushButton_2->setText(tr("RELOAD"));
}
