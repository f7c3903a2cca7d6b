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
class QLineEdit;
class QPlainTextEdit;
namespace Ui {
class CConfigForm;
}

namespace Quilo {

// One of the eighteen configuration fields: its box, its label and how many characters fit.
struct ConfigFieldInfo {
    const char *box;     // object name of the edit box
    const char *label;   // object name of its label or group box
    unsigned text;       // the label's string
    const CDataField &(*field)(const CConfigRecord &record);
    int maxChars;        // 0: no limit
};

std::span<const ConfigFieldInfo> configFields();

// Texts of the configuration form's labels and group boxes.
void setConfigFormTexts(QWidget *form);
// Shows the record's eighteen fields in the form's boxes.
void showConfig(QWidget *form, const CConfigRecord &record);
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

private:
    CTarvelDoc &m_doc;
    std::unique_ptr<Ui::CConfigForm> m_ui;
    QWidget *m_pForm;
};
