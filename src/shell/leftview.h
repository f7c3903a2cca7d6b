#pragma once
// The navigation tree: the unit's data sets, built once from a static table. Choosing an item
// that stands for a data set asks the frame to show its view; the key groups first set the
// document's key range.

#include <QTreeWidget>

class CTarvelDoc;

class CLeftView : public QTreeWidget
{
    Q_OBJECT
public:
    static constexpr int kCommandRole = Qt::UserRole;

    CLeftView(CTarvelDoc &doc, QWidget *parent);

    void OnInitialUpdate();
    // The item whose path of texts is `path` (for instance "Keys", "Tables", "LAB"), or nullptr.
    QTreeWidgetItem *findItem(const QStringList &path) const;

signals:
    // Sent synchronously: when it returns the new view has read its data.
    void command(unsigned command);

private:
    void OnSelChanged();
    void setKeyRange(unsigned command, const QString &text);

    CTarvelDoc &m_doc;
};
