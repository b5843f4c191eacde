#include "admin/changeIPDlg.h"

changeIPDlg::changeIPDlg(QWidget* parent)
    : QDialog(parent)
{
}

void changeIPDlg::showCurrentSettings() {}
