#include "currentkey.h"

#include "formlayout.h"
#include "recordstate.h"
#include "stringtable.h"
#include "tarveldoc.h"
#include "ui_currentkey.h"

#include <QLabel>
#include <QResizeEvent>

#include <array>

namespace {
const std::array<Quilo::FormText, 1> kTexts{{{"group1029", Str::LblKeyGroup}}};
} // namespace

CCurrentKey::CCurrentKey(CTarvelDoc &doc, QWidget *parent)
    : QWidget(parent), m_doc(doc), m_ui(std::make_unique<Ui::CCurrentKeyForm>())
{
    m_ui->setupUi(this);
    Quilo::setFormTexts(this, kTexts);
    Quilo::mapDialogUnits(this);
    m_pState = Quilo::addStateLine(this);
    Quilo::takeClickFocus(this);
    // the form is small; the pane, not the form, decides the view's size
    setMinimumSize(0, 0);
}

CCurrentKey::~CCurrentKey() = default;

QLineEdit *CCurrentKey::keyBox() const
{
    return m_ui->edit1018;
}

QWidget *CCurrentKey::keyGroup() const
{
    return m_ui->group1029;
}

void CCurrentKey::OnInitialUpdate()
{
    connect(&m_doc, &CTarvelDoc::recordsChanged, this, [this](int dataSet) {
        if (dataSet == CTarvelDoc::dsCurrentKey)
            Show();
    });
    Refresh();
}

bool CCurrentKey::answersCommand(unsigned command) const
{
    return command == Str::CmdLoad;
}

void CCurrentKey::onCommand(unsigned command)
{
    if (command == Str::CmdLoad)
        Refresh();
}

void CCurrentKey::Refresh()
{
    Show();
    m_doc.StartRead(Quilo::ReadRequest::Set(Quilo::dsCurrentKey));
}

void CCurrentKey::Show()
{
    const CKeyField key = m_doc.ReadOut().Decoded<Quilo::dsCurrentKey>(0);
    m_ui->edit1018->setText(key.HoldsUnitValue() ? key.GetText() : QString());
    Quilo::setStateLine(m_pState, Quilo::formStateText(key, nullptr));
}

void CCurrentKey::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // the box and its frame each centred on its own width, at their own heights
    const int width = event->size().width();
    for (QWidget *w : {static_cast<QWidget *>(m_ui->edit1018), static_cast<QWidget *>(m_ui->group1029),
                       static_cast<QWidget *>(m_pState)})
        w->move((width - w->width()) / 2, w->y());
}
