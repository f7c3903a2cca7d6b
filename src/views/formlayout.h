#pragma once
// What the form views share: their .ui forms are drawn in dialog units and their texts come
// from the string table by object name.

#include <QRect>

#include <span>

class QLineEdit;
class QWidget;

namespace Quilo {

// Pixels per dialog unit for a font: a quarter of the average letter width across, an eighth
// of the line height down, so the forms keep their proportions with any font.
struct DialogUnits {
    double x = 1.5;
    double y = 1.625;
    QRect toPixels(const QRect &units) const;
};

DialogUnits dialogUnits(const QWidget *form);

// Converts the geometry of the form's direct children from dialog units to pixels and gives
// the form its template size as minimum size. Call once, after setupUi() and the texts.
void mapDialogUnits(QWidget *form);

// Makes a box wide enough for its text; never narrows it.
void widenToText(QLineEdit *edit);

struct FormText {
    const char *objectName;
    unsigned text; // string number
};

// Loads label, group box, button and window texts; names that are not found are skipped.
void setFormTexts(QWidget *form, std::span<const FormText> texts);

} // namespace Quilo
