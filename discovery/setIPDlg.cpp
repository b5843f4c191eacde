#include "discovery/setIPDlg.h"

setIPDlg::setIPDlg(QWidget* parent)
    : QDialog(parent)
{
}
