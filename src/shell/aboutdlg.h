#pragma once
// The About box: the main icon, the program's name with its version, and a second line.

#include <QDialog>

#include <memory>

namespace Ui {
class CAboutDlg;
}

class CAboutDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget *parent = nullptr);
    ~CAboutDlg() override;

    QString versionText() const;
    QString noticeText() const;
    bool hasIcon() const;

private:
    std::unique_ptr<Ui::CAboutDlg> m_ui;
};
