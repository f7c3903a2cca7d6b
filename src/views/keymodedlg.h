#pragma once
// The "Key mode" dialog: the user key and whether key mode is on. The key box can be typed in
// only while "SW Key mode" is checked. There is no Cancel button; Escape cancels.

#include <QDialog>
#include <QString>

#include <memory>

class CKeyEdit;
class QCheckBox;
namespace Ui {
class CKeyModeForm;
}

class CKeyModeDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CKeyModeDlg(QWidget *parent = nullptr);
    ~CKeyModeDlg() override;

    // Shows the members, then runs the dialog.
    int DoModal();
    void OnInitDialog();
    void UpdateData(bool save);

    CKeyEdit &keyEdit() const;
    QCheckBox *modeBox() const;

    void accept() override; // OK: takes the boxes' values

    QString m_strKey;
    bool m_bSWKeyMode = false;

private:
    void OnSWKeyMode();
    void updateReadOnly();

    std::unique_ptr<Ui::CKeyModeForm> m_ui;
};
