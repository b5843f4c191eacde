#include "admin/changeIPDlg.h"

#include "admin/GatewayGuess.h"
#include "app/FormBuilder.h"
#include "link/DottedQuad.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QLineEdit* makeCurrentValueField(QWidget* parent, const char* objectName, const QRect& geometry)
{
    auto* field = makeChild<QLineEdit>(parent, objectName, geometry);
    field->setEnabled(false);
    field->setReadOnly(true);
    return field;
}
} // namespace

changeIPDlg::changeIPDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("changeIPDialog"));
    setWindowTitle(tr("Change IP Settings"));
    resize(455, 118);
    setMinimumSize(455, 103);

    // Created bottom to top: the two address fields and the new-address field
    // belong to the dialog and lie over the group boxes.
    groupBox_2 = makeChild<QGroupBox>(this, "groupBox_2", QRect(190, 10, 171, 101), tr("New IP Settings"));
    label_5 = makeChild<QLabel>(groupBox_2, "label_5", QRect(10, 21, 21, 16), tr("IP:"));
    label_6 = makeChild<QLabel>(groupBox_2, "label_6", QRect(10, 46, 31, 16), tr("Mask:"));
    label_7 = makeChild<QLabel>(groupBox_2, "label_7", QRect(11, 70, 31, 16), tr("GW:"));
    newMASK = makeChild<QLineEdit>(groupBox_2, "newMASK", QRect(50, 45, 113, 20), QStringLiteral("255.255.255."));
    newMASK->setStyleSheet(FieldStyle::Invalid);
    newGW = makeChild<QLineEdit>(groupBox_2, "newGW", QRect(50, 70, 113, 20));

    groupBox = makeChild<QGroupBox>(this, "groupBox", QRect(10, 10, 171, 101), tr("Current IP Settings"));
    groupBox->setEnabled(false);
    label = makeChild<QLabel>(groupBox, "label", QRect(10, 21, 21, 16), tr("IP:"));
    label_2 = makeChild<QLabel>(groupBox, "label_2", QRect(10, 46, 31, 16), tr("Mask:"));
    label_3 = makeChild<QLabel>(groupBox, "label_3", QRect(10, 70, 31, 16), tr("GW:"));
    lineEdit_3 = makeCurrentValueField(groupBox, "lineEdit_3", QRect(49, 70, 113, 20));

    lineEdit = makeCurrentValueField(this, "lineEdit", QRect(59, 30, 113, 20));
    lineEdit_2 = makeCurrentValueField(this, "lineEdit_2", QRect(59, 55, 113, 20));
    newIP = makeChild<QLineEdit>(this, "newIP", QRect(240, 30, 113, 20), QStringLiteral("192.168."));
    newIP->setStyleSheet(FieldStyle::Invalid);

    applyButton = makeChild<QPushButton>(this, "applyButton", QRect(370, 16, 75, 36), tr("Apply"));
    applyButton->setEnabled(false);
    cancelButton = makeChild<QPushButton>(this, "cancelButton", QRect(370, 56, 75, 31), tr("Cancel"));

    connect(applyButton, &QPushButton::clicked, this, &changeIPDlg::setIP);
    connect(cancelButton, &QPushButton::clicked, this, &changeIPDlg::cancelIP);
    connect(newIP, &QLineEdit::textChanged, this, &changeIPDlg::editIP);
    connect(newMASK, &QLineEdit::textChanged, this, &changeIPDlg::editMASK);
}

void changeIPDlg::showCurrentSettings()
{
    lineEdit->setText(m_currentAddress);
    lineEdit_2->setText(m_currentMask);
    lineEdit_3->setText(m_currentGateway);
}

void changeIPDlg::setIP()
{
    hide();
    // The controller is given each address in its one written form (see
    // DottedQuad); a gateway that is no dotted quad is sent as it stands.
    emit newIPSettings(DottedQuad::canonical(newIP->text()), DottedQuad::canonical(newMASK->text()),
                       DottedQuad::canonical(newGW->text()));
}

void changeIPDlg::cancelIP() { hide(); }

void changeIPDlg::editIP(QString text)
{
    m_addressValid = DottedQuad::isValid(text);
    markField(newIP, m_addressValid);
}

void changeIPDlg::editMASK(QString text)
{
    // Any dotted quad passes as a mask: the controller takes what it is given.
    m_maskValid = DottedQuad::isValid(text);
    markField(newMASK, m_maskValid);
}

void changeIPDlg::markField(QLineEdit* field, bool valid)
{
    field->setStyleSheet(FieldStyle::of(valid));
    if (valid)
        guessGateway();
    else
        applyButton->setEnabled(false);
}

// A fresh guess replaces whatever the gateway field holds; the field itself
// is not checked and is sent as it stands.
void changeIPDlg::guessGateway()
{
    const bool complete = m_addressValid && m_maskValid;
    applyButton->setEnabled(complete);
    if (complete)
        newGW->setText(GatewayGuess::guess(newIP->text(), newMASK->text()));
}

void changeIPDlg::closeEvent(QCloseEvent* event)
{
    hide();
    event->accept();
}

void changeIPDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
