#pragma once
// The unit's current configuration: manufacturing, game organizer and certification data,
// counter settings and a note. The boxes can be typed in, but nothing is written back.

#include "quiloview.h"

#include <QScrollArea>

#include <memory>
#include <span>

class CConfigRecord;
class CDataField;
class CTarvelDoc;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
namespace Ui {
class CConfigForm;
}

struct CRecordMeta;

namespace Quilo {

// Where the form shows each of the configuration's eighteen fields, in wire order (the labels
// and widths come from the data-set table).
struct ConfigBox {
    const char *box;     // object name of the edit box
    const char *label;   // object name of its label or group box
};

std::span<const ConfigBox> configBoxes();
// Texts of the configuration form's labels and group boxes, and the boxes' lengths.
void setConfigFormTexts(QWidget *form);
// Shows the record's eighteen fields in the form's boxes; a record not read (`holds` false)
// shows none, and a field whose chunk did not come shows empty. A configuration event's
// status is the event's, not its configuration part's.
void showConfig(QWidget *form, const CConfigRecord &record, bool holds, const CRecordMeta *meta);
// Keeps a multi-line box at `maxChars` characters, as a line edit's maximum length would.
void limitPlainText(QPlainTextEdit *edit, int maxChars);

} // namespace Quilo

class CConfig : public QScrollArea, public Quilo::View
{
    Q_OBJECT
public:
    CConfig(CTarvelDoc &doc, QWidget *parent);
    ~CConfig() override;

    QWidget *widget() override { return this; }
    void OnInitialUpdate() override;
    bool answersCommand(unsigned command) const override;
    void onCommand(unsigned command) override;

    void Refresh(bool reload);
    void OnWrite();

    QWidget *form() const { return m_pForm; }
    QLabel *stateLine() const { return m_pState; }

private:
    void Show();

    CTarvelDoc &m_doc;
    std::unique_ptr<Ui::CConfigForm> m_ui;
    QWidget *m_pForm;
    QLabel *m_pState = nullptr;
};
