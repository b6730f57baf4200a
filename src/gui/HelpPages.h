#pragma once
#include <QString>
#include <QUrl>

#include <functional>

class CMainFrame;
class Prompter;

// The help page and the home page, and opening them in the user's browser.
// The home page lives on the vendor's web host, a setting that is empty
// unless the user sets it; without it both commands show the help page
// installed with the program.
class CHelpPages {
public:
    // webHost: a host name ("www.example.org", taken as https) or a URL
    // base with its scheme; empty for none.
    explicit CHelpPages(const QString& webHost, QString localHelp = InstalledHelpPage());

    bool HasWebHost() const { return !m_webBase.isEmpty(); }
    // The help pages, at a section (an anchor of the page) when one is given.
    QUrl TopicsUrl(const QString& section = {}) const;
    QUrl HomeUrl() const;
    // The status prompt of the home-page command: says where it goes.
    QString HomePrompt() const;

    // Each opens its page; when no browser takes it, the user is told and
    // the result is false.
    bool ShowTopics(Prompter& prompter, const QString& section = {}) const;
    bool ShowHome(Prompter& prompter) const;

    // What hands a URL to the browser; tests replace it.
    std::function<bool(const QUrl&)> opener;

    // The help page next to the installed program, or the one in the source
    // tree when the program runs from its build folder.
    static QString InstalledHelpPage();

private:
    QString m_webBase; // scheme and host, no trailing slash
    QString m_localHelp;
};

// Wires the Help menu of the window: "&Help Topics" and F1 (at the section of
// the focused pane), the home-page command and a double click on the empty
// part of the toolbar, Shift+F1 for pointer help with the texts it shows.
void AttachHelp(CMainFrame& window, const CHelpPages& pages, Prompter& prompter);
