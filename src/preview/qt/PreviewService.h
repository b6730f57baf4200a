#pragma once
#include "preview/PreviewPool.h"
#include "preview/PreviewTypes.h"

#include <QObject>
#include <QTimer>

#include <map>
#include <memory>
#include <string>
#include <vector>

class CSDPObject;

// The preview decoders for the windows. A watch is a set of media entries
// (a session's, or a mosaic's tiles); the pool decodes them off the GUI
// thread, at most so many at once, taking turns. Ten times a second the
// newest snapshots are taken on the GUI thread and PreviewChanged says
// which watches changed; nothing here waits for the network.
class CPreviewService final : public QObject {
    Q_OBJECT
public:
    // IPv4 groups are joined on `interfaceAddress` (dotted quad; empty: the system's choice).
    explicit CPreviewService(int maxDecoders = preview::kDefaultDecoders, std::string interfaceAddress = {},
                             QObject* parent = nullptr);
    ~CPreviewService() override;

    // `subject` is whatever the caller watches them for (a record), given back by AllLatest.
    int Watch(std::vector<preview::CPreviewSource> sources, const preview::CPreviewOptions& options,
              const void* subject = nullptr);
    void Unwatch(int id);
    // The newest snapshot of each entry of a watch, by media index; null
    // for a watch that does not exist.
    const std::map<int, preview::CPreviewSnapshot>* Latest(int id) const;
    // Takes `snapshot` as the newest of a watched entry, as its decoder's
    // would be, and says so at once; false for an entry not watched.
    bool Take(int id, int mediaIndex, preview::CPreviewSnapshot snapshot);
    void SetMaxDecoders(int count); // 1..32
    int MaxDecoders() const { return m_maxDecoders; }

    // Every watched entry's newest snapshot with the stream it is of.
    struct CStreamPreview {
        const preview::CPreviewSource* source;
        const preview::CPreviewSnapshot* snapshot;
        const void* subject;
    };
    std::vector<CStreamPreview> AllLatest() const;

    // The entries of a session a watch takes: its video and sound.
    std::vector<preview::CPreviewSource> SourcesOf(CSDPObject& session) const;

signals:
    void PreviewChanged(int id);

private:
    struct CWatch {
        std::map<int, int> entries; // media index -> the pool's id
        std::map<int, preview::CPreviewSnapshot> latest;
        std::map<int, preview::CPreviewSource> sources;
        const void* subject = nullptr;
    };
    void Poll();

    std::unique_ptr<preview::CPreviewPool> m_pool;
    std::map<int, CWatch> m_watches;
    int m_nextId = 1;
    int m_maxDecoders;
    std::string m_interfaceAddress;
    QTimer m_timer;
};
