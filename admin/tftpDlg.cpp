#include "admin/tftpDlg.h"

tftpDlg::tftpDlg(QWidget* parent)
    : QDialog(parent)
{
}

void tftpDlg::setCurrentIP(QString address)
{
    currentIP = address;
}
