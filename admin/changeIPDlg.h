#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The controller's current address, mask and gateway next to fields for new
// ones, with a gateway guess. Created once by the main window and kept for the
// whole run (it keeps what was typed); Apply, Cancel and the window's close
// control only hide it, and Escape is ignored so that a half-typed change is
// not lost by accident.
class changeIPDlg : public QDialog
{
    Q_OBJECT

public:
    explicit changeIPDlg(QWidget* parent = nullptr);

    // The controller's settings as its answers to "getIP", "getMASK" and
    // "getGW" report them (the reply handling calls these).
    void setCurrentAddress(const QString& address) { m_currentAddress = address; }
    void setCurrentMask(const QString& mask) { m_currentMask = mask; }
    void setCurrentGateway(const QString& gateway) { m_currentGateway = gateway; }
    void showCurrentSettings();

    bool isAddressValid() const { return m_addressValid; }
    bool isMaskValid() const { return m_maskValid; }

signals:
    // New address, mask and gateway, as typed but with every dotted quad in
    // its canonical form.
    void newIPSettings(QString, QString, QString);

public slots:
    void setIP();
    void cancelIP();
    void editIP(QString text);
    void editMASK(QString text);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void markField(QLineEdit* field, bool valid);
    void guessGateway();

public:
    // The widgets, named as their object names.
    QGroupBox* groupBox = nullptr;
    QLabel* label = nullptr;
    QLabel* label_2 = nullptr;
    QLabel* label_3 = nullptr;
    QLineEdit* lineEdit = nullptr;
    QLineEdit* lineEdit_2 = nullptr;
    QLineEdit* lineEdit_3 = nullptr;
    QGroupBox* groupBox_2 = nullptr;
    QLabel* label_5 = nullptr;
    QLabel* label_6 = nullptr;
    QLabel* label_7 = nullptr;
    QLineEdit* newIP = nullptr;
    QLineEdit* newMASK = nullptr;
    QLineEdit* newGW = nullptr;
    QPushButton* applyButton = nullptr;
    QPushButton* cancelButton = nullptr;

private:
    QString m_currentAddress = QStringLiteral("n/a");
    QString m_currentMask = QStringLiteral("n/a");
    QString m_currentGateway = QStringLiteral("n/a");
    bool m_addressValid = false;
    bool m_maskValid = false;
};
