#pragma once
// How the views show a record that does not hold the unit's value: never its made-up zeros,
// but why it is missing, in words.

#include <QString>

#include <cstddef>

class CDataField;
class QLabel;
class QWidget;
struct CRecordMeta;

namespace Quilo {

// Empty when the record holds what the unit sent (or took); otherwise the reason, in the
// words of a list cell: "not read", "bad checksum", "key refused".
QString missingText(const CDataField &record);

// One sentence for a form: why its boxes are empty, or which fields did not come; empty
// when the record is whole.
QString formStateText(const CDataField &record, const CRecordMeta *meta);

// A line under a form's contents for formStateText(); hidden while it has nothing to say.
QLabel *addStateLine(QWidget *form);
void setStateLine(QLabel *line, const QString &text);

// Lets a click on the view's background make it the active view, as a click in a box does.
void takeClickFocus(QWidget *view);

} // namespace Quilo
