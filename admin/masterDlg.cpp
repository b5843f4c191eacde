#include "admin/masterDlg.h"

masterDlg::masterDlg(const QString& controllerIP, QUdpSocket* commandSocket, QWidget* parent)
    : QDialog(parent)
    , controllerIP(controllerIP)
    , commandSocket(commandSocket)
{
}

void masterDlg::queryIdentity() {}
void masterDlg::refreshFields() {}
