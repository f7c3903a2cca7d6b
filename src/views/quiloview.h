#pragma once
// What the main frame needs of a right-hand view: its widget, its initial update, and the
// commands it answers while it is the active view (Load, Write). A command no view answers
// is shown disabled; a view whose answer changes says so through commandsChanged().

#include <QString>

#include <functional>
#include <utility>

class QWidget;

namespace Quilo {

class View
{
public:
    virtual ~View() = default;
    virtual QWidget *widget() = 0;
    // Called once, right after the frame has put the view in the right pane.
    virtual void OnInitialUpdate() = 0;
    virtual bool answersCommand(unsigned command) const
    {
        static_cast<void>(command);
        return false;
    }
    virtual void onCommand(unsigned command) { static_cast<void>(command); }

    // A transfer the view runs by itself (a refresh) that the window does not announce: it
    // neither says "reading" nor disables the commands, and its ending is said only when it
    // failed.
    virtual bool quietTransfer() const { return false; }

    void setCommandsChangedHandler(std::function<void()> handler) { m_commandsChanged = std::move(handler); }
    // Where the view says something to the user (the status bar).
    void setMessageHandler(std::function<void(const QString &)> handler) { m_message = std::move(handler); }

protected:
    void commandsChanged() const
    {
        if (m_commandsChanged)
            m_commandsChanged();
    }

    void say(const QString &text) const
    {
        if (m_message)
            m_message(text);
    }

private:
    std::function<void()> m_commandsChanged;
    std::function<void(const QString &)> m_message;
};

} // namespace Quilo
