#pragma once
// The navigation tree: the unit's data sets, built once from a static table over the data-set
// table. Choosing an item that stands for a data set asks the frame to show its view; the key
// groups first set the document's key range.

#include <QTreeWidget>

class CTarvelDoc;

class CLeftView : public QTreeWidget
{
    Q_OBJECT
public:
    static constexpr int kCommandRole = Qt::UserRole;
    static constexpr int kRangeRole = Qt::UserRole + 1; // a key group's first and last record

    CLeftView(CTarvelDoc &doc, QWidget *parent);

    void OnInitialUpdate();
    // The item whose path of texts is `path` (for instance "Keys", "Tables", "LAB"), or nullptr.
    QTreeWidgetItem *findItem(const QStringList &path) const;

signals:
    // Sent synchronously: when it returns the new view shows and has asked for its data.
    void command(unsigned command);

private:
    void OnSelChanged();

    CTarvelDoc &m_doc;
};
