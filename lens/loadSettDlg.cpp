#include "lens/loadSettDlg.h"

#include "app/FormBuilder.h"
#include "base/SettingsStore.h"
#include "lens/ProfileText.h"

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>

loadSettDlg::loadSettDlg(QWidget* parent)
    : QDialog(parent)
    , m_profiles(SettingsStore::openProfiles(this))
{
    setObjectName(QStringLiteral("loadSettingsDialog"));
    setWindowTitle(tr("Load Settings"));
    resize(220, 71);

    comboBox = makeChild<QComboBox>(this, "comboBox", QRect(10, 10, 91, 22));
    loadButton = makeChild<QPushButton>(this, "loadButton", QRect(105, 10, 107, 23), tr("Load"));
    pushButton = makeChild<QPushButton>(this, "pushButton", QRect(159, 40, 53, 23), tr("Delete"));
    label = makeChild<QLabel>(this, "label", QRect(15, 44, 84, 16));
    QFont small;
    small.setPointSize(6);
    small.setBold(true);
    label->setFont(small);

    connect(loadButton, &QPushButton::clicked, this, &loadSettDlg::loadSelected);
    connect(pushButton, &QPushButton::clicked, this, &loadSettDlg::deleteSelected);
    connect(comboBox, &QComboBox::currentTextChanged, this, &loadSettDlg::profileChanged);
}

void loadSettDlg::refresh()
{
    // The window saves profiles through a store object of its own.
    m_profiles->sync();
    const QSignalBlocker quiet(comboBox);
    comboBox->clear();
    for (const QString& key : m_profiles->childKeys())
        comboBox->addItem(ProfileText::nameForKey(key));
    updateButtons();
}

void loadSettDlg::updateButtons()
{
    const bool any = comboBox->count() > 0;
    loadButton->setEnabled(any);
    pushButton->setEnabled(any);
}

void loadSettDlg::profileChanged(QString name)
{
    if (name.isEmpty()) {
        label->clear();
        return;
    }
    label->setText(ProfileText::describe(ProfileText::storedValue(*m_profiles, name)));
}

void loadSettDlg::loadSelected() { emit loadSetPoint(comboBox->currentText()); }

void loadSettDlg::deleteSelected()
{
    const QString name = comboBox->currentText();
    QMessageBox question(QMessageBox::Question, QString(),
                         tr("Are you sure you want to delete settings <b>%1</b>?").arg(name.toHtmlEscaped()),
                         QMessageBox::Yes | QMessageBox::No);
    question.setDefaultButton(QMessageBox::No);
    question.setWindowModality(Qt::WindowModal);
    if (question.exec() != QMessageBox::Yes)
        return;
    m_profiles->remove(ProfileText::keyForName(name));
    m_profiles->sync();
    comboBox->removeItem(comboBox->currentIndex());
    updateButtons();
}

void loadSettDlg::reject()
{
    QDialog::reject();
    emit notgonnaload();
}
