#include "cdatetime.h"

#include "fields.h"
#include "formlayout.h"
#include "messagebox.h"
#include "stringtable.h"
#include "tarveldoc.h"
#include "ui_cdatetime.h"

#include <QLocale>

namespace {

// The unit counts its years from 2000 in two digits.
const QDate kFirstDate(2000, 1, 1);
const QDate kLastDate(2099, 12, 31);

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

namespace Quilo {

QDateTime unitClockToDateTime(const std::array<std::uint8_t, 5> &bcd)
{
    const int year = BcdToBin(bcd[0]);
    const int month = BcdToBin(bcd[1]);
    const int day = BcdToBin(bcd[2]);
    const int hour = BcdToBin(bcd[3]);
    const int minute = BcdToBin(bcd[4]);
    const QDate date = QDate(2000 + year, 1, 1).addMonths(month - 1).addDays(day - 1);
    return QDateTime(date, QTime(0, 0)).addSecs(static_cast<qint64>(hour) * 3600 + minute * 60);
}

bool dateTimeToUnitClock(QDate date, QTime time, std::array<std::uint8_t, 5> &bcd)
{
    if (!date.isValid() || !time.isValid() || date < kFirstDate || date > kLastDate)
        return false;
    bcd = {BinToBcd(date.year() - 2000), BinToBcd(date.month()), BinToBcd(date.day()), BinToBcd(time.hour()),
           BinToBcd(time.minute())};
    return true;
}

} // namespace Quilo

CCDateTime::CCDateTime(CTarvelDoc &doc, QWidget *parent)
    : QWidget(parent), m_doc(doc), m_ui(std::make_unique<Ui::CCDateTimeForm>())
{
    m_ui->setupUi(this);
    Quilo::setFormTexts(this, kTexts);
    Quilo::mapDialogUnits(this);
    m_ui->date1007->setDisplayFormat(shortDateFormat());
    // a year outside these would reach the unit as another year
    m_ui->date1007->setDateRange(kFirstDate, kLastDate);
    connect(m_ui->button1009, &QPushButton::clicked, this, &CCDateTime::OnSetFromPC);
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
    Refresh();
}

bool CCDateTime::answersCommand(unsigned command) const
{
    return command == Str::CmdLoad || command == Str::CmdWrite;
}

void CCDateTime::onCommand(unsigned command)
{
    if (command == Str::CmdLoad)
        Refresh();
    else if (command == Str::CmdWrite)
        OnWrite();
}

void CCDateTime::UpdateData(bool save)
{
    if (save) {
        m_dateValue = QDateTime(m_ui->date1007->date(), QTime(0, 0));
        m_timeValue = QDateTime(m_dateValue.date(), m_ui->time1006->time());
    } else {
        m_ui->date1007->setDate(m_dateValue.date());
        m_ui->time1006->setTime(m_timeValue.time());
    }
}

void CCDateTime::Refresh()
{
    m_doc.m_nDataSet = CTarvelDoc::dsDateTime;
    m_doc.ReadDataSet();
    const CDateTimeField &clock = m_doc.m_dateTime;
    const QDateTime value = Quilo::unitClockToDateTime({clock.m_date.m_year.m_nValue, clock.m_date.m_month.m_nValue,
                                                        clock.m_date.m_day.m_nValue, clock.m_time.m_first.m_nValue,
                                                        clock.m_time.m_second.m_nValue});
    m_timeValue = value;
    m_dateValue = value;
    UpdateData(false);
}

void CCDateTime::OnSetFromPC()
{
    const QDateTime now = QDateTime::currentDateTime();
    m_timeValue = now;
    m_dateValue = now;
    UpdateData(false);
}

void CCDateTime::OnWrite()
{
    UpdateData(true);
    std::array<std::uint8_t, 5> bytes{};
    const bool ok = Quilo::dateTimeToUnitClock(m_dateValue.date(), m_timeValue.time(), bytes)
                    && m_doc.WriteDateTime(bytes.data());
    if (!ok) {
        Quilo::MessageRequest box;
        box.icon = QMessageBox::Warning;
        box.text = LoadString(Str::WriteError);
        box.caption = LoadString(Str::AppTitle);
        Quilo::messageBox(this, box);
    }
}
