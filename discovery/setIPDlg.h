#pragma once

#include <QDialog>

// The connect dialog: one address field that remembers the last address used,
// and a browse function that searches every local IPv4 network for
// controllers. The chosen address leaves only by hasIP(); closing without one
// emits hasNOIP().
class setIPDlg : public QDialog
{
    Q_OBJECT

public:
    explicit setIPDlg(QWidget* parent = nullptr);

signals:
    void hasIP(QString);
    void hasNOIP();
};
