#pragma once
#include "gui/MediaPages.h"

#include <functional>
#include <memory>
#include <string>

class COstara32Doc;
class QWidget;

// What making or editing one of the user's own folders needs.
struct CFolderContext {
    CMediaContext media;
    COstara32Doc* doc = nullptr;
    std::string email; // the personal information copied into a new folder
    std::string phone;
    std::string localHostName;
    // Marks the folder as made by this program.
    std::string toolAttribute = "tool:Talmira by TalmiraSoft";
    // The announcement wizard's pages for the folder's title, contact and
    // schedule, with its Scope page when `scopePage` is set. They come before
    // the address page; without them the wizard shows that page alone.
    std::function<void(QWizard& wizard, CSDPObject& folder, bool scopePage)> addSessionPages;
    // Runs the wizard; true when it was finished. Tests drive it here.
    std::function<bool(QWizard& wizard)> run;
};
CFolderContext FolderContextOf(CTalmiraRuntime& runtime, Prompter& prompter);

// The login name of the user, at most 127 bytes; "-" when there is none.
std::string LoginName();

// New Folder below `parent`: the wizard over a new own folder whose address
// page proposes a free address of the parent's scope. On Finish the folder
// joins the store (which opens its receiver and announces it) and the list
// shows the parent. True when a folder was added.
bool NewFolder(const CFolderContext& context, const std::shared_ptr<CSDPObject>& parent, QWidget* window);

// Edit of an own folder: the same wizard over the folder and its first media
// entry, the folder's lock held meanwhile. True when it was finished.
bool EditFolder(const CFolderContext& context, const std::shared_ptr<CSDPObject>& folder, QWidget* window);
