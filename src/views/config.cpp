#include "config.h"

#include "formlayout.h"
#include "messagebox.h"
#include "records.h"
#include "stringtable.h"
#include "tarveldoc.h"
#include "ui_config.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>

#include <algorithm>
#include <array>

namespace {

using Quilo::ConfigFieldInfo;

template<auto Member>
const CDataField &fieldOf(const CConfigRecord &record)
{
    return record.*Member;
}

const std::array<ConfigFieldInfo, 18> kFields{{
    {"edit1024", "label1033", Str::LblCfgType, fieldOf<&CConfigRecord::m_type>, 16},
    {"edit1025", "label1034", Str::LblCfgMfgNo, fieldOf<&CConfigRecord::m_mfgNo>, 16},
    {"edit1026", "label1035", Str::LblCfgMfgDate, fieldOf<&CConfigRecord::m_mfgDate>, 16},
    {"edit1039", "label1057", Str::LblCfgLicenceNo, fieldOf<&CConfigRecord::m_licenceNo>, 16},
    {"edit1040", "label1058", Str::LblCfgLicenceExpiry, fieldOf<&CConfigRecord::m_licenceExpiry>, 16},
    {"edit1041", "label1059", Str::LblCfgCardMfgNo, fieldOf<&CConfigRecord::m_cardMfgNo>, 16},
    {"edit1042", "label1060", Str::LblCfgOmhId, fieldOf<&CConfigRecord::m_omhId>, 8},
    {"edit1043", "label1061", Str::LblCfgCertCode, fieldOf<&CConfigRecord::m_certCode>, 2},
    {"edit1044", "label1062", Str::LblCfgCertDate, fieldOf<&CConfigRecord::m_certDate>, 16},
    {"edit1045", "label1063", Str::LblCfgLabCode, fieldOf<&CConfigRecord::m_labCode>, 2},
    {"edit1030", "label1037", Str::LblCfgCertificateNo, fieldOf<&CConfigRecord::m_certificateNo>, 16},
    {"edit1031", "label1038", Str::LblCfgName, fieldOf<&CConfigRecord::m_name>, 64},
    {"edit1032", "label1050", Str::LblCfgAddress, fieldOf<&CConfigRecord::m_address>, 64},
    {"edit1046", "label1052", Str::LblCfgCounterStep, fieldOf<&CConfigRecord::m_counterStep>, 0},
    {"edit1047", "label1053", Str::LblCfgInitialIn, fieldOf<&CConfigRecord::m_initialIn>, 0},
    {"edit1048", "label1054", Str::LblCfgInitialOut, fieldOf<&CConfigRecord::m_initialOut>, 0},
    {"edit1049", "label1055", Str::LblCfgInitialStake, fieldOf<&CConfigRecord::m_initialStake>, 0},
    {"edit1028", "group1064", Str::LblCfgNote, fieldOf<&CConfigRecord::m_note>, 64},
}};

const std::array<Quilo::FormText, 4> kGroupTexts{{
    {"group1029", Str::LblGrpManufacturing},
    {"group1036", Str::LblGrpOrganizer},
    {"group1056", Str::LblGrpOmh},
    {"group1051", Str::LblGrpCounterValues},
}};

} // namespace

namespace Quilo {

std::span<const ConfigFieldInfo> configFields()
{
    return kFields;
}

void setConfigFormTexts(QWidget *form)
{
    setFormTexts(form, kGroupTexts);
    for (const ConfigFieldInfo &f : kFields) {
        const FormText label{f.label, f.text};
        setFormTexts(form, {&label, 1});
        if (f.maxChars == 0)
            continue;
        if (auto *line = form->findChild<QLineEdit *>(QLatin1String(f.box)))
            line->setMaxLength(f.maxChars);
        else if (auto *text = form->findChild<QPlainTextEdit *>(QLatin1String(f.box)))
            limitPlainText(text, f.maxChars);
    }
}

void showConfig(QWidget *form, const CConfigRecord &record)
{
    for (const ConfigFieldInfo &f : kFields) {
        const QString text = f.field(record).GetText();
        if (auto *line = form->findChild<QLineEdit *>(QLatin1String(f.box)))
            line->setText(text);
        else if (auto *plain = form->findChild<QPlainTextEdit *>(QLatin1String(f.box)))
            plain->setPlainText(text);
    }
}

void limitPlainText(QPlainTextEdit *edit, int maxChars)
{
    QObject::connect(edit, &QPlainTextEdit::textChanged, edit, [edit, maxChars] {
        const QString text = edit->toPlainText();
        if (text.size() <= maxChars)
            return;
        // what went past the limit is dropped where it was typed or pasted
        QTextCursor cursor = edit->textCursor();
        const int position = cursor.position();
        const int excess = static_cast<int>(text.size()) - maxChars;
        const int from = std::max(0, position - excess);
        cursor.setPosition(from);
        cursor.setPosition(from + excess, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        edit->setTextCursor(cursor);
    });
}

} // namespace Quilo

CConfig::CConfig(CTarvelDoc &doc, QWidget *parent)
    : QScrollArea(parent), m_doc(doc), m_ui(std::make_unique<Ui::CConfigForm>()), m_pForm(new QWidget)
{
    m_ui->setupUi(m_pForm);
    Quilo::setConfigFormTexts(m_pForm);
    Quilo::mapDialogUnits(m_pForm);
    setWidget(m_pForm);
    setWidgetResizable(false);
    setFrameShape(QFrame::NoFrame);
}

CConfig::~CConfig() = default;

void CConfig::OnInitialUpdate()
{
    Refresh(false);
}

bool CConfig::answersCommand(unsigned command) const
{
    return command == Str::CmdLoad || command == Str::CmdWrite;
}

void CConfig::onCommand(unsigned command)
{
    if (command == Str::CmdLoad)
        Refresh(true);
    else if (command == Str::CmdWrite)
        OnWrite();
}

void CConfig::Refresh(bool reload)
{
    m_doc.m_nDataSet = CTarvelDoc::dsConfig;
    if (reload)
        m_doc.m_config.m_nStatus = 0;
    m_doc.ReadDataSet();
    Quilo::showConfig(m_pForm, m_doc.m_config);
}

void CConfig::OnWrite()
{
    Quilo::MessageRequest box;
    box.text = LoadString(Str::NotSupported);
    box.caption = LoadString(Str::VersionError);
    Quilo::messageBox(this, box);
}
