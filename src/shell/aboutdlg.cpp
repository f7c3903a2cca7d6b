#include "aboutdlg.h"

#include "stringtable.h"
#include "ui_aboutdlg.h"

#include <QIcon>

CAboutDlg::CAboutDlg(QWidget *parent) : QDialog(parent), m_ui(std::make_unique<Ui::CAboutDlg>())
{
    m_ui->setupUi(this);
    setWindowTitle(LoadString(Str::AboutCaption));
    m_ui->icon->setPixmap(QIcon(QStringLiteral(":/icons/quilo-readout.svg")).pixmap(32, 32));
    m_ui->version->setText(LoadString(Str::AboutVersion));
    m_ui->notice->setText(LoadString(Str::AboutNotice));
    m_ui->ok->setText(LoadString(Str::AboutOk));
    setFixedSize(sizeHint());
}

CAboutDlg::~CAboutDlg() = default;

QString CAboutDlg::versionText() const
{
    return m_ui->version->text();
}

QString CAboutDlg::noticeText() const
{
    return m_ui->notice->text();
}

bool CAboutDlg::hasIcon() const
{
    return !m_ui->icon->pixmap().isNull();
}
