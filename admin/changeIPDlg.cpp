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

QLabel* makeLabel(QWidget* parent, const char* objectName, const QString& text, const QRect& geometry)
{
    auto* label = makeChild<QLabel>(parent, objectName, geometry);
    label->setText(text);
    return label;
}

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
    groupBox_2 = makeChild<QGroupBox>(this, "groupBox_2", QRect(190, 10, 171, 101));
    groupBox_2->setTitle(tr("New IP Settings"));
    label_5 = makeLabel(groupBox_2, "label_5", tr("IP:"), QRect(10, 21, 21, 16));
    label_6 = makeLabel(groupBox_2, "label_6", tr("Mask:"), QRect(10, 46, 31, 16));
    label_7 = makeLabel(groupBox_2, "label_7", tr("GW:"), QRect(11, 70, 31, 16));
    newMASK = makeChild<QLineEdit>(groupBox_2, "newMASK", QRect(50, 45, 113, 20));
    newMASK->setText(QStringLiteral("255.255.255."));
    newMASK->setStyleSheet(FieldStyle::Invalid);
    newGW = makeChild<QLineEdit>(groupBox_2, "newGW", QRect(50, 70, 113, 20));

    groupBox = makeChild<QGroupBox>(this, "groupBox", QRect(10, 10, 171, 101));
    groupBox->setTitle(tr("Current IP Settings"));
    groupBox->setEnabled(false);
    label = makeLabel(groupBox, "label", tr("IP:"), QRect(10, 21, 21, 16));
    label_2 = makeLabel(groupBox, "label_2", tr("Mask:"), QRect(10, 46, 31, 16));
    label_3 = makeLabel(groupBox, "label_3", tr("GW:"), QRect(10, 70, 31, 16));
    lineEdit_3 = makeCurrentValueField(groupBox, "lineEdit_3", QRect(49, 70, 113, 20));

    lineEdit = makeCurrentValueField(this, "lineEdit", QRect(59, 30, 113, 20));
    lineEdit_2 = makeCurrentValueField(this, "lineEdit_2", QRect(59, 55, 113, 20));
    newIP = makeChild<QLineEdit>(this, "newIP", QRect(240, 30, 113, 20));
    newIP->setText(QStringLiteral("192.168."));
    newIP->setStyleSheet(FieldStyle::Invalid);

    applyButton = makeChild<QPushButton>(this, "applyButton", QRect(370, 16, 75, 36));
    applyButton->setText(tr("Apply"));
    applyButton->setEnabled(false);
    cancelButton = makeChild<QPushButton>(this, "cancelButton", QRect(370, 56, 75, 31));
    cancelButton->setText(tr("Cancel"));

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

void changeIPDlg::cancelIP()
{
    hide();
}

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
