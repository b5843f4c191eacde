#pragma once

#include <QDialog>

// The profile dialog: recall, describe and delete saved lens positions.
class loadSettDlg : public QDialog
{
    Q_OBJECT

public:
    explicit loadSettDlg(QWidget* parent = nullptr);

signals:
    void loadSetPoint(QString);
    void notgonnaload();
};
