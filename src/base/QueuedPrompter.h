#pragma once
#include "base/Prompter.h"

#include <deque>
#include <string>

// Holds back messages while work that must not be re-entered runs (the
// walk, a socket handler). A message box runs a nested event loop in which
// timers and sockets fire again; shown from inside that work, each box could
// start the work anew and stack another box. Held messages are shown, each
// text once, when the last hold ends. Questions need their answer at once
// and are passed straight on.
class CQueuedPrompter final : public Prompter {
public:
    explicit CQueuedPrompter(Prompter& inner) : m_inner(inner) {}

    EPromptAnswer Show(const std::string& text, EPromptButtons buttons = EPromptButtons::Ok,
                       EPromptIcon icon = EPromptIcon::Information, const std::string& caption = {}) override;

    // Holds messages for its lifetime; the last one to go shows them.
    class CHold {
    public:
        explicit CHold(CQueuedPrompter& prompter) : m_prompter(prompter) { ++m_prompter.m_holds; }
        ~CHold()
        {
            if (--m_prompter.m_holds == 0)
                m_prompter.Flush();
        }
        CHold(const CHold&) = delete;
        CHold& operator=(const CHold&) = delete;
    private:
        CQueuedPrompter& m_prompter;
    };

    bool Holding() const { return m_holds > 0; }
    size_t Pending() const { return m_pending.size(); }

private:
    struct CMessage {
        std::string text;
        EPromptIcon icon;
        std::string caption;
    };
    void Flush();

    Prompter& m_inner;
    int m_holds = 0;
    bool m_flushing = false;
    std::deque<CMessage> m_pending;
};
