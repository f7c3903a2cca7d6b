#pragma once
// The start page: "wtarvel.rtf" from the current directory, formatted and read-only. It is
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

    static QString fileName();
    static constexpr qint64 kMaxFileSize = 16 * 1024 * 1024; // larger files are read up to here
};
