#include "keymodedlg.h"

#include "formlayout.h"
#include "keyedit.h"
#include "stringtable.h"
#include "ui_keymodedlg.h"

#include <QCheckBox>
#include <QPushButton>

#include <array>

namespace {
const std::array<Quilo::FormText, 3> kTexts{{
    {"button1", Str::StateOk},
    {"check1017", Str::LblSwKeyMode},
    {"labelKey", Str::LblKeyGroup},
}};
} // namespace

CKeyModeDlg::CKeyModeDlg(QWidget *parent) : QDialog(parent), m_ui(std::make_unique<Ui::CKeyModeForm>())
{
    m_ui->setupUi(this);
    Quilo::setFormTexts(this, kTexts);
    Quilo::mapDialogUnits(this);
    setWindowTitle(LoadString(Str::LblKeyModeTitle));
    setFixedSize(size());
    Quilo::setUpDialogKeyEdit(*m_ui->edit1016);
    m_ui->edit1016->SetUpperCase(true);
    connect(m_ui->button1, &QPushButton::clicked, this, &CKeyModeDlg::accept);
    connect(m_ui->check1017, &QCheckBox::clicked, this, &CKeyModeDlg::OnSWKeyMode);
}

CKeyModeDlg::~CKeyModeDlg() = default;

CKeyEdit &CKeyModeDlg::keyEdit() const
{
    return *m_ui->edit1016;
}

QCheckBox *CKeyModeDlg::modeBox() const
{
    return m_ui->check1017;
}

int CKeyModeDlg::DoModal()
{
    OnInitDialog();
    return exec();
}

void CKeyModeDlg::OnInitDialog()
{
    UpdateData(false);
    updateReadOnly();
    m_ui->button1->setFocus();
}

void CKeyModeDlg::UpdateData(bool save)
{
    if (save) {
        // the key the box edits, not its momentary text
        m_strKey = m_ui->edit1016->key();
        m_bSWKeyMode = m_ui->check1017->isChecked();
    } else {
        // typing edits the key shown, not the template behind it
        m_ui->edit1016->SetKeyText(m_strKey);
        m_ui->edit1016->setCursorPosition(0); // typing starts at the first digit
        m_ui->check1017->setChecked(m_bSWKeyMode);
    }
}

void CKeyModeDlg::OnSWKeyMode()
{
    UpdateData(true);
    updateReadOnly();
}

void CKeyModeDlg::updateReadOnly()
{
    m_ui->edit1016->setReadOnly(!m_bSWKeyMode);
}

void CKeyModeDlg::accept()
{
    UpdateData(true);
    QDialog::accept();
}
