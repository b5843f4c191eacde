#include "lens/loadSettDlg.h"

loadSettDlg::loadSettDlg(QWidget* parent)
    : QDialog(parent)
{
}
