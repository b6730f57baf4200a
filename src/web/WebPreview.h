#pragma once
#include "preview/qt/PreviewService.h"

#include <QObject>
#include <QTimer>

#include <map>
#include <string>

class CWebService;

// Pictures and sound for the page when nothing else decodes them (`serve`):
// the sessions the page looks at are decoded, no more at once than the
// bound allows (the pool takes turns), and only while someone looks; their
// pictures, levels and what they show go to the server's state.
class CWebPreview final : public QObject {
public:
    CWebPreview(CWebService& web, int maxDecoders, std::string interfaceAddress);

private:
    void Follow();
    void Publish();

    CWebService& m_web;
    CPreviewService m_service;
    std::map<std::string, int> m_watches; // session id -> the service's watch
    QTimer m_timer;
    bool m_changed = false;
    unsigned m_turns = 0;
};
