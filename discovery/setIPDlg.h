#pragma once

#include "discovery/LanSearch.h"
#include "discovery/SearchResults.h"

#include <QDialog>
#include <QList>
#include <QModelIndex>

class QGroupBox;
class QHostAddress;
class QLabel;
class QLineEdit;
class QPushButton;
class QSettings;
class QStandardItem;
class QStandardItemModel;
class QTreeView;
class QUdpSocket;

// The connect dialog: one address field that remembers the last address used,
// and a browse function that searches every local IPv4 network for
// controllers. The chosen address leaves only by hasIP(); closing without one
// emits hasNOIP().
//
// The search broadcasts "ver" to port 1339 from every local IPv4 address, one
// socket per address, and listens for six seconds per interface while the
// event loop keeps turning; a controller answers "product=version" to the
// probing socket. Everything runs on the GUI thread.
class setIPDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int ListeningWindowMs = LanSearch::ListeningWindowMs;
    static constexpr int CompactWidth = 443;
    static constexpr int CompactHeight = 60;
    static constexpr int ExpandedHeight = 168;

    explicit setIPDlg(QWidget* parent = nullptr);
    ~setIPDlg() override;

    // The answers collected since the current listening window began (or,
    // after a search, since it ended), in arrival order.
    const QVector<SearchResults::Responder>& pendingReplies() const { return m_search->replies(); }
    // The sockets of the current (or last) search, one per probed address.
    const QList<QUdpSocket*>& searchSockets() const { return m_search->sockets(); }
    QStandardItemModel* resultModel() const { return m_model; }

    // Opens one search socket on `address` and a random port from 60000 to
    // 65000, its answers collected by the search. A failed bind is
    // reported in a box and the socket is kept all the same.
    QUdpSocket* openSearchSocket(const QHostAddress& address);

signals:
    void hasIP(QString);
    void hasNOIP();

public slots:
    void setIP();
    void editIP(QString text);
    void searchKX2();
    void reload();
    void readUDPDatagrams();
    void treeViewOneClick(QModelIndex index);
    void treeViewDoubleClick(QModelIndex index);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void closeSearchSockets();
    QString rowText(const QModelIndex& index) const;

public:
    // The widgets, named as their object names.
    QLineEdit* lineEdit = nullptr;
    QLabel* label = nullptr;
    QGroupBox* groupBox = nullptr;
    QPushButton* pushButton = nullptr;
    QLabel* label_2 = nullptr;
    QPushButton* pushButton_2 = nullptr;
    QGroupBox* browseGroup = nullptr;
    QTreeView* treeView = nullptr;

private:
    QSettings* m_settings = nullptr;
    LanSearch* m_search = nullptr;
    QList<QStandardItem*> m_interfaceRows;
    QStandardItemModel* m_model = nullptr;
    // The main window replaces its connect dialog whenever it is shown again,
    // which can happen while this one searches; the deletion waits until the
    // search has unwound.
    bool m_searching = false;
    bool m_deleteAfterSearch = false;
};
