#pragma once
// The start page: "wtarvel.rtf" (or the page in the language spoken, "wtarvel_hu.rtf") from the
// current directory, else from where the program is installed, formatted and read-only. It is
// read anew each time the page is shown.

#include "quiloview.h"

#include <QTextEdit>

class CTarvelDoc;

class CStartView : public QTextEdit, public Quilo::View
{
    Q_OBJECT
public:
    CStartView(CTarvelDoc &doc, QWidget *parent);

    QWidget *widget() override { return this; }
    void OnInitialUpdate() override;

    static QString fileName();   // the English page, as it is named in the current folder
    static QString filePath();   // the one shown
    static QStringList searchNames();   // the names looked for, in order
    static QStringList searchFolders(); // and where
    static constexpr qint64 kMaxFileSize = 16 * 1024 * 1024; // larger files are read up to here
};
