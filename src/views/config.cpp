#include "config.h"

#include "datasettable.h"
#include "formlayout.h"
#include "messagebox.h"
#include "recordstate.h"
#include "records.h"
#include "stringtable.h"
#include "tarveldoc.h"
#include "ui_config.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>

#include <algorithm>
#include <array>

namespace {

using Quilo::ConfigBox;

const std::array<ConfigBox, 18> kBoxes{{
    {"edit1024", "label1033"},
    {"edit1025", "label1034"},
    {"edit1026", "label1035"},
    {"edit1039", "label1057"},
    {"edit1040", "label1058"},
    {"edit1041", "label1059"},
    {"edit1042", "label1060"},
    {"edit1043", "label1061"},
    {"edit1044", "label1062"},
    {"edit1045", "label1063"},
    {"edit1030", "label1037"},
    {"edit1031", "label1038"},
    {"edit1032", "label1050"},
    {"edit1046", "label1052"},
    {"edit1047", "label1053"},
    {"edit1048", "label1054"},
    {"edit1049", "label1055"},
    {"edit1028", "group1064"},
}};
static_assert(kBoxes.size() == Quilo::kConfigChunks);

const std::array<Quilo::FormText, 4> kGroupTexts{{
    {"group1029", Str::LblGrpManufacturing},
    {"group1036", Str::LblGrpOrganizer},
    {"group1056", Str::LblGrpOmh},
    {"group1051", Str::LblGrpCounterValues},
}};

} // namespace

namespace Quilo {

std::span<const ConfigBox> configBoxes()
{
    return kBoxes;
}

void setConfigFormTexts(QWidget *form)
{
    setFormTexts(form, kGroupTexts);
    const std::span<const ConfigFieldInfo> fields = ConfigFields();
    for (std::size_t i = 0; i < kBoxes.size(); ++i) {
        const FormText label{kBoxes[i].label, fields[i].label};
        setFormTexts(form, {&label, 1});
        if (!fields[i].text)
            continue;
        // a text box takes no more characters than the unit's field has bytes
        const int maxChars = static_cast<int>(kChunkLengths[i]);
        if (auto *line = form->findChild<QLineEdit *>(QLatin1String(kBoxes[i].box)))
            line->setMaxLength(maxChars);
        else if (auto *text = form->findChild<QPlainTextEdit *>(QLatin1String(kBoxes[i].box)))
            limitPlainText(text, maxChars);
    }
}

void showConfig(QWidget *form, const CConfigRecord &record, bool holds, const CRecordMeta *meta)
{
    const auto fields = CConfigRecord::FieldsOf(record);
    const QList<int> failed = meta && holds ? meta->failedChunks() : QList<int>();
    for (std::size_t i = 0; i < kBoxes.size(); ++i) {
        const bool shown = holds && !failed.contains(static_cast<int>(i));
        const QString text = shown ? fields[i]->GetText() : QString();
        if (auto *line = form->findChild<QLineEdit *>(QLatin1String(kBoxes[i].box)))
            line->setText(text);
        else if (auto *plain = form->findChild<QPlainTextEdit *>(QLatin1String(kBoxes[i].box)))
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
    m_pState = Quilo::addStateLine(m_pForm);
    Quilo::takeClickFocus(this);
    Quilo::takeClickFocus(m_pForm);
    setWidget(m_pForm);
    setWidgetResizable(false);
    setFrameShape(QFrame::NoFrame);
}

CConfig::~CConfig() = default;

void CConfig::OnInitialUpdate()
{
    connect(&m_doc, &CTarvelDoc::recordsChanged, this, [this](int dataSet) {
        if (dataSet == CTarvelDoc::dsConfig)
            Show();
    });
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
    Show();
    m_doc.StartRead(Quilo::ReadRequest::Set(Quilo::dsConfig), reload);
}

void CConfig::Show()
{
    const CRecordMeta *meta = m_doc.Meta(CTarvelDoc::dsConfig, 0);
    const CConfigRecord config = m_doc.ReadOut().Decoded<Quilo::dsConfig>(0);
    Quilo::showConfig(m_pForm, config, config.HoldsUnitValue(), meta);
    Quilo::setStateLine(m_pState, Quilo::formStateText(config, meta));
}

void CConfig::OnWrite()
{
    Quilo::MessageRequest box;
    box.text = LoadString(Str::NotSupported);
    box.caption = LoadString(Str::VersionError);
    Quilo::messageBox(this, box);
}
