#include "base/QueuedPrompter.h"

#include <algorithm>

EPromptAnswer CQueuedPrompter::Show(const std::string& text, EPromptButtons buttons, EPromptIcon icon,
                                    const std::string& caption)
{
    // While a held message is on screen, later ones wait their turn too.
    if (buttons != EPromptButtons::Ok || (m_holds == 0 && !m_flushing))
        return m_inner.Show(text, buttons, icon, caption);
    const bool known = std::any_of(m_pending.begin(), m_pending.end(), [&](const CMessage& m) {
        return m.text == text && m.caption == caption;
    });
    if (!known)
        m_pending.push_back({text, icon, caption});
    return EPromptAnswer::Ok;
}

void CQueuedPrompter::Flush()
{
    // A box shown here may run work that holds and releases again: that
    // inner release leaves its messages to this loop.
    if (m_flushing)
        return;
    m_flushing = true;
    while (!m_pending.empty() && m_holds == 0) {
        CMessage message = std::move(m_pending.front());
        m_pending.pop_front();
        m_inner.Show(message.text, EPromptButtons::Ok, message.icon, message.caption);
    }
    m_flushing = false;
}
