#pragma once
// View > Mosaic: a tile for every session the list shows (the directory
// selected in the tree), with its picture or sound meters, its name, the
// colour of what arrives for it and the age of its picture. Only tiles in
// view are decoded, no more at once than the decoders allow; when more
// tiles are in view they take turns, each keeping its last picture.
#include "preview/PreviewTypes.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class CPreviewService;
class CReceptionService;
class CSDPObject;
class QAbstractItemModel;
class QGridLayout;
class QLabel;
class QScrollArea;

// Where the tiles' pictures, levels and reception states come from.
class CMosaicFeed {
public:
    virtual ~CMosaicFeed() = default;
    // Starts decoding a session's video and sound; 0 when it has neither.
    virtual int Decode(CSDPObject& session) = 0;
    virtual void StopDecoding(int id) = 0;
    // The newest snapshot of each decoded entry, by media index; null when none.
    virtual const std::map<int, preview::CPreviewSnapshot>* Snapshots(int id) const = 0;
    // Starts counting what arrives for a session; 0 when it cannot be.
    virtual int Receive(CSDPObject& session) = 0;
    virtual void StopReceiving(int id) = 0;
    // The worst reception state of a watch (EReceptionState's number).
    virtual int ReceptionState(int id) const = 0;
    virtual int MaxDecoders() const = 0;
};

// The feed of the running program; `reception` may be null (no colours).
std::unique_ptr<CMosaicFeed> MakeMosaicFeed(CPreviewService& preview, CReceptionService* reception);

class CMosaicTile;

class CMosaicWindow final : public QWidget {
    Q_OBJECT
public:
    // `rows`: the session list's model (CSessionListModel::kRecordRole on column 0).
    CMosaicWindow(QAbstractItemModel& rows, std::unique_ptr<CMosaicFeed> feed, QWidget* parent = nullptr);
    ~CMosaicWindow() override;

    // Enter or a double click on a tile: what the list does with the row.
    std::function<void(const std::shared_ptr<CSDPObject>&)> onOpen;

    // Takes the sessions of the rows again (coalesced; Rebuild does it now).
    void Rebuild();
    // Ends finished turns, hands free decoders to waiting tiles in view and
    // repaints; runs twice a second while the window shows.
    void Tick();
    std::vector<CMosaicTile*> Tiles() const { return m_tiles; }
    int CurrentTile() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class CMosaicTile;
    void Lay();
    void Move(int dx, int dy);
    void Open(CMosaicTile* tile);
    void StopAll();
    bool InView(const CMosaicTile* tile) const;

    QAbstractItemModel& m_rows;
    std::unique_ptr<CMosaicFeed> m_feed;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_grid = nullptr;
    QLabel* m_footer = nullptr;
    std::vector<CMosaicTile*> m_tiles; // in list order
    int m_columns = 1;
    bool m_rebuildQueued = false;
};

// One session's tile.
class CMosaicTile final : public QWidget {
    Q_OBJECT
public:
    CMosaicTile(std::shared_ptr<CSDPObject> record, CMosaicWindow& window);

    const std::shared_ptr<CSDPObject>& Record() const { return m_record; }
    bool Decoding() const { return m_decode != 0; }
    bool Receiving() const { return m_receive != 0; }
    const QImage& Picture() const { return m_picture; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    friend class CMosaicWindow;
    // Takes the feed's newest snapshots; true when its turn is over.
    bool Take(CMosaicFeed& feed, double now);

    std::shared_ptr<CSDPObject> m_record;
    CMosaicWindow& m_window;
    QString m_name;
    int m_decode = 0;          // the feed's decode id while it has a turn
    int m_receive = 0;         // the feed's reception id while in view
    int m_state = 3;           // EReceptionState: not watched
    double m_turnStart = 0;    // steady seconds
    double m_lastTurn = -1;    // when its last turn began; -1: never had one
    double m_startPicture = 0; // the picture time when the turn began
    long long m_startWindows = 0;
    bool m_nothing = false;    // the session has no video or sound to decode
    bool m_hasVideo = false;
    bool m_hasAudio = false;
    preview::CPreviewSnapshot m_video; // the newest of its video entry
    preview::CPreviewSnapshot m_audio; // the newest of its sound entry
    QImage m_picture;
    double m_pictureTime = -1;
    double m_now = 0;
};
