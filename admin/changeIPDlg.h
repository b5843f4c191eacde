#pragma once

#include <QDialog>

// The controller's current address, mask and gateway next to fields for new
// ones, with a gateway guess. Created once by the main window; closing only
// hides it.
class changeIPDlg : public QDialog
{
    Q_OBJECT

public:
    explicit changeIPDlg(QWidget* parent = nullptr);

    void setCurrentAddress(const QString& address) { m_currentAddress = address; }
    void setCurrentMask(const QString& mask) { m_currentMask = mask; }
    void setCurrentGateway(const QString& gateway) { m_currentGateway = gateway; }
    void showCurrentSettings();

signals:
    void newIPSettings(QString, QString, QString);

private:
    QString m_currentAddress = QStringLiteral("n/a");
    QString m_currentMask = QStringLiteral("n/a");
    QString m_currentGateway = QStringLiteral("n/a");
};
