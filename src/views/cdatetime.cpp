#include "cdatetime.h"

#include "fields.h"
#include "formlayout.h"
#include "messagebox.h"
#include "recordstate.h"
#include "statustext.h"
#include "stringtable.h"
#include "tarveldoc.h"
#include "ui_cdatetime.h"
#include "unitclock.h"

#include <QLabel>
#include <QLocale>

namespace {

// The unit counts its years from 2000 in two digits; the day before stands for "no value".
const QDate kFirstDate(2000, 1, 1);
const QDate kLastDate(2099, 12, 31);
const QDate kNoDate(1999, 12, 31);

const std::array<Quilo::FormText, 2> kTexts{{
    {"group1008", Str::LblDateTimeGroup},
    {"button1009", Str::LblSetFromPc},
}};

QString shortDateFormat()
{
    // the short format of most locales has a two-digit year, which would not say the century
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

} // namespace

CCDateTime::CCDateTime(CTarvelDoc &doc, QWidget *parent)
    : QWidget(parent), m_doc(doc), m_ui(std::make_unique<Ui::CCDateTimeForm>())
{
    m_ui->setupUi(this);
    Quilo::setFormTexts(this, kTexts);
    Quilo::mapDialogUnits(this);
    m_pState = Quilo::addStateLine(this);
    Quilo::takeClickFocus(this);
    m_ui->date1007->setDisplayFormat(shortDateFormat());
    // a year outside these would reach the unit as another year
    m_ui->date1007->setDateRange(kNoDate, kLastDate);
    m_ui->date1007->setSpecialValueText(QStringLiteral(" "));
    connect(m_ui->button1009, &QPushButton::clicked, this, &CCDateTime::OnSetFromPC);
    connect(m_ui->date1007, &QDateEdit::dateChanged, this, &CCDateTime::OnEdited);
    connect(m_ui->time1006, &QTimeEdit::timeChanged, this, &CCDateTime::OnEdited);
    ClearPickers();
}

CCDateTime::~CCDateTime() = default;

QDateEdit *CCDateTime::datePicker() const
{
    return m_ui->date1007;
}

QTimeEdit *CCDateTime::timePicker() const
{
    return m_ui->time1006;
}

void CCDateTime::OnInitialUpdate()
{
    m_ui->time1006->setDisplayFormat(QStringLiteral("HH:mm"));
    connect(&m_doc, &CTarvelDoc::recordsChanged, this, [this](int dataSet) {
        if (dataSet == CTarvelDoc::dsDateTime)
            ShowClock();
    });
    connect(&m_doc, &CTarvelDoc::writeFinished, this, &CCDateTime::OnWriteFinished);
    Refresh();
}

bool CCDateTime::answersCommand(unsigned command) const
{
    return command == Str::CmdLoad || (command == Str::CmdWrite && m_bHasValue);
}

void CCDateTime::onCommand(unsigned command)
{
    if (command == Str::CmdLoad)
        Refresh();
    else if (command == Str::CmdWrite)
        OnWrite();
}

void CCDateTime::Refresh()
{
    ShowClock();
    m_doc.StartRead(Quilo::ReadRequest::Set(Quilo::dsDateTime));
}

void CCDateTime::SetPickers(QDate date, QTime time)
{
    m_bSetting = true;
    m_ui->date1007->setDate(date);
    m_ui->time1006->setTime(QTime(time.hour(), time.minute()));
    m_bSetting = false;
    m_bHasValue = true;
    commandsChanged();
}

void CCDateTime::ClearPickers()
{
    m_bSetting = true;
    m_ui->date1007->setDate(kNoDate);
    m_ui->time1006->setTime(QTime(0, 0));
    m_bSetting = false;
    m_bHasValue = false;
    commandsChanged();
}

void CCDateTime::OnEdited()
{
    if (m_bSetting)
        return;
    m_bHasValue = m_ui->date1007->date() >= kFirstDate;
    commandsChanged();
}

void CCDateTime::ShowClock()
{
    const CDateTimeField clock = m_doc.ReadOut().Clock();
    QString state;
    switch (clock.State()) {
    case RecordStatus::State::NotRead: state = LoadString(Str::ClockNotRead); break;
    case RecordStatus::State::Read: {
        // a plain date and time: no zone, so no daylight-saving hour moves it
        const QDateTime value = Quilo::UnitClockToDateTime(Quilo::ClockBytesOf(clock));
        if (value.isValid()) {
            SetPickers(value.date(), value.time());
        } else {
            const Quilo::ClockBytes bytes = Quilo::ClockBytesOf(clock);
            const QByteArray raw(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size()));
            state = LoadString(Str::ClockInvalid).arg(clock.GetText(), QString::fromLatin1(raw.toHex(' ').toUpper()));
        }
        break;
    }
    default: state = LoadString(Str::ClockFailed).arg(Quilo::StatusText(clock.m_nStatus)); break;
    }
    // what the pickers held stays for writing only when the user or the PC put it there
    if (!state.isEmpty() && !m_bHasValue)
        ClearPickers();
    Quilo::setStateLine(m_pState, state);
}

void CCDateTime::OnSetFromPC()
{
    const QDateTime now = QDateTime::currentDateTime();
    SetPickers(now.date(), now.time());
}

void CCDateTime::OnWrite()
{
    Quilo::ClockBytes bytes{};
    const bool ok = m_bHasValue && Quilo::DateTimeToUnitClock(m_ui->date1007->date(), m_ui->time1006->time(), bytes)
                    && m_doc.StartWriteDateTime(bytes);
    if (ok)
        m_bWriting = true;
    else
        ShowWriteError();
}

void CCDateTime::ShowWriteError()
{
    Quilo::MessageRequest box;
    box.icon = QMessageBox::Warning;
    box.text = LoadString(Str::WriteError);
    box.caption = LoadString(Str::AppTitle);
    Quilo::messageBox(this, box);
}

void CCDateTime::OnWriteFinished(const COperationSummary &, bool holdsNew)
{
    if (!m_bWriting)
        return;
    m_bWriting = false;
    // the status bar says what the unit holds; the box is for a clock that was not set
    if (!holdsNew)
        ShowWriteError();
}
