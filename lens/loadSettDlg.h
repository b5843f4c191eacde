#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QSettings;

// The profile dialog: recall, describe and delete saved lens positions. It
// lives as long as the main window and is only shown and hidden; leaving it
// by its frame or by Escape means "not loading" (notgonnaload), choosing a
// profile emits loadSetPoint with its name.
class loadSettDlg : public QDialog
{
    Q_OBJECT

public:
    explicit loadSettDlg(QWidget* parent = nullptr);

    // Lists the stored profiles afresh; the description stays as it was.
    void refresh();

    // Named as their object names, public so that tests can drive them.
    QComboBox* comboBox = nullptr;
    QPushButton* loadButton = nullptr;
    QPushButton* pushButton = nullptr;
    QLabel* label = nullptr;

signals:
    void loadSetPoint(QString);
    void notgonnaload();

public slots:
    void loadSelected();
    void deleteSelected();
    void profileChanged(QString name);

    // Leaving without loading, by the window frame or by Escape: QDialog
    // turns both into a reject().
    void reject() override;

private:
    void updateButtons();

    QSettings* m_profiles = nullptr;
};
