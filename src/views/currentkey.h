#pragma once
// The unit's current hardware key, read when the view opens and on Load, centred in the pane.

#include "quiloview.h"

#include <QWidget>

#include <memory>

class CTarvelDoc;
class QLabel;
class QLineEdit;
namespace Ui {
class CCurrentKeyForm;
}

class CCurrentKey : public QWidget, public Quilo::View
{
    Q_OBJECT
public:
    CCurrentKey(CTarvelDoc &doc, QWidget *parent);
    ~CCurrentKey() override;

    QWidget *widget() override { return this; }
    void OnInitialUpdate() override;
    bool answersCommand(unsigned command) const override;
    void onCommand(unsigned command) override;

    void Refresh();
    QLineEdit *keyBox() const;
    QWidget *keyGroup() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void Show();

    CTarvelDoc &m_doc;
    std::unique_ptr<Ui::CCurrentKeyForm> m_ui;
    QLabel *m_pState = nullptr;
};
