#include "records.h"

// Each Parse lists the fields in wire order; each GetColumnText lists them by column number.

const std::uint8_t *CKeyLogRecord::Parse(const std::uint8_t *p)
{
    p = m_key.Parse(p);
    p = m_start.Parse(p);
    return m_end.Parse(p);
}

QString CKeyLogRecord::GetColumnText(int column) const
{
    switch (column) {
    case 0: return m_key.GetText();
    case 1: return m_start.GetText();
    case 2: return m_end.GetText();
    default: return GetText();
    }
}

const std::uint8_t *CDateLogRecord::Parse(const std::uint8_t *p)
{
    p = m_oldDate.Parse(p);
    return m_newDate.Parse(p);
}

QString CDateLogRecord::GetColumnText(int column) const
{
    switch (column) {
    case 0: return m_oldDate.GetText();
    case 1: return m_newDate.GetText();
    default: return GetText();
    }
}

const std::uint8_t *CDailyRecord::Parse(const std::uint8_t *p)
{
    p = m_date.Parse(p);
    p = m_cashIn.Parse(p);
    p = m_cashOut.Parse(p);
    p = m_stake.Parse(p);
    p = m_win.Parse(p);
    p = m_winMax.Parse(p);
    return m_winMaxTime.Parse(p);
}

QString CDailyRecord::GetColumnText(int column) const
{
    switch (column) {
    case 0: return m_date.GetText();
    case 1: return m_cashIn.GetText();
    case 2: return m_cashOut.GetText();
    case 3: return m_stake.GetText();
    case 4: return m_win.GetText();
    case 5: return m_winMax.GetText();
    case 6: return m_winMaxTime.GetText();
    default: return GetText();
    }
}

const std::uint8_t *CPeriodRecord::Parse(const std::uint8_t *p)
{
    p = m_date.Parse(p);
    p = m_cashIn.Parse(p);
    p = m_cashOut.Parse(p);
    p = m_stake.Parse(p);
    return m_win.Parse(p);
}

QString CPeriodRecord::GetColumnText(int column) const
{
    switch (column) {
    case 0: return m_date.GetText();
    case 1: return m_cashIn.GetText();
    case 2: return m_cashOut.GetText();
    case 3: return m_stake.GetText();
    case 4: return m_win.GetText();
    default: return GetText();
    }
}

const std::uint8_t *CYearlyRecord::Parse(const std::uint8_t *p)
{
    p = m_year.Parse(p);
    p = m_cashIn.Parse(p);
    p = m_cashOut.Parse(p);
    p = m_stake.Parse(p);
    return m_win.Parse(p);
}

QString CYearlyRecord::GetColumnText(int column) const
{
    switch (column) {
    case 0: return m_year.GetText();
    case 1: return m_cashIn.GetText();
    case 2: return m_cashOut.GetText();
    case 3: return m_stake.GetText();
    case 4: return m_win.GetText();
    default: return GetText();
    }
}

const std::uint8_t *CCountersRecord::Parse(const std::uint8_t *p)
{
    p = m_cashIn.Parse(p);
    p = m_cashOut.Parse(p);
    p = m_stake.Parse(p);
    p = m_win.Parse(p);
    p = m_winMax.Parse(p);
    p = m_winMaxTime.Parse(p);
    return m_games.Parse(p);
}

QString CCountersRecord::GetColumnText(int column) const
{
    switch (column) {
    case 0: return m_cashIn.GetText();
    case 1: return m_cashOut.GetText();
    case 2: return m_stake.GetText();
    case 3: return m_win.GetText();
    case 4: return m_winMax.GetText();
    case 5: return m_winMaxTime.GetText();
    case 6: return m_games.GetText();
    default: return GetText();
    }
}

const std::uint8_t *CConfigRecord::Parse(const std::uint8_t *p)
{
    for (CTextField *text : {&m_type, &m_mfgNo, &m_mfgDate, &m_licenceNo, &m_licenceExpiry, &m_cardMfgNo,
                             &m_omhId, &m_certCode, &m_certDate, &m_labCode, &m_certificateNo, &m_name, &m_address})
        p = text->Parse(p);
    p = m_counterStep.Parse(p);
    p = m_initialIn.Parse(p);
    p = m_initialOut.Parse(p);
    p = m_initialStake.Parse(p);
    return m_note.Parse(p);
}

const std::uint8_t *CConfEventRecord::Parse(const std::uint8_t *p)
{
    p = m_config.Parse(p);
    p = m_in.Parse(p);
    p = m_out.Parse(p);
    p = m_stake.Parse(p);
    p = m_win.Parse(p);
    p = m_games.Parse(p);
    return m_changeTime.Parse(p);
}
